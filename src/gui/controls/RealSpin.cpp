#include "RealSpin.h"

#include "QtText.h"
#include "controls/SpinKeys.h"

namespace kestrix::gui {

TRealSpin::TRealSpin(QWidget* parent) : TCustomSpin(parent) {
    setValue(0);
}

void TRealSpin::setValue(double value) {
    showText(model_.write(value, formatSettings()));
}

void TRealSpin::setDigits(int digits) {
    model_.setDigits(digits);
    setValue(Value());
}

void TRealSpin::setNumFormat(TNumFormat format) {
    model_.setNumFormat(format);
    setValue(Value());
}

void TRealSpin::step(bool up, bool ctrl) {
    double value = Value();
    if (!ownerIncrement_) {
        setValue(model_.stepped(value, up, ctrl));
        return;
    }
    if (onIncrement_)
        onIncrement_(model_.stepped(0, up, ctrl), value);
    setValue(value);
}

bool TRealSpin::acceptsKey(char32_t c) const {
    return realSpinAcceptsKey(c, formatSettings());
}

// The value already follows every edit of the text (an empty or invalid text left it as it was),
// so writing it back is all that leaving the box takes.
void TRealSpin::normalise() {
    setValue(Value());
}

void TRealSpin::textChangedHook(bool written) {
    // The box's own writes keep the exact value; reading back the shown text would round it to
    // the digits on display.
    if (!written)
        model_.read(fromQ(text()), formatSettings());
}

void TRealSpin::localeChangedHook() {
    setValue(Value());
}

} // namespace kestrix::gui
