#include "analysis/json_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

namespace quorvane {
namespace {

// A file name that JSON must escape (control characters up to 0x1F), a one-sided limit
// whose other limits are null, and numbers that read back to the very doubles the run held.
TEST(JsonReport, EscapesTheFileNameNullsTheMissingLimitsAndRoundTripsEveryNumber) {
    RunFacts facts;
    facts.n = 25;
    facts.k = 2;
    facts.limitType = LimitType::OneSidedLower;
    facts.dataFileName = "C:\\data\\\"AB\"\t\x01\x1F.txt";
    facts.results.outcome.tasks[0].condMean = 0.1L;
    facts.results.outcome.tasks[0].condSD = 1e-7L / 3;
    for (int i = 1; i <= 8; ++i) facts.results.outcome.tasks[0].results(i) = -i / 7.0L;
    const std::string json = WriteJsonReport(facts);

    EXPECT_NE(json.find("  \"mode\": \"raw\",\n  \"test\": \"deficit\",\n"
                        "  \"data_file\": \"C:\\\\data\\\\\\\"AB\\\"\\t\\u0001\\u001f.txt\",\n"
                        "  \"n\": 25,\n  \"k\": 2,\n  \"limit\": \"one-sided-lower\",\n"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"z_ccc_upper\": null,"), std::string::npos);
    EXPECT_NE(json.find("\"percent_below_upper\": null\n}\n"), std::string::npos);
    auto number = [&json](const std::string& key) {
        const auto at = json.find("\"" + key + "\": ");
        return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
    };
    EXPECT_EQ(number("conditional_mean"), static_cast<double>(0.1L));
    EXPECT_EQ(number("conditional_sd"), static_cast<double>(1e-7L / 3));
    EXPECT_EQ(number("z_ccc_lower"), static_cast<double>(-ZCCCLower / 7.0L));
    EXPECT_EQ(number("percent_below"), static_cast<double>(-PercentBelow / 7.0L));
}

// Valid UTF-8 passes unchanged; a stray byte, a truncated sequence, an overlong form and
// an encoded surrogate (which no UTF-8 holds) become \u00XX of their bytes.
TEST(JsonReport, AFileNameInAnotherEncodingStillGivesValidJson) {
    RunFacts facts;
    facts.dataFileName = "caf\xC3\xA9/Caf\xE9/\xE2\x82/\xC0\xAF/\xED\xA0\x80.txt";
    EXPECT_NE(WriteJsonReport(facts).find(
                  "\"data_file\": \"caf\xC3\xA9/Caf\\u00e9/\\u00e2\\u0082/\\u00c0\\u00af/\\u00ed\\u00a0\\u0080.txt\",\n"),
              std::string::npos)
        << WriteJsonReport(facts);
}

// JSON has no infinity or NaN: a value a double cannot hold, even where the inputs were
// in range, is null, never "inf" or "nan".
TEST(JsonReport, AValueADoubleCannotHoldIsNull) {
    RunFacts facts;
    facts.results.outcome.tasks[0].condMean = 1e400L;
    facts.results.outcome.tasks[0].condSD = std::numeric_limits<long double>::quiet_NaN();
    facts.results.outcome.tasks[0].results(ZCCC) = -std::numeric_limits<long double>::infinity();
    const std::string json = WriteJsonReport(facts);
    for (const char* member : {"\"conditional_mean\": null,", "\"conditional_sd\": null,", "\"z_ccc\": null,"})
        EXPECT_NE(json.find(member), std::string::npos) << member << json;
    EXPECT_EQ(json.find("inf"), std::string::npos) << json;
    EXPECT_EQ(json.find("nan"), std::string::npos) << json;
}

}  // namespace
}  // namespace quorvane
