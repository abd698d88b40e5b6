// Quorvane: start-up. The numerical library has set the random seeds by static
// initialisation before main runs; the program title and the saved inputs file name
// are constants of metrics_papers.h.

#include <QApplication>
#include <clocale>

#include "ui/program_end.h"
#include "ui/program_start.h"
#include "ui/qt_platform.h"
#include "ui/template_form.h"
#include "ui/template_results.h"

int main(int argc, char* argv[]) {
    const quorvane::DesktopProgram program{
        "quorvane", "The Bayesian test for a deficit in a single case, controlling for covariates.",
        QUORVANE_APP_ID, QUORVANE_APP_ID};
    if (const auto status = quorvane::AnswerWithoutDisplay(program, argc, argv)) return *status;

    QApplication application(argc, argv);
    // Qt localises the C library at start-up; the program formats and reads numbers
    // itself and wants the C library's number handling unlocalised.
    std::setlocale(LC_NUMERIC, "C");
    if (const auto status = quorvane::StartDesktopProgram(program)) return *status;

    quorvane::QtPlatform platform;
    quorvane::TfrmTemplate frmTemplate(platform);
    quorvane::TfrmTemplateResults frmTemplateResults(platform, &frmTemplate);
    frmTemplate.SetResultsWindow(&frmTemplateResults);

    quorvane::EndProgramOnRequest(frmTemplate, frmTemplateResults);

    frmTemplate.show();
    return QApplication::exec();
}
