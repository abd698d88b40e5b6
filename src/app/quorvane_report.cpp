// quorvane-report: the analysis of the desktop program for scripted and batch use.
// The answers that the program takes from its dialogs come from the arguments; every
// message box's text goes to standard error and the report to standard output.

#include <clocale>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_run.h"
#include "analysis/metrics_papers.h"
#include "app/report_files.h"

namespace {

using namespace quorvane;

constexpr int kExitReport = 0;
constexpr int kExitStopped = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: quorvane-report --n N --k K [--limit two-sided|one-sided-lower|one-sided-upper]\n"
    "                       [--notes LINE]... FILE\n"
    "\n"
    "Runs the Bayesian test for a deficit in a single case, controlling for covariates, on the\n"
    "raw data FILE (one line per control, then the case; each line the task score followed by\n"
    "the K covariate scores) and prints the report that the desktop program writes into an\n"
    "empty results window.\n"
    "\n"
    "  --n N        number of control participants, as typed into the main window\n"
    "  --k K        number of covariates, as typed into the main window\n"
    "  --limit L    the 95% credible limit: two-sided (default), one-sided-lower or\n"
    "               one-sided-upper\n"
    "  --notes LINE one line of the user's notes; repeat for more lines\n"
    "  --help       show this text\n"
    "{files}"
    "\n"
    "N and K are checked by the same rules as in the program, with the same messages. The\n"
    "messages the program shows in boxes are written to standard error. No saved inputs file\n"
    "is written.\n"
    "\n"
    "Exit status: 0 the report was printed (and the files written); 1 the analysis stopped\n"
    "with a message, or a file could not be written; 2 usage error.\n";

// The usage text, with the file options this build offers.
std::string Usage() {
    std::string usage = kUsage;
    return usage.replace(usage.find("{files}"), 7, kReportFileUsage);
}

// The answers of one run: the file for the open dialog, messages to standard error.
class CommandLinePlatform : public Platform {
public:
    explicit CommandLinePlatform(std::string file) : file_(std::move(file)) {}

    MessageAnswer ShowMessage(MessageKind kind, const std::string&, const std::string& text) override {
        std::cerr << text << '\n';
        return kind == MessageKind::Question ? MessageAnswer::No : MessageAnswer::Ok;
    }
    std::optional<std::string> AskOpenFileName(const FileDialogOptions&) override {
        return std::filesystem::absolute(file_).string();
    }
    std::optional<std::string> AskSaveFileName(const FileDialogOptions&) override { return std::nullopt; }
    void Beep() override {}
    void SetBusyCursor(bool) override {}
    void BringToFront() override {}
    void PrintText(const std::string&) override {
        throw std::runtime_error("There is no default printer currently selected");
    }
    std::string ExecutableFolder() override { return std::filesystem::current_path().string(); }
    std::string CurrentDirectory() override { return std::filesystem::current_path().string(); }

private:
    std::string file_;
};

struct Arguments {
    std::optional<std::string> n, k;
    int limitIndex = 0;
    std::vector<std::string> notes;
    ReportFileRequest files;
    std::optional<std::string> file;
    bool help = false;
};

std::optional<int> LimitIndex(std::string_view name) {
    if (name == "two-sided") return 0;
    if (name == "one-sided-lower") return 1;
    if (name == "one-sided-upper") return 2;
    return std::nullopt;
}

// Parses the arguments; a message on standard error and nothing when they are wrong.
std::optional<Arguments> ParseArguments(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool takesValue = arg == "--n" || arg == "--k" || arg == "--limit" || arg == "--notes" ||
                                IsReportFileOption(arg);
        if (arg == "--help" || arg == "-h") {
            args.help = true;
        } else if (takesValue) {
            if (i + 1 >= argc) {
                std::cerr << "quorvane-report: " << arg << " needs a value\n";
                return std::nullopt;
            }
            const std::string value = argv[++i];
            if (IsReportFileOption(arg)) {
                if (!TakeReportFileOption(arg, value, args.files)) return std::nullopt;
            } else if (arg == "--n") args.n = value;
            else if (arg == "--k") args.k = value;
            else if (arg == "--notes") args.notes.push_back(value);
            else if (const auto index = LimitIndex(value)) args.limitIndex = *index;
            else {
                std::cerr << "quorvane-report: unknown limit '" << value << "'\n";
                return std::nullopt;
            }
        } else if (arg.starts_with("--")) {
            std::cerr << "quorvane-report: unknown option '" << arg << "'\n";
            return std::nullopt;
        } else if (args.file) {
            std::cerr << "quorvane-report: only one data file may be given\n";
            return std::nullopt;
        } else {
            args.file = std::string(arg);
        }
    }
    if (args.help) return args;
    if (!args.n || !args.k || !args.file) {
        std::cerr << "quorvane-report: --n, --k and a data file are required\n";
        return std::nullopt;
    }
    return args;
}

// The decimal separator of the user's regional settings; C-locale formatting elsewhere.
char RegionalDecimalSeparator() {
    char separator = '.';
    if (std::setlocale(LC_NUMERIC, "") != nullptr) {
        const char* point = std::localeconv()->decimal_point;
        if (point != nullptr && point[0] != '\0') separator = point[0];
    }
    std::setlocale(LC_NUMERIC, "C");
    return separator;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << "quorvane-report " QUORVANE_VERSION "\n";
        return kExitReport;
    }
    const std::optional<Arguments> args = ParseArguments(argc, argv);
    if (!args) {
        std::cerr << Usage();
        return kExitUsage;
    }
    if (args->help) {
        std::cout << Usage();
        return kExitReport;
    }

    MainWindowState window;
    window.fieldTexts[0] = *args->n;
    window.fieldTexts[1] = *args->k;
    window.labelCaptions = kLabelCaptions;
    window.limitIndex = args->limitIndex;
    window.notesLines = args->notes;
    window.notesCaption = kNotesCaption;
    window.decimalSeparator = RegionalDecimalSeparator();

    CommandLinePlatform platform(*args->file);
    try {
        const ComputeOutcome outcome = RunCompute(window, platform, ComputeOptions{.saveInputs = false});
        if (!outcome.completed) return kExitStopped;
        std::string text;
        for (const std::string& line : outcome.reportLines) (text += line) += '\n';
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        WriteReportFiles(args->files, outcome, window.decimalSeparator);
        return kExitReport;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return kExitStopped;
    }
}
