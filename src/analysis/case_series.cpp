#include "analysis/case_series.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "analysis/results_report.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

// The interval's cell: both limits, or the one the limit type gives with its side, which
// for the percentage more extreme of a case in the upper tail is the other one.
std::string IntervalCell(const std::optional<long double>& lower, const std::optional<long double>& upper,
                         int decimals, char separator) {
    if (lower && upper)
        return FormatFixed(*lower, 0, decimals, separator) + " to " + FormatFixed(*upper, 0, decimals, separator);
    return lower ? "lower " + FormatFixed(*lower, 0, decimals, separator)
                 : "upper " + FormatFixed(upper.value_or(0), 0, decimals, separator);
}

// The conclusion's verdict in a word: "classical", "strong" or "none"; the case's outputs
// give it in full.
std::string Verdict(const std::string& conclusion) {
    const std::string first = conclusion.substr(0, conclusion.find(' '));
    return first == "no" ? "none" : first;
}

// A column's heading on two lines, so that the columns are as narrow as their numbers.
struct Column {
    std::string top;
    std::string bottom;
    bool leftAligned = false;
};

// Cells under their headings, each column as wide as its widest cell, two blanks apart.
std::vector<std::string> Columns(const std::vector<Column>& columns,
                                 const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const Column& column : columns) widths.push_back(std::max(column.top.size(), column.bottom.size()));
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text = " ";
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::string pad(widths[c] - cells[c].size(), ' ');
            text += " " + (columns[c].leftAligned ? cells[c] + pad : pad + cells[c]) + " ";
        }
        return text.substr(0, text.find_last_not_of(' ') + 1);
    };
    std::vector<std::string> tops, bottoms;
    for (const Column& column : columns) {
        tops.push_back(column.top);
        bottoms.push_back(column.bottom);
    }
    std::vector<std::string> lines = {line(tops), line(bottoms)};
    for (const auto& row : rows) lines.push_back(line(row));
    return lines;
}

std::string CsvNumber(const std::optional<long double>& value) {
    if (!value || !std::isfinite(static_cast<double>(*value))) return "";
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", static_cast<double>(*value));
    return text;
}

// A field as spreadsheets quote it: within quotes, its quotes doubled, when it holds a
// comma, a quote or a line end.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

std::vector<long double> HolmAdjusted(const std::vector<long double>& p) {
    const std::size_t m = p.size();
    std::vector<std::size_t> order(m);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return p[a] < p[b]; });
    std::vector<long double> adjusted(m);
    long double running = 0;
    for (std::size_t i = 0; i < m; ++i) {
        running = std::max(running, std::min<long double>(1, static_cast<long double>(m - i) * p[order[i]]));
        adjusted[order[i]] = running;
    }
    return adjusted;
}

std::vector<SeriesRow> SeriesRows(const RunFacts& facts) {
    std::vector<CaseFacts> cases = facts.cases;
    if (cases.empty()) cases.push_back({0, facts.results});
    std::vector<SeriesRow> rows;
    std::vector<long double> p;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const AnalysisResults& r = cases[i].results;
        SeriesRow row;
        row.caseNumber = static_cast<int>(i) + 1;
        row.line = cases[i].line;
        for (int task = 1; task <= TaskCount(facts.test); ++task) row.scores.push_back(r.caseScores(task));
        if (facts.test == AnalysisTest::Dissociation) {
            row.test = ReportedDifference(r.outcome, facts.limitType);
            row.conclusion = DissociationConclusion(r.outcome);
        } else {
            row.test = ReportedDeficit(r.outcome.tasks[0].results, facts.limitType);
        }
        p.push_back(row.test.oneTailedP);
        rows.push_back(row);
    }
    const std::vector<long double> holm = HolmAdjusted(p);
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].holmP = holm[i];
    return rows;
}

std::string MultiplicitySentence(int cases, AnalysisTest test, char separator) {
    // m x .05 in hundredths, written exactly: 20 x .05 = 1, 4 x .05 = 0.2.
    const int hundredths = 5 * cases;
    std::string expected = std::to_string(hundredths / 100);
    if (hundredths % 100 != 0) {
        std::string fraction = std::to_string(100 + hundredths % 100).substr(1);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        expected += separator + fraction;
    }
    const std::string without =
        test == AnalysisTest::Dissociation ? "without an abnormal difference between the tasks" : "without a deficit";
    return "With " + std::to_string(cases) + " cases tested, about " + std::to_string(cases) + " x .05 = " + expected +
           " of those " + without +
           " would be expected to have a one-tailed p below .05 by chance; the Holm-adjusted p values allow for this.";
}

