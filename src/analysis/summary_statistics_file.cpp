#include "analysis/summary_statistics_file.h"

#include <array>
#include <string_view>
#include <vector>

#include "io/io_errors.h"
#include "analysis/program_texts.h"
#include "analysis/text_helpers.h"
#include "analysis/raw_data_file.h"
#include "analysis/summary_run.h"
#include "io/text_input.h"

namespace quorvane {

namespace {

struct Item {
    const char* key;
    std::vector<std::string> values;
    int line = 0;  // 0: not seen
};

[[noreturn]] void Refuse(int line, const std::string& what) {
    throw EStatisticsFileError("Line " + std::to_string(line) + " of the statistics file: " + what);
}

std::string Numbers(std::size_t count) { return count == 0 ? "no numbers" : Plural(count, "number", "numbers"); }

void Expect(const Item& item, std::size_t count, const std::string& which) {
    if (item.values.size() != count)
        Refuse(item.line, "\"" + std::string(item.key) + "\" needs " + Numbers(count) + " (" + which + "); it has " +
                              std::to_string(item.values.size()) + ".");
}

bool IsDigits(const std::string& word) {
    return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos;
}

// The version the first line names; 0 for any other line.
int FormatVersion(const std::string& line) {
    if (line == kStatisticsFileHeader) return 1;
    if (line == kStatisticsFileHeader2) return 2;
    return 0;
}

// The values of an item just read: the name of a test, which only version 2 has, or
// numbers.
void CheckValues(const Item& item, int version) {
    if (std::string_view(item.key) == "test") {
        if (version == 1)
            Refuse(item.line, std::string("\"test\" needs version 2 of the format: the first line \"") +
                                  kStatisticsFileHeader2 + "\".");
        if (item.values.size() != 1 || !TestNamed(item.values[0]))
            Refuse(item.line, "\"test\" must be \"deficit\" or \"dissociation\".");
        return;
    }
    for (const std::string& value : item.values)
        if (!ParseStatistic(value))
            Refuse(item.line, "\"" + value + "\" " +
                                  (IsOutOfRangeNumber(value) ? std::string(kOutOfRange) : "is not a finite number."));
}

void AppendLine(std::string& text, const char* key, const std::vector<std::string>& values) {
    text += key;
    for (const std::string& value : values) text += " " + value;
    text += "\n";
}

}  // namespace

std::string FormatStatisticsFile(const StatisticsTable& table) {
    const bool dissociation = table.test == AnalysisTest::Dissociation;
    std::string text = std::string(dissociation ? kStatisticsFileHeader2 : kStatisticsFileHeader) + "\n";
    text += "# Summary statistics of a control sample and a case's scores, for QuorvaneSummary.\n";
    text += dissociation ? "# test: deficit (one task) or dissociation (two tasks).\n"
                           "# means, sds and case: task 1, task 2, then each covariate.\n"
                         : "# means, sds and case: the task of interest, then each covariate.\n";
    // One task without covariates has no correlation, and its table no such line.
    const bool correlations = !table.entries.correlations.empty();
    if (correlations) text += "# correlations: the lower triangle of the correlation matrix, row by row.\n";
    if (dissociation) AppendLine(text, "test", {TestName(table.test)});
    AppendLine(text, "n", {table.n});
    AppendLine(text, "k", {table.k});
    AppendLine(text, "means", table.entries.means);
    AppendLine(text, "sds", table.entries.sds);
    AppendLine(text, "case", table.entries.caseScores);
    if (correlations) AppendLine(text, "correlations", table.entries.correlations);
    return text;
}

StatisticsTable ParseStatisticsFile(const std::string& text) {
    std::array<Item, 7> items = {
        {{"n", {}}, {"k", {}}, {"means", {}}, {"sds", {}}, {"case", {}}, {"correlations", {}}, {"test", {}}}};
    const auto& [nItem, kItem, means, sds, caseScores, correlations, testItem] = items;
    const std::string firstLine = std::string("the first line must be \"") + kStatisticsFileHeader + "\" or \"" +
                                  kStatisticsFileHeader2 + "\".";
    LineReader lines(WithoutByteOrderMark(text));
    std::string_view view;
    int version = 0;  // 0: no header seen yet
    while (lines.Next(view)) {
        const int number = lines.LineNumber();
        const std::string line(view);
        if (version == 0) {
            version = FormatVersion(line);
            if (version == 0) Refuse(number, firstLine);
            continue;
        }
        // Typeset blanks and minus signs, from a table copied into the file, read as typed.
        const std::vector<std::string> words = Words(Untypeset(line));
        if (words.empty() || words.front().starts_with('#')) continue;
        Item* item = nullptr;
        for (Item& candidate : items)
            if (words.front() == candidate.key) item = &candidate;
        if (item == nullptr) Refuse(number, Quoted(words.front()) + " is not a known item.");
        if (item->line != 0)
            Refuse(number, "\"" + words.front() + "\" was given already on line " + std::to_string(item->line) + ".");
        item->line = number;
        item->values.assign(words.begin() + 1, words.end());
        CheckValues(*item, version);
    }
    if (version == 0) Refuse(1, firstLine);
    const auto missing = [](const Item& item) {
        return EStatisticsFileError(std::string("The statistics file has no \"") + item.key + "\" line.");
    };
    // The correlations may be left out where none are needed; that is known once k is.
    for (const Item& item : items)
        if (item.line == 0 && &item != &correlations && !(&item == &testItem && version == 1)) throw missing(item);

    const AnalysisTest test = version == 2 ? *TestNamed(testItem.values[0]) : AnalysisTest::Deficit;
    Expect(nItem, 1, "the number of controls");
    Expect(kItem, 1, "the number of covariates");
    // Plain digits only: the window's checks refuse exponents and hexadecimal counts.
    if (!IsDigits(nItem.values[0])) Refuse(nItem.line, "n must be a whole number written in digits only.");
    const std::string& k = kItem.values[0];
    if (!IsDigits(k) || k.size() != 1 || k > "5") Refuse(kItem.line, "k must be a whole number from 0 to 5.");
    const auto p = static_cast<std::size_t>(k[0] - '0' + TaskCount(test));
    const std::string tasks = test == AnalysisTest::Dissociation ? "task 1, task 2" : "the task of interest";
    const std::string variables = k == "0" ? tasks : tasks + ", then each covariate";
    Expect(means, p, variables);
    Expect(sds, p, variables);
    Expect(caseScores, p, variables);
    const std::size_t triangle = p * (p - 1) / 2;
    if (correlations.line == 0 && triangle > 0) throw missing(correlations);
    Expect(correlations, triangle,
           p == 1 ? "the task of interest alone has no correlation"
                  : "the lower triangle of the correlation matrix, row by row");
    return {nItem.values[0], kItem.values[0], {means.values, sds.values, caseScores.values, correlations.values}, test};
}

StatisticsTable ReadStatisticsFile(const std::string& path) {
    return ParseStatisticsFile(ReadTextFile(path, "The statistics file", BeyondSizeLimit::Refuse));
}

}  // namespace quorvane
