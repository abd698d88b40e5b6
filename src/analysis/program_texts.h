#pragma once
// The program's process-wide strings: the report titles, the saved inputs files' names,
// the captions of the windows' choices and fields, and the names of the tests and limits.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/analysis_types.h"
#include "engine/deficit_power.h"

namespace quorvane {

inline const std::string ProgramTitle =
    "Quorvane: Bayesian test for a deficit in the single case controlling for covariate(s) "
    "(Raw data as input) ";
inline const std::string InputsFileName = "Quorvane.txt";
// The companion program that takes summary statistics as input.
inline const std::string SummaryProgramTitle =
    "QuorvaneSummary: Bayesian test for a deficit in the single case controlling for "
    "covariate(s) (Summary statistics as input) ";
inline const std::string SummaryInputsFileName = "QuorvaneSummary.txt";
// The titles of a dissociation's report, from raw data and from summary statistics.
inline const std::string DissociationProgramTitle =
    "Quorvane: Bayesian dissociation test in the single case controlling for covariate(s) "
    "(Raw data as input) ";
inline const std::string DissociationSummaryProgramTitle =
    "QuorvaneSummary: Bayesian dissociation test in the single case controlling for "
    "covariate(s) (Summary statistics as input) ";

// The items of the windows' choice of analysis, in AnalysisTest order.
inline const std::array<std::string, 2> kTestCaptions = {"Deficit (one task)", "Dissociation (two tasks)"};
// The test's name in files and on the command line: "deficit" or "dissociation".
std::string TestName(AnalysisTest test);
// The test of that name, or nothing.
std::optional<AnalysisTest> TestNamed(std::string_view name);

// The captions of the two counts, which the checks quote in their messages.
inline const std::string kSampleSizeCaption = "Number of control participants (n) :";
inline const std::string kCovariateCountCaption = "Number of covariates :";
// The raw program's third count: the cases of a series.
inline const std::string kCaseCountCaption = "Number of cases (m) :";
// The most cases of a series: each case's outputs and the table of all of them make
// a report of about 100 lines a case.
constexpr int kMaxCaseCount = 1000;
// The items of the credible limit's choice, in LimitType order; the report names the
// limit by them.
inline const std::array<std::string, 3> kLimitCaptions = {"Two-sided", "One-sided lower", "One-sided upper"};
// The limit's name in JSON and on the command line, its caption in lower case with
// hyphens for blanks: "two-sided", "one-sided-lower" or "one-sided-upper".
std::string LimitName(LimitType limit);
// The limit of that name, or nothing.
std::optional<LimitType> LimitNamed(std::string_view name);

// The captions of a study's plan's settings, which the checks quote in their messages.
inline const std::string kAlphaCaption = "Significance level (alpha) :";
inline const std::string kTargetPowerCaption = "Target power :";
inline const std::string kSimulationsCaption = "Simulated studies :";
inline const std::string kDrawsCaption = "Draws per study :";
// The deficit test's side in JSON and on the command line: "less", "greater" or
// "two-sided"; and the side of that name, or nothing.
std::string AlternativeName(Alternative alternative);
std::optional<Alternative> AlternativeNamed(std::string_view name);

// The raw program's input fields txtInput1 .. txtinput8, of which it shows the first three
// (n, k and the number of cases m), and their captions Label1 .. Label8.
constexpr int kInputFieldCount = 8;
inline const std::array<std::string, kInputFieldCount> kLabelCaptions = {
    kSampleSizeCaption,
    kCovariateCountCaption,
    kCaseCountCaption,
    "Individual's test score:",
    "Input 5",
    "Input 6 :",
    "Input 7 :",
    "Input 8 :",
};
inline const std::string kNotesCaption = "User's Notes:";

}  // namespace quorvane
