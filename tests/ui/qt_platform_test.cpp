#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <stdexcept>

#include "support/pdf_text.h"
#include "support/sample_reports.h"
#include "ui/qt_platform.h"

namespace quorvane {
namespace {

// Runs handle on the next modal dialog once it is up, from inside its event loop.
void WhenModalShows(std::function<void(QWidget*)> handle) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, handle = std::move(handle)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        handle(modal);
    });
    timer->start();
}

// ---- Message boxes ----

struct BoxCase {
    const char* name;
    MessageKind kind;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton press;
    MessageAnswer answer;
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.name; }

class MessageBoxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxes, ShowKindCaptionTextAndButtons) {
    const BoxCase& box = GetParam();
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    WhenModalShows([&](QWidget* modal) {
        auto* messageBox = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(messageBox, nullptr);
        caption = messageBox->windowTitle();
        text = messageBox->text();
        icon = messageBox->icon();
        buttons = messageBox->standardButtons();
        messageBox->button(box.press)->click();
    });
    QtPlatform platform;
    const MessageAnswer answer = platform.ShowMessage(box.kind, "Caption", "INPUT ERROR\n\n(  x  )");
    EXPECT_EQ(answer, box.answer);
    EXPECT_EQ(caption, QStringLiteral("Caption"));
    EXPECT_EQ(text, QStringLiteral("INPUT ERROR\n\n(  x  )"));
    EXPECT_EQ(icon, box.icon);
    EXPECT_EQ(buttons, box.buttons);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MessageBoxes,
    ::testing::Values(
        BoxCase{"Warning", MessageKind::Warning, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok,
                MessageAnswer::Ok},
        BoxCase{"Error", MessageKind::Error, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok,
                MessageAnswer::Ok},
        BoxCase{"Information", MessageKind::Information, QMessageBox::Information, QMessageBox::Ok,
                QMessageBox::Ok, MessageAnswer::Ok},
        BoxCase{"QuestionYes", MessageKind::Question, QMessageBox::Question,
                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, MessageAnswer::Yes},
        BoxCase{"QuestionNo", MessageKind::Question, QMessageBox::Question,
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No, MessageAnswer::No}),
    [](const ::testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

// ---- File dialogs ----

struct FilterCase {
    std::string filter;
    QString nameFilters;
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.filter; }

class NameFilters : public ::testing::TestWithParam<FilterCase> {};

TEST_P(NameFilters, BecomeQtNameFilters) { EXPECT_EQ(QtNameFilters(GetParam().filter), GetParam().nameFilters); }

INSTANTIATE_TEST_SUITE_P(
    Filters, NameFilters,
    ::testing::Values(FilterCase{"Text files only|*.txt", "Text files only (*.txt)"},
                      FilterCase{"*.txt", "*.txt"},
                      FilterCase{"Data|*.txt;*.dat|All files|*.*", "Data (*.txt *.dat);;All files (*.*)"}));

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        existing = folder.filePath(QStringLiteral("scores.txt"));
        QFile file(existing);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QTemporaryDir folder;
    QString existing;
    QtPlatform platform;
};

TEST_F(FileDialogs, OpenDialogTakesAnExistingTextFileFromTheGivenFolder) {
    QStringList filters;
    QString directory;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    WhenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        directory = dialog->directory().absolutePath();
        mode = dialog->fileMode();
        dialog->selectFile(existing);
        static_cast<QDialog*>(dialog)->accept();
    });
    FileDialogOptions options;
    options.filter = "Text files only|*.txt";
    options.initialFolder = folder.path().toStdString();
    options.fileMustExist = true;
    EXPECT_EQ(platform.AskOpenFileName(options), existing.toStdString());
    EXPECT_EQ(filters, QStringList{QStringLiteral("Text files only (*.txt)")});
    EXPECT_EQ(directory, QDir(folder.path()).absolutePath());
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
}

TEST_F(FileDialogs, CancelledDialogGivesNothing) {
    WhenModalShows([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(platform.AskOpenFileName({}), std::nullopt);
}

TEST_F(FileDialogs, SaveDialogOffersTheDefaultNameAndAsksBeforeOverwriting) {
    QString offered;
    bool confirmsOverwrite = false;
    WhenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        offered = dialog->selectedFiles().value(0);
        confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        dialog->reject();
    });
    FileDialogOptions options;
    options.filter = "*.txt";
    options.defaultName = folder.filePath(QStringLiteral("results.txt")).toStdString();
    options.overwritePrompt = true;
    EXPECT_EQ(platform.AskSaveFileName(options), std::nullopt);
    EXPECT_EQ(offered, folder.filePath(QStringLiteral("results.txt")));
    EXPECT_TRUE(confirmsOverwrite);
}

// ---- Cursor ----

TEST(BusyCursorOnQt, ShowsTheHourglassUntilTheLastGuardEnds) {
    QtPlatform platform;
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    {
        BusyCursor outer(platform);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            BusyCursor inner(platform);
        }
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    platform.SetBusyCursor(false);  // one restore too many must not touch another's cursor
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(BusyCursorOnQt, ComesBackWhenAnErrorEndsTheAction) {
    QtPlatform platform;
    try {
        BusyCursor busy(platform);
        throw std::runtime_error("Invalid floating point operation");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- Printing ----

TEST(Printing, WithoutADefaultPrinterFailsWithThePlatformMessage) {
    QtPlatform platform;
    platform.defaultPrinter = [] { return QPrinterInfo(); };
    try {
        platform.PrintText("report", {});
        FAIL() << "printing went ahead";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "There is no default printer currently selected");
    }
}

// Print All's pages are the PDF's: every word within margins of 18 mm (printers cut
// the paper's edge), each report followed by its figure.
TEST(Printing, KeepsNormalMarginsWithEachReportsFigureAfterIt) {
    using namespace quorvane::testing;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("printed.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    const QStringList text = ReportLines(1) + ReportLines(2);
    PrintReports(printer, Joined(text), {FigureFor(ReportLines(1)), FigureFor(ReportLines(2))});

    const PdfLayout layout = PdfWordBoxes(path);
    ASSERT_FALSE(layout.words.isEmpty());
    const double margin = 18 / 25.4 * 72 - 0.5;  // in points, less pdftotext's rounding
    const QRectF inside = QRectF(QPointF(0, 0), layout.page).adjusted(margin, margin, -margin, -margin);
    for (const QRectF& word : layout.words)
        ASSERT_TRUE(inside.contains(word)) << word.x() << ", " << word.y() << " on a page of " << layout.page.width()
                                           << " x " << layout.page.height() << " points";
    const QStringList printed = PdfTextLines(path);
    ExpectLinesInOrder(text, printed);
    EXPECT_EQ(printed.filter(QStringLiteral("How sure we are")).size(), 2);
}

}  // namespace
}  // namespace quorvane
