#pragma once
// A case series, many cases against one control sample: the Holm adjustment of the
// cases' p values, and the table of all cases as the report and a spreadsheet take it.

#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/reported_outcome.h"

namespace quorvane {

// Holm's step-down adjustment: with the m p values in ascending order p(1) <= ... <= p(m),
// the adjusted p(j) is the largest of min(1, (m - i + 1) p(i)) over i <= j, so that the
// adjusted values keep the order of the raw ones. Returned in the order given; ties keep
// their order.
std::vector<long double> HolmAdjusted(const std::vector<long double>& p);

// One case's row of the table: a deficit's task score and test, or a dissociation's two
// task scores and the test of the difference between them, with its conclusion.
struct SeriesRow {
    int caseNumber = 0;   // from 1, in the order of the file
    int line = 0;         // in the data file; 0 when there is none (entered statistics)
    std::vector<long double> scores;
    ReportedOutcome test;
    long double holmP = 0;  // test.oneTailedP, adjusted across the series
    std::string conclusion;  // a dissociation's; empty for a deficit
};

// The rows of a finished run: its cases, or its single case.
std::vector<SeriesRow> SeriesRows(const RunFacts& facts);

// The table's lines in the report: a heading, the rows in columns under a rule, and what
// the columns mean with the sentence on multiplicity, wrapped as the report's text.
std::vector<std::string> SeriesTableLines(const std::vector<SeriesRow>& rows, AnalysisTest test,
                                          LimitType limitType, char separator);

// The sentence on testing many cases at once: how many of those without a deficit (or,
// for a dissociation, without an abnormal difference) would fall below .05 by chance.
std::string MultiplicitySentence(int cases, AnalysisTest test, char separator);

// The table as CSV for spreadsheets: a header line of column names, then a row a case;
// commas between fields, full stops as decimal points, numbers to 17 significant digits
// (each reads back to the same double), an empty field for a limit the limit type does
// not give, and a field with a comma or quote quoted. Lines end in CR LF, as spreadsheets
// write them.
std::string SeriesTableCsv(const RunFacts& facts);

}  // namespace quorvane
