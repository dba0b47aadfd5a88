// TNodeEditDlg: edits a link (name, address, interval) or a folder (name only).
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kestrix::gui {

class TDegreeSpin;

class TNodeEditDlg : public QDialog {
    Q_OBJECT
public:
    explicit TNodeEditDlg(QWidget* parent = nullptr);

    // Link mode. On OK the values take the edits (the address without surrounding apostrophes,
    // the interval in whole seconds within one second and 720 hours) and the answer is true.
    bool EditLinkDialog(std::string& name, std::string& url, int32_t& delay);
    // Folder mode.
    bool EditFolderDialog(std::string& name);

    // Opens the macro editor on an address; true when it was closed with OK.
    std::function<bool(std::string& address)> editMacros;

    QLineEdit* NameEdit;
    QLineEdit* URLEdit;
    TDegreeSpin* DelaySpin;

private:
    void setLinkMode(bool link);

    QGroupBox* nameGroup_;
    QGroupBox* urlGroup_;
    QGroupBox* intervalGroup_;
    QPushButton* editMacroBtn_;
};

} // namespace kestrix::gui
