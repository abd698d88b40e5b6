#include "ui/program_end.h"

#include <QCoreApplication>

#include "ui/template_form.h"
#include "ui/template_results.h"

namespace quorvane {

void EndProgramOnRequest(const TfrmTemplate& frmTemplate, const TfrmTemplateResults& frmTemplateResults) {
    // quit() would first ask every visible window to close; exit() cannot be refused.
    const auto end = [] { QCoreApplication::exit(0); };
    QObject::connect(&frmTemplate, &TfrmTemplate::programEndRequested, qApp, end);
    QObject::connect(&frmTemplateResults, &TfrmTemplateResults::programEndRequested, qApp, end);
}

}  // namespace quorvane
