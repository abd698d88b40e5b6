#include "analysis/json_report.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "analysis/io_errors.h"

namespace quorvane {

namespace {

// A string with the escapes JSON requires: quote, backslash and control characters.
// A byte that is not part of valid UTF-8 (a file name in another encoding) becomes the
// character of the same number, \u0080 to \u00ff, so the object stays valid JSON.
std::string JsonString(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const Utf8Character character = DecodeUtf8(text);
        if (character.length > 1) {
            out.append(text.substr(0, character.length));
            text.remove_prefix(character.length);
            continue;
        }
        const char c = text[0];
        text.remove_prefix(1);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || character.length == 0) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

// 17 significant digits: enough for any double to read back unchanged. The C locale's
// full stop is the decimal point whatever the user's settings. JSON has no infinity and
// no NaN: a value that a double cannot hold is null, as a limit not given is.
std::string JsonNumber(std::optional<long double> value) {
    const double number = value ? static_cast<double>(*value) : 0;
    if (!value || !std::isfinite(number)) return "null";
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", number);
    return text;
}

const char* LimitName(LimitType limitType) {
    switch (limitType) {
        case LimitType::OneSidedLower: return "one-sided-lower";
        case LimitType::OneSidedUpper: return "one-sided-upper";
        case LimitType::TwoSided: break;
    }
    return "two-sided";
}

}  // namespace

std::string WriteJsonReport(const RunFacts& facts) {
    const tCovariateResults& r = facts.results.engine;
    const bool lower = facts.limitType != LimitType::OneSidedUpper;
    const bool upper = facts.limitType != LimitType::OneSidedLower;
    auto limit = [](bool given, long double value) { return given ? std::optional(value) : std::nullopt; };

    std::vector<std::pair<std::string, std::string>> members = {
        {"mode", JsonString(facts.dataFileName.empty() ? "summary" : "raw")}};
    if (!facts.dataFileName.empty()) members.emplace_back("data_file", JsonString(facts.dataFileName));
    members.insert(members.end(), {
        {"n", std::to_string(facts.n)},
        {"k", std::to_string(facts.k)},
        {"limit", JsonString(LimitName(facts.limitType))},
        {"conditional_mean", JsonNumber(facts.results.condMean)},
        {"conditional_sd", JsonNumber(facts.results.condSD)},
        {"one_tailed_p", JsonNumber(r(OneTailedP))},
        {"two_tailed_p", JsonNumber(r(TwoTailedP))},
        {"z_ccc", JsonNumber(r(ZCCC))},
        {"z_ccc_lower", JsonNumber(limit(lower, r(ZCCCLower)))},
        {"z_ccc_upper", JsonNumber(limit(upper, r(ZCCCUpper)))},
        {"percent_below", JsonNumber(r(PercentBelow))},
        {"percent_below_lower", JsonNumber(limit(lower, r(PercentBelowLower)))},
        {"percent_below_upper", JsonNumber(limit(upper, r(PercentBelowUpper)))},
    });
    std::string json = "{\n";
    for (std::size_t i = 0; i < members.size(); ++i)
        json += "  \"" + members[i].first + "\": " + members[i].second + (i + 1 < members.size() ? ",\n" : "\n");
    return json + "}\n";
}

}  // namespace quorvane
