#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTimer>
#include <functional>

#include "ui/program_end.h"
#include "window_fixture.h"

namespace quorvane::testing {
namespace {

// How the user ends the program, with the main or the results window in front.
struct EndCase {
    const char* name;
    bool resultsInFront;
    std::function<void(TfrmTemplate&, TfrmTemplateResults&)> act;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class ProgramEnd : public WindowTest, public ::testing::WithParamInterface<EndCase> {};

// Runs the application's real event loop: the end must survive Qt's own quit
// machinery, not just emit a signal.
TEST_P(ProgramEnd, TheApplicationsEventLoopReturns) {
    EndProgramOnRequest(frmTemplate, frmTemplateResults);
    if (GetParam().resultsInFront) {
        frmTemplateResults.show();
        frmTemplate.hide();
    }
    platform.answers.push_back(MessageAnswer::Yes);
    QTimer::singleShot(0, qApp, [this] { GetParam().act(frmTemplate, frmTemplateResults); });
    // A loop that the user's action failed to end is ended here, with another code.
    constexpr int kStillRunning = 7;
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(kStillRunning); });
    QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);

    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(aboutToQuit.count(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ProgramEnd,
    ::testing::Values(
        EndCase{"ExitYesInTheResultsWindow", true,
                [](TfrmTemplate&, TfrmTemplateResults& results) {
                    QTest::mouseClick(results.cmdExit, Qt::LeftButton);
                }},
        EndCase{"ExitYesInTheMainWindow", false,
                [](TfrmTemplate& main, TfrmTemplateResults&) {
                    QTest::mouseClick(main.ExitBtn, Qt::LeftButton);
                }},
        EndCase{"MainWindowClosedWithResultsShown", false,
                [](TfrmTemplate& main, TfrmTemplateResults& results) {
                    results.show();
                    main.close();
                }}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane::testing
