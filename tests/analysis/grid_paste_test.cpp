#include "analysis/grid_paste.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace quorvane {
namespace {

using testing::FakePlatform;
using Cells = std::vector<std::vector<std::string>>;

struct CellsCase {
    const char* name;
    const char* pasted;
    Cells cells;
};

void PrintTo(const CellsCase& c, std::ostream* os) { *os << c.name; }

class GridPastedText : public ::testing::TestWithParam<CellsCase> {};

TEST_P(GridPastedText, SplitsIntoLinesAndCells) { EXPECT_EQ(PastedCells(GetParam().pasted), GetParam().cells); }

INSTANTIATE_TEST_SUITE_P(
    Pastes, GridPastedText,
    ::testing::Values(CellsCase{"OneNumber", "31.3", {{"31.3"}}},
                      CellsCase{"SpreadsheetCell", "31.3\r\n", {{"31.3"}}},
                      CellsCase{"SpreadsheetRow", "31.3\t6.8\t\t15\t\t\n", {{"31.3", "6.8", "", "15"}}},
                      CellsCase{"PaperRow", "  31.3   6.8 15 ", {{"31.3", "6.8", "15"}}},
                      CellsCase{"Block", "1 2\r3\n\n4 5 6\n\n", {{"1", "2"}, {"3"}, {}, {"4", "5", "6"}}},
                      // U+2212 minus; no-break, thin and narrow no-break spaces between numbers.
                      CellsCase{"Typeset", "\u22120.35\u00a06.8\u2009\u202f\u22127", {{"-0.35", "6.8", "-7"}}},
                      CellsCase{"OtherTextStays", "1,5 \u00e9", {{"1,5", "\u00e9"}}},
                      CellsCase{"Nothing", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The companion's grid with k = 2: the task's row (mean, SD, case), then one more
// correlation in each row.
const std::vector<int> kRows = {3, 4, 5};

TEST(PlacePastedCells, FillsTheFollowingCellsOfEachLinesRow) {
    FakePlatform platform;
    const auto placed = PlacePastedCells({{"a", "b"}, {}, {"c", "d", "e"}}, 0, 1, kRows, platform);
    ASSERT_TRUE(placed);
    EXPECT_EQ(*placed, (std::vector<GridCell>{{0, 1, "a"}, {0, 2, "b"}, {2, 1, "c"}, {2, 2, "d"}, {2, 3, "e"}}));
    EXPECT_TRUE(platform.messages.empty());
}

struct Overflow {
    Cells cells;
    int row, column;
    const char* why;
};

void PrintTo(const Overflow& c, std::ostream* os) { *os << c.why; }

class PasteBeyondTheGrid : public ::testing::TestWithParam<Overflow> {};

TEST_P(PasteBeyondTheGrid, PlacesNothingAndSaysWhy) {
    FakePlatform platform;
    const Overflow& c = GetParam();
    EXPECT_EQ(PlacePastedCells(c.cells, c.row, c.column, kRows, platform), std::nullopt);
    EXPECT_EQ(platform.beeps, 1);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(platform.messages[0].text,
              std::string("INPUT ERROR\n\nThe pasted text does not fit the grid from this cell: ") + c.why +
                  ". Nothing was pasted.");
}

INSTANTIATE_TEST_SUITE_P(
    Overflows, PasteBeyondTheGrid,
    ::testing::Values(Overflow{{{"1", "2", "3", "4"}}, 0, 0,
                               "line 1 holds 4 numbers, but its row has room for 3 from here"},
                      Overflow{{{"1"}, {"2", "3", "4", "5"}}, 1, 2,
                               "line 2 holds 4 numbers, but its row has room for 3 from here"},
                      Overflow{{{"1"}, {"2"}}, 2, 0, "it holds 2 lines, but the grid shows 1 row from here"}));

}  // namespace
}  // namespace quorvane
