#include "analysis/json_report.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "io/io_errors.h"
#include "analysis/case_series.h"
#include "analysis/power_run.h"
#include "analysis/program_texts.h"
#include "analysis/reported_outcome.h"
#include "analysis/results_report.h"

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

using Members = std::vector<std::pair<std::string, std::string>>;

// The members as an object: each on a line of its own, indented two blanks beyond the
// object's own indent, which the closing brace keeps.
std::string JsonObject(const Members& members, int indent = 0) {
    const std::string memberIndent(indent + 2, ' ');
    std::string json = "{\n";
    for (std::size_t i = 0; i < members.size(); ++i)
        json += memberIndent + "\"" + members[i].first + "\": " + members[i].second +
                (i + 1 < members.size() ? ",\n" : "\n");
    return json + std::string(indent, ' ') + "}";
}

// A task's deficit test, as a deficit's object has always given it.
Members DeficitMembers(const tDeficitOutcome& task, LimitType limitType) {
    const ReportedOutcome r = ReportedDeficit(task.results, limitType);
    return {
        {"conditional_mean", JsonNumber(task.condMean)},
        {"conditional_sd", JsonNumber(task.condSD)},
        {"one_tailed_p", JsonNumber(r.oneTailedP)},
        {"two_tailed_p", JsonNumber(r.twoTailedP)},
        {"z_ccc", JsonNumber(r.effect)},
        {"z_ccc_lower", JsonNumber(r.effectLower)},
        {"z_ccc_upper", JsonNumber(r.effectUpper)},
        {"percent_below", JsonNumber(r.percent)},
        {"percent_below_lower", JsonNumber(r.percentLower)},
        {"percent_below_upper", JsonNumber(r.percentUpper)},
    };
}

Members DifferenceMembers(const tDissociationOutcome& outcome, LimitType limitType) {
    const ReportedOutcome r = ReportedDifference(outcome, limitType);
    return {
        {"one_tailed_p", JsonNumber(r.oneTailedP)},
        {"two_tailed_p", JsonNumber(r.twoTailedP)},
        {"z_dccc", JsonNumber(r.effect)},
        {"z_dccc_lower", JsonNumber(r.effectLower)},
        {"z_dccc_upper", JsonNumber(r.effectUpper)},
        {"percent_more_extreme", JsonNumber(r.percent)},
        {"percent_more_extreme_lower", JsonNumber(r.percentLower)},
        {"percent_more_extreme_upper", JsonNumber(r.percentUpper)},
        // A criterion's p within Monte Carlo error of .05, as the report's note says.
        {"borderline", BorderlineCriteria(outcome).empty() ? "false" : "true"},
    };
}

// A power curve's points, one object a line, in an array under the indent of its member.
std::string JsonCurve(const std::vector<Members>& points) {
    std::string json = "[";
    for (std::size_t i = 0; i < points.size(); ++i) {
        json += i == 0 ? "\n    {" : ",\n    {";
        for (std::size_t m = 0; m < points[i].size(); ++m)
            json += (m == 0 ? "\"" : ", \"") + points[i][m].first + "\": " + points[i][m].second;
        json += "}";
    }
    return json + (points.empty() ? "]" : "\n  ]");
}

// The results of one case, in the members a single case's object gives them, indented
// for an object at indent.
Members CaseMembers(const AnalysisResults& results, const RunFacts& facts, int indent) {
    const tDissociationOutcome& outcome = results.outcome;
    if (facts.test == AnalysisTest::Dissociation)
        return {
            {"task_1", JsonObject(DeficitMembers(outcome.tasks[0], facts.limitType), indent + 2)},
            {"task_2", JsonObject(DeficitMembers(outcome.tasks[1], facts.limitType), indent + 2)},
            {"conditional_correlation", JsonNumber(outcome.condCorrelation)},
            {"dissociation", JsonObject(DifferenceMembers(outcome, facts.limitType), indent + 2)},
        };
    return DeficitMembers(outcome.tasks[0], facts.limitType);
}

