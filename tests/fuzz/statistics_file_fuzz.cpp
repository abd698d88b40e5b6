// Arbitrary bytes into the statistics file reader. Besides not crashing, it must either
// refuse the text with its own error or return a table whose lists fit its k and its test
// and which, written again, reads back unchanged.

#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/summary_statistics_file.h"

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvane;
    StatisticsTable table;
    try {
        table = ParseStatisticsFile(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const EStatisticsFileError&) {
        return 0;
    }
    const std::size_t p = table.entries.means.size();
    // k is one digit from 0 to 5; the tasks come before the covariates.
    Require(table.k.size() == 1 && table.k[0] >= '0' && table.k[0] <= '5');
    Require(p == static_cast<std::size_t>(table.k[0] - '0' + TaskCount(table.test)));
    Require(table.entries.sds.size() == p && table.entries.caseScores.size() == p);
    Require(table.entries.correlations.size() == p * (p - 1) / 2);
    Require(ParseStatisticsFile(FormatStatisticsFile(table)) == table);
    return 0;
}
