#include "gui/QtDialogs.h"

#include "gui/QtText.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStringList>

namespace kestrix::gui {

namespace {

QMessageBox::Icon qtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Confirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// "Bitmaps (*.bmp)" gives "Bitmaps": a description that ends with patterns of its own. A closing
// group without a pattern ("MP4 Movie (H.264)") belongs to the name and stays.
QString withoutShownPatterns(const QString& description) {
    static const QRegularExpression shown(R"(\s*\((\s*[^\s()]*[*?][^\s()]*)+\s*\)\s*$)");
    return QString(description).remove(shown);
}

} // namespace

bool QtDialogs::askYesNo(const std::string& text, MessageIcon icon) {
    QMessageBox box(qtIcon(icon), title_, toQ(text), QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

Answer QtDialogs::askYesNoCancel(const std::string& text) {
    QMessageBox box(QMessageBox::Question, title_, toQ(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent_);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

void QtDialogs::showMessage(const std::string& text, MessageIcon icon) {
    QMessageBox box(qtIcon(icon), title_, toQ(text), QMessageBox::Ok, parent_);
    box.exec();
}

QString QtDialogs::qtFilter(const std::string& filter) {
    const QStringList parts = toQ(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        // "*.*" means every file where these filters come from; here it would want a dot.
        for (QString& pattern : patterns)
            if (pattern == "*.*")
                pattern = "*";
        // The dialog filters by the patterns it shows, so the list of the filter wins over a
        // shorter one written into the description ("JPEG Picture (*.jpg)" with *.jpg;*.jpeg).
        out << withoutShownPatterns(parts[i]) + " (" + patterns.join(' ') + ")";
    }
    return out.join(";;");
}

QString QtDialogs::filterExtension(const QString& filter) {
    const qsizetype star = filter.indexOf("*.");
    if (star < 0)
        return {};
    QString extension = filter.mid(star + 2);
    const qsizetype end = extension.indexOf(QRegularExpression("[^A-Za-z0-9]"));
    if (end >= 0)
        extension.truncate(end);
    return extension;
}

namespace {

std::optional<std::string> runFileDialog(QWidget* parent, const FileDialogOptions& o,
                                         QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, toQ(o.title), toQ(o.initialDir), QtDialogs::qtFilter(o.filter));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !o.overwritePrompt);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setSizeGripEnabled(true);
    if (!o.defaultExtension.empty()) {
        dialog.setDefaultSuffix(toQ(o.defaultExtension));
        // A name typed without an extension gets the one of the file type chosen in the dialog.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog](const QString& filter) {
                             const QString suffix = QtDialogs::filterExtension(filter);
                             if (!suffix.isEmpty())
                                 dialog.setDefaultSuffix(suffix);
                         });
    }
    if (!o.fileName.empty())
        dialog.selectFile(toQ(o.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return fromQ(dialog.selectedFiles().first());
}

} // namespace

std::optional<std::string> QtDialogs::openFile(const FileDialogOptions& options) {
    return runFileDialog(parent_, options, QFileDialog::AcceptOpen);
}

std::optional<std::string> QtDialogs::saveFile(const FileDialogOptions& options) {
    return runFileDialog(parent_, options, QFileDialog::AcceptSave);
}

std::optional<std::string> QtDialogs::chooseFolder(const FileDialogOptions& options) {
    const QString folder = QFileDialog::getExistingDirectory(
        parent_, toQ(options.title), toQ(options.initialDir), QFileDialog::DontUseNativeDialog);
    if (folder.isEmpty())
        return std::nullopt;
    return fromQ(folder);
}

} // namespace kestrix::gui
