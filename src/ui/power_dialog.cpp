#include "ui/power_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>

#include "ui/window_parts.h"

namespace quorvane {

namespace {

QLineEdit* MakeField(const std::string& text, QWidget* parent) {
    auto* edit = new QLineEdit(QString::fromStdString(text), parent);
    edit->setFont(WindowFont(13, true));
    edit->setMinimumWidth(150);
    return edit;
}

}  // namespace

TfrmPower::TfrmPower(AnalysisTest test, const PowerRequest& inputs, QWidget* parent) : QDialog(parent) {
    const bool deficit = test == AnalysisTest::Deficit;
    setWindowTitle(QStringLiteral("Power and sample size"));
    setModal(true);

    const QString introduction =
        deficit ? QStringLiteral("The table is read as the population's: the case's score is the score it would have "
                                 "on average, with the deficit assumed. The power of the test for a deficit is exact.")
                : QStringLiteral("The table is read as the population's: the case's scores are the scores it would "
                                 "have on average. The power of the tests for a dissociation is simulated, at each n, "
                                 "with the settings below.");
    auto* intro = new QLabel(introduction, this);
    intro->setWordWrap(true);
    intro->setFont(WindowFont(12, false));

    txtN = MakeField(inputs.nText, this);
    txtAlpha = MakeField(inputs.alphaText, this);
    cboAlternative = new QComboBox(this);
    cboAlternative->addItems({QStringLiteral("less: a score below the controls'"),
                              QStringLiteral("greater: a score above the controls'"), QStringLiteral("two-sided")});
    cboAlternative->setCurrentIndex(static_cast<int>(inputs.alternative));
    txtTargetPower = MakeField(inputs.targetPowerText, this);
    txtSimulations = MakeField(inputs.simulationsText, this);
    txtDraws = MakeField(inputs.drawsText, this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Number of controls (n), or a list such as 10, 20, 40:"), txtN);
    form->addRow(QStringLiteral("Significance level (alpha):"), txtAlpha);
    if (deficit) {
        form->addRow(QStringLiteral("Alternative:"), cboAlternative);
        form->addRow(QStringLiteral("Target power, for the sample size:"), txtTargetPower);
    } else {
        form->addRow(QStringLiteral("Simulated studies at each n:"), txtSimulations);
        form->addRow(QStringLiteral("Draws per study:"), txtDraws);
    }
    // The other test's fields stay with their texts, unseen.
    const std::array<QWidget*, 2> others = deficit ? std::array<QWidget*, 2>{txtSimulations, txtDraws}
                                                   : std::array<QWidget*, 2>{cboAlternative, txtTargetPower};
    for (QWidget* other : others) other->hide();

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setFixedWidth(560);
    txtN->setFocus();
}

void TfrmPower::TakeInputs(PowerRequest& request) const {
    const auto text = [](const QLineEdit* edit) { return edit->text().trimmed().toStdString(); };
    request.nText = text(txtN);
    request.alphaText = text(txtAlpha);
    request.alternative = static_cast<Alternative>(cboAlternative->currentIndex());
    request.targetPowerText = text(txtTargetPower);
    request.simulationsText = text(txtSimulations);
    request.drawsText = text(txtDraws);
}

bool TfrmPower::AsksFor(InputField field) {
    switch (field) {
        case InputField::N:
        case InputField::Alpha:
        case InputField::TargetPower:
        case InputField::Simulations:
        case InputField::Draws: return true;
        case InputField::None:
        case InputField::K:
        case InputField::M:
        case InputField::Mean:
        case InputField::SD:
        case InputField::CaseScore:
        case InputField::Correlation: break;
    }
    return false;
}

QLineEdit* TfrmPower::EntryField(InputField field) const {
    switch (field) {
        case InputField::N: return txtN;
        case InputField::Alpha: return txtAlpha;
        case InputField::TargetPower: return txtTargetPower;
        case InputField::Simulations: return txtSimulations;
        case InputField::Draws: return txtDraws;
        default: return nullptr;
    }
}

}  // namespace quorvane
