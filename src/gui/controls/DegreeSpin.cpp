#include "gui/controls/DegreeSpin.h"

#include "core/controls/DegreeSpinLayout.h"
#include "core/controls/SpinKeys.h"
#include "gui/QtText.h"
#include "gui/SystemLocale.h"
#include "gui/controls/UpDownButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace kestrix::gui {

namespace {

constexpr const char* kDefaultUnits = "Deg";

} // namespace

DegreeSpin::DegreeSpin(QWidget* parent) : QWidget(parent), fs_(formatSettingsFrom(locale())) {
    build(0, "Degrees", kDefaultUnits);
    build(1, "Minutes", "Min");
    build(2, "Seconds", "Sec");
    resize(sizeHint());
    showValue();
}

void DegreeSpin::build(size_t index, const char* name, const char* caption) {
    auto* box = new QLineEdit(this);
    box->setObjectName(QString(name) + "Box");
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->installEventFilter(this);
    connect(box, &QLineEdit::textChanged, this, &DegreeSpin::boxTextChanged);
    auto* arrows = new UpDownButton(this);
    arrows->setObjectName(QString(name) + "Arrows");
    arrows->setFocusPolicy(Qt::NoFocus);
    arrows->setFocusControl(box);
    const int i = static_cast<int>(index);
    connect(arrows, &UpDownButton::onUpClick, this, [this, i] { stepBox(i, true); });
    connect(arrows, &UpDownButton::onDownClick, this, [this, i] { stepBox(i, false); });
    auto* label = new QLabel(caption, this);
    label->setObjectName(QString(name) + "Caption");
    label->setFont(QFont("Arial", 8));
    boxes_[index] = box;
    arrows_[index] = arrows;
    captions_[index] = label;
}

void DegreeSpin::setDegrees(double degrees) {
    model_.setDegrees(degrees);
    showValue();
    changed();
}

void DegreeSpin::setDigits(int digits) {
    model_.setDigits(digits);
    showValue();
    layoutBoxes();
}

void DegreeSpin::setUnitsString(const QString& units) {
    unitsString_ = units;
    captions_[0]->setText(units.isEmpty() ? QString(kDefaultUnits) : units);
}

void DegreeSpin::showValue() {
    const auto texts = model_.texts(fs_);
    writing_ = true;
    for (size_t i = 0; i < 3; ++i)
        if (boxes_[i]->text() != toQ(texts[i]))
            boxes_[i]->setText(toQ(texts[i]));
    writing_ = false;
}

void DegreeSpin::boxTextChanged() {
    if (writing_)
        return;
    switch (model_.typed(fromQ(boxes_[0]->text()), fromQ(boxes_[1]->text()),
                         fromQ(boxes_[2]->text()), fs_)) {
    case DegreeTyping::Ignored:
    case DegreeTyping::Unchanged:
        return;
    case DegreeTyping::ChangeOnly:
        changed();
        return;
    case DegreeTyping::Updated:
        showValue();
        changed();
        return;
    }
}

void DegreeSpin::stepBox(int index, bool up) {
    model_.step(index, up);
    showValue();
    changed();
}

void DegreeSpin::changed() {
    if (!blockChangeEvent_)
        emit onChange();
}

bool DegreeSpin::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        for (char32_t c : key->text().toUcs4())
            if (!isEnterKey(c) && !degreeSpinAcceptsKey(c, fs_)) {
                QApplication::beep();
                return true;
            }
    } else if (event->type() == QEvent::FocusOut) {
        // A box left empty or with parts the value did not take shows the value again.
        showValue();
    }
    return QWidget::eventFilter(watched, event);
}

void DegreeSpin::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutBoxes();
}

void DegreeSpin::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange) {
        fs_ = formatSettingsFrom(locale());
        showValue();
    }
    QWidget::changeEvent(event);
}

void DegreeSpin::layoutBoxes() {
    const int boxHeight = boxes_[0]->sizeHint().height();
    const int captionHeight = captions_[0]->sizeHint().height();
    const auto layout =
        degreeSpinLayout(width(), height(), boxHeight, captionHeight, model_.digits());
    auto rect = [](const SpinRect& r) { return QRect(r.x, r.y, r.width, r.height); };
    for (size_t i = 0; i < 3; ++i) {
        boxes_[i]->setGeometry(rect(layout[i].box));
        arrows_[i]->setGeometry(rect(layout[i].arrows));
        captions_[i]->setGeometry(rect(layout[i].caption));
    }
}

} // namespace kestrix::gui
