#include "NodeEditDialog.h"

#include "QtText.h"
#include "controls/DegreeSpin.h"
#include "controls/SpinInstances.h"
#include "links/TreeEditing.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace kestrix::gui {

TNodeEditDlg::TNodeEditDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("NodeEditDlg");
    nameGroup_ = new QGroupBox("Name", this);
    nameGroup_->setObjectName("NameGroup");
    NameEdit = new QLineEdit(nameGroup_);
    NameEdit->setObjectName("NameEdit");
    (new QVBoxLayout(nameGroup_))->addWidget(NameEdit);

    urlGroup_ = new QGroupBox("URL - (Web Address)", this);
    urlGroup_->setObjectName("URLGroup");
    URLEdit = new QLineEdit(urlGroup_);
    URLEdit->setObjectName("URLEdit");
    editMacroBtn_ = new QPushButton("Edit Macros", urlGroup_);
    editMacroBtn_->setObjectName("EditMacroBtn");
    editMacroBtn_->setAutoDefault(false);
    auto* urlRow = new QHBoxLayout(urlGroup_);
    urlRow->addWidget(URLEdit, 1);
    urlRow->addWidget(editMacroBtn_);

    intervalGroup_ = new QGroupBox("Time Interval - (between samples)", this);
    intervalGroup_->setObjectName("IntervalGroup");
    DelaySpin = makeDelaySpin(intervalGroup_);
    (new QVBoxLayout(intervalGroup_))->addWidget(DelaySpin);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKBtn");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("CancelBtn");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nameGroup_);
    layout->addWidget(urlGroup_);
    layout->addWidget(intervalGroup_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(editMacroBtn_, &QPushButton::clicked, this, [this] {
        std::string address = fromQ(URLEdit->text());
        if (editMacros && editMacros(address))
            URLEdit->setText(toQ(address));
    });
}

void TNodeEditDlg::setLinkMode(bool link) {
    setWindowTitle(link ? "Edit Name/Web Address" : "Edit Folder Name");
    urlGroup_->setVisible(link);
    intervalGroup_->setVisible(link);
    NameEdit->setFocus();
}

bool TNodeEditDlg::EditLinkDialog(std::string& name, std::string& url, int32_t& delay) {
    setLinkMode(true);
    NameEdit->setText(toQ(name));
    URLEdit->setText(toQ(url));
    DelaySpin->setDegrees(delay / 3600.0);
    if (exec() != QDialog::Accepted)
        return false;
    name = fromQ(NameEdit->text());
    url = stripApostrophes(fromQ(URLEdit->text()));
    delay = static_cast<int32_t>(std::lround(DelaySpin->Degrees() * 3600));
    return true;
}

bool TNodeEditDlg::EditFolderDialog(std::string& name) {
    setLinkMode(false);
    NameEdit->setText(toQ(name));
    if (exec() != QDialog::Accepted)
        return false;
    name = fromQ(NameEdit->text());
    return true;
}

} // namespace kestrix::gui
