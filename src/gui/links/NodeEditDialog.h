// NodeEditDialog: edits a link (name, address, interval) or a folder (name only). It opens wide
// enough for the whole address and can be made wider, the address box growing with it.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kestrix::gui {

class DegreeSpin;

class NodeEditDialog : public QDialog {
    Q_OBJECT
public:
    explicit NodeEditDialog(QWidget* parent = nullptr);

    // Link mode. On OK the values take the edits (the address without surrounding apostrophes,
    // the interval in whole seconds within one second and 720 hours) and the answer is true.
    bool editLinkDialog(std::string& name, std::string& url, int32_t& delay);
    // Folder mode.
    bool editFolderDialog(std::string& name);

    // Opens the macro editor on an address; true when it was closed with OK.
    std::function<bool(std::string& address)> editMacros;

    QLineEdit* nameEdit;
    QLineEdit* urlEdit;
    DegreeSpin* delaySpin;

private:
    void setLinkMode(bool link);
    int addressWidth() const;
    void fitToMode(bool link);

    QGroupBox* nameGroup_;
    QGroupBox* urlGroup_;
    QGroupBox* intervalGroup_;
    QPushButton* editMacroBtn_;
};

} // namespace kestrix::gui
