// The command-line report tool, run as a user's script would run it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis_run.h"
#include "analysis/power_run.h"
#include "analysis/program_texts.h"
#include "analysis/raw_data_file.h"
#include "analysis/results_report.h"
#include "analysis/summary_statistics_file.h"
#include "support/fake_platform.h"
#include "support/scratch_folder.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Plus(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The arguments of a table's row, where "FILE" stands for the data file.
std::vector<std::string> WithFile(std::vector<std::string> args, const std::string& file) {
    std::replace(args.begin(), args.end(), std::string("FILE"), file);
    return args;
}

#ifdef QUORVANE_REPORT_FILES
constexpr bool kWritesFiles = true;
#else
constexpr bool kWritesFiles = false;
#endif

class ReportTool : public ::testing::Test {
protected:
    std::string WriteData(const std::string& content, const std::string& name = "data.txt") {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    ToolRun Run(const std::vector<std::string>& args, const std::string& environment = "LC_ALL=C") {
        std::string command = "cd " + Quote(folder_.string()) + " && " + environment + " " + QUORVANE_REPORT_TOOL;
        for (const std::string& arg : args) command += " " + Quote(arg);
        command += " >out.txt 2>err.txt";
        ToolRun run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = Slurp(folder_ / "out.txt");
        run.err = Slurp(folder_ / "err.txt");
        return run;
    }

    // Every non-blank line of the report, whole and in order, in the text of the PDF
    // named (in the test's folder).
    void ExpectPdfHoldsReport(const std::string& pdf, const std::string& reportText) {
        const fs::path text = folder_ / (pdf + ".txt");
        ASSERT_EQ(std::system(("pdftotext -layout " + Quote((folder_ / pdf).string()) + " " + Quote(text.string()))
                                  .c_str()),
                  0);
        std::istringstream printed(Slurp(text)), report(reportText);
        const auto squeezed = [](const std::string& line) {
            std::istringstream words(line);
            std::string word, out;
            while (words >> word) out += (out.empty() ? "" : " ") + word;
            return out;
        };
        std::string line, printedLine;
        while (std::getline(report, line)) {
            if (squeezed(line).empty()) continue;
            bool found = false;
            while (!found && std::getline(printed, printedLine)) found = squeezed(printedLine) == squeezed(line);
            ASSERT_TRUE(found) << "not in the PDF in order: " << line;
        }
    }

    // What the program appends to an empty results window for the same inputs.
    std::string ProgramReport(const std::string& n, const std::string& k, int limitIndex,
                              const std::vector<std::string>& notes, const std::string& file,
                              char decimalSeparator = '.') {
        testing::FakePlatform platform;
        platform.openAnswers.push_back(fs::absolute(file).string());
        AnalysisRequest request;
        request.nText = n;
        request.kText = k;
        request.limit = static_cast<LimitType>(limitIndex);
        request.notes = notes;
        request.decimalSeparator = decimalSeparator;
        const AnalysisOutcome outcome = RunAnalysis(request, platform, ComputeOptions{.saveInputs = false});
        std::string text;
        for (const std::string& line : outcome.reportLines) text += line + "\n";
        return text;
    }

    const testing::ScratchFolder scratch_{"quorvane_tool"};
    const fs::path folder_ = scratch_.Path();
};

const char* const kFourControls = "52 12\n61 16\n47 10\n58 14\n55 13\n39 15\n";
const std::string kLoaded =
    "Data file consisting of n + 1 =  6 cases (rows) and  2 variables (columns) was loaded successfully \n";
const std::vector<std::string> kPublishedTable = {"--summary", "--n",   "30",          "--k",    "1",
                                                  "--means",   "31.333 13.1", "--sds", "6.804 3.346", "--case",
                                                  "15 17",     "--correlations", "0.72091"};

std::string PublishedStatistics() {
    return FormatStatisticsFile({"30", "1", {{"31.333", "13.1"}, {"6.804", "3.346"}, {"15", "17"}, {"0.72091"}}});
}

TEST_F(ReportTool, PrintsTheReportTheProgramWouldAppend) {
    const std::string file = WriteData(kFourControls);
    const ToolRun run = Run({"--n", "5", "--k", "1", "--limit", "one-sided-lower", "--notes", "first line",
                             "--notes", "second line", file});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ProgramReport("5", "1", 1, {"first line", "second line"}, file));
    EXPECT_EQ(run.err, kLoaded);
    EXPECT_FALSE(fs::exists(folder_ / InputsFileName));
}

// The report gives the counts the analysis used, not the texts they were read from.
TEST_F(ReportTool, DefaultsToTwoSidedLimitsAndPrintsTheCountsUsed) {
    const std::string file = WriteData(kFourControls);
    const ToolRun run = Run({"--k", "1.0", "--n", "0 5", file});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ProgramReport("0 5", "1.0", 0, {}, file));
    EXPECT_NE(run.out.find(" Number of control participants (n) = 5\n Number of covariates = 1\n"
                           " Credible limit required: Two-sided\n"),
              std::string::npos);
}

TEST_F(ReportTool, WritesRealsWithTheRegionalDecimalSeparator) {
    if (std::system("locale -a 2>/dev/null | grep -qi '^de_DE.utf-\\?8$'") != 0)
        GTEST_SKIP() << "no de_DE.UTF-8 locale here";
    const std::string file = WriteData(kFourControls);
    const ToolRun run = Run({"--n", "5", "--k", "1", file}, "LC_ALL=de_DE.UTF-8");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ProgramReport("5", "1", 0, {}, file, ','));
    EXPECT_NE(run.out.find("One-tailed probability = 0,"), std::string::npos);
}

const std::string kAtMost999 = ", where the test takes at most 0.999 in size): check the scores for an error of "
                               "entry, or whether one task repeats the other.\n";

struct Stop {
    const char* name;
    std::vector<std::string> args;  // "FILE" stands for the data file
    const char* data;
    std::string err;
};

class StopsWithAMessage : public ReportTool, public ::testing::WithParamInterface<Stop> {};

