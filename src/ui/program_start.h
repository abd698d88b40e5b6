#pragma once
// The start of a desktop program: the options answered without a display, the options
// that change how the program starts, and the identity the desktop shows.

#include <QApplication>
#include <clocale>
#include <optional>
#include <string>

#include "ui/program_end.h"
#include "ui/qt_platform.h"
#include "ui/template_results.h"

namespace quorvane {

struct DesktopProgram {
    std::string executable;   // the name the user types, e.g. "quorvane"
    std::string description;  // one sentence for --help
    std::string appId;        // the desktop entry's id
    std::string iconName;     // the icon's name, shared by the programs of the package
};

// --help's text.
std::string DesktopProgramUsage(const DesktopProgram& program);

// --version and --help, answered before the GUI starts so that they need no display.
// Returns the exit status when one of them was answered.
std::optional<int> AnswerWithoutDisplay(const DesktopProgram& program, int argc, char* argv[]);

// Once the QApplication exists and has taken Qt's own options: --home-folder, an unknown
// option (exit status 2, returned), the version, the desktop entry and the icon of every
// window. The icon's PNGs are read from the executable's resources, :/icons/<size>x<size>/<iconName>.png.
std::optional<int> StartDesktopProgram(const DesktopProgram& program);

// The whole life of a desktop program whose main window is MainWindow: the options, the
// application, the main and results windows wired to end the program, and the event loop.
template <typename MainWindow>
int RunDesktopProgram(const DesktopProgram& program, int argc, char* argv[]) {
    if (const auto status = AnswerWithoutDisplay(program, argc, argv)) return *status;
    QApplication application(argc, argv);
    // Qt localises the C library at start-up; the programs format numbers themselves and
    // read them with the C library, which must take a full stop as the decimal point.
    std::setlocale(LC_NUMERIC, "C");
    if (const auto status = StartDesktopProgram(program)) return *status;

    QtPlatform platform;
    MainWindow mainWindow(platform);
    TfrmTemplateResults results(platform, &mainWindow);
    mainWindow.SetResultsWindow(&results);
    EndProgramOnRequest(mainWindow, results);
    mainWindow.show();
    return QApplication::exec();
}

}  // namespace quorvane
