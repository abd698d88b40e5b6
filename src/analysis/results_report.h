#pragma once
// The plain-text report of one run, line for line.

#include <string>
#include <vector>

#include "analysis/analysis_types.h"

namespace quorvane {

// The line that sets each report after the first apart from the one before it.
inline constexpr char kSeparatorLine[] = "------------------------------------";
static_assert(sizeof kSeparatorLine == 36 + 1);

// A deficit's "Task of Interest" for variable 1 and "Covariate <i>" for variable i + 1; a
// dissociation's "Task 1", "Task 2" and "Covariate <i>" for variable i + 2.
std::string VariableName(int variable, AnalysisTest test = AnalysisTest::Deficit);

// Which criteria of a dissociation the outcome meets, in words: a deficit on a task is a
// one-tailed p below .05 with the case below the controls, the difference is significant
// with a two-tailed p below .05; a deficit on one task and none on the other with a
// significant difference is a classical dissociation, deficits on both with a significant
// difference a strong one. E.g. "classical dissociation (a deficit on task 1, none on
// task 2, a significant difference)".
std::string DissociationConclusion(const tDissociationOutcome& outcome);

// The criteria of a dissociation whose p lies so near .05 that the Monte Carlo error of
// `draws` draws could put it on either side, by name ("task 1's one-tailed p", "task 2's
// one-tailed p", "the difference's two-tailed p"): within 3 standard errors of .05.
// The standard error of a one-tailed p is sqrt(p (1 - p) / draws), which bounds that of a
// mean of Phi values in [0, 1] with that mean; the two-tailed p is twice the one-tailed,
// its standard error twice as large. A task's p counts only with the case below the
// controls, as only then can it meet the criterion.
std::vector<std::string> BorderlineCriteria(const tDissociationOutcome& outcome, int draws = kDraws);

// The title line of a report: the program's title for the test and the input mode, which
// says "controlling for covariate(s)", or with k = 0 "without covariates" in its place.
std::string ReportTitle(AnalysisTest test, bool summary, int k);

// " <caption before its last colon>= <text>"
std::string FormatInputLine(const std::string& caption, const std::string& text);

// The report's head: the separator line when it follows an earlier report, the title and
// the paper whose methods the program implements.
void WriteReportHead(const std::string& title, bool followsEarlierReport, std::vector<std::string>& lines);
// The user's notes, when there are any, under their caption.
void WriteReportNotes(const std::vector<std::string>& notes, std::vector<std::string>& lines);
// A text as lines of whole words, each starting with a blank, no wider than the report's
// rule lines.
void AppendWrapped(const std::string& text, std::vector<std::string>& lines);
// The entered table under its heading, texts unchanged but for the decimal separator:
// each variable's mean, SD and case's score, then the correlations. population: the table
// read as the population's (a study's plan), the case's task scores its expected ones.
void WriteEnteredTable(AnalysisTest test, int k, const SummaryEntries& entries, char separator, bool population,
                       std::vector<std::string>& lines);

// The lines to append to the results text; the separator line comes first only when the
// request follows an earlier report. A raw run's report gives the data file and the raw
// data, one on entered statistics the statistics as entered, text unchanged. A
// dissociation's report gives both tasks' deficit tests, then the difference's test and
// the conclusion.
std::vector<std::string> WriteReport(const AnalysisInputs& inputs, const AnalysisResults& results,
                                     const AnalysisRequest& request);

// The report of a raw run's series of cases: the inputs once, each case's analysis under
// the heading "CASE <i> (line <line>):" as a single run on that case writes it (from its
// summary table to its OUTPUTS block), then the table of all cases.
std::vector<std::string> WriteSeriesReport(const AnalysisInputs& inputs, const std::vector<CaseFacts>& cases,
                                           const AnalysisRequest& request);

}  // namespace quorvane
