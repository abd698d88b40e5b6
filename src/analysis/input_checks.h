#pragma once
// The checks of the typed inputs: the conversion and range checks of the counts, and the
// typing filter and length limit of the windows' fields. Each shows its own message.

#include <optional>
#include <string>

#include "analysis/analysis_types.h"
#include "analysis/platform.h"

namespace quorvane {

// The largest n: the raw data table holds n controls and the case in 500 rows.
constexpr int kMaxSampleSize = 499;
// Typing keeps a field to this many characters.
constexpr int kMaxFieldLength = 6;

// A warning box with its default caption.
void ShowWarning(Platform& platform, const std::string& text);

// Converts a field's text (blanks ignored, one leading minus, one point); nothing, after
// the empty-field or not-a-number warning, when it is no number.
std::optional<double> ReadNumericField(const std::string& text, const std::string& caption, Platform& platform);
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
// An integer from 1 to kMaxCaseCount; otherwise the warning is shown.
bool CheckCaseCount(const std::string& caption, double x, const std::string& typed, Platform& platform);
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
