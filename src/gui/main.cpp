// Kestrix: start the application and its main window.
#include "gui/MainWindow.h"
#include "gui/StartCommandLine.h"
#include "gui/SystemLocale.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <iostream>

int main(int argc, char** argv) {
    // Before QApplication, which needs a display: help and version answer without one.
    if (const std::optional<int> exitCode =
            kestrix::gui::answerCommandLine(argc, argv, std::cout, std::cerr))
        return *exitCode;
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrix");
    // The desktop entry and icon installed with the program: Wayland desktops match windows to
    // their menu entry by this name.
    QGuiApplication::setDesktopFileName("org.kestrix.Kestrix");
    QApplication::setWindowIcon(QIcon::fromTheme("kestrix"));
    kestrix::gui::StartOptions options;
    options.programDir = QApplication::applicationDirPath();
    options.arguments = QApplication::arguments().mid(1);
    options.formatSettings = kestrix::gui::formatSettingsFrom(QLocale::system());
    kestrix::gui::MainWindow window(options);
    window.show();
    return QApplication::exec();
}
