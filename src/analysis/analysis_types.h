#pragma once
// The values of one analysis run, and the part of the main window it reads.

#include <array>
#include <string>
#include <vector>

#include "engine/bayes_engines.h"
#include "numerics/matrix_handling.h"

namespace quorvane {

// The item index of RadioGroup1.
enum class LimitType : int { TwoSided = 0, OneSidedLower = 1, OneSidedUpper = 2 };

// The item index of the windows' choice of analysis: the deficit test on one task, or
// the test of a dissociation between two tasks.
enum class AnalysisTest : int { Deficit = 0, Dissociation = 1 };

// The tasks of a test, which come before the covariates in every list of variables.
constexpr int TaskCount(AnalysisTest test) { return test == AnalysisTest::Dissociation ? 2 : 1; }

struct AnalysisInputs {
    int n = 0;
    int k = 0;
    int p = 0;  // k + TaskCount(test)
    AnalysisTest test = AnalysisTest::Deficit;
    LimitType limitType = LimitType::TwoSided;
    RawDataTable rawData;
    std::string dataFileName;
};

struct AnalysisResults {
    tMatrix corr;
    tVector means;
    tVector sds;
    tVector caseScores;
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

// What a machine-readable report gives of a finished run.
struct RunFacts {
    int n = 0;
    int k = 0;
    AnalysisTest test = AnalysisTest::Deficit;
    LimitType limitType = LimitType::TwoSided;
    std::string dataFileName;  // empty when the statistics were entered
    AnalysisResults results;
};

constexpr int kInputFieldCount = 8;

// What the analysis reads of the main window (and of the results window's text).
struct MainWindowState {
    std::array<std::string, kInputFieldCount> fieldTexts;     // txtInput1 .. txtinput8
    std::array<std::string, kInputFieldCount> labelCaptions;  // Label1 .. Label8
    int limitIndex = 0;                                        // RadioGroup1
    int testIndex = 0;                                         // the choice of analysis
    std::vector<std::string> notesLines;                       // memoComments
    std::string notesCaption;                                  // lblComments
    bool resultsHoldText = false;                              // memoResults has a line
    char decimalSeparator = '.';
};

}  // namespace quorvane
