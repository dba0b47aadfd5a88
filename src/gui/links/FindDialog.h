// FindDialog1: a modeless search box beside the main window with the text, the direction and
// "Find Next". It remembers both between uses.
#pragma once

#include <QDialog>

class QLineEdit;
class QRadioButton;

namespace kestrix::gui {

class FindDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindDialog(QWidget* parent = nullptr);
    QString text() const;
    void setText(const QString& text);
    bool down() const;
    void setDown(bool down);

signals:
    void findNext();

private:
    QLineEdit* text_;
    QRadioButton* up_;
    QRadioButton* down_;
};

} // namespace kestrix::gui