// A series' cases, each an object with its number, its line, a single case's members and
// its Holm-adjusted one-tailed p.
std::string JsonCases(const RunFacts& facts) {
    const std::vector<SeriesRow> rows = SeriesRows(facts);
    std::string json = "[\n";
    for (std::size_t i = 0; i < facts.cases.size(); ++i) {
        Members members = {{"case", std::to_string(i + 1)}, {"line", std::to_string(facts.cases[i].line)}};
        const Members results = CaseMembers(facts.cases[i].results, facts, 4);
        members.insert(members.end(), results.begin(), results.end());
        members.emplace_back("holm_p", JsonNumber(rows[i].holmP));
        json += "    " + JsonObject(members, 4) + (i + 1 < facts.cases.size() ? ",\n" : "\n");
    }
    return json + "  ]";
}

}  // namespace

std::string WritePowerJson(const PowerFacts& facts) {
    const bool dissociation = facts.test == AnalysisTest::Dissociation;
    Members members = {
        {"mode", JsonString("power")},
        {"test", JsonString(TestName(facts.test))},
        {"n", std::to_string(facts.ns.empty() ? 0 : facts.ns.front())},
        {"k", std::to_string(facts.k)},
        {"alpha", JsonNumber(facts.alpha)},
        {"alternative", JsonString(AlternativeName(dissociation ? Alternative::TwoSided : facts.alternative))},
    };
    std::vector<Members> curve;
    if (dissociation) {
        const DissociationPowerResult first =
            facts.simulated.empty() ? DissociationPowerResult{} : facts.simulated.front().result;
        members.insert(members.end(), {
            {"power", JsonNumber(first.difference.power)},
            {"power_se", JsonNumber(first.difference.standardError)},
            {"power_classical_dissociation", JsonNumber(first.classical.power)},
            {"power_classical_dissociation_se", JsonNumber(first.classical.standardError)},
            {"power_strong_dissociation", JsonNumber(first.strong.power)},
            {"power_strong_dissociation_se", JsonNumber(first.strong.standardError)},
        });
        for (const DissociationPowerAtN& point : facts.simulated)
            curve.push_back({{"n", std::to_string(point.n)},
                             {"power", JsonNumber(point.result.difference.power)},
                             {"power_se", JsonNumber(point.result.difference.standardError)}});
    } else {
        const auto& sampleSize = facts.plan.sampleSize;
        members.insert(members.end(), {
            {"power", JsonNumber(facts.powers.empty() ? 0 : facts.powers.front().power)},
            {"power_se", JsonNumber(0)},
            {"asymptote", JsonNumber(facts.plan.asymptote)},
            {"target_power", JsonNumber(facts.targetPower)},
            {"sample_size", sampleSize ? std::to_string(*sampleSize) : "null"},
        });
        // One n asked: the plan's whole curve; a list: the powers at the n asked.
        for (const PowerAtN& point : facts.ns.size() == 1 ? facts.plan.curve : facts.powers)
            curve.push_back({{"n", std::to_string(point.n)}, {"power", JsonNumber(point.power)}});
    }
    members.emplace_back("curve", JsonCurve(curve));
    return JsonObject(members) + "\n";
}

std::string WriteJsonReport(const RunFacts& facts) {
    Members members = {{"mode", JsonString(facts.dataFileName.empty() ? "summary" : "raw")},
                       {"test", JsonString(TestName(facts.test))}};
    if (!facts.dataFileName.empty()) members.emplace_back("data_file", JsonString(facts.dataFileName));
    if (!facts.names.empty()) {
        std::string names;
        for (const std::string& name : facts.names) names += (names.empty() ? "[" : ", ") + JsonString(name);
        members.emplace_back("names", names + "]");
    }
    members.emplace_back("n", std::to_string(facts.n));
    members.emplace_back("k", std::to_string(facts.k));
    if (facts.IsSeries()) members.emplace_back("m", std::to_string(facts.cases.size()));
    members.emplace_back("limit", JsonString(LimitName(facts.limitType)));
    if (facts.IsSeries()) {
        members.emplace_back("cases", JsonCases(facts));
    } else {
        const Members results = CaseMembers(facts.results, facts, 0);
        members.insert(members.end(), results.begin(), results.end());
    }
    return JsonObject(members) + "\n";
}

}  // namespace quorvane
