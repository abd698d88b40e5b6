#pragma once
// The two windows wired as the program wires them, on a scripted platform whose
// program folder is a fresh temporary folder.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <string>

#include "support/fake_platform.h"
#include "ui/template_form.h"
#include "ui/template_results.h"

namespace quorvane::testing {

// Three controls and the case, one covariate, CR LF line ends.
inline constexpr const char* kSmallSample = "10 40\r\n12 38\r\n11 45\r\n6 50\r\n";

class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        platform.executableFolder = folder.path().toStdString();
        platform.currentDirectory = folder.path().toStdString();
        frmTemplate.SetResultsWindow(&frmTemplateResults);
    }

    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        frmTemplate.show();
        frmTemplate.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frmTemplate));
    }

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
        frmTemplate.cmdCompute->setFocus();
        QTest::mouseClick(frmTemplate.cmdCompute, Qt::LeftButton);
    }

    QString SavedInputsPath() const { return folder.filePath(QStringLiteral("Quorvane.txt")); }
    QString Results() const { return frmTemplateResults.memoResults->toPlainText(); }

    QTemporaryDir folder;
    FakePlatform platform;
    TfrmTemplate frmTemplate{platform};
    TfrmTemplateResults frmTemplateResults{platform, &frmTemplate};
};

}  // namespace quorvane::testing
