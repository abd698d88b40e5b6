#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTimer>

#include "ui/program_end.h"
#include "window_fixture.h"

namespace quorvane::testing {
namespace {

// How the user ends the program, with the main or the results window in front.
enum class EndAction { ExitYesInTheResultsWindow, ExitYesInTheMainWindow, MainWindowClosedWithResultsShown };

const char* Name(EndAction action) {
    switch (action) {
        case EndAction::ExitYesInTheResultsWindow: return "ExitYesInTheResultsWindow";
        case EndAction::ExitYesInTheMainWindow: return "ExitYesInTheMainWindow";
        case EndAction::MainWindowClosedWithResultsShown: return "MainWindowClosedWithResultsShown";
    }
    return "";
}

// Wires either program's windows as its main() does, acts as the user, and runs the
// application's real event loop: the end must survive Qt's own quit machinery, not
// just emit a signal.
void ExpectTheEventLoopEnds(EndAction action, FakePlatform& platform, MainForm& main, TfrmTemplateResults& results) {
    EndProgramOnRequest(main, results);
    if (action == EndAction::ExitYesInTheResultsWindow) {
        results.show();
        main.hide();
    }
    platform.answers.push_back(MessageAnswer::Yes);
    QTimer::singleShot(0, qApp, [&, action] {
        switch (action) {
            case EndAction::ExitYesInTheResultsWindow: QTest::mouseClick(results.cmdExit, Qt::LeftButton); break;
            case EndAction::ExitYesInTheMainWindow: QTest::mouseClick(main.ExitBtn, Qt::LeftButton); break;
            case EndAction::MainWindowClosedWithResultsShown:
                results.show();
                main.close();
                break;
        }
    });
    // A loop that the user's action failed to end is ended here, with another code.
    constexpr int kStillRunning = 7;
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(kStillRunning); });
    QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);

    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(aboutToQuit.count(), 1);
}

class ProgramEnd : public WindowTest, public ::testing::WithParamInterface<EndAction> {};

TEST_P(ProgramEnd, TheRawProgramsEventLoopReturns) {
    ExpectTheEventLoopEnds(GetParam(), platform, frmTemplate, frmTemplateResults);
}

class SummaryProgramEnd : public SummaryWindow, public ::testing::WithParamInterface<EndAction> {};

TEST_P(SummaryProgramEnd, TheCompanionsEventLoopReturns) {
    ExpectTheEventLoopEnds(GetParam(), platform, frmSummary, frmTemplateResults);
}

const auto kActions = ::testing::Values(EndAction::ExitYesInTheResultsWindow, EndAction::ExitYesInTheMainWindow,
                                        EndAction::MainWindowClosedWithResultsShown);
const auto kActionName = [](const ::testing::TestParamInfo<EndAction>& info) {
    return std::string(Name(info.param));
};
INSTANTIATE_TEST_SUITE_P(Ways, ProgramEnd, kActions, kActionName);
INSTANTIATE_TEST_SUITE_P(Ways, SummaryProgramEnd, kActions, kActionName);

}  // namespace
}  // namespace quorvane::testing