TEST_P(StopsWithAMessage, ExitsOneWithTheMessageOnStandardError) {
    const Stop& c = GetParam();
    const ToolRun run = Run(WithFile(c.args, WriteData(c.data)));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    std::string err = c.err;
    if (const std::size_t at = err.find("FOLDER"); at != std::string::npos) err.replace(at, 6, folder_.string());
    EXPECT_EQ(run.err, err);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StopsWithAMessage,
    ::testing::Values(
        Stop{"EmptyN", {"--n", "", "--k", "1", "FILE"}, kFourControls,
             "INPUT ERROR\n\n(  Number of control participants (n) :  )\n\nData have not been entered in this "
             "field.\n"},
        Stop{"TooManyCovariates", {"--n", "5", "--k", "4", "FILE"}, kFourControls,
             " With a control sample size of  5, the maximum number of covariates is  3 \n"},
        Stop{"ThreeControlsForADissociation", {"--test", "dissociation", "--n", "3", "--k", "0", "FILE"},
             "10 40\n12 38\n11 45\n6 50\n",
             "INPUT ERROR\n(  Number of control participants (n) :  3.000  )\nThe value for sample size must be an "
             "integer greater than 3 for a dissociation.\n"},
        Stop{"TooManyCovariatesForADissociation", {"--test", "dissociation", "--n", "5", "--k", "2", "FILE"},
             kFourControls, " With a control sample size of  5, the maximum number of covariates for a dissociation "
                            "is  1 \n"},
        Stop{"MissingFile", {"--n", "5", "--k", "1", "nowhere.txt"}, "",
             "The data file \"FOLDER/nowhere.txt\" cannot be read: No such file or directory\n"},
        Stop{"Folder", {"--n", "5", "--k", "1", "."}, "",
             "The data file \"FOLDER/.\" cannot be read: it is a folder, not a text file\n"},
        Stop{"WordInTheData", {"--n", "5", "--k", "1", "FILE"}, "52 12\n61 x\n47 10\n58 14\n55 13\n39 15\n",
             "Invalid numeric input on line 2 of the data file: \"x\"\n"},
        Stop{"CommaInANumber", {"--n", "5", "--k", "1", "FILE"}, "52 12\n61,5 16\n47 10\n58 14\n55 13\n39 15\n",
             "Invalid numeric input on line 2 of the data file: \"61,5\"\nThis file separates its numbers by blanks: "
             "a number is written with a full stop as the decimal point, without commas or semicolons.\n"},
        // Read as 1e400, it printed a 400-digit number, and in JSON a value no reader takes.
        Stop{"NumberBeyondADouble", {"--n", "5", "--k", "1", "--format", "json", "FILE"},
             "52 12\n61 1e400\n47 10\n58 14\n55 13\n39 15\n",
             "Invalid numeric input on line 2 of the data file: \"1e400\"\nThe number is out of range: numbers "
             "other than 0 must lie between about 1e-308 and 1e308 in size.\n"},
        Stop{"ShortLine", {"--n", "5", "--k", "1", "FILE"}, "52 12\n61\n47 10\n58 14\n55 13\n39 15\n",
             "Line 2 of the data file holds 1 number; 2 are needed (the task score and 1 covariate score).\n"},
        Stop{"NotPositiveDefinite", {"--n", "5", "--k", "1", "FILE"}, "1 1\n2 2\n3 3\n4 4\n5 5\n6 6\n",
             kLoaded + "Analysis cannot proceed as the correlation matrix is not positive definite: check for "
                       "errors in entry of the control sample data (alternatively it may be that one variable is "
                       "linearly dependent on other variables and should be dropped)\n"},
        Stop{"IdenticalTasks", {"--test", "dissociation", "--n", "5", "--k", "0", "FILE"},
             "52 52\n61 61\n47 47\n58 58\n55 55\n39 39\n",
             kLoaded + "Analysis cannot proceed as the two tasks are almost perfectly correlated in the "
                       "control sample (correlation 1.00000" + kAtMost999},
        Stop{"ConstantCovariate", {"--n", "5", "--k", "1", "FILE"}, "52 12\n61 12\n47 12\n58 12\n55 12\n39 15\n",
             kLoaded + "Analysis cannot proceed as the control sample's scores on covariate 1 do not vary "
                       "(all controls have the same score)\n"},
        Stop{"ConstantTask", {"--n", "11", "--k", "1", "FILE"},
             "0.7 40\n0.7 38\n0.7 45\n0.7 41\n0.7 39\n0.7 42\n0.7 44\n0.7 37\n0.7 43\n0.7 40\n0.7 46\n6 50\n",
             "Data file consisting of n + 1 = 12 cases (rows) and  2 variables (columns) was loaded "
             "successfully \nAnalysis cannot proceed as the control sample's scores on the task of interest do "
             "not vary (all controls have the same score)\n"},
        Stop{"CaseTypedFarOff", {"--n", "5", "--k", "1", "FILE"}, "52 12\n61 16\n47 10\n58 14\n55 13\n39000 15\n",
             kLoaded + "Analysis cannot proceed as the case's score on the task of interest lies implausibly far "
                       "from the scores of the control sample (given the case's scores on the covariates): check "
                       "the case's line of the data file (line 6) for an error of entry\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReportTool, AFifoIsRefusedAtOnce) {
    ASSERT_EQ(mkfifo((folder_ / "pipe.txt").c_str(), 0600), 0);
    // Opened, a FIFO without a writer would block for ever; timeout ends that with 124.
    const ToolRun run = Run({"--n", "5", "--k", "1", "pipe.txt"}, "LC_ALL=C timeout 20");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "The data file \"" + (folder_ / "pipe.txt").string() +
                           "\" cannot be read: it is a named pipe (FIFO), not a text file\n");
}

TEST_F(ReportTool, SurplusLinesAndNumbersAreNamedAndTheReportStillPrinted) {
    // n typed as 4 for 5 controls: control 5 becomes the case, and the user is told.
    const ToolRun run = Run({"--n", "4", "--k", "1", WriteData("52 12 3\n61 16\n47 10\n58 14\n55 13\n39 15\n")});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find(" Raw data for controls:"), std::string::npos);
    EXPECT_EQ(run.err,
              "Data file consisting of n + 1 =  5 cases (rows) and  2 variables (columns) was loaded successfully "
              "\n\nNote: the data file holds 6 lines of numbers, but n + 1 = 5 were asked for: the case's scores "
              "were taken from line 5, and the lines after it were not used.\n\nNote: line 1 of the data file "
              "holds 3 numbers, but k + 1 = 2 were asked for: the numbers after the first 2 were not used.\n");
}

