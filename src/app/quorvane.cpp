// Quorvane: start-up. The numerical library has set the random seeds by static
// initialisation before main runs; the program title and the saved inputs file name
// are constants of program_texts.h.

#include "ui/program_start.h"
#include "ui/template_form.h"

int main(int argc, char* argv[]) {
    const quorvane::DesktopProgram program{
        "quorvane",
        "The Bayesian tests for a deficit in a single case, or a dissociation between two tasks,\n"
        "controlling for up to five covariates or none.",
        QUORVANE_APP_ID, QUORVANE_APP_ID};
    return quorvane::RunDesktopProgram<quorvane::TfrmTemplate>(program, argc, argv);
}
