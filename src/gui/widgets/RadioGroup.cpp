#include "gui/widgets/RadioGroup.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace kestrix::gui {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns,
                       QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setSpacing(2);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        buttons_->addButton(button, i);
        // Items fill the first column top to bottom, then the next.
        grid->addWidget(button, i % rows, i / rows);
    }
    connect(buttons_, &QButtonGroup::idClicked, this, &RadioGroup::itemClicked);
}

int RadioGroup::itemIndex() const {
    return buttons_->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (QAbstractButton* b = buttons_->button(index))
        b->setChecked(true);
}

QString RadioGroup::itemText(int index) const {
    QAbstractButton* b = buttons_->button(index);
    return b ? b->text() : QString();
}

int RadioGroup::count() const {
    return static_cast<int>(buttons_->buttons().size());
}

} // namespace kestrix::gui