// Without covariates a deficit takes two controls and a dissociation four, each line the
// task scores alone (three are too few for a dissociation: a row of StopsWithAMessage).
TEST_F(ReportTool, WithoutCovariatesTheFewestControlsOfEachTestAreAnalysed) {
    const struct {
        std::vector<std::string> args;
        const char* data;
        AnalysisTest test;
        std::string err;
    } cases[] = {
        {{"--n", "2", "--k", "0", "FILE"}, "10\n12\n6\n", AnalysisTest::Deficit,
         "Data file consisting of n + 1 =  3 cases (rows) and  1 variable (column) was loaded successfully \n"},
        {{"--test", "dissociation", "--n", "4", "--k", "0", "FILE"}, "10 40\n12 38\n11 45\n13 41\n6 50\n",
         AnalysisTest::Dissociation,
         "Data file consisting of n + 1 =  5 cases (rows) and  2 variables (columns) was loaded successfully \n"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Run(WithFile(c.args, WriteData(c.data)));
        EXPECT_EQ(run.status, 0) << ::testing::PrintToString(c.args);
        EXPECT_EQ(run.err, c.err);
        const std::vector<std::string> lines = Lines(run.out);
        ASSERT_GT(lines.size(), 2u);
        EXPECT_EQ(lines[1], ReportTitle(c.test, false, 0));
        EXPECT_NE(std::find(lines.begin(), lines.end(), " Number of covariates = 0"), lines.end());
    }
}

// A slip of the command line exits 2 before any analysis, prints nothing and leaves the
// input files whole; standard error says what is wrong (when the row names it), then
// shows the usage.
struct UsageError {
    const char* name;
    std::vector<std::string> args;  // "FILE" stands for data.txt by its full path
    std::string what = "";          // the first line after "quorvane-report: ", when the row names it
    bool writesFiles = false;       // --pdf or --figure taken: built with the program's windows only
};

class UsageErrors : public ReportTool, public ::testing::WithParamInterface<UsageError> {};

TEST_P(UsageErrors, ExitTwoWithNothingWritten) {
    const UsageError& c = GetParam();
    if (c.writesFiles && !kWritesFiles) GTEST_SKIP() << "built without the program's windows";
    const std::string file = WriteData(kFourControls), statistics = PublishedStatistics();
    for (const char* name : {"norms.txt", "deficit.txt"}) WriteData(statistics, name);
    WriteData(FormatStatisticsFile({"30", "1", {{"50", "30", "12"}, {"8", "4", "2"}, {"30", "31", "13"},
                                                {"0.5", "0.25", "0.75"}}, AnalysisTest::Dissociation}),
              "dissociation.txt");
    fs::create_symlink(folder_ / "data.txt", folder_ / "link.png");
    const ToolRun run = Run(WithFile(c.args, file), "env -u DISPLAY LC_ALL=C");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    if (c.what.empty())
        EXPECT_NE(run.err.find("Usage: quorvane-report"), std::string::npos) << run.err;
    else
        EXPECT_EQ(run.err.rfind("quorvane-report: " + c.what + "\nUsage: quorvane-report", 0), 0u) << run.err;
    EXPECT_EQ(Slurp(folder_ / "data.txt"), kFourControls);
    EXPECT_EQ(Slurp(folder_ / "norms.txt"), statistics);
}

const std::string kLongName = std::string(5000, 'x') + ".svg";

INSTANTIATE_TEST_SUITE_P(
    Table, UsageErrors,
    ::testing::Values(
        UsageError{"NoArguments", {}},
        UsageError{"NoK", {"--n", "5", "FILE"}},
        UsageError{"CasesOfEnteredStatistics", {"--statistics", "norms.txt", "--cases", "2"},
                   "--cases needs a raw data file"},
        UsageError{"TableOverThePdf", {"--n", "4", "--k", "1", "--pdf", "t.csv", "--table", "./t.csv", "FILE"},
                   "--table and --pdf name the same file \"./t.csv\": one would overwrite the other", true},
        UsageError{"NoDataFile", {"--n", "5", "--k", "1"}},
        UsageError{"UnknownLimit", {"--n", "5", "--k", "1", "--limit", "sideways", "FILE"}},
        UsageError{"UnknownOption", {"--n", "5", "--k", "1", "--verbose", "FILE"}},
        UsageError{"TwoDataFiles", {"--n", "5", "--k", "1", "FILE", "FILE"}},
        UsageError{"NoValueOfK", {"--n", "5", "--k"}},
        UsageError{"NTwice", {"--n", "5", "--n", "4", "--k", "1", "FILE"}, "--n may be given only once"},
        UsageError{"LimitTwice",
                   {"--limit", "two-sided", "--n", "5", "--k", "1", "--limit", "one-sided-lower", "FILE"},
                   "--limit may be given only once"},
        UsageError{"EmptyDataFileName", {"--n", "5", "--k", "1", ""}, "the data file's name is empty"},
        UsageError{"EmptyStatisticsFileName", {"--statistics", ""}, "the file name of --statistics is empty"},
        UsageError{"EmptyPdfName", {"--n", "5", "--k", "1", "--pdf", "", "FILE"}, "the file name of --pdf is empty"},
        UsageError{"EmptyFigureName", {"--n", "5", "--k", "1", "--figure", "", "FILE"},
                   "the file name of --figure is empty"},
        // After "--" an option's name is a file name.
        UsageError{"OptionAfterTwoDashes", {"--n", "5", "--k", "1", "--", "--pdf", "FILE"},
                   "only one data file may be given"},
        UsageError{"UnknownTest", {"--test", "difference", "--n", "5", "--k", "1", "FILE"},
                   "unknown test 'difference'"},
        UsageError{"TestTwice", {"--test", "deficit", "--n", "5", "--k", "1", "--test", "dissociation", "FILE"},
                   "--test may be given only once"},
        // An output that is an input, under its own name or another, is refused before
        // anything is written.
        UsageError{"PdfOverTheDataFile", {"--n", "5", "--k", "1", "--pdf", "data.txt", "data.txt"},
                   "the file of --pdf \"data.txt\" is the data file, which would be overwritten", true},
        UsageError{"FigureOverALinkToTheDataFile", {"--n", "5", "--k", "1", "--figure", "link.png", "data.txt"},
                   "the file of --figure \"link.png\" is the same file as the data file \"data.txt\", which would "
                   "be overwritten", true},
        UsageError{"PdfOverTheStatisticsFile", {"--statistics", "norms.txt", "--pdf", "./norms.txt"},
                   "the file of --pdf \"./norms.txt\" is the same file as the statistics file \"norms.txt\", which "
                   "would be overwritten", true},
        UsageError{"PdfAndFigureTheSameFile",
                   {"--n", "5", "--k", "1", "--pdf", "both.svg", "--figure", "./both.svg", "data.txt"},
                   "--pdf and --figure name the same file \"./both.svg\": the figure would overwrite the PDF", true},
        // A name that cannot be resolved is compared as written, not a crash.
        UsageError{"PdfAndFigureTheSameUnresolvableName",
                   {"--n", "5", "--k", "1", "--pdf", kLongName, "--figure", kLongName, "data.txt"},
                   "--pdf and --figure name the same file \"" + kLongName + "\": the figure would overwrite the PDF",
                   true},
        UsageError{"SummaryWithoutTheLists", {"--summary", "--n", "30", "--k", "1", "--means", "1 2"}},
        UsageError{"SummaryWithADataFile", Plus(kPublishedTable, {"FILE"})},
        UsageError{"UnknownFormat", Plus(kPublishedTable, {"--format", "xml"})},
        UsageError{"StatisticsWithN", {"--statistics", "s.txt", "--n", "30"}},
        UsageError{"ListsWithoutSummary", {"--n", "5", "--k", "1", "--means", "1 2", "FILE"}},
        // A statistics file holds the lists of its own test: a --test that says otherwise is a
        // slip of the command line.
        UsageError{"DissociationOfADeficitsStatistics", {"--statistics", "deficit.txt", "--test", "dissociation"},
                   "--test dissociation contradicts the statistics file \"deficit.txt\", which holds the "
                   "statistics of a deficit"},
        UsageError{"PowerSettingWithoutPower", Plus(kPublishedTable, {"--alpha", "0.1"}),
                   "--alpha, --alternative, --target-power, --simulations and --draws need --power"},
        UsageError{"PowerOfADataFile", {"--power", "--n", "5", "--k", "1", "FILE"},
                   "--power takes no data file: give the table with --summary or --statistics"},
        UsageError{"PlansCases", {"--power", "--statistics", "norms.txt", "--cases", "2"},
                   "--cases needs a raw data file"},
        UsageError{"PlansTable", {"--power", "--statistics", "norms.txt", "--table", "t.csv"},
                   "--table has no meaning with --power"},
        UsageError{"PlansPdfOverTheStatisticsFile", {"--power", "--statistics", "norms.txt", "--pdf", "norms.txt"},
                   "the file of --pdf \"norms.txt\" is the statistics file, which would be overwritten", true},
        UsageError{"SimulationsOfADeficit", {"--power", "--statistics", "deficit.txt", "--simulations", "500"},
                   "--simulations and --draws apply to the dissociation test only"},
        UsageError{"DeficitOfADissociationsStatistics",
                   {"--test", "deficit", "--statistics", "dissociation.txt", "--format", "json"},
                   "--test deficit contradicts the statistics file \"dissociation.txt\", which holds the "
                   "statistics of a dissociation"}),
    [](const auto& info) { return std::string(info.param.name); });

// The plan the companion's window would append, and its object from a statistics file
// with a list of n in place of the file's; a setting out of range stops it.
TEST_F(ReportTool, PowerPrintsThePlanAsTextOrJson) {
    const std::vector<std::string> args = Plus(kPublishedTable, {"--power", "--alpha", "0.1", "--notes", "pilot"});
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    PowerRequest request;
    request.nText = "30";
    request.kText = "1";
    request.entries = {{"31.333", "13.1"}, {"6.804", "3.346"}, {"15", "17"}, {"0.72091"}};
    request.alphaText = "0.1";
    request.notes = {"pilot"};
    testing::FakePlatform platform;
    const PowerOutcome outcome = RunPower(request, platform);
    std::string report;
    for (const std::string& line : outcome.reportLines) (report += line) += '\n';
    EXPECT_EQ(run.out, report);

    WriteData(PublishedStatistics(), "norms.txt");
    const ToolRun json = Run({"--power", "--statistics", "norms.txt", "--n", "10,20", "--format", "json"});
    EXPECT_EQ(json.status, 0);
    for (const char* member : {"\"mode\": \"power\"", "\"n\": 10,", "\"sample_size\": ", "{\"n\": 20, \"power\": "})
        EXPECT_NE(json.out.find(member), std::string::npos) << member;

    const ToolRun stopped = Run(Plus(kPublishedTable, {"--power", "--target-power", "1"}));
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(stopped.err, "INPUT ERROR\n(  Target power :  1  )\nThe target power must be greater than the "
                           "significance level (0.05) and less than 1.\n");
}

// "--" ends the options: a data file may be named like one.
// A series of the last two lines: the JSON's cases and the CSV table give the same numbers.
TEST_F(ReportTool, ASeriesGivesItsCasesInJsonAndItsTableAsCsv) {
    const ToolRun run =
        Run({"--n", "4", "--k", "1", "--cases", "2", "--format", "json", "--table", "cases.csv",
             WriteData(kFourControls)});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("  \"m\": 2,\n"), std::string::npos);
    EXPECT_NE(run.out.find("      \"line\": 6,\n"), std::string::npos);
    std::istringstream csv(Slurp(folder_ / "cases.csv"));
    std::string header, line;
    std::getline(csv, header);
    EXPECT_EQ(header, "case,line,score,one_tailed_p,holm_p,z_ccc,z_ccc_lower,z_ccc_upper,percent_below,"
                      "percent_below_lower,percent_below_upper\r");
    for (const char* start : {"1,5,55,", "2,6,39,"}) {
        ASSERT_TRUE(std::getline(csv, line));
        EXPECT_EQ(line.rfind(start, 0), 0u) << line;
        const std::size_t from = std::string(start).size();
        const std::string p = line.substr(from, line.find(',', from) - from);
        EXPECT_NE(run.out.find("\"one_tailed_p\": " + p + ",\n"), std::string::npos) << p;
    }
    EXPECT_FALSE(std::getline(csv, line));
}

