// Quorvane: start-up. The numerical library has set the random seeds by static
// initialisation before main runs; the program title and the saved inputs file name
// are constants of metrics_papers.h.

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <clocale>
#include <iostream>
#include <string_view>

#include "ui/program_end.h"
#include "ui/qt_platform.h"
#include "ui/template_form.h"
#include "ui/template_results.h"

namespace {

const char* const kUsage =
    "Usage: quorvane [--home-folder]\n"
    "\n"
    "The Bayesian test for a deficit in a single case, controlling for covariates.\n"
    "\n"
    "  --home-folder  start in the home folder, which the open dialog then shows first\n"
    "                 (the menu entry starts the program so)\n"
    "  --help         show this text\n"
    "  --version      show the program's version\n";

// The icon of every window and dialog, at the sizes the desktop gets.
QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/" QUORVANE_APP_ID ".png").arg(size));
    return icon;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before the GUI starts, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::cout << "quorvane " QUORVANE_VERSION "\n";
            return 0;
        }
        if (arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
    }

    QApplication application(argc, argv);
    // Qt localises the C library at start-up; the program formats and reads numbers
    // itself and wants the C library's number handling unlocalised.
    std::setlocale(LC_NUMERIC, "C");

    // Qt has taken its own options out of the arguments by now.
    for (const QString& arg : QApplication::arguments().mid(1)) {
        if (arg != QStringLiteral("--home-folder")) {
            std::cerr << "quorvane: unknown option '" << arg.toStdString() << "'\n" << kUsage;
            return 2;
        }
        // The open dialog starts in the current folder; a menu entry cannot name the
        // home folder as the one to start in, so the program moves there itself.
        QDir::setCurrent(QDir::homePath());
    }
    QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVANE_APP_ID));
    QApplication::setWindowIcon(ProgramIcon());

    quorvane::QtPlatform platform;
    quorvane::TfrmTemplate frmTemplate(platform);
    quorvane::TfrmTemplateResults frmTemplateResults(platform, &frmTemplate);
    frmTemplate.SetResultsWindow(&frmTemplateResults);

    quorvane::EndProgramOnRequest(frmTemplate, frmTemplateResults);

    frmTemplate.show();
    return QApplication::exec();
}
