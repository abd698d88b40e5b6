// quorvane-report: the analysis of the desktop programs for scripted and batch use, from
// raw data or from summary statistics, as a text report or a JSON object; and with
// --power a study's plan, the power and sample size, from a table of statistics.
// The answers that the program takes from its dialogs come from the arguments; every
// message box's text goes to standard error and the report to standard output.

#include <algorithm>
#include <clocale>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

#include "analysis/analysis_run.h"
#include "analysis/case_series.h"
#include "io/atomic_file.h"
#include "io/io_errors.h"
#include "analysis/json_report.h"
#include "analysis/power_run.h"
#include "analysis/program_texts.h"
#include "analysis/text_helpers.h"
#include "io/same_file.h"
#include "analysis/summary_run.h"
#include "analysis/summary_statistics_file.h"
#include "app/report_files.h"

namespace {

using namespace quorvane;

constexpr int kExitReport = 0;
constexpr int kExitStopped = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: quorvane-report --n N --k K [--cases M] [options] [--] FILE\n"
    "       quorvane-report --summary --n N --k K --means LIST --sds LIST --case LIST\n"
    "                       [--correlations LIST] [options]\n"
    "       quorvane-report --statistics STATSFILE [options]\n"
    "       quorvane-report --power (--summary ... | --statistics STATSFILE [--n LIST])\n"
    "                       [--alpha A] [--alternative S] [--target-power P]\n"
    "                       [--simulations S] [--draws D] [--format F]\n"
    "\n"
    "Runs the Bayesian test for a deficit in a single case, or for a dissociation between two\n"
    "tasks, controlling for up to five covariates or for none, and prints the report that the\n"
    "desktop program writes into an empty results window. The first form reads the raw data\n"
    "FILE (one line per control, then the case; each line the task score, or the scores on\n"
    "task 1 and task 2, followed by the K covariate scores), its numbers separated by blanks,\n"
    "by commas, or by semicolons with decimal commas, as a spreadsheet saves them; a first\n"
    "line of the columns' names is read as a header. The second takes the controls' summary\n"
    "statistics and the case's scores, as the companion program quorvane-summary does; the\n"
    "third reads them from a statistics file saved by that program.\n"
    "\n"
    "With --power the table is read as the population's: the means, SDs and correlations of\n"
    "the tasks and covariates, the case's covariate scores and, in --case, its expected task\n"
    "score(s), the score it would have on average with the deficit assumed. The power is the\n"
    "probability that the test finds a deficit (or, for a dissociation, a significant\n"
    "difference, a classical or a strong dissociation) at p < alpha, for such a case against\n"
    "n controls drawn at random from that population. The deficit test's power is exact; the\n"
    "tool also gives its limit as n grows and the smallest n that reaches the target power.\n"
    "The dissociation's is simulated from fixed seeds and given with its standard error.\n"
    "\n"
    "A case series, many cases against the same controls: with --cases M the M lines after\n"
    "the N controls are the cases, each tested against the controls as a file holding the\n"
    "controls and that case alone would be. The report gives each case's outputs, then a\n"
    "table of all cases with Holm-adjusted p values, e.g.\n"
    "  quorvane-report --n 20 --k 1 --cases 4 --table series.csv case_series.csv\n"
    "\n"
    "  --n N               number of control participants, as typed into the main window\n"
    "  --k K               number of covariates, 0 to 5, as typed into the main window\n"
    "  --cases M           number of cases, 1 (default) to 1000: the M lines after the\n"
    "                      controls (raw data only)\n"
    "  --test T            deficit (default): the test for a deficit on one task;\n"
    "                      dissociation: the test for a dissociation between two tasks\n"
    "                      (a statistics file names its test; T must agree with it)\n"
    "  --summary           take summary statistics instead of a raw data file:\n"
    "  --means LIST          the controls' means of the task (or of task 1 and task 2),\n"
    "                        then of each covariate\n"
    "  --sds LIST            their standard deviations, in the same order\n"
    "  --case LIST           the case's scores, in the same order\n"
    "  --correlations LIST   the lower triangle of the correlation matrix, row by row:\n"
    "                        r21; r31 r32; r41 r42 r43; ... (none, and the option may be\n"
    "                        left out, for one task without covariates)\n"
    "                      (each LIST one argument, its numbers separated by blanks)\n"
    "  --statistics FILE   read N, K, the test and the statistics from a statistics file\n"
    "  --limit L           the 95% credible limit: two-sided (default), one-sided-lower or\n"
    "                      one-sided-upper\n"
    "  --notes LINE        one line of the user's notes; repeat for more lines\n"
    "  --format F          text (default): the report; json: one JSON object with n, k,\n"
    "                      the limit and the results, each number to 17 significant digits\n"
    "                      (of a series, \"cases\": a list of each case's results)\n"
    "  --power             plan a study: the power at each n, and for the deficit test the\n"
    "                      sample size, from --summary's lists or --statistics' file; --n may\n"
    "                      then be a list (\"10,20,40\"), and with --statistics it replaces\n"
    "                      the file's n\n"
    "  --alpha A           the significance level, above 0 and at most 0.5 (default 0.05)\n"
    "  --alternative S     the deficit test's side: less (default), greater or two-sided\n"
    "  --target-power P    the deficit test's target power, above alpha and below 1\n"
    "                      (default 0.8)\n"
    "  --simulations S     the dissociation's simulated studies, 100 to 1000000 (default\n"
    "                      10000)\n"
    "  --draws D           its draws per study, 1000 to 1000000 (default 10000); on a\n"
    "                      terminal, standard error shows the simulation's progress\n"
    "  --table FILE        also write the table of the cases to FILE as CSV for\n"
    "                      spreadsheets: a header line, commas, full stops as decimal points\n"
    "{files}"
    "  --version           show the program's version\n"
    "  --help              show this text\n"
    "  --                  end the options: the argument after it is the data FILE, even\n"
    "                      when its name starts with \"-\"\n"
    "\n"
    "Each option but --notes may be given once. N, K and the statistics are checked by the\n"
    "same rules as in the programs, with the same messages. The messages the programs show\n"
    "in boxes are written to standard error. No saved inputs file is written.\n"
    "\n"
    "Exit status: 0 the report was printed (and the files written); 1 the analysis stopped\n"
    "with a message, or a file could not be written; 2 usage error.\n";

// The usage text, with the file options this build offers.
std::string UsageText() {
    std::string usage = kUsage;
    return usage.replace(usage.find("{files}"), 7, kReportFileUsage);
}

// Messages to standard error; no dialog is ever answered, since the request names its files.
class CommandLinePlatform : public Platform {
public:
    MessageAnswer ShowMessage(MessageKind kind, const std::string&, const std::string& text) override {
        std::cerr << text << '\n';
        return kind == MessageKind::Question ? MessageAnswer::No : MessageAnswer::Ok;
    }
    std::optional<std::string> AskOpenFileName(const FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> AskSaveFileName(const FileDialogOptions&) override { return std::nullopt; }
    void Beep() override {}
    void SetBusyCursor(bool) override {}
    void BringToFront() override {}
    void PrintText(const std::string&, const std::vector<ReportFigure>&) override {
        throw std::runtime_error("There is no default printer currently selected");
    }
    std::string ExecutableFolder() override { return std::filesystem::current_path().string(); }
    std::string CurrentDirectory() override { return std::filesystem::current_path().string(); }
};

enum class Format { Text, Json };

struct Arguments {
    std::optional<std::string> n, k, cases;
    std::optional<std::string> table;  // --table FILE
    std::optional<AnalysisTest> test;
    LimitType limit = LimitType::TwoSided;
    bool limitGiven = false;
    std::vector<std::string> notes;
    ReportFileRequest files;
    std::optional<std::string> file;
    bool summary = false;
    std::optional<std::string> means, sds, caseScores, correlations;
    std::optional<std::string> statistics;
    bool power = false;
    std::optional<std::string> alpha, targetPower, simulations, draws;
    std::optional<Alternative> alternative;
    Format format = Format::Text;
    bool help = false;
    bool version = false;
};

// One line per option: its name, what it takes, and its effect (false, after a message,
// for a value it refuses). Only --notes may be given more than once.
using Apply = bool (*)(Arguments&, const std::string& value);
enum class Takes { Nothing, Value, FileName, Lines };
struct Option {
    std::string_view name;
    Takes takes;
    Apply apply;
};

bool Refuse(const std::string& what, const std::string& value) {
    std::cerr << "quorvane-report: unknown " << what << " '" << value << "'\n";
    return false;
}

const Option kOptions[] = {
    {"--help", Takes::Nothing, [](Arguments& a, const std::string&) { return a.help = true; }},
    {"-h", Takes::Nothing, [](Arguments& a, const std::string&) { return a.help = true; }},
    {"--version", Takes::Nothing, [](Arguments& a, const std::string&) { return a.version = true; }},
    {"--n", Takes::Value, [](Arguments& a, const std::string& v) { a.n = v; return true; }},
    {"--k", Takes::Value, [](Arguments& a, const std::string& v) { a.k = v; return true; }},
    {"--cases", Takes::Value, [](Arguments& a, const std::string& v) { a.cases = v; return true; }},
    {"--table", Takes::FileName, [](Arguments& a, const std::string& v) { a.table = v; return true; }},
    {"--notes", Takes::Lines, [](Arguments& a, const std::string& v) { a.notes.push_back(v); return true; }},
    {"--test", Takes::Value,
     [](Arguments& a, const std::string& v) {
         a.test = TestNamed(v);
         return a.test ? true : Refuse("test", v);
     }},
    {"--limit", Takes::Value,
     [](Arguments& a, const std::string& v) {
         const auto limit = LimitNamed(v);
         if (limit) a.limit = *limit;
         a.limitGiven = true;
         return limit ? true : Refuse("limit", v);
     }},
    {"--format", Takes::Value,
     [](Arguments& a, const std::string& v) {
         if (v != "text" && v != "json") return Refuse("format", v);
         a.format = v == "json" ? Format::Json : Format::Text;
         return true;
     }},
    {"--summary", Takes::Nothing, [](Arguments& a, const std::string&) { return a.summary = true; }},
    {"--means", Takes::Value, [](Arguments& a, const std::string& v) { a.means = v; return true; }},
    {"--sds", Takes::Value, [](Arguments& a, const std::string& v) { a.sds = v; return true; }},
    {"--case", Takes::Value, [](Arguments& a, const std::string& v) { a.caseScores = v; return true; }},
    {"--correlations", Takes::Value, [](Arguments& a, const std::string& v) { a.correlations = v; return true; }},
    {"--statistics", Takes::FileName, [](Arguments& a, const std::string& v) { a.statistics = v; return true; }},
    {"--power", Takes::Nothing, [](Arguments& a, const std::string&) { return a.power = true; }},
    {"--alpha", Takes::Value, [](Arguments& a, const std::string& v) { a.alpha = v; return true; }},
    {"--alternative", Takes::Value,
     [](Arguments& a, const std::string& v) {
         a.alternative = AlternativeNamed(v);
         return a.alternative ? true : Refuse("alternative", v);
     }},
    {"--target-power", Takes::Value, [](Arguments& a, const std::string& v) { a.targetPower = v; return true; }},
    {"--simulations", Takes::Value, [](Arguments& a, const std::string& v) { a.simulations = v; return true; }},
    {"--draws", Takes::Value, [](Arguments& a, const std::string& v) { a.draws = v; return true; }},
    {"--pdf", Takes::FileName,
     [](Arguments& a, const std::string& v) { return TakeReportFileOption("--pdf", v, a.files); }},
    {"--figure", Takes::FileName,
     [](Arguments& a, const std::string& v) { return TakeReportFileOption("--figure", v, a.files); }},
};

bool Usage(const std::string& what) {
    std::cerr << "quorvane-report: " << what << "\n";
    return false;
}

// A study's plan takes a table and its own settings; the analysis's limit means nothing
// to it.
bool CheckPowerMode(const Arguments& a) {
    if (a.file) return Usage("--power takes no data file: give the table with --summary or --statistics");
    if (a.limitGiven) return Usage("--limit has no meaning with --power");
    if (a.cases) return Usage("--cases needs a raw data file");
    if (a.table) return Usage("--table has no meaning with --power");
    if (!a.summary && !a.statistics) return Usage("--power needs --summary with its lists, or --statistics");
    if (a.statistics && (a.k || a.summary || a.means || a.sds || a.caseScores || a.correlations))
        return Usage("--statistics takes the place of --k and the lists");
    if (a.summary && (!a.n || !a.k || !a.means || !a.sds || !a.caseScores))
        return Usage("--summary needs --n, --k, --means, --sds and --case");
    return true;
}

// Which arguments each mode requires and which it refuses.
bool CheckMode(const Arguments& a) {
    if (a.power) return CheckPowerMode(a);
    if (a.alpha || a.alternative || a.targetPower || a.simulations || a.draws)
        return Usage("--alpha, --alternative, --target-power, --simulations and --draws need --power");
    const bool listGiven = a.means || a.sds || a.caseScores || a.correlations;
    if (a.cases && (a.statistics || a.summary)) return Usage("--cases needs a raw data file");
    if (a.statistics) {
        if (a.n || a.k || listGiven || a.file)
            return Usage("--statistics takes the place of --n, --k, the lists and a data file");
        return true;
    }
    if (a.summary) {
        if (a.file) return Usage("--summary takes no data file");
        // --correlations may be left out: one task without covariates has none, and for
        // any other table the checks say how many are needed.
        if (!a.n || !a.k || !a.means || !a.sds || !a.caseScores)
            return Usage("--summary needs --n, --k, --means, --sds and --case");
        return true;
    }
    if (listGiven) return Usage("the lists of statistics need --summary");
    if (!a.n || !a.k || !a.file) return Usage("--n, --k and a data file are required");
    return true;
}

// An output file that is one of the input files would destroy it: refused before the
// analysis runs, so that nothing is written.
bool CheckOutputs(const Arguments& a) {
    std::vector<InputFile> inputs;
    if (a.file) inputs.push_back({*a.file, kDataFile});
    if (a.statistics) inputs.push_back({*a.statistics, kStatisticsFile});
    for (const auto& [option, output] :
         {std::pair{"--pdf", a.files.pdf}, std::pair{"--figure", a.files.figure}, std::pair{"--table", a.table}}) {
        if (!output) continue;
        if (const auto reason = SameFileAsInput(*output, inputs))
            return Usage(std::string("the file of ") + option + " " + Quoted(*output) + " " + *reason);
    }
    // Neither need exist yet, so the names are compared as well as the files.
    const auto& [pdf, figure] = a.files;
    // A name that cannot be resolved (a folder that cannot be read, a name too long) is
    // compared as written; the write then reports what is wrong with it.
    const auto resolved = [](const std::string& name) {
        std::error_code error;
        const std::filesystem::path path = std::filesystem::weakly_canonical(std::filesystem::absolute(name, error), error);
        return error ? std::filesystem::path(name).lexically_normal() : path;
    };
    if (pdf && figure && (resolved(*pdf) == resolved(*figure) || IsSameFile(*pdf, *figure)))
        return Usage("--pdf and --figure name the same file " + Quoted(*figure) + ": the figure would overwrite the PDF");
    for (const auto& [option, other] : {std::pair{"--pdf", pdf}, std::pair{"--figure", figure}})
        if (a.table && other && (resolved(*a.table) == resolved(*other) || IsSameFile(*a.table, *other)))
            return Usage(std::string("--table and ") + option + " name the same file " + Quoted(*a.table) +
                         ": one would overwrite the other");
    return true;
}

// Takes one option, the value after it included (i is moved past it); false after a
// message for a value that is missing, an empty file name or a repeated option.
bool TakeOption(const Option& option, int argc, char** argv, int& i, std::vector<const Option*>& given,
                Arguments& args) {
    const std::string name(option.name);
    if (option.takes != Takes::Nothing && i + 1 >= argc) return Usage(name + " needs a value");
    const std::string value = option.takes == Takes::Nothing ? "" : argv[++i];
    if (option.takes == Takes::FileName && value.empty()) return Usage("the file name of " + name + " is empty");
    // A second value would silently replace the first: the user meant one of them.
    if (option.takes != Takes::Lines && std::find(given.begin(), given.end(), &option) != given.end())
        return Usage(name + " may be given only once");
    given.push_back(&option);
    return option.apply(args, value);
}

// Parses the arguments; a message on standard error and nothing when they are wrong.
// After "--" every argument is a file name, so that a file may be named like an option.
std::optional<Arguments> ParseArguments(int argc, char** argv) {
    Arguments args;
    std::vector<const Option*> given;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        const auto option = optionsEnded ? std::end(kOptions)
                                         : std::find_if(std::begin(kOptions), std::end(kOptions),
                                                        [&](const Option& o) { return o.name == arg; });
        if (option != std::end(kOptions)) {
            if (!TakeOption(*option, argc, argv, i, given, args)) return std::nullopt;
        } else if (!optionsEnded && arg.starts_with("--")) {
            std::cerr << "quorvane-report: unknown option '" << arg << "'\n";
            return std::nullopt;
        } else if (args.file) {
            Usage("only one data file may be given");
            return std::nullopt;
        } else if (arg.empty()) {
            Usage("the data file's name is empty");
            return std::nullopt;
        } else {
            args.file = std::string(arg);
        }
    }
    if (args.help || args.version) return args;
    if (!CheckMode(args) || !CheckOutputs(args)) return std::nullopt;
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

// The report's lines, or the JSON object, on standard output; false after a message when
// a full disk or a closed pipe stopped it, which must not pass for a printed report.
bool WriteOut(const std::vector<std::string>& reportLines, const std::string& json, const Arguments& args) {
    std::string text = json;
    if (args.format == Format::Text) {
        text.clear();
        for (const std::string& line : reportLines) (text += line) += '\n';
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0 ||
        std::ferror(stdout)) {
        const int error = errno;
        std::cerr << "quorvane-report: the report could not be written to standard output: "
                  << (error != 0 ? std::strerror(error) : "write error") << '\n';
        return false;
    }
    return true;
}

// The report, or the object, on standard output; then the files asked for.
int Print(const std::vector<std::string>& reportLines, const RunFacts& facts, const Arguments& args,
          char decimalSeparator) {
    if (!WriteOut(reportLines, args.format == Format::Json ? WriteJsonReport(facts) : "", args)) return kExitStopped;
    WriteReportFiles(args.files, reportLines, facts, decimalSeparator);
    if (args.table)
        WriteFileAtomically(*args.table, SeriesTableCsv(facts),
                            "The table file " + Quoted(*args.table) + " cannot be written");
    return kExitReport;
}

// The statistics file's table; nothing after a usage error, when --test names another test
// than the file's, whose lists fit its own test alone.
std::optional<StatisticsTable> StatisticsOf(const Arguments& args) {
    StatisticsTable table = ReadStatisticsFile(*args.statistics);
    if (args.test && *args.test != table.test) {
        Usage("--test " + TestName(*args.test) + " contradicts the statistics file " + Quoted(*args.statistics) +
              ", which holds the statistics of a " + TestName(table.test));
        return std::nullopt;
    }
    return table;
}

// The request of the arguments: the data file, or the statistics of the lists or of a
// statistics file; nothing after a usage error.
std::optional<AnalysisRequest> RequestOf(const Arguments& args) {
    AnalysisRequest request;
    request.test = args.test.value_or(AnalysisTest::Deficit);
    request.limit = args.limit;
    request.nText = args.n.value_or("");
    request.kText = args.k.value_or("");
    request.mText = args.cases.value_or("1");
    request.notes = args.notes;
    request.decimalSeparator = RegionalDecimalSeparator();
    if (args.statistics) {
        const std::optional<StatisticsTable> table = StatisticsOf(args);
        if (!table) return std::nullopt;
        request.nText = table->n;
        request.kText = table->k;
        request.test = table->test;
        request.source = table->entries;
    } else if (args.summary) {
        request.source = SummaryEntries{Words(*args.means), Words(*args.sds), Words(*args.caseScores),
                                        Words(args.correlations.value_or(""))};
    } else {
        request.source = RawDataFile{std::filesystem::absolute(*args.file).string()};
    }
    return request;
}

// A study's plan of the arguments: the table of the lists or of a statistics file (its n
// replaced by --n when given), and the settings; nothing after a usage error.
std::optional<PowerRequest> PowerRequestOf(const Arguments& args) {
    PowerRequest request;
    request.test = args.test.value_or(AnalysisTest::Deficit);
    request.notes = args.notes;
    request.decimalSeparator = RegionalDecimalSeparator();
    if (args.statistics) {
        const std::optional<StatisticsTable> table = StatisticsOf(args);
        if (!table) return std::nullopt;
        request.test = table->test;
        request.nText = args.n.value_or(table->n);
        request.kText = table->k;
        request.entries = table->entries;
    } else {
        request.nText = *args.n;
        request.kText = *args.k;
        request.entries = {Words(*args.means), Words(*args.sds), Words(*args.caseScores),
                           Words(args.correlations.value_or(""))};
    }
    const bool dissociation = request.test == AnalysisTest::Dissociation;
    if (dissociation && (args.alternative || args.targetPower)) {
        Usage("--alternative and --target-power apply to the deficit test only");
        return std::nullopt;
    }
    if (!dissociation && (args.simulations || args.draws)) {
        Usage("--simulations and --draws apply to the dissociation test only");
        return std::nullopt;
    }
    if (args.alpha) request.alphaText = *args.alpha;
    request.alternative = args.alternative.value_or(Alternative::Less);
    if (args.targetPower) request.targetPowerText = *args.targetPower;
    if (args.simulations) request.simulationsText = *args.simulations;
    if (args.draws) request.drawsText = *args.draws;
    return request;
}

// The plan: its report or object on standard output. On a terminal, standard error shows
// how far a simulation has come, on one line that each step rewrites.
int RunPlan(const Arguments& args) {
    const std::optional<PowerRequest> request = PowerRequestOf(args);
    if (!request) {
        std::cerr << UsageText();
        return kExitUsage;
    }
    CommandLinePlatform platform;
    PowerOptions options;
    // Ends the progress line however the run ends, so that an error's message starts a line.
    struct ProgressLine {
        bool shown = false;
        ~ProgressLine() {
            if (shown) std::cerr << '\n';
        }
    } progressLine;
    if (isatty(STDERR_FILENO))
        options.progress = [&](long long done, long long total) {
            std::cerr << "\rSimulating studies: " << done << " of " << total << std::flush;
            progressLine.shown = true;
        };
    const PowerOutcome outcome = RunPower(*request, platform, options);
    if (!outcome.completed) return kExitStopped;
    if (!WriteOut(outcome.reportLines, args.format == Format::Json ? WritePowerJson(outcome.facts) : "", args))
        return kExitStopped;
    WriteReportFiles(args.files, outcome.reportLines, PowerFigureOf(outcome.facts, request->decimalSeparator));
    return kExitReport;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Arguments> args = ParseArguments(argc, argv);
    if (!args) {
        std::cerr << UsageText();
        return kExitUsage;
    }
    if (args->help) {
        std::cout << UsageText();
        return kExitReport;
    }
    if (args->version) {
        std::cout << "quorvane-report " QUORVANE_VERSION "\n";
        return kExitReport;
    }

    try {
        if (args->power) return RunPlan(*args);
        const std::optional<AnalysisRequest> request = RequestOf(*args);
        if (!request) {
            std::cerr << UsageText();
            return kExitUsage;
        }
        CommandLinePlatform platform;
        const AnalysisOutcome outcome = RunAnalysis(*request, platform, ComputeOptions{.saveInputs = false});
        if (!outcome.completed) return kExitStopped;
        return Print(outcome.reportLines, outcome.facts, *args, request->decimalSeparator);
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return kExitStopped;
    }
}
