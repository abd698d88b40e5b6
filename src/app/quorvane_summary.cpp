// QuorvaneSummary: start-up of the companion program, which takes summary statistics
// as input. Its results window is the raw program's, reused as it is.

#include "ui/program_start.h"
#include "ui/summary_form.h"

int main(int argc, char* argv[]) {
    const quorvane::DesktopProgram program{"quorvane-summary",
                                           "The Bayesian tests for a deficit in a single case, or a dissociation between two tasks,\n"
                                           "controlling for up to five covariates or none, from summary statistics of the controls.",
                                           QUORVANE_SUMMARY_APP_ID, QUORVANE_APP_ID};
    return quorvane::RunDesktopProgram<quorvane::TfrmSummary>(program, argc, argv);
}
