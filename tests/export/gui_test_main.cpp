// One QGuiApplication for every test of the drawing; headless unless the caller chose a platform.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <clocale>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // as the programs do
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
