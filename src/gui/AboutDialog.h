// AboutDialog: the product name and version.
#pragma once

#include <QDialog>

namespace kestrix::gui {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace kestrix::gui
