#include "gui/HelpFiles.h"

#include <QDir>
#include <QFileInfo>

namespace kestrix::gui {

QString findManual(const QString& programDir) {
    for (const QString& folder :
         {QDir(programDir).filePath(KESTRIX_MANUAL_FROM_BIN), QString(KESTRIX_MANUAL_BUILD_DIR)}) {
        QString index = QDir::cleanPath(QDir(folder).filePath("index.html"));
        if (QFileInfo(index).isFile())
            return index;
    }
    return {};
}

QString helpSection(int topic) {
    switch (topic) {
    case 1:
        return "macros";
    case 2:
        return "settings";
    default:
        return "contents";
    }
}

} // namespace kestrix::gui
