#include "ui/program_end.h"

#include <QCoreApplication>

namespace quorvane {

void EndProgram() { QCoreApplication::exit(0); }

void EndProgramOnRequest(const MainForm& mainWindow, const TfrmTemplateResults& frmTemplateResults) {
    QObject::connect(&mainWindow, &MainForm::programEndRequested, qApp, &EndProgram);
    QObject::connect(&frmTemplateResults, &TfrmTemplateResults::programEndRequested, qApp, &EndProgram);
}

}  // namespace quorvane
