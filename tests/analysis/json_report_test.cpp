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
    // A header's names, text from a file too, follow it as a list.
    facts.names = {"score", "educ \"yrs\""};
    EXPECT_NE(WriteJsonReport(facts).find(".txt\",\n  \"names\": [\"score\", \"educ \\\"yrs\\\"\"],\n  \"n\": 0,\n"),
              std::string::npos);
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

// A dissociation: both tasks' deficit members nested, the conditional correlation, the
// difference's members; with a one-sided lower limit in the upper tail, the percentage
// more extreme keeps its upper limit. Every value is a binary fraction, so that its
// shortest exact decimal is what 17 significant digits print.
TEST(JsonReport, ADissociationNestsEachTaskAndTheDifference) {
    RunFacts facts;
    facts.n = 6;
    facts.k = 1;
    facts.test = AnalysisTest::Dissociation;
    facts.limitType = LimitType::OneSidedLower;
    tDissociationOutcome& out = facts.results.outcome;
    out.tasks[0].condMean = 48.5L;
    out.tasks[0].condSD = 7.75L;
    out.tasks[0].results.cell = {0.375L, 0.75L, 62.5L, 40.5L, 80.25L, 0.625L, -0.25L, 1.5L};
    out.tasks[1].condMean = 29.5L;
    out.tasks[1].condSD = 2.5L;
    out.tasks[1].results.cell = {0.015625L, 0.03125L, 1.5625L, 0.0625L, 4.5L, -2.375L, -3.25L, -1.5L};
    out.condCorrelation = 0.3125L;
    out.difference.cell = {0.0078125L, 0.015625L, 99.21875L, 89.5L, 99.96875L, 2.546875L, 1.25L, 4};
    out.moreExtreme = {0.78125L, 0.015625L, 10.5L};
    EXPECT_EQ(WriteJsonReport(facts),
              "{\n"
              "  \"mode\": \"summary\",\n"
              "  \"test\": \"dissociation\",\n"
              "  \"n\": 6,\n"
              "  \"k\": 1,\n"
              "  \"limit\": \"one-sided-lower\",\n"
              "  \"task_1\": {\n"
              "    \"conditional_mean\": 48.5,\n"
              "    \"conditional_sd\": 7.75,\n"
              "    \"one_tailed_p\": 0.375,\n"
              "    \"two_tailed_p\": 0.75,\n"
              "    \"z_ccc\": 0.625,\n"
              "    \"z_ccc_lower\": -0.25,\n"
              "    \"z_ccc_upper\": null,\n"
              "    \"percent_below\": 62.5,\n"
              "    \"percent_below_lower\": 40.5,\n"
              "    \"percent_below_upper\": null\n"
              "  },\n"
              "  \"task_2\": {\n"
              "    \"conditional_mean\": 29.5,\n"
              "    \"conditional_sd\": 2.5,\n"
              "    \"one_tailed_p\": 0.015625,\n"
              "    \"two_tailed_p\": 0.03125,\n"
              "    \"z_ccc\": -2.375,\n"
              "    \"z_ccc_lower\": -3.25,\n"
              "    \"z_ccc_upper\": null,\n"
              "    \"percent_below\": 1.5625,\n"
              "    \"percent_below_lower\": 0.0625,\n"
              "    \"percent_below_upper\": null\n"
              "  },\n"
              "  \"conditional_correlation\": 0.3125,\n"
              "  \"dissociation\": {\n"
              "    \"one_tailed_p\": 0.0078125,\n"
              "    \"two_tailed_p\": 0.015625,\n"
              "    \"z_dccc\": 2.546875,\n"
              "    \"z_dccc_lower\": 1.25,\n"
              "    \"z_dccc_upper\": null,\n"
              "    \"percent_more_extreme\": 0.78125,\n"
              "    \"percent_more_extreme_lower\": null,\n"
              "    \"percent_more_extreme_upper\": 10.5,\n"
              "    \"borderline\": false\n"
              "  }\n"
              "}\n");
}

}  // namespace
}  // namespace quorvane
