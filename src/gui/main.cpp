// Kestrix: start the application and its main window.
#include "gui/MainWindow.h"
#include "gui/SystemLocale.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrix");
    kestrix::gui::StartOptions options;
    options.programDir = QApplication::applicationDirPath();
    options.arguments = QApplication::arguments().mid(1);
    options.formatSettings = kestrix::gui::formatSettingsFrom(QLocale::system());
    kestrix::gui::MainWindow window(options);
    window.show();
    return QApplication::exec();
}
