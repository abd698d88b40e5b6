#include "analysis/summary_statistics_file.h"

#include <array>
#include <vector>

#include "analysis/io_errors.h"
#include "analysis/metrics_papers.h"
#include "analysis/raw_data_file.h"
#include "analysis/summary_run.h"
#include "analysis/text_input.h"

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

std::string Numbers(std::size_t count) { return std::to_string(count) + (count == 1 ? " number" : " numbers"); }

void Expect(const Item& item, std::size_t count, const std::string& which) {
    if (item.values.size() != count)
        Refuse(item.line, "\"" + std::string(item.key) + "\" needs " + Numbers(count) + " (" + which + "); it has " +
                              std::to_string(item.values.size()) + ".");
}

bool IsDigits(const std::string& word) {
    return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos;
}

void AppendLine(std::string& text, const char* key, const std::vector<std::string>& values) {
    text += key;
    for (const std::string& value : values) text += " " + value;
    text += "\n";
}

}  // namespace

std::string FormatStatisticsFile(const StatisticsTable& table) {
    std::string text = std::string(kStatisticsFileHeader) + "\n";
    text +=
        "# Summary statistics of a control sample and a case's scores, for QuorvaneSummary.\n"
        "# means, sds and case: the task of interest, then each covariate.\n"
        "# correlations: the lower triangle of the correlation matrix, row by row.\n";
    AppendLine(text, "n", {table.n});
    AppendLine(text, "k", {table.k});
    AppendLine(text, "means", table.entries.means);
    AppendLine(text, "sds", table.entries.sds);
    AppendLine(text, "case", table.entries.caseScores);
    AppendLine(text, "correlations", table.entries.correlations);
    return text;
}

StatisticsTable ParseStatisticsFile(const std::string& text) {
    std::array<Item, 6> items = {{{"n", {}}, {"k", {}}, {"means", {}}, {"sds", {}}, {"case", {}}, {"correlations", {}}}};
    LineReader lines(WithoutByteOrderMark(text));
    std::string_view view;
    bool headerSeen = false;
    while (lines.Next(view)) {
        const int number = lines.LineNumber();
        const std::string line(view);
        const std::vector<std::string> words = Words(line);
        if (!headerSeen) {
            if (line != kStatisticsFileHeader)
                Refuse(number, std::string("the first line must be \"") + kStatisticsFileHeader + "\".");
            headerSeen = true;
            continue;
        }
        if (words.empty() || words.front().starts_with('#')) continue;
        Item* item = nullptr;
        for (Item& candidate : items)
            if (words.front() == candidate.key) item = &candidate;
        if (item == nullptr) Refuse(number, "\"" + words.front() + "\" is not a known item.");
        if (item->line != 0)
            Refuse(number, "\"" + words.front() + "\" was given already on line " + std::to_string(item->line) + ".");
        item->line = number;
        item->values.assign(words.begin() + 1, words.end());
        for (const std::string& value : item->values)
            if (!ParseStatistic(value))
                Refuse(number, "\"" + value + "\" " +
                                   (IsOutOfRangeNumber(value) ? std::string(kOutOfRange) : "is not a finite number."));
    }
    if (!headerSeen) Refuse(1, std::string("the first line must be \"") + kStatisticsFileHeader + "\".");
    for (const Item& item : items)
        if (item.line == 0)
            throw EStatisticsFileError(std::string("The statistics file has no \"") + item.key + "\" line.");

    const auto& [nItem, kItem, means, sds, caseScores, correlations] = items;
    Expect(nItem, 1, "the number of controls");
    Expect(kItem, 1, "the number of covariates");
    // Plain digits only: the window's checks refuse exponents and hexadecimal counts.
    if (!IsDigits(nItem.values[0])) Refuse(nItem.line, "n must be a whole number written in digits only.");
    const std::string& k = kItem.values[0];
    if (!IsDigits(k) || k.size() != 1 || k < "1" || k > "5")
        Refuse(kItem.line, "k must be a whole number from 1 to 5.");
    const auto p = static_cast<std::size_t>(k[0] - '0') + 1;
    const std::string variables = "the task of interest, then each covariate";
    Expect(means, p, variables);
    Expect(sds, p, variables);
    Expect(caseScores, p, variables);
    Expect(correlations, p * (p - 1) / 2, "the lower triangle of the correlation matrix, row by row");
    return {nItem.values[0], kItem.values[0], {means.values, sds.values, caseScores.values, correlations.values}};
}

StatisticsTable ReadStatisticsFile(const std::string& path) {
    return ParseStatisticsFile(ReadTextFile(path, "The statistics file"));
}

}  // namespace quorvane
