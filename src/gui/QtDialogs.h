// The real message boxes and file dialogs, titled with the application's title.
#pragma once

#include "core/ui/Dialogs.h"

#include <QString>

class QWidget;

namespace kestrix::gui {

class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent) : parent_(parent) {}

    void setTitle(const QString& title) { title_ = title; }
    const QString& title() const { return title_; }

    bool askYesNo(const std::string& text, MessageIcon icon) override;
    Answer askYesNoCancel(const std::string& text) override;
    void showMessage(const std::string& text, MessageIcon icon) override;
    std::optional<std::string> openFile(const FileDialogOptions& options) override;
    std::optional<std::string> saveFile(const FileDialogOptions& options) override;
    std::optional<std::string> chooseFolder(const FileDialogOptions& options) override;

    // "Name|*.a|Other|*.b" as a Qt filter list: "Name (*.a);;Other (*.b)", each list of patterns
    // shown once, whether or not the name already holds one.
    static QString qtFilter(const std::string& filter);
    // The extension of a Qt filter's first pattern: "PNG Picture (*.png)" gives "png"; empty for
    // "*" or "*.*".
    static QString filterExtension(const QString& filter);

private:
    QWidget* parent_;
    QString title_ = QStringLiteral("Kestrix");
};

} // namespace kestrix::gui