TEST_F(ReportTool, TwoDashesEndTheOptions) {
    WriteData(kFourControls, "-h");
    const ToolRun run = Run({"--n", "5", "--k", "1", "--", "-h"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, kLoaded);
    EXPECT_EQ(run.out, ProgramReport("5", "1", 0, {}, (folder_ / "-h").string()));
}

TEST_F(ReportTool, HelpExplainsTheArgumentsAndExitStatuses) {
    const ToolRun run = Run({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* word : {"--n", "--k", "--limit", "--notes", "one-sided-upper", "standard error", "Exit status",
                             "--summary", "--correlations", "--statistics", "--format", "json", "--test",
                             "dissociation", "--power", "--alternative", "--draws"})
        EXPECT_NE(run.out.find(word), std::string::npos) << word;
}

// Without a display: the tool draws offscreen by itself.
TEST_F(ReportTool, WritesThePdfAndTheFigureBesidesPrintingTheReport) {
    if (!kWritesFiles) GTEST_SKIP() << "built without the program's windows";
    const std::string file = WriteData(kFourControls);
    // As a batch job without a session runs it: no runtime folder either.
    const std::string headless = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR LC_ALL=C";
    const ToolRun plain = Run({"--n", "4", "--k", "1", file});
    const ToolRun run = Run({"--n", "4", "--k", "1", "--pdf", "report.pdf", "--figure", "figure.svg", file}, headless);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, plain.out);
    EXPECT_EQ(run.err, plain.err);  // the analysis's notes, and nothing of the drawing
    EXPECT_NE(Slurp(folder_ / "figure.svg").find("<svg"), std::string::npos);

    ExpectPdfHoldsReport("report.pdf", run.out);
    // A display platform named in the environment, and no display: still offscreen.
    const std::string xcb = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb LC_ALL=C";
    EXPECT_EQ(Run({"--n", "4", "--k", "1", "--pdf", "xcb.pdf", file}, xcb).status, 0);
    ExpectPdfHoldsReport("xcb.pdf", run.out);

    // A file that cannot be written is an error that names it; the report is still printed.
    const ToolRun failed = Run({"--n", "4", "--k", "1", "--pdf", "missing/report.pdf", file}, headless);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, plain.out);
    EXPECT_NE(failed.err.find("The PDF cannot be saved to \"missing/report.pdf\": "), std::string::npos) << failed.err;

    // A figure of another kind is a usage error, found before the analysis runs.
    const ToolRun wrongKind = Run({"--n", "4", "--k", "1", "--figure", "figure.jpg", file}, headless);
    EXPECT_EQ(wrongKind.status, 2);
    EXPECT_TRUE(wrongKind.out.empty());
    EXPECT_EQ(wrongKind.err.rfind("quorvane-report: the file of --figure must end in .svg or .png\n", 0), 0u);
}

