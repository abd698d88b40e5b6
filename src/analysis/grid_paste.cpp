#include "analysis/grid_paste.h"

#include <algorithm>

#include "analysis/input_checks.h"
#include "analysis/text_helpers.h"
#include "io/text_input.h"

namespace quorvane {

namespace {

// The pasted lines, without the blank ones a copied table ends in.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    LineReader reader(text);
    for (std::string_view line; reader.Next(line);) lines.emplace_back(line);
    while (!lines.empty() && Trimmed(lines.back()).empty()) lines.pop_back();
    return lines;
}

std::vector<std::string> TabCells(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        cells.push_back(Trimmed(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    while (!cells.empty() && cells.back().empty()) cells.pop_back();
    return cells;
}

void RefusePaste(Platform& platform, const std::string& why) {
    platform.Beep();
    ShowWarning(platform, "INPUT ERROR\n\nThe pasted text does not fit the grid from this cell: " + why +
                              ". Nothing was pasted.");
}

}  // namespace

std::vector<std::vector<std::string>> PastedCells(const std::string& text) {
    std::vector<std::vector<std::string>> cells;
    for (const std::string& line : Lines(Untypeset(text)))
        cells.push_back(line.find('\t') != std::string::npos ? TabCells(line) : Words(line));
    return cells;
}

std::optional<std::vector<GridCell>> PlacePastedCells(const std::vector<std::vector<std::string>>& cells, int row,
                                                      int column, const std::vector<int>& rowLengths,
                                                      Platform& platform) {
    const std::size_t rowsFromHere = rowLengths.size() - static_cast<std::size_t>(row);
    if (cells.size() > rowsFromHere) {
        RefusePaste(platform, "it holds " + Plural(cells.size(), "line", "lines") + ", but the grid shows " +
                                  Plural(rowsFromHere, "row", "rows") + " from here");
        return std::nullopt;
    }
    std::vector<GridCell> placed;
    for (std::size_t line = 0; line < cells.size(); ++line) {
        const int target = row + static_cast<int>(line);
        const std::size_t room = static_cast<std::size_t>(std::max(0, rowLengths[target] - column));
        if (cells[line].size() > room) {
            RefusePaste(platform, "line " + std::to_string(line + 1) + " holds " +
                                      Plural(cells[line].size(), "number", "numbers") + ", but its row has room for " +
                                      std::to_string(room) + " from here");
            return std::nullopt;
        }
        for (std::size_t i = 0; i < cells[line].size(); ++i)
            placed.push_back({target, column + static_cast<int>(i), cells[line][i]});
    }
    return placed;
}

}  // namespace quorvane
