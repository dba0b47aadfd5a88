#include "gui/controls/CustomSpin.h"

#include "core/controls/DegreeSpinLayout.h"
#include "core/controls/SpinKeys.h"
#include "gui/QtText.h"
#include "gui/SystemLocale.h"
#include "gui/controls/UpDownButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>

namespace kestrix::gui {

CustomSpin::CustomSpin(QWidget* parent)
    : QLineEdit(parent), arrows_(new UpDownButton(this)), unitsPanel_(new QLabel(this)),
      fs_(formatSettingsFrom(locale())) {
    // The arrows serve the box: they never take the focus and hand it to the box when clicked.
    arrows_->setObjectName("SpinArrows");
    arrows_->setFocusPolicy(Qt::NoFocus);
    arrows_->setFocusControl(this);
    unitsPanel_->setObjectName("UnitsPanel");
    unitsPanel_->setAlignment(Qt::AlignCenter);
    unitsPanel_->hide();
    // Numbers line up at the right unless a dialog asks otherwise.
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(arrows_, &UpDownButton::onUpClick, this,
            [this] { spin(true, QGuiApplication::keyboardModifiers() & Qt::ControlModifier); });
    connect(arrows_, &UpDownButton::onDownClick, this,
            [this] { spin(false, QGuiApplication::keyboardModifiers() & Qt::ControlModifier); });
    connect(this, &QLineEdit::textChanged, this, &CustomSpin::textChanged);
    updateMinimumHeight();
    layoutChildren();
}

void CustomSpin::setEditorEnabled(bool enabled) {
    editorEnabled_ = enabled;
    // Without the editor, pasting, cutting and dropping must not change the text either.
    QLineEdit::setReadOnly(readOnly_ || !editorEnabled_);
}

void CustomSpin::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    QLineEdit::setReadOnly(readOnly_ || !editorEnabled_);
}

void CustomSpin::setUnitsString(const QString& units) {
    unitsString_ = units;
    unitsPanel_->setText(units);
    unitsPanel_->setVisible(!units.isEmpty());
    layoutChildren();
}

void CustomSpin::setPanelWidth(int width) {
    panelWidth_ = std::max(width, 0);
    layoutChildren();
}

void CustomSpin::showText(const std::string& text) {
    writing_ = true;
    setText(toQ(text));
    writing_ = false;
}

void CustomSpin::spin(bool up, bool ctrl) {
    if (readOnly_) {
        QApplication::beep();
        return;
    }
    step(up, ctrl);
}

void CustomSpin::textChanged() {
    textChangedHook(writing_);
    if (!blockChangeEvent_)
        emit onChange();
}

void CustomSpin::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        spin(event->key() == Qt::Key_Up, event->modifiers() & Qt::ControlModifier);
        return;
    }
    // Enter is never part of the text; the line edit leaves it to the dialog's default button.
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        for (char32_t c : event->text().toUcs4())
            if (!editorAcceptsKey(c, editorEnabled_) || !acceptsKey(c)) {
                QApplication::beep();
                return;
            }
    }
    QLineEdit::keyPressEvent(event);
}

void CustomSpin::focusOutEvent(QFocusEvent* event) {
    normalise();
    QLineEdit::focusOutEvent(event);
}

void CustomSpin::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    layoutChildren();
}

void CustomSpin::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange) {
        fs_ = formatSettingsFrom(locale());
        localeChangedHook();
    } else if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        updateMinimumHeight();
        layoutChildren();
    }
    QLineEdit::changeEvent(event);
}

int CustomSpin::frameWidth() const {
    return style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
}

void CustomSpin::layoutChildren() {
    const int frame = frameWidth();
    const int inner = std::max(height() - 2 * frame, 0);
    const int arrowsX = width() - frame - kSpinArrowWidth;
    arrows_->setGeometry(arrowsX, frame, kSpinArrowWidth, inner);
    int panel = 0;
    if (!unitsString_.isEmpty()) {
        panel = panelWidth_ > 0 ? panelWidth_
                                : unitsPanel_->fontMetrics().horizontalAdvance(unitsString_) + 6;
        unitsPanel_->setGeometry(arrowsX - panel, frame, panel, inner);
    }
    setTextMargins(0, 0, kSpinArrowWidth + panel, 0);
}

void CustomSpin::updateMinimumHeight() {
    setMinimumHeight(fontMetrics().height() + 2 * frameWidth() + 2);
}

} // namespace kestrix::gui
