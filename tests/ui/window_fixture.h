#pragma once
// The fixtures of the window tests.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "ui/summary_form.h"
#include "ui/template_form.h"
#include "ui/template_results.h"

namespace quorvane::testing {

// Three controls and the case, one covariate, CR LF line ends.
inline constexpr const char* kSmallSample = "10 40\r\n12 38\r\n11 45\r\n6 50\r\n";

// A main window, Form, and the results window wired as the program wires them, on a
// scripted platform whose program folder and current folder are a fresh temporary folder;
// the main window is shown and active.
template <class Form>
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        platform.executableFolder = folder.path().toStdString();
        platform.currentDirectory = folder.path().toStdString();
        form.SetResultsWindow(&frmTemplateResults);
    }

    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    // A click as the user's, which moves the focus to the button first.
    void Click(QAbstractButton* button) {
        button->setFocus();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QString Results() const { return frmTemplateResults.memoResults->toPlainText(); }

    QTemporaryDir folder;
    FakePlatform platform;
    Form form{platform};
    TfrmTemplateResults frmTemplateResults{platform, &form};
};

// The raw program's windows.
class WindowTest : public MainWindowTest<TfrmTemplate> {
protected:
    // A data file in the temporary folder; returns its full path.
    std::string WriteDataFile(const QString& name, const QByteArray& content) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path.toStdString();
    }

    // Types n and k and presses Compute; the open dialog answers with dataFile
    // (nothing: the user cancels). Focus is on the button, as after a click.
    void Compute(const QString& n, const QString& k, std::optional<std::string> dataFile) {
        frmTemplate.txtInput1->setText(n);
        frmTemplate.txtInput2->setText(k);
        platform.openAnswers.push_back(std::move(dataFile));
        Click(frmTemplate.cmdCompute);
    }

    QString SavedInputsPath() const { return folder.filePath(QStringLiteral("Quorvane.txt")); }

    TfrmTemplate& frmTemplate = form;
};

// The companion program's windows.
class SummaryWindow : public MainWindowTest<TfrmSummary> {
protected:
    // Types a table into the window as its user would: n, k, then each grid field.
    void Type(const QString& n, const QString& k, const SummaryEntries& e) {
        for (auto [edit, text] : {std::pair{frmSummary.txtInput1, n}, std::pair{frmSummary.txtInput2, k}}) {
            edit->clear();
            QTest::keyClicks(edit, text);
        }
        auto type = [this](InputField field, const std::vector<std::string>& texts) {
            for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
                QLineEdit* edit = frmSummary.EntryField(field, i);
                edit->clear();
                QTest::keyClicks(edit, QString::fromStdString(texts[i]));
            }
        };
        type(InputField::Mean, e.means);
        type(InputField::SD, e.sds);
        type(InputField::CaseScore, e.caseScores);
        type(InputField::Correlation, e.correlations);
    }

    // Writes a statistics file into the scratch folder and opens it with Load statistics.
    void LoadStatistics(const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        platform.openAnswers.push_back(path.toStdString());
        Click(frmSummary.cmdLoadStatistics);
    }

    TfrmSummary& frmSummary = form;
};

}  // namespace quorvane::testing