std::vector<std::string> SeriesTableLines(const std::vector<SeriesRow>& rows, AnalysisTest test,
                                          LimitType limitType, char separator) {
    const bool dissociation = test == AnalysisTest::Dissociation;
    const std::string interval = limitType == LimitType::TwoSided ? "95% CI" : "95% limit";
    std::vector<Column> columns = {{"Case", ""}, {"Line", ""}};
    if (dissociation)
        columns.insert(columns.end(), {{"Task 1", "score"}, {"Task 2", "score"}});
    else
        columns.push_back({"Score", ""});
    columns.insert(columns.end(), {{"One-tailed", "p"},
                                   {"Holm", "p"},
                                   {dissociation ? "Z-DCCC" : "Z-CCC", ""},
                                   {interval, "", true},
                                   dissociation ? Column{"% more", "extreme"} : Column{"% below", ""},
                                   {interval, "", true}});
    if (dissociation) columns.push_back({"Dissociation", "", true});

    std::vector<std::vector<std::string>> cells;
    for (const SeriesRow& row : rows) {
        std::vector<std::string> line = {std::to_string(row.caseNumber), std::to_string(row.line)};
        for (const long double score : row.scores) line.push_back(FormatFixed(score, 0, 3, separator));
        const ReportedOutcome& t = row.test;
        line.insert(line.end(), {FormatFixed(t.oneTailedP, 0, 5, separator), FormatFixed(row.holmP, 0, 5, separator),
                                 FormatFixed(t.effect, 0, 3, separator),
                                 IntervalCell(t.effectLower, t.effectUpper, 3, separator),
                                 FormatFixed(t.percent, 0, 4, separator),
                                 IntervalCell(t.percentLower, t.percentUpper, 4, separator)});
        if (dissociation) line.push_back(Verdict(row.conclusion));
        cells.push_back(line);
    }
    const std::vector<std::string> table = Columns(columns, cells);
    std::size_t tableWidth = 0;
    for (const std::string& line : table) tableWidth = std::max(tableWidth, line.size());
    const std::string rule = " " + std::string(tableWidth - 1, '_');

    std::vector<std::string> lines = {" TABLE OF THE CASES:", "", rule, table[0], table[1], rule};
    lines.insert(lines.end(), table.begin() + 2, table.end());
    lines.push_back(rule);
    const std::string holm = "; Holm p: the same, adjusted for the " + std::to_string(rows.size()) +
                             " cases tested (Holm's step-down method); ";
    AppendWrapped(dissociation ? "One-tailed p: of the test for a dissociation (the difference between the tasks)" +
                                     holm +
                                     "% more extreme: the percentage of the control population with a more "
                                     "extreme difference, with its limits; Dissociation: the conclusion of the "
                                     "case's outputs."
                               : "One-tailed p: of the test for a deficit" + holm +
                                     "% below: the percentage of the control population below the case, with "
                                     "its limits.",
                  lines);
    AppendWrapped(MultiplicitySentence(static_cast<int>(rows.size()), test, separator), lines);
    return lines;
}

std::string SeriesTableCsv(const RunFacts& facts) {
    const bool dissociation = facts.test == AnalysisTest::Dissociation;
    const std::string effect = dissociation ? "z_dccc" : "z_ccc";
    const std::string percent = dissociation ? "percent_more_extreme" : "percent_below";
    std::vector<std::string> header = {"case", "line"};
    if (dissociation)
        header.insert(header.end(), {"task_1", "task_2"});
    else
        header.push_back("score");
    header.insert(header.end(), {"one_tailed_p", "holm_p", effect, effect + "_lower", effect + "_upper", percent,
                                 percent + "_lower", percent + "_upper"});
    if (dissociation) header.push_back("conclusion");

    const auto csvLine = [](const std::vector<std::string>& fields) {
        std::string line;
        for (std::size_t i = 0; i < fields.size(); ++i) line += (i > 0 ? "," : "") + CsvField(fields[i]);
        return line + "\r\n";
    };
    std::string csv = csvLine(header);
    for (const SeriesRow& row : SeriesRows(facts)) {
        std::vector<std::string> fields = {std::to_string(row.caseNumber),
                                           row.line > 0 ? std::to_string(row.line) : ""};
        for (const long double score : row.scores) fields.push_back(CsvNumber(score));
        const ReportedOutcome& t = row.test;
        fields.insert(fields.end(), {CsvNumber(t.oneTailedP), CsvNumber(row.holmP), CsvNumber(t.effect),
                                     CsvNumber(t.effectLower), CsvNumber(t.effectUpper), CsvNumber(t.percent),
                                     CsvNumber(t.percentLower), CsvNumber(t.percentUpper)});
        if (dissociation) fields.push_back(row.conclusion);
        csv += csvLine(fields);
    }
    return csv;
}

}  // namespace quorvane
