#pragma once
// TfrmPower: the companion program's question of power and sample size, a small modal
// dialog over the window whose table describes the population. It asks what the table
// does not hold: the number of controls (a list for a curve), alpha, and for the deficit
// test the alternative and the target power, for the dissociation test the simulation's
// size. It holds texts as typed; the plan's checks judge them when OK has closed it.

#include <QDialog>

#include "analysis/power_run.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace quorvane {

class TfrmPower : public QDialog {
    Q_OBJECT

public:
    // The fields of the test's plan, filled from inputs.
    TfrmPower(AnalysisTest test, const PowerRequest& inputs, QWidget* parent);

    // The inputs as typed, into the request's fields of the dialog.
    void TakeInputs(PowerRequest& request) const;
    // The dialog's field of an entry, nothing for the table's entries.
    QLineEdit* EntryField(InputField field) const;
    // Whether an entry is one of the dialog's, not of the table's.
    static bool AsksFor(InputField field);

    // Its controls, open to the tests that drive it as its user would.
    QLineEdit* txtN;
    QLineEdit* txtAlpha;
    QComboBox* cboAlternative;    // a deficit's
    QLineEdit* txtTargetPower;    // a deficit's
    QLineEdit* txtSimulations;    // a dissociation's
    QLineEdit* txtDraws;          // a dissociation's
    QDialogButtonBox* buttons;
};

}  // namespace quorvane