// ---- Summary statistics as input ------------------------------------------------------

// Enough digits for an extended real to read back exactly through strtold.
std::string Exact(long double x) {
    char text[64];
    std::snprintf(text, sizeof text, "%.21Lg", x);
    return text;
}

// The statistics that the raw path computes from the first p columns of an example file,
// and as lists with enough digits to read back exactly.
struct RawStatistics {
    AnalysisResults raw;
    SummaryEntries entries;
};

std::optional<RawStatistics> StatisticsOf(const std::string& file, int n, int p, int taskCount) {
    testing::FakePlatform platform;
    platform.openAnswers.push_back(file);
    RawDataTable table;
    if (!LoadRawDataFile(n + 1, p, table, platform, taskCount).loaded) return std::nullopt;
    RawStatistics s;
    SampleStatistics(table, n, p, s.raw.corr, s.raw.means, s.raw.sds);
    DataRow(table, n + 1, p, s.raw.caseScores);
    for (int i = 1; i <= p; ++i) {
        s.entries.means.push_back(Exact(s.raw.means(i)));
        s.entries.sds.push_back(Exact(s.raw.sds(i)));
        s.entries.caseScores.push_back(Exact(s.raw.caseScores(i)));
        for (int j = 1; j < i; ++j) s.entries.correlations.push_back(Exact(s.raw.corr(i, j)));
    }
    return s;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string list;
    for (const std::string& word : words) list += (list.empty() ? "" : " ") + word;
    return list;
}

// The lists of --summary for the statistics.
std::vector<std::string> SummaryOptions(const std::string& n, const std::string& k, const SummaryEntries& e) {
    return {"--summary", "--n", n, "--k", k, "--means", Joined(e.means), "--sds", Joined(e.sds),
            "--case", Joined(e.caseScores), "--correlations", Joined(e.correlations)};
}

// The conditional estimates and the OUTPUTS block: what must not depend on the input mode.
std::vector<std::string> Results(const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    bool outputs = false;
    for (const std::string& line : lines) {
        outputs = outputs || line == " OUTPUTS:";
        if (outputs || line.starts_with(" Sample estimate of conditional")) kept.push_back(line);
    }
    return kept;
}

// A member of the tool's JSON object: its number, or nothing for null.
std::optional<double> JsonMember(const std::string& json, const std::string& key) {
    const std::string tag = "\"" + key + "\": ";
    const auto at = json.find(tag);
    EXPECT_NE(at, std::string::npos) << key;
    if (at == std::string::npos || json.compare(at + tag.size(), 4, "null") == 0) return std::nullopt;
    return std::strtod(json.c_str() + at + tag.size(), nullptr);
}

struct Example {
    const char* file;
    const char* n;
    const char* k;
};
const char* const kLimits[] = {"two-sided", "one-sided-lower", "one-sided-upper"};

class SummaryOracle : public ReportTool, public ::testing::WithParamInterface<std::tuple<Example, int>> {};

// The statistics that the raw path computes from an example file, written with 21
// significant digits and given back through --summary, give the raw run's OUTPUTS block
// and conditional estimates word for word; the JSON numbers are the same doubles and
// round to the printed numbers.
TEST_P(SummaryOracle, SummaryInputGivesTheRawRunsResults) {
    const auto& [example, limitIndex] = GetParam();
    const std::string limit = kLimits[limitIndex];
    const std::string file = std::string(QUORVANE_EXAMPLES) + "/" + example.file;
    const int n = std::stoi(example.n), p = std::stoi(example.k) + 1;

    const std::optional<RawStatistics> statistics = StatisticsOf(file, n, p, 1);
    ASSERT_TRUE(statistics);
    const auto& [raw, entries] = *statistics;

    const ToolRun rawRun = Run({"--n", example.n, "--k", example.k, "--limit", limit, file});
    const std::vector<std::string> summaryArgs =
        Plus(SummaryOptions(example.n, example.k, entries), {"--limit", limit});
    const ToolRun summaryRun = Run(summaryArgs);
    const ToolRun jsonRun = Run(Plus(summaryArgs, {"--format", "json"}));
    ASSERT_EQ(rawRun.status, 0);
    ASSERT_EQ(summaryRun.status, 0) << summaryRun.err;
    ASSERT_EQ(jsonRun.status, 0) << jsonRun.err;
    EXPECT_EQ(summaryRun.err, "");
    const std::vector<std::string> printed = Results(Lines(rawRun.out));
    // Without covariates the two conditional estimates are not printed.
    ASSERT_EQ(printed.size(), (limitIndex == 0 ? 17u : 18u) - (p == 1 ? 2u : 0u));
    EXPECT_EQ(Results(Lines(summaryRun.out)), printed);

    // The report written from the JSON numbers prints the same lines.
    AnalysisResults fromJson;
    fromJson.outcome.tasks[0].condMean = JsonMember(jsonRun.out, "conditional_mean").value_or(0);
    fromJson.outcome.tasks[0].condSD = JsonMember(jsonRun.out, "conditional_sd").value_or(0);
    const std::pair<int, const char*> members[] = {
        {OneTailedP, "one_tailed_p"}, {TwoTailedP, "two_tailed_p"}, {ZCCC, "z_ccc"},
        {ZCCCLower, "z_ccc_lower"}, {ZCCCUpper, "z_ccc_upper"}, {PercentBelow, "percent_below"},
        {PercentBelowLower, "percent_below_lower"}, {PercentBelowUpper, "percent_below_upper"}};
    for (const auto& [index, key] : members) {
        const std::optional<double> value = JsonMember(jsonRun.out, key);
        const bool isLimit = index == ZCCCLower || index == ZCCCUpper || index == PercentBelowLower ||
                             index == PercentBelowUpper;
        const bool upperLimit = index == ZCCCUpper || index == PercentBelowUpper;
        const bool given = !isLimit || limitIndex == 0 || (limitIndex == 1) != upperLimit;
        EXPECT_EQ(value.has_value(), given) << key;
        fromJson.outcome.tasks[0].results(index) = value.value_or(0);
    }
    AnalysisInputs inputs;
    inputs.n = n;
    inputs.k = p - 1;
    inputs.p = p;
    inputs.limitType = static_cast<LimitType>(limitIndex);
    AnalysisRequest request;
    request.source = entries;
    EXPECT_EQ(Results(WriteReport(inputs, fromJson, request)), printed);
    EXPECT_NE(jsonRun.out.find("\"limit\": \"" + limit + "\""), std::string::npos);
    EXPECT_NE(jsonRun.out.find("\n  \"k\": " + std::string(example.k) + ",\n"), std::string::npos);

    // The summary run's doubles are exactly those of the engine given the raw run's
    // statistics and the unit diagonal that a summary implies. The raw run's own differ
    // at most in their last bits: its correlation matrix's diagonal comes from a division,
    // 1 only to within an extended real's rounding (at four covariates that shows).
    if (limitIndex == 0) {
        AnalysisResults unitDiagonal = raw;
        for (int i = 1; i <= p; ++i) unitDiagonal.corr(i, i) = 1;
        ASSERT_EQ(AnalyseStatistics(n, p - 1, AnalysisTest::Deficit, LimitType::TwoSided, unitDiagonal),
                  AnalysisStop::None);
        const ToolRun rawJson = Run({"--n", example.n, "--k", example.k, "--format", "json", file});
        EXPECT_NE(rawJson.out.find("\"mode\": \"raw\""), std::string::npos);
        const tDeficitOutcome& task = unitDiagonal.outcome.tasks[0];
        std::vector<std::pair<const char*, long double>> expected = {{"conditional_mean", task.condMean},
                                                                     {"conditional_sd", task.condSD}};
        for (const auto& [index, key] : members) expected.emplace_back(key, task.results(index));
        for (const auto& [key, value] : expected) {
            EXPECT_EQ(JsonMember(jsonRun.out, key), static_cast<double>(value)) << key;
            const std::optional<double> fromRaw = JsonMember(rawJson.out, key);
            ASSERT_TRUE(fromRaw) << key;
            EXPECT_NEAR(*fromRaw, static_cast<double>(value), 1e-13 * std::fabs(*fromRaw)) << key;
        }
    }
}

