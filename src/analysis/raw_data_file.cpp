#include "analysis/raw_data_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "io/io_errors.h"
#include "analysis/text_helpers.h"
#include "io/text_input.h"
#include "numerics/fp_faults.h"
#include "numerics/text_format.h"

namespace quorvane {

namespace {

constexpr std::size_t kMaxTokenLength = 64;
constexpr char kEndOfData = 26;  // Ctrl-Z

// Any character of code 32 or less separates numbers; compared unsigned so that bytes
// of non-ASCII characters count as text, not as separators.
bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 32; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Needed(int count) {
    return std::to_string(count) + (count == 1 ? " is needed" : " are needed");
}

EDataFileError ShortFile(int found, int rowCount, int caseCount) {
    const int controls = rowCount - caseCount;
    const std::string cases = caseCount == 1 ? "the case" : std::to_string(caseCount) + " cases";
    const std::string who = controls == 0 ? cases : Plural(controls, "control", "controls") + " and " + cases;
    return EDataFileError("The data file holds " + Plural(found, "line", "lines") + " of data; " +
                          Needed(rowCount) + " (" + who + ").");
}

EDataFileError ShortLine(int lineNumber, int found, int colCount, int taskCount) {
    const int covariates = colCount - taskCount;
    const std::string tasks = taskCount == 1 ? "the task score" : "the two task scores";
    const std::string what =
        covariates == 0 ? tasks : tasks + " and " + Plural(covariates, "covariate score", "covariate scores");
    return EDataFileError("Line " + std::to_string(lineNumber) + " of the data file holds " +
                          Plural(found, "number", "numbers") + "; " + Needed(colCount) + " (" +
                          what + ").");
}

// The parts of a token that passed the syntax check.
struct NumberSyntax {
    std::string_view mantissa;  // sign stripped: digits, '.', digits
    long exponent = 0;          // saturated far beyond the range of long double
    bool negative = false;
};

// Sign, digits, optional point, digits, optional exponent (e or E, optional sign, at
// least one digit). Lenient where it costs nothing: ".5" and "5." are read, as other
// programs write them; the mantissa needs one digit somewhere. No "inf", "nan" or hex.
bool CheckSyntax(std::string_view token, NumberSyntax& out) {
    std::size_t i = 0;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        out.negative = token[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    bool hasDigit = false;
    for (; i < token.size() && IsDigit(token[i]); ++i) hasDigit = true;
    if (i < token.size() && token[i] == '.') {
        for (++i; i < token.size() && IsDigit(token[i]); ++i) hasDigit = true;
    }
    if (!hasDigit) return false;
    out.mantissa = token.substr(start, i - start);
    if (i == token.size()) return true;
    if (token[i] != 'e' && token[i] != 'E') return false;
    ++i;
    bool negativeExponent = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negativeExponent = token[i] == '-';
        ++i;
    }
    if (i == token.size()) return false;
    constexpr long kExponentCap = 1'000'000;
    long exponent = 0;
    for (; i < token.size(); ++i) {
        if (!IsDigit(token[i])) return false;
        if (exponent < kExponentCap) exponent = exponent * 10 + (token[i] - '0');
    }
    out.exponent = negativeExponent ? -exponent : exponent;
    return true;
}

bool Convert(std::string_view mantissa, long exponent, long double& value) {
    const std::string text = std::string(mantissa) + "e" + std::to_string(exponent);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool IsNumber(std::string_view token) {
    NumberSyntax syntax;
    return token.size() <= kMaxTokenLength && CheckSyntax(token, syntax);
}

// from_chars, not strtold: it ignores the C locale, which the desktop toolkit may have
// set to the user's (a comma as decimal separator). Nothing when the token is not a
// number, or is one out of the range the programs take.
std::optional<long double> ParseNumber(std::string_view token) {
    if (token.size() > kMaxTokenLength) return std::nullopt;
    NumberSyntax syntax;
    if (!CheckSyntax(token, syntax)) return std::nullopt;

    long double value = 0;
    const bool ok = Convert(syntax.mantissa, syntax.exponent, value) && InNumberRange(value);
    // The conversion raises the unit's sticky flags; the analysis tests them later and
    // must not see ours.
    ClearFloatingPointFaults();
    if (!ok) return std::nullopt;
    // A zero has no sign: "-0" must not list as -0.000 in the report.
    return syntax.negative && value != 0 ? -value : value;
}

constexpr std::size_t kShownTokenLength = 40;

std::string SeparatedBy(FieldSeparator separator) {
    switch (separator) {
        case FieldSeparator::Commas: return "by commas";
        case FieldSeparator::Semicolons: return "by semicolons";
        case FieldSeparator::Blanks: break;
    }
    return "by blanks";
}

// The field as the number reader takes it: in a semicolon file the comma is the decimal
// point and a full stop is none, so the two change places ("46,5" reads, "46.5" does not).
std::string AsNumberText(std::string_view field, FieldSeparator separator) {
    std::string text(field);
    if (separator == FieldSeparator::Semicolons)
        for (char& c : text) c = c == ',' ? '.' : c == '.' ? ',' : c;
    return text;
}

// Names the line and shows the token; a number out of range says so, and a character
// that cannot be part of a number in this file suggests the usual slip.
EInOutError InvalidNumber(int lineNumber, std::string_view token, FieldSeparator separator) {
    std::string message = "Invalid numeric input on line " + std::to_string(lineNumber) +
                          " of the data file: " + Quoted(token, kShownTokenLength);
    if (IsNumber(AsNumberText(token, separator)))
        message += "\nThe number " + std::string(kOutOfRange);
    else if (separator == FieldSeparator::Blanks && token.find_first_of(",;") != std::string_view::npos)
        message += "\nThis file separates its numbers by blanks: a number is written with a full stop as the "
                   "decimal point, without commas or semicolons.";
    else if (separator == FieldSeparator::Commas && token.find_first_of(",;") != std::string_view::npos)
        message += "\nThis file separates its numbers by commas: a number is written with a full stop as the "
                   "decimal point.";
    else if (separator == FieldSeparator::Semicolons && token.find('.') != std::string_view::npos)
        message += "\nThis file separates its numbers by semicolons: a number is written with a comma as the "
                   "decimal point, without full stops.";
    return EInOutError(message);
}

// A header's name as the reports show it: control characters and bytes that are not
// UTF-8 escaped, a long name cut.
std::string SafeName(std::string_view name) {
    const std::string quoted = Quoted(name, kShownTokenLength);
    return quoted.substr(1, quoted.size() - 2);
}

// A spreadsheet's error texts (#N/A, #VALUE!, #DIV/0! ...) and the usual marks of a
// missing value: never read as a number, never as a name.
bool IsMissingMark(std::string_view field) {
    const auto upper = [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); };
    std::string text;
    for (const char c : field) text += upper(c);
    return text.starts_with('#') || text == "NA" || text == "N/A";
}

EDataFileError MissingValue(int lineNumber, int column, std::string_view field) {
    const std::string what = field.empty() ? "the field is empty"
                                           : "the field holds " + Quoted(field, kShownTokenLength) +
                                                 ", the mark of a missing value or of a spreadsheet's error";
    return EDataFileError("Missing value on line " + std::to_string(lineNumber) + ", column " +
                          std::to_string(column) + " of the data file: " + what +
                          ". The analysis needs every score of the controls and the case.");
}

constexpr std::string_view kOneSeparator =
    " A data file separates them in one way throughout: by blanks, by commas or by semicolons.";

// The next line holding something other than blanks, and its line number in the file.
bool NextDataLine(LineReader& lines, std::string_view& line, int& lineNumber) {
    while (lines.Next(line)) {
        for (const char c : line) {
            if (!IsSeparator(c)) {
                lineNumber = lines.LineNumber();
                return true;
            }
        }
    }
    return false;
}

// The line without the separators around it.
std::string_view WithoutSeparatorsAround(std::string_view line) {
    while (!line.empty() && IsSeparator(line.front())) line.remove_prefix(1);
    while (!line.empty() && IsSeparator(line.back())) line.remove_suffix(1);
    return line;
}

// The next token of the line, removed from it; empty when none is left.
std::string_view NextToken(std::string_view& line) {
    std::size_t start = 0;
    while (start < line.size() && IsSeparator(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !IsSeparator(line[end])) ++end;
    const std::string_view token = line.substr(start, end - start);
    line.remove_prefix(end);
    return token;
}

// A field of a line: blanks around it and a spreadsheet's quotes taken off.
struct Field {
    std::string text;
    bool blanksInside = false;  // unquoted text with blanks between its characters
};

// The fields of a line, one by one. Blanks separate the fields of a blank-separated line
// as they always have, quotes being no part of that; between commas or semicolons a field
// may be empty, and may be quoted ("48", "46,5"), a doubled quote standing for one.
class FieldCursor {
public:
    FieldCursor(std::string_view line, FieldSeparator separator) : rest_(line), separator_(separator) {}

    // The next field; nothing when the line has no more.
    std::optional<Field> Next() {
        if (separator_ == FieldSeparator::Blanks) {
            const std::string_view token = NextToken(rest_);
            if (token.empty()) return std::nullopt;
            return Field{std::string(token)};
        }
        if (!more_) return std::nullopt;
        const char mark = separator_ == FieldSeparator::Commas ? ',' : ';';
        SkipBlanks();
        Field field;
        const std::string_view start = rest_;
        if (!rest_.empty() && rest_.front() == '"' && Unquote(field.text)) {
            SkipBlanks();
            if (rest_.empty() || rest_.front() == mark) return Ended(field);
            rest_ = start;  // text after the closing quote: the field is read as it stands
        }
        const std::size_t end = std::min(rest_.find(mark), rest_.size());
        field.text = std::string(WithoutSeparatorsAround(rest_.substr(0, end)));
        field.blanksInside = std::any_of(field.text.begin(), field.text.end(), IsSeparator);
        rest_.remove_prefix(end);
        return Ended(field);
    }

    // What the line holds beyond the fields given, without blanks or separators around it.
    std::string_view Rest() const {
        std::string_view rest = rest_;
        const char mark = separator_ == FieldSeparator::Commas       ? ','
                          : separator_ == FieldSeparator::Semicolons ? ';'
                                                                     : ' ';
        const auto around = [mark](char c) { return IsSeparator(c) || c == mark; };
        while (!rest.empty() && around(rest.front())) rest.remove_prefix(1);
        while (!rest.empty() && around(rest.back())) rest.remove_suffix(1);
        return rest;
    }

private:
    void SkipBlanks() {
        while (!rest_.empty() && IsSeparator(rest_.front())) rest_.remove_prefix(1);
    }

    // The quoted text at the start of rest_, taken from it; false, rest_ untouched, when
    // the quote is never closed.
    bool Unquote(std::string& text) {
        for (std::size_t i = 1; i < rest_.size(); ++i) {
            if (rest_[i] != '"') {
                text += rest_[i];
            } else if (i + 1 < rest_.size() && rest_[i + 1] == '"') {
                text += '"';
                ++i;
            } else {
                text = std::string(WithoutSeparatorsAround(text));
                rest_.remove_prefix(i + 1);
                return true;
            }
        }
        text.clear();
        return false;
    }

    std::optional<Field> Ended(Field& field) {
        more_ = !rest_.empty();
        if (more_) rest_.remove_prefix(1);  // the separator
        return std::move(field);
    }

    std::string_view rest_;
    FieldSeparator separator_;
    bool more_ = true;
};

// What a line shows of its separator: blanks between its first characters, or else a
// semicolon anywhere (a comma is then a decimal point), or else a comma; nothing for a
// line of a single field. "10 64 12 1,5" is blank-separated, with text after its numbers.
std::optional<FieldSeparator> SeparatorShown(std::string_view line) {
    const std::size_t mark = line.find_first_of(",;");
    const std::string_view before = WithoutSeparatorsAround(line.substr(0, mark));
    if (std::any_of(before.begin(), before.end(), IsSeparator)) return FieldSeparator::Blanks;
    if (mark == std::string_view::npos) return std::nullopt;
    return line.find(';') != std::string_view::npos ? FieldSeparator::Semicolons : FieldSeparator::Commas;
}

// How the file is laid out: its separator and its header line, if it has one.
struct FileFormat {
    FieldSeparator separator = FieldSeparator::Blanks;
    int headerLine = 0;               // 0: none
    std::vector<std::string> names;   // the header's, as it gives them
    // A first line of names that is no header as it names more or fewer columns than
    // the line below it holds: the counts, for the refusal of the line as data.
    int namesGiven = 0;
    int fieldsBelow = 0;
    int lineBelow = 0;
};

// The line's fields up to the last that is not empty.
std::vector<std::string> FieldsOf(std::string_view line, FieldSeparator separator) {
    std::vector<std::string> fields;
    FieldCursor cursor(line, separator);
    while (const std::optional<Field> field = cursor.Next()) fields.push_back(field->text);
    while (!fields.empty() && fields.back().empty()) fields.pop_back();
    return fields;
}

// Whether the line's first field may be a number, however the file turns out separated:
// a header's first name may not.
bool StartsWithNumber(std::string_view line) {
    line = WithoutSeparatorsAround(line);
    if (!line.empty() && line.front() == '"') line.remove_prefix(1);
    const std::size_t end = std::min(line.find_first_of(",;\""), line.size());
    line = line.substr(0, end);
    return IsNumber(NextToken(line));
}

// The separator from the lines the data are read from, decided once for the file; a
// first line that may be a header is not among them. Then the header: a first line of
// fields that are not numbers, nor empty, nor marks of a missing value, as many as the
// line below it holds.
FileFormat FormatOf(std::string_view content, int rowCount) {
    FileFormat format;
    LineReader lines(content);
    std::string_view first, line;
    int firstNumber = 0, lineNumber = 0;
    if (!NextDataLine(lines, first, firstNumber)) return format;
    const bool mayBeHeader = !StartsWithNumber(first);
    // Each separator: the lines that show it, the first of them and its text.
    struct Shown {
        int lines = 0, first = 0;
        std::string_view text;
    };
    std::array<Shown, 3> shown;
    const auto count = [&shown](std::string_view text, int number) {
        if (const std::optional<FieldSeparator> here = SeparatorShown(text)) {
            Shown& s = shown[static_cast<std::size_t>(*here)];
            if (s.lines++ == 0) s = {1, number, text};
        }
    };
    if (!mayBeHeader) count(first, firstNumber);
    std::string_view below;
    int belowNumber = 0;
    for (int row = mayBeHeader ? 0 : 1; row < rowCount && NextDataLine(lines, line, lineNumber); ++row) {
        if (belowNumber == 0) {
            below = line;
            belowNumber = lineNumber;
        }
        count(line, lineNumber);
    }
    // The separator most lines show, the first shown on a tie. In a blank-separated file
    // a comma or a semicolon is refused where it stands, as a decimal comma ("61,5 16")
    // most often is; commas or semicolons with any other separator are refused here.
    const auto index = [](FieldSeparator separator) { return static_cast<std::size_t>(separator); };
    for (const FieldSeparator separator : {FieldSeparator::Commas, FieldSeparator::Semicolons}) {
        const Shown& s = shown[index(separator)];
        const Shown& best = shown[index(format.separator)];
        if (s.lines > best.lines || (s.lines == best.lines && s.lines > 0 && s.first < best.first))
            format.separator = separator;
    }
    const Shown& chosen = shown[index(format.separator)];
    for (const FieldSeparator other : {FieldSeparator::Blanks, FieldSeparator::Commas, FieldSeparator::Semicolons}) {
        const Shown& s = shown[index(other)];
        if (format.separator == FieldSeparator::Blanks || other == format.separator || s.lines == 0) continue;
        throw EDataFileError("The data file separates its numbers " + SeparatedBy(format.separator) + " on line " +
                             std::to_string(chosen.first) + ", but " + SeparatedBy(other) + " on line " +
                             std::to_string(s.first) + ": " +
                             Quoted(WithoutSeparatorsAround(s.text), kShownTokenLength) + "." +
                             std::string(kOneSeparator));
    }
    if (!mayBeHeader || belowNumber == 0) return format;
    std::vector<std::string> names = FieldsOf(first, format.separator);
    // A blank-separated header may quote its names too.
    for (std::string& name : names)
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    const bool allNames = std::all_of(names.begin(), names.end(), [&](const std::string& name) {
        return !name.empty() && !IsMissingMark(name) && !IsNumber(AsNumberText(name, format.separator));
    });
    if (!allNames) return format;
    const std::size_t fieldsBelow = FieldsOf(below, format.separator).size();
    if (names.size() != fieldsBelow) {
        format.namesGiven = static_cast<int>(names.size());
        format.fieldsBelow = static_cast<int>(fieldsBelow);
        format.lineBelow = belowNumber;
        return format;
    }
    format.headerLine = firstNumber;
    format.names = names;
    return format;
}

// Stat before opening: opening a FIFO would wait for a writer, and a folder or a device
// is never a data file.
void RefuseUnlessRegularFile(const std::string& path, const std::string& failure) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_type type = fs::status(path, error).type();
    if (error) throw InOutErrorFromErrno(failure, error.value());
    switch (type) {
        case fs::file_type::regular: return;
        case fs::file_type::directory: throw InOutError(failure, "it is a folder, not a text file");
        case fs::file_type::fifo: throw InOutError(failure, "it is a named pipe (FIFO), not a text file");
        case fs::file_type::block:
        case fs::file_type::character: throw InOutError(failure, "it is a device, not a text file");
        case fs::file_type::socket: throw InOutError(failure, "it is a socket, not a text file");
        default: throw InOutError(failure, "it is not a regular file");
    }
}

// What the file held beyond what was read: a mistyped n makes a control the case, a
// mistyped k drops a covariate, and the user must hear of it.
std::vector<std::string> SurplusNotes(const RawDataLayout& layout, int rowCount, int colCount, int taskCount,
                                      int caseCount) {
    std::vector<std::string> notes;
    // "k + 1 = 2" for a deficit, "k + 2 = 3" for a dissociation; one task without
    // covariates asks for "k + 1 = 1", a single number.
    const std::string asked = "k + " + std::to_string(taskCount) + " = " + std::to_string(colCount);
    const bool one = colCount == 1;
    const std::string askedNumbers = asked + (one ? " number" : " numbers");
    const std::string notUsed = one ? "the numbers after the first were not used."
                                    : FormatText("the numbers after the first %d were not used.", {colCount});
    if (layout.numberLines > rowCount && caseCount > 1)
        notes.push_back(FormatText("Note: the data file holds %d lines of numbers, but n + m = %d were asked "
                                   "for: the last case's scores were taken from line %d, and the lines after it "
                                   "were not used.",
                                   {layout.numberLines, rowCount, layout.caseLine}));
    else if (layout.numberLines > rowCount)
        notes.push_back(FormatText("Note: the data file holds %d lines of numbers, but n + 1 = %d were asked "
                                   "for: the case's scores were taken from line %d, and the lines after it "
                                   "were not used.",
                                   {layout.numberLines, rowCount, layout.caseLine}));
    if (layout.longLines == 1)
        notes.push_back(FormatText("Note: line %d of the data file holds %d numbers, but ",
                                   {layout.firstLongLine, layout.firstLongLineNumbers}) +
                        asked + (one ? " was" : " were") + " asked for: " + notUsed);
    else if (layout.longLines > 1)
        notes.push_back(FormatText("Note: %d lines of the data file hold more than ", {layout.longLines}) +
                        askedNumbers +
                        FormatText(" (line %d holds %d): on each, ",
                                   {layout.firstLongLine, layout.firstLongLineNumbers}) +
                        notUsed);
    const std::string text = Quoted(layout.firstText, kShownTokenLength);
    if (layout.textLines == 1)
        notes.push_back(FormatText("Note: line %d of the data file holds ", {layout.firstTextLine}) + text +
                        " after the " + askedNumbers + " asked for: it was not used.");
    else if (layout.textLines > 1)
        notes.push_back(FormatText("Note: %d lines of the data file hold text after the ", {layout.textLines}) +
                        askedNumbers + FormatText(" asked for (line %d holds ", {layout.firstTextLine}) + text +
                        "): that text was not used.");
    return notes;
}


}  // namespace

RawDataLayout ReadRawData(std::string_view content, int rowCount, int colCount, RawDataTable& table,
                          int taskCount, int caseCount, std::vector<tVector>* cases) {
    // The table holds the controls and the first case.
    const int tableRows = rowCount - caseCount + 1;
    if (caseCount < 1 || tableRows < 1 || tableRows > kMaxRows || colCount < taskCount || colCount > kMaxVars ||
        taskCount < 1)
        throw std::out_of_range("raw data table size out of range");

    content = WithoutByteOrderMark(content);
    if (const std::size_t stop = content.find(kEndOfData); stop != std::string_view::npos)
        content = content.substr(0, stop);

    const FileFormat format = FormatOf(content, rowCount);
    RawDataLayout layout;
    layout.separator = format.separator;
    layout.headerLine = format.headerLine;
    // Fewer names than columns read: the line below holds as few numbers, and is refused.
    for (int col = 1; col <= colCount && format.names.size() >= static_cast<std::size_t>(colCount); ++col)
        layout.names.push_back(SafeName(format.names[static_cast<std::size_t>(col - 1)]));
    LineReader lines(content);
    std::string_view line;
    int lineNumber = 0;
    if (format.headerLine != 0) NextDataLine(lines, line, lineNumber);
    // One number read a line, without a header: "46,5" may be a decimal comma, which a
    // spreadsheet writes so when it has no second column to separate by semicolons.
    const bool commaAmbiguous = format.separator == FieldSeparator::Commas && format.headerLine == 0 && colCount == 1;
    for (int row = 1; row <= rowCount; ++row) {
        if (!NextDataLine(lines, line, lineNumber)) throw ShortFile(row - 1, rowCount, caseCount);
        if (commaAmbiguous && line.find(',') != std::string_view::npos)
            throw EDataFileError("Line " + std::to_string(lineNumber) + " of the data file holds " +
                                 Quoted(WithoutSeparatorsAround(line), kShownTokenLength) +
                                 ": with one number read from each line, its comma may be a decimal comma or may "
                                 "separate two numbers. Write the decimal point as a full stop, or name the columns "
                                 "in a header line.");
        FieldCursor fields(line, format.separator);
        tVector values;
        for (int col = 1; col <= colCount; ++col) {
            const std::optional<Field> field = fields.Next();
            if (!field) throw ShortLine(lineNumber, col - 1, colCount, taskCount);
            if (field->text.empty() || IsMissingMark(field->text)) throw MissingValue(lineNumber, col, field->text);
            if (field->blanksInside)
                throw EDataFileError("The data file separates its numbers " + SeparatedBy(format.separator) +
                                     ", but on line " + std::to_string(lineNumber) + " by blanks too: " +
                                     Quoted(WithoutSeparatorsAround(line), kShownTokenLength) + "." +
                                     std::string(kOneSeparator));
            const std::optional<long double> value = ParseNumber(AsNumberText(field->text, format.separator));
            if (!value) {
                EInOutError error = InvalidNumber(lineNumber, field->text, format.separator);
                if (row > 1 || format.namesGiven == 0) throw error;
                throw EInOutError(error.what() + std::string("\nA header line names each column: this one holds ") +
                                  Plural(format.namesGiven, "name", "names") + ", but line " +
                                  std::to_string(format.lineBelow) + " holds " +
                                  Plural(format.fieldsBelow, "column", "columns") + ".");
            }
            values(col) = *value;
            if (row <= tableRows) table(row, col) = *value;
        }
        if (row >= tableRows) {
            layout.caseLines.push_back(lineNumber);
            if (cases) cases->push_back(values);
        }
        // Nothing after the colCount-th number is stored; what follows is described in
        // the success box's note: the numbers that follow counted, or else the text.
        const std::string_view rest = fields.Rest();
        int surplus = 0;
        for (std::optional<Field> field = fields.Next();
             field && IsNumber(AsNumberText(field->text, format.separator)); field = fields.Next())
            ++surplus;
        if (surplus > 0 && layout.longLines++ == 0) {
            layout.firstLongLine = lineNumber;
            layout.firstLongLineNumbers = colCount + surplus;
        }
        if (surplus == 0 && !rest.empty() && layout.textLines++ == 0) {
            layout.firstTextLine = lineNumber;
            layout.firstText = rest;
        }
    }
    layout.caseLine = lineNumber;
    layout.numberLines = rowCount;
    while (NextDataLine(lines, line, lineNumber)) {
        const std::optional<Field> field = FieldCursor(line, format.separator).Next();
        if (field && IsNumber(AsNumberText(field->text, format.separator))) ++layout.numberLines;
    }
    return layout;
}

std::string ReadTextFile(const std::string& path, const std::string& fileKind, BeyondSizeLimit beyond) {
    const std::string failure = fileKind + " " + Quoted(path) + " cannot be read";
    RefuseUnlessRegularFile(path, failure);
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    errno = 0;
    const std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) throw InOutErrorFromErrno(failure, errno);
    // The data need at most 500 lines of 20 numbers; whatever lies beyond the first
    // kMaxTextFileBytes is surplus.
    std::string content;
    char buffer[65536];
    bool beyondLimit = false;
    while (!beyondLimit) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        beyondLimit = count > kMaxTextFileBytes - content.size();
        content.append(buffer, std::min(count, kMaxTextFileBytes - content.size()));
        if (count < sizeof buffer) break;
    }
    if (std::ferror(file.get())) throw InOutErrorFromErrno(failure, errno != 0 ? errno : EIO);
    if (beyondLimit && beyond == BeyondSizeLimit::Refuse)
        throw InOutError(failure, "it is larger than " + std::to_string(kMaxTextFileBytes >> 20) +
                                      " MiB, the size limit for this kind of file");
    if (const std::optional<std::string> reason = NotPlainText(content)) throw InOutError(failure, *reason);
    return content;
}

