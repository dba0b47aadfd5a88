#include "IntegerSpin.h"

#include "QtText.h"
#include "controls/SpinKeys.h"

namespace kestrix::gui {

TIntegerSpin::TIntegerSpin(QWidget* parent) : TCustomSpin(parent) {
    showText(model_.write(0));
}

int64_t TIntegerSpin::Value() {
    return model_.read(fromQ(text()));
}

void TIntegerSpin::setValue(int64_t value) {
    showText(model_.write(value));
}

void TIntegerSpin::setHexMode(bool on) {
    const int64_t value = Value();
    model_.setHexMode(on);
    setValue(value);
}

void TIntegerSpin::setHexDigits(int digits) {
    const int64_t value = Value();
    model_.setHexDigits(digits);
    setValue(value);
}

void TIntegerSpin::step(bool up, bool ctrl) {
    int64_t value = Value();
    if (!ownerIncrement_) {
        setValue(model_.stepped(value, up, ctrl));
        return;
    }
    if (onIncrement_)
        onIncrement_(model_.stepped(0, up, ctrl), value);
    setValue(value);
}

bool TIntegerSpin::acceptsKey(char32_t c) const {
    return integerSpinAcceptsKey(c, model_.HexMode(), formatSettings());
}

void TIntegerSpin::normalise() {
    showText(model_.normalise(fromQ(text())));
}

} // namespace kestrix::gui
