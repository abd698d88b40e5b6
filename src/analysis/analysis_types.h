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

struct AnalysisInputs {
    int n = 0;
    int k = 0;
    int p = 0;
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
    long double condMean = 0;
    long double condSD = 0;
    tCovariateResults engine;
    tDrawHistogram zHistogram;  // the draws of Z behind Z-CCC's credible limits
};

// Summary statistics as typed, task of interest first: the texts, not the numbers, so
// that the report and the statistics file show them unchanged.
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
    std::vector<std::string> notesLines;                       // memoComments
    std::string notesCaption;                                  // lblComments
    bool resultsHoldText = false;                              // memoResults has a line
    char decimalSeparator = '.';
};

}  // namespace quorvane