namespace {

std::optional<std::string> AskForDataFile(Platform& platform) {
    FileDialogOptions options;
    options.filter = "Text files only|*.txt;*.csv";  // a spreadsheet saves its CSV as .csv
    options.initialFolder = platform.CurrentDirectory();
    options.fileMustExist = true;
    return platform.AskOpenFileName(options);
}

}  // namespace

RawDataLoad LoadRawDataFile(int rowCount, int colCount, RawDataTable& table, Platform& platform,
                            int taskCount, const RawDataFile& file, int caseCount) {
    FillRawDataTable(table);
    const std::optional<std::string> fileName = file.path ? file.path : AskForDataFile(platform);
    if (!fileName || Trimmed(*fileName).empty()) return {};

    RawDataLoad load;
    load.loaded = true;
    load.fileName = *fileName;
    const RawDataLayout layout =
        ReadRawData(ReadTextFile(*fileName), rowCount, colCount, table, taskCount, caseCount, &load.cases);
    load.caseLine = layout.caseLine;
    load.caseLines = layout.caseLines;

    const std::string rows =
        caseCount == 1 ? FormatText("n + 1 = %2d cases (rows)", {rowCount})
                       : FormatText("n + m = %2d rows (%d controls and %d cases)",
                                    {rowCount, rowCount - caseCount, caseCount});
    std::string text = "Data file consisting of " + rows + FormatText(" and %2d ", {colCount}) +
                       (colCount == 1 ? "variable (column)" : "variables (columns)") + " was loaded successfully";
    // How the file was read, unless it was as this box has always assumed.
    if (layout.separator == FieldSeparator::Blanks && layout.headerLine == 0)
        text += " ";
    else
        text += std::string(", read as ") +
                (layout.separator == FieldSeparator::Commas       ? "comma-separated values"
                 : layout.separator == FieldSeparator::Semicolons ? "semicolon-separated values with a decimal comma"
                                                                   : "blank-separated values") +
                (layout.headerLine != 0 ? ", with a header line naming the columns." : ".");
    for (const std::string& note : SurplusNotes(layout, rowCount, colCount, taskCount, caseCount))
        (text += "\n\n") += note;
    platform.ShowMessage(MessageKind::Information, DefaultCaption(MessageKind::Information), text);
    load.names = layout.names;
    return load;
}

}  // namespace quorvane
