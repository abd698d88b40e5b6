#pragma once
// How the program ends: Exit answered Yes in either window, or the main window closed.

#include <QCoreApplication>
#include <QObject>

#include "ui/template_results.h"

namespace quorvane {

// Ends the application's event loop. quit() would first ask every visible window to
// close, and the results window refuses every close, having no close box; exit() cannot
// be refused.
void EndProgram();

// Ends the program when the main window (either program's) or the results window asks.
template <class MainWindow>
void EndProgramOnRequest(const MainWindow& mainWindow, const TfrmTemplateResults& frmTemplateResults) {
    QObject::connect(&mainWindow, &MainWindow::programEndRequested, qApp, &EndProgram);
    QObject::connect(&frmTemplateResults, &TfrmTemplateResults::programEndRequested, qApp, &EndProgram);
}

}  // namespace quorvane
