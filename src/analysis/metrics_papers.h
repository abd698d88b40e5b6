#pragma once
// The program's process-wide strings and the checks of the typed inputs.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"

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

// Captions of Label1 .. Label8; the checks quote them in their messages. Only the first
// two pairs of the main window are shown.
inline const std::array<std::string, 8> kLabelCaptions = {
    "Number of control participants (n) :",
    "Number of covariates :",
    "Total sample size (n) for the normative sample:",
    "Individual's test score:",
    "Input 5",
    "Input 6 :",
    "Input 7 :",
    "Input 8 :",
};
inline const std::string kNotesCaption = "User's Notes:";

// Set by ReadNumericField on a conversion error; valid only right after a call.
extern bool InputErrorFlag;

// The largest n: the raw data table holds n controls and the case in 500 rows.
constexpr int kMaxSampleSize = 499;
// Typing keeps a field to this many characters.
constexpr int kMaxFieldLength = 6;

// A warning box with its default caption.
void ShowWarning(Platform& platform, const std::string& text);
// The text without the blanks and control characters around it.
std::string Trimmed(const std::string& text);
// "1 line", "3 lines": a count with the word that fits it.
std::string Plural(std::size_t count, std::string_view singular, std::string_view plural);
// A blank-separated list (blanks, tabs or line ends between the words) as its words.
std::vector<std::string> Words(const std::string& list);

// Converts a field's text (blanks ignored, one leading minus, one point); shows the
// empty-field or not-a-number warning and sets InputErrorFlag on failure.
double ReadNumericField(const std::string& text, const std::string& caption, Platform& platform);
// The range checks of a number x read from the text typed. Their warnings show x as
// "%3.3f", or the text typed where x is too large for that to show what was typed.
// An integer greater than 1, or 3 for a dissociation: the fewest controls of the test
// without covariates (k + 2, or k + 4 for a dissociation); otherwise the warning is shown
// and the result is false.
bool CheckSampleSize(const std::string& caption, double x, const std::string& typed, Platform& platform,
                     AnalysisTest test = AnalysisTest::Deficit);
// n no larger than limit; otherwise the warning is shown.
bool CheckSampleSizeLimit(const std::string& caption, double x, const std::string& typed, Platform& platform,
                          int limit = kMaxSampleSize);
// An integer from 0 to 5; otherwise the warning is shown.
bool CheckCovariateCount(const std::string& caption, double x, const std::string& typed, Platform& platform);
// Fewer than n - 1 covariates for n controls, or fewer than n - 3 for a dissociation,
// whose residual covariance needs n - k - 2 > 1; otherwise the error is shown.
bool CheckCovariatesForSampleSize(int n, int k, Platform& platform, AnalysisTest test = AnalysisTest::Deficit);

// The typing filter: the character to insert, or nothing (after a beep and a warning).
std::optional<char> FilterNumericKey(char key, Platform& platform);
// A paste into a filtered field, checked as if typed: the text to insert, each character
// as the filter turns it, or nothing (after one beep and warning) when the filter refuses
// any character. Blanks and line ends around the text are dropped; the length limit is
// the caller's, after the insertion.
std::optional<std::string> FilterPastedText(const std::string& text, Platform& platform);
// The length limit after a key release: the cut text when the text was too long (after
// a beep and a warning), or nothing when it may stay.
std::optional<std::string> ApplyLengthLimit(const std::string& text, Platform& platform);

}  // namespace quorvane
