// The two desktop programs' command-line options, which they share: run as a user would.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace quorvane {
namespace {

struct Output {
    int status = -1;
    std::string text;  // standard output and standard error together
};

Output RunProgram(const std::string& program, const std::string& args) {
    // A program that does not answer would open its window: timeout ends it.
    const std::string command = "QT_QPA_PLATFORM=offscreen timeout 20 " + program + " " + args + " 2>&1";
    Output output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[512];
    for (size_t read; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.text.append(buffer, read);
    const int raw = pclose(pipe);
    output.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

struct Program {
    const char* name;
    const char* path;
};

class DesktopProgramOptions : public ::testing::TestWithParam<Program> {};

TEST_P(DesktopProgramOptions, VersionHelpAndAnUnknownOptionAsTheRawProgramAnswersThem) {
    const auto [name, path] = GetParam();
    const std::string usage = std::string("Usage: ") + name + " [--home-folder]\n";

    const Output version = RunProgram(path, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.text, std::string(name) + " " QUORVANE_VERSION "\n");

    const Output help = RunProgram(path, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.text.rfind(usage, 0), 0u) << help.text;
    for (const char* option : {"  --home-folder  ", "  --help  ", "  --version  "})
        EXPECT_NE(help.text.find(option), std::string::npos) << option;

    const Output unknown = RunProgram(path, "--verbose");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.text.find(std::string(name) + ": unknown option '--verbose'\n" + usage), std::string::npos)
        << unknown.text;
}

INSTANTIATE_TEST_SUITE_P(Both, DesktopProgramOptions,
                         ::testing::Values(Program{"quorvane", QUORVANE_PROGRAM},
                                           Program{"quorvane-summary", QUORVANE_SUMMARY_PROGRAM}),
                         [](const auto& info) { return std::string(info.param.name) == "quorvane" ? "Raw" : "Summary"; });

}  // namespace
}  // namespace quorvane
