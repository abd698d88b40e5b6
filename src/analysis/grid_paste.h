#pragma once
// A paste into the companion's grid of statistics: the pasted text as cells, and the
// cells of the grid they fill, as a spreadsheet fills them.

#include <optional>
#include <string>
#include <vector>

#include "analysis/platform.h"

namespace quorvane {

// The pasted text (UTF-8) as cells, one list a line. Lines end in LF, CR LF or CR, and
// line ends at the end are dropped. A line with a tab is split at its tabs, as a
// spreadsheet copies a row (an empty cell between tabs stays, empty cells at the end
// go); any other line at its blanks, as a row copied from a paper. Typeset text is read
// as typed: the minus sign (U+2212) is '-', and the no-break, figure, thin, hair and
// narrow no-break spaces are blanks.
std::vector<std::vector<std::string>> PastedCells(const std::string& text);

struct GridCell {
    int row = 0;     // from 0
    int column = 0;  // from 0, within the row
    std::string text;
    bool operator==(const GridCell&) const = default;
};

// Where cells pasted into the grid's cell (row, column) go: each line in the next row,
// from that column on, in a grid whose row r holds rowLengths[r] cells. Nothing, after a
// beep and a warning that nothing was pasted, when a line runs past the end of its row
// or the lines past the last row.
std::optional<std::vector<GridCell>> PlacePastedCells(const std::vector<std::vector<std::string>>& cells, int row,
                                                      int column, const std::vector<int>& rowLengths,
                                                      Platform& platform);

}  // namespace quorvane