// Up to two covariates, the lower triangle read row by row and column by column is the
// same list; the example with four tells the orders apart. With k = 0 the story recall
// scores alone are read (the raw run notes the education it leaves), and the correlations
// are an empty list.
INSTANTIATE_TEST_SUITE_P(Examples, SummaryOracle,
                         ::testing::Combine(::testing::Values(Example{"story_recall_education.txt", "30", "1"},
                                                              Example{"story_recall_education.txt", "30", "0"},
                                                              Example{"naming_age_education.txt", "36", "2"},
                                                              Example{"fluency_age_normal.txt", "22", "1"},
                                                              Example{"digit_span_lf.txt", "25", "2"},
                                                              Example{"list_learning_age_education_iq_sex.txt", "40",
                                                                      "4"}),
                                            ::testing::Range(0, 3)),
                         [](const auto& info) {
                             std::string name = std::get<0>(info.param).file;
                             name = name.substr(0, name.find('.')) + "_k" + std::get<0>(info.param).k + "_" +
                                    std::to_string(std::get<1>(info.param));
                             return name;
                         });

TEST_F(ReportTool, AStatisticsFileGivesTheReportOfTheSameTableTyped) {
    const std::string statistics = WriteData(PublishedStatistics(), "norms.txt");
    const ToolRun fromList = Run(Plus(kPublishedTable, {"--notes", "Table 3"}));
    const ToolRun fromFile = Run({"--statistics", statistics, "--notes", "Table 3"});
    EXPECT_EQ(fromFile.status, 0);
    EXPECT_EQ(fromFile.err, "");
    EXPECT_EQ(fromFile.out, fromList.out);
    const std::vector<std::string> lines = Lines(fromFile.out);
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[1], SummaryProgramTitle);
    EXPECT_EQ(lines[9], " User's Notes: Table 3");
    // The statistics as typed in INPUTS, no data file; then the summary table.
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 11, lines.begin() + 22),
              (std::vector<std::string>{
                  " INPUTS:", " Number of control participants (n) = 30", " Number of covariates = 1",
                  " Credible limit required: Two-sided", "",
                  " Summary statistics for the control sample and scores for the case, as entered:",
                  "   Task of Interest:  Mean = 31.333   SD = 6.804   Score for case = 15",
                  "   Covariate 1:       Mean = 13.1     SD = 3.346   Score for case = 17",
                  " Correlation(s) between task and covariate(s) in control sample, as entered:",
                  "   Covariate 1 with Task of Interest = 0.72091", ""}));
    EXPECT_EQ(lines[22], " Summary statistics for the control sample for task and covariates together with "
                         "scores for the case:");
    EXPECT_EQ(fromFile.out.find("Raw data"), std::string::npos);
}

// A deficit without covariates needs no correlation: the option left out, given empty, or
// a statistics file without the line (as the companion saves it) give one report, whose
// INPUTS list the task alone; the JSON object says k 0.
TEST_F(ReportTool, ADeficitWithoutCovariatesNeedsNoCorrelations) {
    const StatisticsTable table{"20", "0", {{"31.333"}, {"6.804"}, {"15"}, {}}};
    WriteData(FormatStatisticsFile(table), "norms.txt");
    const std::vector<std::string> typed = {"--summary", "--n",  "20", "--k",    "0",
                                            "--means",   "31.333", "--sds", "6.804", "--case", "15"};
    const ToolRun fromList = Run(typed);
    ASSERT_EQ(fromList.status, 0) << fromList.err;
    EXPECT_EQ(fromList.err, "");
    EXPECT_EQ(Run(Plus(typed, {"--correlations", ""})).out, fromList.out);
    EXPECT_EQ(Run({"--statistics", "norms.txt"}).out, fromList.out);
    const std::vector<std::string> lines = Lines(fromList.out);
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[1], "QuorvaneSummary: Bayesian test for a deficit in the single case without covariates (Summary "
                        "statistics as input) ");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 9, lines.begin() + 16),
              (std::vector<std::string>{" INPUTS:", " Number of control participants (n) = 20",
                                        " Number of covariates = 0", " Credible limit required: Two-sided", "",
                                        " Summary statistics for the control sample and scores for the case, as "
                                        "entered:",
                                        "   Task of Interest:  Mean = 31.333   SD = 6.804   Score for case = 15"}));
    EXPECT_EQ(fromList.out.find("orrelation"), std::string::npos);

    const ToolRun jsonRun = Run(Plus(typed, {"--format", "json"}));
    EXPECT_EQ(jsonRun.status, 0);
    EXPECT_NE(jsonRun.out.find("\n  \"n\": 20,\n  \"k\": 0,\n"), std::string::npos) << jsonRun.out;
    EXPECT_EQ(JsonMember(jsonRun.out, "conditional_mean"), 31.333);
    EXPECT_EQ(JsonMember(jsonRun.out, "conditional_sd"), 6.804);
}

