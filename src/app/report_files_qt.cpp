#include <QGuiApplication>
#include <QString>
#include <iostream>
#include <memory>

#include "app/report_files.h"
#include "export/report_export.h"

namespace quorvane {

namespace {

QtMessageHandler qtMessages = nullptr;

// The tool's standard error holds the analysis's messages. Qt's own diagnostics, such as
// "QStandardPaths: XDG_RUNTIME_DIR not set" in a batch job without a session, tell the
// user nothing about the report; a failure to write a file is reported by its own
// message. Only Qt's critical and fatal messages pass.
void DropQtDiagnostics(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) qtMessages(type, context, message);
}

}  // namespace

const char* const kReportFileUsage =
    "  --pdf FILE          also write the report and its figure to FILE as a PDF\n"
    "  --figure FILE       also write the figure alone to FILE, as SVG (FILE.svg) or PNG\n"
    "                      (FILE.png); neither may be the data or statistics file, nor\n"
    "                      the other's file\n";

bool TakeReportFileOption(std::string_view option, const std::string& value, ReportFileRequest& request) {
    if (option == "--pdf") {
        request.pdf = value;
        return true;
    }
    // Refused before the analysis runs, rather than after it.
    const QString suffix = QString::fromStdString(value).right(4).toLower();
    if (suffix != QLatin1String(".svg") && suffix != QLatin1String(".png")) {
        std::cerr << "quorvane-report: the file of --figure must end in .svg or .png\n";
        return false;
    }
    request.figure = value;
    return true;
}

void WriteReportFiles(const ReportFileRequest& request, const std::vector<std::string>& reportLines,
                      const RunFacts& facts, char decimalSeparator) {
    if (!request.pdf && !request.figure) return;
    WriteReportFiles(request, reportLines, FigureInputOf(facts, decimalSeparator));
}

void WriteReportFiles(const ReportFileRequest& request, const std::vector<std::string>& reportLines,
                      const FigureInput& figure) {
    if (!request.pdf && !request.figure) return;
    // Fonts and painting need an application object, but no display: whatever platform
    // the environment names, one that needs a display aborts the tool without it.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "quorvane-report";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QGuiApplication> app;
    if (QGuiApplication::instance() == nullptr) {
        qtMessages = qInstallMessageHandler(DropQtDiagnostics);
        app = std::make_unique<QGuiApplication>(argc, argv);
    }

    if (request.pdf) {
        QString text;
        for (const std::string& line : reportLines) text += QString::fromStdString(line) + QLatin1Char('\n');
        WritePdfReport(*request.pdf, text, {FigureOfReport(reportLines, figure)});
    }
    if (request.figure) WriteFigureFile(*request.figure, figure);
}

}  // namespace quorvane
