#include "gui/links/NodeEditDialog.h"

#include "core/links/TreeEditing.h"
#include "gui/QtText.h"
#include "gui/controls/DegreeSpin.h"
#include "gui/controls/SpinInstances.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace kestrix::gui {

NodeEditDialog::NodeEditDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("NodeEditDlg");
    nameGroup_ = new QGroupBox("Name", this);
    nameGroup_->setObjectName("NameGroup");
    nameEdit = new QLineEdit(nameGroup_);
    nameEdit->setObjectName("NameEdit");
    (new QVBoxLayout(nameGroup_))->addWidget(nameEdit);

    urlGroup_ = new QGroupBox("URL - (Web Address)", this);
    urlGroup_->setObjectName("URLGroup");
    urlEdit = new QLineEdit(urlGroup_);
    urlEdit->setObjectName("URLEdit");
    editMacroBtn_ = new QPushButton("Edit Macros", urlGroup_);
    editMacroBtn_->setObjectName("EditMacroBtn");
    editMacroBtn_->setAutoDefault(false);
    auto* urlRow = new QHBoxLayout(urlGroup_);
    urlRow->addWidget(urlEdit, 1);
    urlRow->addWidget(editMacroBtn_);

    intervalGroup_ = new QGroupBox("Time Interval - (between samples)", this);
    intervalGroup_->setObjectName("IntervalGroup");
    delaySpin = makeDelaySpin(intervalGroup_);
    (new QVBoxLayout(intervalGroup_))->addWidget(delaySpin);

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
    // Wider is for longer addresses; the height is the mode's own (fitToMode).
    setSizeGripEnabled(true);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(editMacroBtn_, &QPushButton::clicked, this, [this] {
        std::string address = fromQ(urlEdit->text());
        if (editMacros && editMacros(address))
            urlEdit->setText(toQ(address));
    });
}

// The width that shows the whole address: at least 60 characters, at most two thirds of the
// screen.
int NodeEditDialog::addressWidth() const {
    const QFontMetrics metrics(urlEdit->font());
    // Room for the box's frame, inner margins and cursor, whatever the style draws.
    const int margin = 4 * metrics.averageCharWidth();
    int wanted = std::max(60 * metrics.averageCharWidth(),
                          metrics.horizontalAdvance(urlEdit->text()) + margin);
    if (const QScreen* shown = screen())
        wanted = std::min(wanted, shown->availableGeometry().width() * 2 / 3);
    return wanted;
}

// Sizes the dialog for its mode: in link mode wide enough for the whole address. The address box
// gets no lasting minimum, so that the user may make the dialog narrower again.
void NodeEditDialog::fitToMode(bool link) {
    ensurePolished();
    urlEdit->setMinimumWidth(link ? addressWidth() : 0);
    // The dialog's layout keeps the group's last size until the group is told it changed.
    urlGroup_->updateGeometry();
    const QSize fitted = sizeHint();
    urlEdit->setMinimumWidth(0);
    setFixedHeight(fitted.height());
    resize(fitted);
}

// After the texts are in: the size depends on the address.
void NodeEditDialog::setLinkMode(bool link) {
    setWindowTitle(link ? "Edit Name/Web Address" : "Edit Folder Name");
    urlGroup_->setVisible(link);
    intervalGroup_->setVisible(link);
    fitToMode(link);
    nameEdit->setFocus();
}

bool NodeEditDialog::editLinkDialog(std::string& name, std::string& url, int32_t& delay) {
    nameEdit->setText(toQ(name));
    urlEdit->setText(toQ(url));
    setLinkMode(true);
    delaySpin->setDegrees(delay / 3600.0);
    if (exec() != QDialog::Accepted)
        return false;
    name = fromQ(nameEdit->text());
    url = stripApostrophes(fromQ(urlEdit->text()));
    delay = static_cast<int32_t>(std::lround(delaySpin->degrees() * 3600));
    return true;
}

bool NodeEditDialog::editFolderDialog(std::string& name) {
    nameEdit->setText(toQ(name));
    setLinkMode(false);
    if (exec() != QDialog::Accepted)
        return false;
    name = fromQ(nameEdit->text());
    return true;
}

} // namespace kestrix::gui
