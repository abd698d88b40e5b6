#pragma once
// The values of one analysis run: what is asked, and what is computed.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/bayes_engines.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

// The kind of 95% credible limit; the values are RadioGroup1's item indexes.
enum class LimitType : int { TwoSided = 0, OneSidedLower = 1, OneSidedUpper = 2 };

// The analysis: the deficit test on one task, or the test of a dissociation between two
// tasks; the values are the item indexes of the windows' choice of analysis.
enum class AnalysisTest : int { Deficit = 0, Dissociation = 1 };

// The tasks of a test, which come before the covariates in every list of variables.
constexpr int TaskCount(AnalysisTest test) { return test == AnalysisTest::Dissociation ? 2 : 1; }

struct AnalysisInputs {
    int n = 0;
    int k = 0;
    int m = 1;  // the cases, each against the same controls
    int p = 0;  // k + TaskCount(test)
    AnalysisTest test = AnalysisTest::Deficit;
    LimitType limitType = LimitType::TwoSided;
    RawDataTable rawData;
    std::string dataFileName;
    std::vector<std::string> names{};  // the data file's names of the variables, when it gave them
};

// The statistics the tests are run on (n and k set by the run), and what they give.
struct AnalysisResults : tCaseStatistics {
    tVector caseZ;
    // The engine's outcome. A deficit fills tasks[0], the test of the task of interest;
    // a dissociation fills all of it: each task's deficit test and the difference's.
    tDissociationOutcome outcome;
};

// Summary statistics as typed, the tasks first: the texts, not the numbers, so that the
// report and the statistics file show them unchanged.
struct SummaryEntries {
    std::vector<std::string> means;
    std::vector<std::string> sds;
    std::vector<std::string> caseScores;
    std::vector<std::string> correlations;  // lower triangle, row by row: r21; r31 r32; ...
    bool operator==(const SummaryEntries&) const = default;
};

// One case of a raw run: its line in the data file and its results.
struct CaseFacts {
    int line = 0;
    AnalysisResults results;
};

// What a machine-readable report gives of a finished run.
struct RunFacts {
    int n = 0;
    int k = 0;
    AnalysisTest test = AnalysisTest::Deficit;
    LimitType limitType = LimitType::TwoSided;
    std::string dataFileName;  // empty when the statistics were entered
    AnalysisResults results;   // the case's; of a series, the first case's
    // A raw run's cases in the order of the file, one for a single case; empty when the
    // statistics were entered.
    std::vector<CaseFacts> cases;
    bool IsSeries() const { return cases.size() > 1; }
    std::vector<std::string> names{};  // the data file's names of the variables, when it gave them
};

// The raw data file of an analysis: a path, or none when the user is to choose the file
// in the open dialog once the counts have passed their checks.
struct RawDataFile {
    std::optional<std::string> path;
};

// Where an analysis takes its data from: the raw scores of a file, or summary statistics.
using DataSource = std::variant<RawDataFile, SummaryEntries>;

// What a front end asks of the analysis: each window and the report tool turns its own
// inputs into one of these, and the analysis never knows which of them asked.
struct AnalysisRequest {
    AnalysisTest test = AnalysisTest::Deficit;
    LimitType limit = LimitType::TwoSided;
    // The counts as typed, or as a statistics file holds them: the checks quote them.
    std::string nText, kText;
    // The number of cases m of a raw run, as typed: the m lines after the n controls.
    std::string mText = "1";
    DataSource source = RawDataFile{};
    std::vector<std::string> notes;      // the user's notes, line by line
    bool followsEarlierReport = false;   // the report starts with the separator line
    char decimalSeparator = '.';         // of the report's numbers

    bool FromSummary() const { return std::holds_alternative<SummaryEntries>(source); }
};

// An entry of a request: a count, a statistic of an entered table, or a setting of a
// study's plan; index counts from 0 within its list (variables tasks first; correlations
// in SummaryEntries order).
enum class InputField { None, N, K, M, Mean, SD, CaseScore, Correlation, Alpha, TargetPower, Simulations, Draws };
struct InputFocus {
    InputField field = InputField::None;
    int index = 0;
    bool operator==(const InputFocus&) const = default;
};

}  // namespace quorvane
