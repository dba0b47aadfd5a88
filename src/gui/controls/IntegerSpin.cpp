#include "gui/controls/IntegerSpin.h"

#include "core/controls/SpinKeys.h"
#include "gui/QtText.h"

namespace kestrix::gui {

IntegerSpin::IntegerSpin(QWidget* parent) : NumberSpin(parent) {
    showText(model_.write(0));
}

int64_t IntegerSpin::value() {
    return model_.read(fromQ(text()));
}

void IntegerSpin::setValue(int64_t value) {
    showText(model_.write(value));
}

void IntegerSpin::setHexMode(bool on) {
    const int64_t current = value();
    model_.setHexMode(on);
    setValue(current);
}

void IntegerSpin::setHexDigits(int digits) {
    const int64_t current = value();
    model_.setHexDigits(digits);
    setValue(current);
}

bool IntegerSpin::acceptsKey(char32_t c) const {
    return integerSpinAcceptsKey(c, model_.hexMode(), formatSettings());
}

void IntegerSpin::normalise() {
    showText(model_.normalise(fromQ(text())));
}

} // namespace kestrix::gui
