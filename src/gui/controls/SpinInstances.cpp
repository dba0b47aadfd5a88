#include "gui/controls/SpinInstances.h"

#include "gui/controls/DegreeSpin.h"
#include "gui/controls/IntegerSpin.h"
#include "gui/controls/RealSpin.h"

namespace kestrix::gui {

namespace {

struct IntegerSettings {
    const char* name;
    bool useLimit;
    int64_t min, max, value;
    const char* units;
    int panelWidth;
    bool leftAligned;
};

struct RealSettings {
    const char* name;
    bool useLimit;
    double min, max, value;
    const char* units;
    bool leftAligned;
};

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;

// A number spin box with its name, limits, first value, units and alignment.
template <typename Spin, typename Settings> Spin* numberSpin(const Settings& s, QWidget* parent) {
    auto* spin = new Spin(parent);
    spin->setObjectName(s.name);
    spin->setUseLimit(s.useLimit);
    spin->setMinValue(s.min);
    spin->setMaxValue(s.max);
    spin->setValue(s.value);
    spin->setUnitsString(s.units);
    if (s.leftAligned)
        spin->setAlignment(kLeft);
    return spin;
}

IntegerSpin* integerSpin(const IntegerSettings& s, QWidget* parent) {
    auto* spin = numberSpin<IntegerSpin>(s, parent);
    spin->setPanelWidth(s.panelWidth);
    return spin;
}

RealSpin* realSpin(const RealSettings& s, QWidget* parent) {
    return numberSpin<RealSpin>(s, parent);
}

DegreeSpin* degreeSpin(const char* name, int digits, QWidget* parent) {
    auto* spin = new DegreeSpin(parent);
    spin->setObjectName(name);
    spin->setDigits(digits);
    spin->setUnitsString("Hours");
    return spin;
}

} // namespace

IntegerSpin* makeTimeOutSpin(QWidget* parent) {
    return integerSpin({"TimeOutSpin", true, 1, 6000, 30, "Sec.", 28, true}, parent);
}

IntegerSpin* makeFlawSpin(QWidget* parent) {
    return integerSpin({"FlawSpin", false, 1, 99, 1, "%", 28, true}, parent);
}

RealSpin* makeFPSSpin(QWidget* parent) {
    return realSpin({"FPSSpin", true, 0.5, 200, 10, "FPS", true}, parent);
}

IntegerSpin* makeCounterWidthSpin(QWidget* parent) {
    return integerSpin({"CounterWidthSpin", false, 0, 0, 0, "", 0, false}, parent);
}

RealSpin* makeCounterMultiplierSpin(QWidget* parent) {
    return realSpin({"CounterMultiplierSpin", false, 0, 0, 1, "", false}, parent);
}

RealSpin* makeDividerSpin(QWidget* parent) {
    return realSpin({"DividerSpin", false, 0, 0, 1, "", false}, parent);
}

RealSpin* makeCounterOffset1Spin(QWidget* parent) {
    return realSpin({"CounterOffset1Spin", false, 0, 0, 0, "", false}, parent);
}

RealSpin* makeCounterOffset2Spin(QWidget* parent) {
    return realSpin({"CounterOffset2Spin", false, 0, 0, 0, "", false}, parent);
}

DegreeSpin* makeTimeOffsetSpin(QWidget* parent) {
    return degreeSpin("TimeOffsetSpin", 1, parent);
}

DegreeSpin* makeDelaySpin(QWidget* parent) {
    auto* spin = degreeSpin("DelaySpin", 0, parent);
    spin->setUseLimit(true);
    spin->setMinValue(1.0 / 3600);
    spin->setMaxValue(720);
    spin->setDegrees(1.0 / 60);
    return spin;
}

} // namespace kestrix::gui