TEST_F(ReportTool, WritesThePdfOfASummaryRun) {
    if (!kWritesFiles) GTEST_SKIP() << "built without the program's windows";
    const ToolRun run = Run(Plus(kPublishedTable, {"--pdf", "summary.pdf"}),
                            "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=C");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_NE(run.out.find(" OUTPUTS:\n"), std::string::npos);
    ExpectPdfHoldsReport("summary.pdf", run.out);

    // A plan's PDF: its report, then its figure, the power curve.
    const ToolRun plan = Run(Plus(kPublishedTable, {"--power", "--pdf", "plan.pdf", "--figure", "plan.png"}),
                             "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=C");
    ASSERT_EQ(plan.status, 0) << plan.err;
    ExpectPdfHoldsReport("plan.pdf", plan.out +
                                         "Dashed: the target power; dotted: the asymptote, the power as n grows "
                                         "without end\nNumber of controls (n)\n");
    EXPECT_GT(fs::file_size(folder_ / "plan.png"), 0u);
}

struct SummaryStop {
    const char* name;
    std::vector<std::pair<std::string, std::string>> changes;  // option, new value
    const char* statisticsFile;                                // used instead when not null
    std::string err;
};

class SummaryStopsWithAMessage : public ReportTool, public ::testing::WithParamInterface<SummaryStop> {};

