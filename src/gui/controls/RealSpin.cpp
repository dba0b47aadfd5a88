#include "gui/controls/RealSpin.h"

#include "core/controls/SpinKeys.h"
#include "gui/QtText.h"

namespace kestrix::gui {

RealSpin::RealSpin(QWidget* parent) : NumberSpin(parent) {
    setValue(0);
}

void RealSpin::setValue(double value) {
    showText(model_.write(value, formatSettings()));
}

void RealSpin::setDigits(int digits) {
    model_.setDigits(digits);
    setValue(value());
}

void RealSpin::setNumFormat(NumberFormat format) {
    model_.setNumFormat(format);
    setValue(value());
}

bool RealSpin::acceptsKey(char32_t c) const {
    return realSpinAcceptsKey(c, formatSettings());
}

// The value already follows every edit of the text (an empty or invalid text left it as it was),
// so writing it back is all that leaving the box takes.
void RealSpin::normalise() {
    setValue(value());
}

void RealSpin::textChangedHook(bool written) {
    // The box's own writes keep the exact value; reading back the shown text would round it to
    // the digits on display.
    if (!written)
        model_.read(fromQ(text()), formatSettings());
}

void RealSpin::localeChangedHook() {
    setValue(value());
}

} // namespace kestrix::gui
