#include "gui/widgets/Fields.h"

namespace kestrix::gui {

const QColor& navy() {
    static const QColor kC(0, 0, 128);
    return kC;
}

QLabel* fieldLabel(const QString& caption, QWidget* parent) {
    auto* l = new QLabel(caption, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QLabel* valueField(const char* name, QWidget* parent, int minimumWidth) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, navy());
    l->setPalette(p);
    if (minimumWidth > 0)
        l->setMinimumWidth(minimumWidth);
    return l;
}

} // namespace kestrix::gui