TEST_P(SummaryStopsWithAMessage, ExitsOneWithTheMessageOnStandardError) {
    const SummaryStop& c = GetParam();
    std::vector<std::string> args = {"--statistics", "s.txt"};
    if (c.statisticsFile) {
        WriteData(c.statisticsFile, "s.txt");
    } else {
        args = kPublishedTable;
        for (const auto& [option, value] : c.changes)
            *(std::find(args.begin(), args.end(), option) + 1) = value;
    }
    for (const char* format : {"text", "json"}) {
        const ToolRun run = Run(Plus(args, {"--format", format}));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SummaryStopsWithAMessage,
    ::testing::Values(
        SummaryStop{"TooFewControls", {{"--n", "1"}}, nullptr,
                    "INPUT ERROR\n(  Number of control participants (n) :  1.000  )\nThe value for sample size must be an "
                    "integer greater than 1.\n"},
        SummaryStop{"CovariateForTwoControls", {{"--n", "2"}}, nullptr,
                    " With a control sample size of  2, the maximum number of covariates is  0 \n"},
        SummaryStop{"ZeroSD", {{"--sds", "6.804 0"}}, nullptr,
                    "INPUT ERROR\n(  SD of Covariate 1  0  )\n\nA standard deviation must be greater than 0.\n"},
        SummaryStop{"MissingScore", {{"--case", "15"}}, nullptr,
                    "INPUT ERROR\nThe case's scores hold 1 number; 2 are needed (the task of interest, then 1 "
                    "covariate).\n"},
        SummaryStop{"OneCorrelationTooMany", {{"--correlations", "0.72091 0.5"}}, nullptr,
                    "INPUT ERROR\nThe correlations hold 2 numbers; 1 is needed (the lower triangle of the "
                    "correlation matrix, row by row).\n"},
        SummaryStop{"UnitCorrelation", {{"--correlations", "1.0"}}, nullptr,
                    "INPUT ERROR\n(  Correlation of Covariate 1 with Task of Interest  1.0  )\n\nA correlation must lie "
                    "strictly between -1 and 1.\n"},
        SummaryStop{"NotPositiveDefinite",
                    {{"--k", "2"}, {"--means", "1 2 3"}, {"--sds", "1 2 3"}, {"--case", "1 2 3"},
                     {"--correlations", "0.9 0.9 -0.9"}},
                    nullptr, kNotPositiveDefinite + "\n"},
        // On a covariate: on the task, the case would lie implausibly far first.
        SummaryStop{"AnSDOf1eMinus300", {{"--sds", "6.804 1e-300"}}, nullptr,
                    "Analysis cannot proceed as the control sample's scores on covariate 1 vary too little "
                    "for their size (SD 1e-300 against a mean of 13.1) for the arithmetic to be exact: subtract a "
                    "constant from those scores (for example a round number near their mean) and try again\n"},
        SummaryStop{"TasksCorrelatedJustBelowOne", {},
                    "quorvane-statistics 2\ntest dissociation\nn 30\nk 0\nmeans 50 40\nsds 10 8\ncase 30 38\n"
                    "correlations 0.99999999\n",
                    "Analysis cannot proceed as the two tasks are almost perfectly correlated in the control sample "
                    "(correlation 0.99999999" + kAtMost999},
        SummaryStop{"FileBeyondADouble", {}, "quorvane-statistics 1\nn 30\nk 1\nmeans 1 2\nsds 1 2\ncase 1 -1e400\ncorrelations 0.5\n",
                    "Line 6 of the statistics file: \"-1e400\" is out of range: numbers other than 0 must lie "
                    "between about 1e-308 and 1e308 in size.\n"},
        SummaryStop{"DamagedFile", {}, "quorvane-statistics 1\nn 30\nk 1\nmeans 1 2\nsds 1 2 3\ncase 1 2\ncorrelations 0.5\n",
                    "Line 5 of the statistics file: \"sds\" needs 2 numbers (the task of interest, then each "
                    "covariate); it has 3.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Dissociations ---------------------------------------------------------------------

const Example kDissociationExample{"naming_comprehension_age_education.txt", "30", "2"};

// The lines from the first that equals `from` up to the first after it that starts with
// `until` (to the end when none does).
std::vector<std::string> Between(const std::vector<std::string>& lines, const std::string& from,
                                 const std::string& until) {
    auto first = std::find(lines.begin(), lines.end(), from);
    EXPECT_NE(first, lines.end()) << from;
    if (first == lines.end()) return {};
    const auto last =
        std::find_if(first + 1, lines.end(), [&](const std::string& line) { return line.starts_with(until); });
    return {first + 1, last};
}

// The text after the first " = " of the line that starts with the prefix.
std::string ValueOf(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines)
        if (line.starts_with(prefix)) return line.substr(line.find(" = ") + 3);
    ADD_FAILURE() << "no line " << prefix;
    return {};
}

// The members of a JSON object that starts at the line `from`, without their indent.
std::vector<std::string> ObjectMembers(const std::vector<std::string>& json, const std::string& from) {
    std::vector<std::string> members;
    for (const std::string& line : Between(json, from, "  }"))
        if (line.find('"') != std::string::npos) members.push_back(line.substr(line.find('"')));
    return members;
}

class Dissociation : public ReportTool, public ::testing::WithParamInterface<int> {};

// Each task's deficit test in a dissociation is the deficit test of a file holding that
// task and the covariates: the same printed lines and the same JSON members, to the digit.
TEST_P(Dissociation, EachTasksDeficitIsTheDeficitOfThatTaskAlone) {
    const std::string limit = kLimits[GetParam()];
    const std::string file = std::string(QUORVANE_EXAMPLES) + "/" + kDissociationExample.file;
    const std::vector<std::string> counts = {"--n", kDissociationExample.n, "--k", kDissociationExample.k,
                                             "--limit", limit};
    auto args = [&counts](std::vector<std::string> more) {
        more.insert(more.begin(), counts.begin(), counts.end());
        return more;
    };
    const ToolRun report = Run(args({"--test", "dissociation", file}));
    const ToolRun json = Run(args({"--test", "dissociation", "--format", "json", file}));
    ASSERT_EQ(report.status, 0) << report.err;
    ASSERT_EQ(json.status, 0) << json.err;
    const std::vector<std::string> lines = Lines(report.out), members = Lines(json.out);

    for (int task = 1; task <= 2; ++task) {
        // The task's column and the covariates'.
        std::istringstream rows(Slurp(file));
        std::string alone;
        for (double t1, t2, age, education; rows >> t1 >> t2 >> age >> education;)
            alone += std::to_string(task == 1 ? t1 : t2) + " " + std::to_string(age) + " " +
                     std::to_string(education) + "\n";
        const std::string taskFile = WriteData(alone);
        const ToolRun deficit = Run(args({taskFile}));
        const ToolRun deficitJson = Run(args({"--format", "json", taskFile}));
        ASSERT_EQ(deficit.status, 0) << deficit.err;
        const std::vector<std::string> deficitLines = Lines(deficit.out);

        const std::string name = "Task " + std::to_string(task);
        for (const std::string estimate :
             {" Sample estimate of conditional mean for ", " Sample estimate of conditional SD for "})
            EXPECT_EQ(ValueOf(lines, estimate + name), ValueOf(deficitLines, estimate + "Task of Interest"));
        std::vector<std::string> block = Between(lines, " Test for a deficit on " + name + ":", " Test for ");
        block.erase(block.begin());  // the empty line under the heading
        std::vector<std::string> expected = Between(deficitLines, " OUTPUTS:", "\x01");
        expected.erase(expected.begin());  // the empty line under OUTPUTS
        expected.pop_back();               // the report's last line
        EXPECT_EQ(block, expected) << name;
        const std::vector<std::string> deficitMembers =
            ObjectMembers(Lines(deficitJson.out), "  \"limit\": \"" + limit + "\",");
        EXPECT_EQ(deficitMembers.size(), 10u);
        EXPECT_EQ(ObjectMembers(members, "  \"task_" + std::to_string(task) + "\": {"), deficitMembers) << name;
    }
    EXPECT_EQ(json.out.rfind("{\n  \"mode\": \"raw\",\n  \"test\": \"dissociation\",\n", 0), 0u) << json.out;
}

// The summary statistics of the dissociation's raw data, with 21 significant digits,
// give the raw run's report from the summary table on, as typed lists and as a
// statistics file of version 2; with the example's covariates and without them (the
// tasks alone, whose table has the one correlation r21).
TEST_P(Dissociation, SummaryInputGivesTheRawRunsReport) {
    const std::string limit = kLimits[GetParam()];
    const std::string file = std::string(QUORVANE_EXAMPLES) + "/" + kDissociationExample.file;
    const int n = std::stoi(kDissociationExample.n);
    for (const std::string k : {kDissociationExample.k, "0"}) {
        const int p = std::stoi(k) + 2;
        const std::optional<RawStatistics> statistics = StatisticsOf(file, n, p, 2);
        ASSERT_TRUE(statistics);
        std::vector<std::string> summaryArgs = {"--limit", limit, "--statistics", "norms.txt"};
        if (GetParam() == 0)
            summaryArgs = Plus({"--limit", limit, "--test", "dissociation"},
                               SummaryOptions(kDissociationExample.n, k, statistics->entries));
        else
            WriteData(
                FormatStatisticsFile({kDissociationExample.n, k, statistics->entries, AnalysisTest::Dissociation}),
                "norms.txt");
        const ToolRun raw =
            Run({"--test", "dissociation", "--n", kDissociationExample.n, "--k", k, "--limit", limit, file});
        const ToolRun summary = Run(summaryArgs);
        ASSERT_EQ(raw.status, 0) << raw.err;
        ASSERT_EQ(summary.status, 0) << summary.err;
        EXPECT_EQ(summary.err, "");
        const std::string tableTitle = std::string(" Summary statistics for the control sample for tasks") +
                                       (k == "0" ? "" : " and covariates") + " together with scores for the case:";
        const std::vector<std::string> printed = Between(Lines(raw.out), tableTitle, "\x01");
        ASSERT_GT(printed.size(), k == "0" ? 50u : 60u);
        EXPECT_EQ(Between(Lines(summary.out), tableTitle, "\x01"), printed) << "k " << k;
        EXPECT_EQ(Lines(summary.out)[1], ReportTitle(AnalysisTest::Dissociation, true, std::stoi(k)));
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, Dissociation, ::testing::Range(0, 3),
                         [](const auto& info) { return std::to_string(info.param); });

TEST_F(ReportTool, AReportThatCannotBeWrittenExitsOne) {
    const std::string command = "cd " + Quote(folder_.string()) + " && " + QUORVANE_REPORT_TOOL + " --n 3 --k 1 " +
                                Quote(WriteData("10 40\n12 38\n11 45\n6 50\n")) + " >/dev/full 2>err.txt";
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    EXPECT_NE(Slurp(folder_ / "err.txt")
                  .find("quorvane-report: the report could not be written to standard output: No space left on device\n"),
              std::string::npos);
}

TEST_F(ReportTool, VersionIsShownWhereverItStands) {
    const ToolRun alone = Run({"--version"});
    EXPECT_EQ(alone.status, 0);
    EXPECT_TRUE(alone.out.starts_with("quorvane-report ")) << alone.out;
    for (const auto& args : {std::vector<std::string>{"--version", "--n", "3"}, {"--n", "3", "--k", "1", "--version"}}) {
        const ToolRun run = Run(args);
        EXPECT_EQ(std::tie(run.status, run.out, run.err), std::tie(alone.status, alone.out, alone.err));
    }
}

}  // namespace
}  // namespace quorvane
