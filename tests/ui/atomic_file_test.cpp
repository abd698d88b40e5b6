// Every file the programs save, saved where the write fails: a file size limit far below
// the new content's size, which a write into the system's buffers does not notice.

#include "export/qt_atomic_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "io/io_errors.h"
#include "export/report_export.h"
#include "support/file_size_limit.h"
#include "ui/summary_form.h"
#include "window_fixture.h"

namespace quorvane::testing {
namespace {

enum class Writer { SaveOutput, SaveAsPdf, SaveStatistics, SavedInputs, Figure };

struct WriterCase {
    const char* name;
    Writer writer;
    const char* fileName;
};

void PrintTo(const WriterCase& c, std::ostream* os) { *os << c.name; }

FigureInput SmallFigure() {
    DeficitFigure figure;
    figure.outcome.condSD = 1;
    figure.caseScore = -2;
    figure.outcome.results(ZCCC) = -2;
    figure.outcome.zHistogram.lower = -4;
    figure.outcome.zHistogram.upper = 0;
    return {LimitType::TwoSided, figure};
}

class FailedSave : public WindowTest, public ::testing::WithParamInterface<WriterCase> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        frmTemplateResults.memoResults->setPlainText(QStringLiteral("report"));
        frmSummary.txtInput1->setText(QStringLiteral("30"));
        frmSummary.txtInput2->setText(QStringLiteral("1"));
        const char* const grid[2][3] = {{"31.333", "6.804", "15"}, {"13.1", "3.346", "17"}};
        for (int v = 0; v < 2; ++v) {
            frmSummary.EntryField(InputField::Mean, v)->setText(QString::fromLatin1(grid[v][0]));
            frmSummary.EntryField(InputField::SD, v)->setText(QString::fromLatin1(grid[v][1]));
            frmSummary.EntryField(InputField::CaseScore, v)->setText(QString::fromLatin1(grid[v][2]));
        }
        frmSummary.EntryField(InputField::Correlation, 0)->setText(QStringLiteral("0.72091"));
    }

    // Saves to path as the user would; the message of the error that stopped it.
    std::string Save(Writer writer, const std::string& path) {
        platform.saveAnswers.push_back(path);
        switch (writer) {
            case Writer::SaveOutput: frmTemplateResults.cmdSaveOutputClick(); break;
            case Writer::SaveAsPdf: frmTemplateResults.mnuSaveAsPdfClick(); break;
            case Writer::SaveStatistics: frmSummary.cmdSaveStatisticsClick(); break;
            case Writer::SavedInputs: Compute(QStringLiteral("3"), QStringLiteral("1"), std::nullopt); break;
            case Writer::Figure:  // the report tool's --figure, which has no window
                try {
                    WriteFigureFile(path, SmallFigure());
                } catch (const EInOutError& error) {
                    return error.what();
                }
                return "";
        }
        return platform.messages.empty() ? "" : platform.messages.back().text;
    }

    TfrmSummary frmSummary{platform};
};

TEST_P(FailedSave, KeepsTheOldFileAndNamesThePathAndTheReason) {
    const QString path = folder.filePath(QString::fromLatin1(GetParam().fileName));
    WriteDataFile(QString::fromLatin1(GetParam().fileName), "earlier\r\n");
    std::string error;
    {
        FileSizeLimit limit(4);
        ASSERT_TRUE(limit.Applied());
        error = Save(GetParam().writer, path.toStdString());
    }
    EXPECT_NE(error.find(Quoted(path.toStdString()) + ": " + std::strerror(EFBIG)), std::string::npos) << error;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("earlier\r\n"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{GetParam().fileName});
}

INSTANTIATE_TEST_SUITE_P(
    Writers, FailedSave,
    ::testing::Values(WriterCase{"SaveOutput", Writer::SaveOutput, "results.txt"},
                      WriterCase{"SaveAsPdf", Writer::SaveAsPdf, "results.pdf"},
                      WriterCase{"SaveStatistics", Writer::SaveStatistics, "norms.txt"},
                      WriterCase{"SavedInputs", Writer::SavedInputs, "Quorvane.txt"},
                      WriterCase{"Figure", Writer::Figure, "figure.svg"}),
    [](const ::testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane::testing
