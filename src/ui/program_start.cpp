#include "ui/program_start.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <iostream>
#include <string_view>

namespace quorvane {
namespace {

// The icon of every window and dialog, at the sizes the desktop gets.
QIcon ProgramIcon(const std::string& iconName) {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/%2.png").arg(size).arg(QString::fromStdString(iconName)));
    return icon;
}

}  // namespace

std::string DesktopProgramUsage(const DesktopProgram& program) {
    return "Usage: " + program.executable + " [--home-folder]\n\n" + program.description +
           "\n\n"
           "  --home-folder  start in the home folder, which the open dialog then shows first\n"
           "                 (the menu entry starts the program so)\n"
           "  --help         show this text\n"
           "  --version      show the program's version\n";
}

std::optional<int> AnswerWithoutDisplay(const DesktopProgram& program, int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::cout << program.executable << " " QUORVANE_VERSION "\n";
            return 0;
        }
        if (arg == "--help") {
            std::cout << DesktopProgramUsage(program);
            return 0;
        }
    }
    return std::nullopt;
}

std::optional<int> StartDesktopProgram(const DesktopProgram& program) {
    for (const QString& arg : QApplication::arguments().mid(1)) {
        if (arg != QStringLiteral("--home-folder")) {
            std::cerr << program.executable << ": unknown option '" << arg.toStdString() << "'\n"
                      << DesktopProgramUsage(program);
            return 2;
        }
        // The open dialog starts in the current folder; a menu entry cannot name the
        // home folder as the one to start in, so the program moves there itself.
        QDir::setCurrent(QDir::homePath());
    }
    QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QString::fromStdString(program.appId));
    QApplication::setWindowIcon(ProgramIcon(program.iconName));
    return std::nullopt;
}

}  // namespace quorvane
