#pragma once
// How the program ends: Exit answered Yes in either window, or the main window closed.

namespace quorvane {

class TfrmTemplate;
class TfrmTemplateResults;

// Ends the application's event loop when either window asks. The end does not ask the
// windows to close first: the results window refuses every close, having no close box,
// and would cancel it.
void EndProgramOnRequest(const TfrmTemplate& frmTemplate, const TfrmTemplateResults& frmTemplateResults);

}  // namespace quorvane
