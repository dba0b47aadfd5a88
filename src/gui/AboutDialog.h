// TAboutDlg: the product name and version.
#pragma once

#include <QDialog>

namespace kestrix::gui {

class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDlg(QWidget* parent = nullptr);
};

} // namespace kestrix::gui
