#include "gui/links/FindDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kestrix::gui {

FindDialog::FindDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("FindDialog1");
    setWindowTitle("Find");
    setModal(false);
    text_ = new QLineEdit(this);
    text_->setObjectName("FindText");
    auto* direction = new QGroupBox("Direction", this);
    up_ = new QRadioButton("&Up", direction);
    down_ = new QRadioButton("&Down", direction);
    down_->setChecked(true);
    auto* directionRow = new QHBoxLayout(direction);
    directionRow->addWidget(up_);
    directionRow->addWidget(down_);
    auto* next = new QPushButton("&Find Next", this);
    next->setObjectName("FindNextBtn");
    next->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    auto* grid = new QGridLayout(this);
    // A label shows "&" as a mnemonic only when it has a buddy to give the focus to.
    auto* label = new QLabel("Fi&nd what:", this);
    label->setBuddy(text_);
    grid->addWidget(label, 0, 0);
    grid->addWidget(text_, 0, 1);
    grid->addWidget(next, 0, 2);
    grid->addWidget(direction, 1, 1);
    grid->addWidget(cancel, 1, 2);
    connect(next, &QPushButton::clicked, this, &FindDialog::findNext);
    connect(cancel, &QPushButton::clicked, this, &QDialog::hide);
}

QString FindDialog::text() const {
    return text_->text();
}
void FindDialog::setText(const QString& text) {
    text_->setText(text);
}
bool FindDialog::down() const {
    return down_->isChecked();
}
void FindDialog::setDown(bool down) {
    (down ? down_ : up_)->setChecked(true);
}

} // namespace kestrix::gui
