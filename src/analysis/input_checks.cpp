#include "analysis/input_checks.h"

#include <cmath>
#include <cstddef>

#include "analysis/program_texts.h"
#include "analysis/text_helpers.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

// Line 2 of the range messages: the label caption and the value as "%3.3f", or as typed
// from 1e15 in size, where a double no longer holds every digit typed and "%3.3f" would
// show others.
std::string CaptionAndValue(const std::string& caption, double x, const std::string& typed) {
    const std::string value = std::fabs(x) < 1e15 ? FormatText("%3.3f", {static_cast<long double>(x)}) : Trimmed(typed);
    return "(  " + caption + "  " + value + "  )";
}

bool IsWholeNumber(double x) { return x == std::trunc(x); }

}  // namespace

void ShowWarning(Platform& platform, const std::string& text) {
    platform.ShowMessage(MessageKind::Warning, DefaultCaption(MessageKind::Warning), text);
}

bool CheckCovariatesForSampleSize(int n, int k, Platform& platform, AnalysisTest test) {
    const bool dissociation = test == AnalysisTest::Dissociation;
    const int maximum = dissociation ? n - 4 : n - 2;
    if (k <= maximum) return true;
    platform.ShowMessage(MessageKind::Error, DefaultCaption(MessageKind::Error),
                         FormatText(dissociation ? " With a control sample size of %2d, the maximum number of "
                                                   "covariates for a dissociation is %2d "
                                                 : " With a control sample size of %2d, the maximum number of "
                                                   "covariates is %2d ",
                                    {n, maximum}));
    return false;
}

std::optional<double> ReadNumericField(const std::string& text, const std::string& caption, Platform& platform) {
    if (text.empty()) {
        ShowWarning(platform, "INPUT ERROR\n\n(  " + caption + "  " + text +
                                  ")\n\nData have not been entered in this field.");
        return std::nullopt;
    }
    double v = 0;
    bool negative = false;
    bool fractional = false;
    double scale = 1;  // 10^m for the m-th fractional digit
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ') continue;  // pasted blanks are ignored wherever they stand
        if (c == '-' && i == 0) {
            negative = true;
        } else if (c == '.' && !fractional) {
            fractional = true;
        } else if (c >= '0' && c <= '9') {
            const int d = c - '0';
            if (fractional) {
                scale *= 10;
                v = v + d / scale;
            } else {
                v = 10 * v + d;
            }
        } else {
            ShowWarning(platform, "INPUT ERROR\n(  " + caption + "  " + text +
                                      "  )\n\nEnter numeric data only.");
            return std::nullopt;
        }
    }
    return negative ? -v : v;
}

bool CheckSampleSize(const std::string& caption, double x, const std::string& typed, Platform& platform,
                     AnalysisTest test) {
    const bool dissociation = test == AnalysisTest::Dissociation;
    // The fewest controls of each test, without covariates: n - 1 > 0, and n - 2 > 1 for
    // the residual covariance of a dissociation's two tasks.
    if (IsWholeNumber(x) && std::trunc(x) > (dissociation ? 3 : 1)) return true;
    ShowWarning(platform, "INPUT ERROR\n" + CaptionAndValue(caption, x, typed) +
                              (dissociation ? "\nThe value for sample size must be an integer greater than 3 for a "
                                              "dissociation."
                                            : "\nThe value for sample size must be an integer greater than 1."));
    return false;
}

bool CheckSampleSizeLimit(const std::string& caption, double x, const std::string& typed, Platform& platform,
                          int limit) {
    if (x <= limit) return true;
    ShowWarning(platform, "INPUT ERROR\n" + CaptionAndValue(caption, x, typed) +
                              "\nThe value for sample size must not be greater than " +
                              std::to_string(limit) + ".");
    return false;
}

bool CheckCovariateCount(const std::string& caption, double x, const std::string& typed, Platform& platform) {
    if (IsWholeNumber(x) && std::trunc(x) >= 0 && std::trunc(x) < 6) return true;
    ShowWarning(platform,
                "INPUT ERROR\n" + CaptionAndValue(caption, x, typed) + "\nThe value must be an integer from 0 to 5.");
    return false;
}

bool CheckCaseCount(const std::string& caption, double x, const std::string& typed, Platform& platform) {
    const std::string head = "INPUT ERROR\n" + CaptionAndValue(caption, x, typed);
    if (!IsWholeNumber(x) || std::trunc(x) < 1) {
        ShowWarning(platform, head + "\nThe value must be an integer of 1 or more.");
        return false;
    }
    if (x <= kMaxCaseCount) return true;
    ShowWarning(platform, head + "\nThe value must not be greater than " + std::to_string(kMaxCaseCount) +
                              ": a series of at most " + std::to_string(kMaxCaseCount) +
                              " cases is analysed at a time, as the report gives each case's outputs and a "
                              "table of them all.");
    return false;
}

namespace {

// The typing filter's rule: the character a typed one becomes, or nothing.
std::optional<char> NumericKey(char key) {
    if (key == ',') return '.';
    const bool accepted = key == 8 || key == 9 || key == 13 || key == '-' || key == '.' ||
                          (key >= '0' && key <= '9');
    if (accepted) return key;
    return std::nullopt;
}

void RefuseNonNumeric(Platform& platform) {
    platform.Beep();
    ShowWarning(platform, "INPUT ERROR\n\nEnter numeric data only.");
}

}  // namespace

std::optional<char> FilterNumericKey(char key, Platform& platform) {
    const std::optional<char> accepted = NumericKey(key);
    if (!accepted) RefuseNonNumeric(platform);
    return accepted;
}

std::optional<std::string> FilterPastedText(const std::string& text, Platform& platform) {
    // The blanks and line ends around a copied number are not part of it (a spreadsheet's
    // cell comes with a line end); blanks alone are refused, as typed blanks are.
    const std::string number = Trimmed(text);
    if (number.empty() && !text.empty()) {
        RefuseNonNumeric(platform);
        return std::nullopt;
    }
    std::string filtered;
    for (const char c : number) {
        const std::optional<char> accepted = NumericKey(c);
        // Backspace, Tab and Enter act as keys when typed; pasted, they would be text.
        if (!accepted || static_cast<unsigned char>(*accepted) < ' ') {
            RefuseNonNumeric(platform);
            return std::nullopt;
        }
        filtered += *accepted;
    }
    return filtered;
}

std::optional<std::string> ApplyLengthLimit(const std::string& text, Platform& platform) {
    // Characters, not bytes: a pasted non-ASCII character is one UTF-8 sequence, and the
    // cut must not split it.
    int characters = 0;
    std::size_t cut = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
        if (continuation) continue;
        if (characters == kMaxFieldLength) {
            cut = i;
            break;
        }
        ++characters;
    }
    if (cut == text.size()) return std::nullopt;
    platform.Beep();
    ShowWarning(platform, "Maximum length of input is " + std::to_string(kMaxFieldLength) +
                              " characters.");
    return text.substr(0, cut);
}

}  // namespace quorvane
