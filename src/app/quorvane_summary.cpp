// QuorvaneSummary: start-up of the companion program, which takes summary statistics
// as input. Its results window is the raw program's, reused as it is.

#include <QApplication>
#include <clocale>

#include "ui/program_end.h"
#include "ui/program_start.h"
#include "ui/qt_platform.h"
#include "ui/summary_form.h"
#include "ui/template_results.h"

int main(int argc, char* argv[]) {
    const quorvane::DesktopProgram program{"quorvane-summary",
                                           "The Bayesian test for a deficit in a single case, controlling for covariates,\n"
                                           "from summary statistics of the controls.",
                                           QUORVANE_SUMMARY_APP_ID, QUORVANE_APP_ID};
    if (const auto status = quorvane::AnswerWithoutDisplay(program, argc, argv)) return *status;

    QApplication application(argc, argv);
    // The statistics are read by the C library, which must take a full stop as the
    // decimal point whatever the user's settings.
    std::setlocale(LC_NUMERIC, "C");
    if (const auto status = quorvane::StartDesktopProgram(program)) return *status;

    quorvane::QtPlatform platform;
    quorvane::TfrmSummary frmSummary(platform);
    quorvane::TfrmTemplateResults frmTemplateResults(platform, &frmSummary);
    frmSummary.SetResultsWindow(&frmTemplateResults);

    quorvane::EndProgramOnRequest(frmSummary, frmTemplateResults);

    frmSummary.show();
    return QApplication::exec();
}
