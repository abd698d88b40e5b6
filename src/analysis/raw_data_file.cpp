#include "analysis/raw_data_file.h"

#include <algorithm>
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

// Names the line and shows the token; a number out of range says so, and a comma or
// semicolon suggests the usual slip.
EInOutError InvalidNumber(int lineNumber, std::string_view token) {
    std::string message = "Invalid numeric input on line " + std::to_string(lineNumber) +
                          " of the data file: " + Quoted(token, kShownTokenLength);
    if (IsNumber(token))
        message += "\nThe number " + std::string(kOutOfRange);
    else if (token.find_first_of(",;") != std::string_view::npos)
        message += "\nNumbers are written with a full stop as the decimal point and are separated "
                   "by blanks, not by commas or semicolons.";
    return EInOutError(message);
}

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

    RawDataLayout layout;
    LineReader lines(content);
    std::string_view line;
    int lineNumber = 0;
    for (int row = 1; row <= rowCount; ++row) {
        if (!NextDataLine(lines, line, lineNumber)) throw ShortFile(row - 1, rowCount, caseCount);
        tVector values;
        for (int col = 1; col <= colCount; ++col) {
            const std::string_view token = NextToken(line);
            if (token.empty()) throw ShortLine(lineNumber, col - 1, colCount, taskCount);
            const std::optional<long double> value = ParseNumber(token);
            if (!value) throw InvalidNumber(lineNumber, token);
            values(col) = *value;
            if (row <= tableRows) table(row, col) = *value;
        }
        if (row >= tableRows) {
            layout.caseLines.push_back(lineNumber);
            if (cases) cases->push_back(values);
        }
        // Nothing after the colCount-th number is stored; what follows is described in
        // the success box's note: the numbers that follow counted, or else the text.
        const std::string_view rest = WithoutSeparatorsAround(line);
        int surplus = 0;
        while (IsNumber(NextToken(line))) ++surplus;
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
    while (NextDataLine(lines, line, lineNumber))
        if (IsNumber(NextToken(line))) ++layout.numberLines;
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
    options.filter = "Text files only|*.txt";
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
                       (colCount == 1 ? "variable (column)" : "variables (columns)") + " was loaded successfully ";
    for (const std::string& note : SurplusNotes(layout, rowCount, colCount, taskCount, caseCount))
        (text += "\n\n") += note;
    platform.ShowMessage(MessageKind::Information, DefaultCaption(MessageKind::Information), text);
    return load;
}

}  // namespace quorvane
