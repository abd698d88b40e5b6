#pragma once
// How the program ends: Exit answered Yes in either window, or the main window closed.

#include "ui/main_form.h"
#include "ui/template_results.h"

namespace quorvane {

// Ends the application's event loop. quit() would first ask every visible window to
// close, and the results window refuses every close, having no close box; exit() cannot
// be refused.
void EndProgram();

// Ends the program when the main window (either program's) or the results window asks.
void EndProgramOnRequest(const MainForm& mainWindow, const TfrmTemplateResults& frmTemplateResults);

}  // namespace quorvane
