// The spin controls as the user meets them: typing, arrows, keys, focus changes and auto-repeat.
#include "gui/controls/AutoButton.h"
#include "gui/controls/DegreeSpin.h"
#include "gui/controls/IntegerSpin.h"
#include "gui/controls/RealSpin.h"
#include "gui/controls/SpinInstances.h"
#include "gui/controls/UpDownButton.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::gui;

namespace {

// A shown window with English number separators, whatever the machine's locale.
struct Host {
    QWidget window;
    Host() {
        window.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        window.resize(400, 300);
    }
    template <typename T> T* add(T* control) {
        control->resize(control->sizeHint().expandedTo(QSize(180, 50)));
        window.show();
        return control;
    }
};

void leave(QWidget* w) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &out);
}

void clickArrow(UpDownButton* arrows, bool up, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(up ? arrows->upButton() : arrows->downButton(), Qt::LeftButton, modifiers);
}

void retype(QLineEdit* box, const char* text) {
    box->selectAll();
    QTest::keyClicks(box, text);
}

QStringList texts(DegreeSpin* spin) {
    return {spin->box(0)->text(), spin->box(1)->text(), spin->box(2)->text()};
}

} // namespace

TEST(SpinControls, InstancesCarryTheirListedSettings) {
    Host host;
    struct IntegerCase {
        IntegerSpin* spin;
        const char* name;
        bool useLimit;
        int64_t min, max;
        const char* text;
        const char* units;
        bool left;
    } integers[] = {
        {makeTimeOutSpin(&host.window), "TimeOutSpin", true, 1, 6000, "30", "Sec.", true},
        {makeFlawSpin(&host.window), "FlawSpin", false, 1, 99, "1", "%", true},
        {makeCounterWidthSpin(&host.window), "CounterWidthSpin", false, 0, 0, "0", "", false},
    };
    for (const auto& c : integers) {
        EXPECT_EQ(c.spin->objectName(), c.name);
        EXPECT_EQ(c.spin->useLimit(), c.useLimit) << c.name;
        EXPECT_EQ(c.spin->minValue(), c.min) << c.name;
        EXPECT_EQ(c.spin->maxValue(), c.max) << c.name;
        EXPECT_EQ(c.spin->text(), c.text) << c.name;
        EXPECT_EQ(c.spin->unitsString(), c.units) << c.name;
        EXPECT_EQ(c.spin->unitsPanel()->isVisibleTo(c.spin), *c.units != 0) << c.name;
        EXPECT_EQ(bool(c.spin->alignment() & Qt::AlignLeft), c.left) << c.name;
    }
    EXPECT_EQ(host.window.findChild<IntegerSpin*>("FlawSpin")->panelWidth(), 28);
    struct RealCase {
        RealSpin* spin;
        const char* name;
        bool useLimit;
        const char* text;
    } reals[] = {
        {makeFPSSpin(&host.window), "FPSSpin", true, "10"},
        {makeCounterMultiplierSpin(&host.window), "CounterMultiplierSpin", false, "1"},
        {makeDividerSpin(&host.window), "DividerSpin", false, "1"},
        {makeCounterOffset1Spin(&host.window), "CounterOffset1Spin", false, "0"},
        {makeCounterOffset2Spin(&host.window), "CounterOffset2Spin", false, "0"},
    };
    for (const auto& c : reals) {
        EXPECT_EQ(c.spin->objectName(), c.name);
        EXPECT_EQ(c.spin->useLimit(), c.useLimit) << c.name;
        EXPECT_EQ(c.spin->text(), c.text) << c.name;
        EXPECT_EQ(c.spin->increment(), 1) << c.name;
    }
    DegreeSpin* delay = makeDelaySpin(&host.window);
    EXPECT_EQ(delay->objectName(), "DelaySpin");
    EXPECT_EQ(texts(delay), (QStringList{"0", "1", "0"}));
    EXPECT_EQ(delay->caption(0)->text(), "Hours");
    EXPECT_EQ(delay->caption(1)->text(), "Min");
    EXPECT_EQ(delay->caption(2)->text(), "Sec");
    DegreeSpin* offset = makeTimeOffsetSpin(&host.window);
    EXPECT_EQ(offset->objectName(), "TimeOffsetSpin");
    EXPECT_FALSE(offset->useLimit());
    EXPECT_EQ(offset->digits(), 1);
}

TEST(SpinControls, TimeOutSpinClampsTypedTextAndKeepsTheLastValidValue) {
    Host host;
    auto* spin = host.add(makeTimeOutSpin(&host.window));
    retype(spin, "7000");
    EXPECT_EQ(spin->text(), "7000");
    EXPECT_EQ(spin->value(), 6000);
    leave(spin);
    EXPECT_EQ(spin->text(), "6000");

    retype(spin, "12a"); // the letter is refused
    EXPECT_EQ(spin->text(), "12");
    EXPECT_EQ(spin->value(), 12);
    spin->setText("12a"); // as pasted
    EXPECT_EQ(spin->value(), 12);
    spin->clear();
    leave(spin);
    EXPECT_EQ(spin->text(), "12");

    // A time-out of 0 from the settings file shows as 1 and reads back as 1.
    spin->setValue(0);
    EXPECT_EQ(spin->text(), "1");
    EXPECT_EQ(spin->value(), 1);

    // The flaw field shows its bounds but takes any number.
    auto* flaw = host.add(makeFlawSpin(&host.window));
    retype(flaw, "150");
    leave(flaw);
    EXPECT_EQ(flaw->value(), 150);
}

TEST(SpinControls, FPSSpinArrowsKeysAndCtrl) {
    Host host;
    auto* spin = host.add(makeFPSSpin(&host.window));
    QSignalSpy changes(spin, &RealSpin::onChange);
    spin->setValue(200);
    clickArrow(spin->arrows(), true);
    EXPECT_EQ(spin->value(), 200);
    EXPECT_EQ(spin->text(), "200");

    spin->setValue(10);
    clickArrow(spin->arrows(), true, Qt::ControlModifier);
    EXPECT_EQ(spin->value(), 20);
    clickArrow(spin->arrows(), false);
    EXPECT_EQ(spin->value(), 19);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->value(), 20);
    QTest::keyClick(spin, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(spin->value(), 10);
    QTest::keyClick(spin, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "0.5");
    EXPECT_EQ(changes.count(), 7);

    // The value follows every edit of the text, before onChange reports it.
    double seen = 0;
    QObject::connect(spin, &RealSpin::onChange, [&] { seen = spin->value(); });
    retype(spin, "2.5");
    EXPECT_EQ(seen, 2.5);
    retype(spin, "x"); // refused: the text stays
    EXPECT_EQ(spin->text(), "2.5");
}

TEST(SpinControls, RealSpinReadsThousandsAndFollowsTheLocale) {
    Host host;
    auto* spin = host.add(makeCounterOffset1Spin(&host.window));
    retype(spin, "1,000.5");
    EXPECT_EQ(spin->value(), 1000.5);
    leave(spin);
    EXPECT_EQ(spin->text(), "1000.5");

    // A written value is kept exactly, not as its rounded text.
    spin->setValue(1.0 / 60);
    EXPECT_EQ(spin->text(), "0.0166666666666667");
    EXPECT_EQ(spin->value(), 1.0 / 60);
    leave(spin);
    EXPECT_EQ(spin->value(), 1.0 / 60);

    spin->setValue(1.5);
    spin->setLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(spin->text(), "1,5");
    retype(spin, "2.000,25");
    EXPECT_EQ(spin->value(), 2000.25);

    spin->setNumFormat(NumberFormat::Fixed);
    spin->setDigits(3);
    EXPECT_EQ(spin->text(), "2000,250");
}

TEST(SpinControls, EditorReadOnlyHexAndOwnerIncrement) {
    Host host;
    auto* spin = host.add(makeCounterWidthSpin(&host.window));
    QSignalSpy changes(spin, &IntegerSpin::onChange);
    spin->setEditorEnabled(false);
    retype(spin, "5");
    EXPECT_EQ(spin->text(), "0");
    QTest::keyClick(spin, Qt::Key_Backspace);
    EXPECT_EQ(spin->text(), "0");
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->text(), "1");
    spin->setEditorEnabled(true);

    spin->setReadOnly(true);
    QTest::keyClick(spin, Qt::Key_Up);
    clickArrow(spin->arrows(), true);
    EXPECT_EQ(spin->value(), 1);
    spin->setReadOnly(false);

    spin->setBlockChangeEvent(true);
    spin->setValue(255);
    spin->setBlockChangeEvent(false);
    EXPECT_EQ(changes.count(), 1);

    spin->setHexMode(true);
    EXPECT_EQ(spin->text(), "00FF");
    spin->setHexDigits(2);
    EXPECT_EQ(spin->text(), "FF");
    retype(spin, "1g-f"); // neither g nor a sign is hexadecimal
    EXPECT_EQ(spin->text(), "1f");
    EXPECT_EQ(spin->value(), 31);
    spin->setHexMode(false);
    EXPECT_EQ(spin->text(), "31");

    std::vector<int64_t> increments;
    spin->setOwnerIncrement(true);
    spin->setOnIncrement([&](int64_t inc, int64_t& value) {
        increments.push_back(inc);
        value *= 2;
    });
    clickArrow(spin->arrows(), false, Qt::ControlModifier);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(increments, (std::vector<int64_t>{-10, 1}));
    EXPECT_EQ(spin->value(), 124);
}

TEST(SpinControls, DegreeSpinShowsTypesAndSteps) {
    Host host;
    auto* delay = host.add(makeDelaySpin(&host.window));
    QSignalSpy delayChanges(delay, &DegreeSpin::onChange);
    delay->setDegrees(90.5 / 3600);
    EXPECT_EQ(texts(delay), (QStringList{"0", "1", "30"}));
    delay->setDegrees(0);
    EXPECT_EQ(texts(delay), (QStringList{"0", "0", "1"}));
    EXPECT_DOUBLE_EQ(delay->degrees() * 3600, 1);
    EXPECT_EQ(delayChanges.count(), 2);

    auto* offset = host.add(makeTimeOffsetSpin(&host.window));
    QSignalSpy changes(offset, &DegreeSpin::onChange);
    offset->setDegrees(-0.5);
    EXPECT_EQ(texts(offset), (QStringList{"-0", "30", "0"}));
    offset->setDegrees(1);
    retype(offset->box(1), "75");
    EXPECT_EQ(texts(offset), (QStringList{"2", "15", "0"}));
    EXPECT_EQ(offset->degrees(), 2.25);
    EXPECT_EQ(changes.count(), 4); // two writes, then 7 and 75 minutes

    retype(offset->box(0), "x"); // refused
    EXPECT_EQ(offset->box(0)->text(), "2");
    offset->box(0)->clear(); // not a number: the value stays and comes back on leaving
    EXPECT_EQ(offset->degrees(), 2.25);
    leave(offset->box(0));
    EXPECT_EQ(texts(offset), (QStringList{"2", "15", "0"}));

    clickArrow(offset->arrows(2), true);
    clickArrow(offset->arrows(0), false);
    EXPECT_EQ(texts(offset), (QStringList{"1", "15", "1"}));
    offset->setBlockChangeEvent(true);
    clickArrow(offset->arrows(1), true);
    EXPECT_EQ(changes.count(), 6);
    EXPECT_EQ(offset->box(1)->text(), "16");

    offset->setLocale(QLocale(QLocale::German, QLocale::Germany));
    offset->setDegrees(-90.5 / 3600);
    EXPECT_EQ(texts(offset), (QStringList{"-0", "1", "30,5"}));
}

TEST(SpinControls, UpDownButtonKeysHalvesAndFocus) {
    QWidget window;
    auto* target = new QLineEdit(&window);
    auto* arrows = new UpDownButton(&window);
    arrows->setFocusControl(target);
    arrows->resize(17, 23);
    window.show();
    EXPECT_EQ(arrows->upButton()->geometry(), QRect(0, 0, 17, 11));
    EXPECT_EQ(arrows->downButton()->geometry(), QRect(0, 10, 17, 13));

    QSignalSpy ups(arrows, &UpDownButton::onUpClick);
    QSignalSpy downs(arrows, &UpDownButton::onDownClick);
    QTest::keyClick(arrows, Qt::Key_Space);
    QTest::keyClick(arrows, Qt::Key_Down);
    QTest::keyClick(arrows, Qt::Key_Space); // Space clicks the arrow clicked last
    QTest::keyClick(arrows, Qt::Key_Up);
    EXPECT_EQ(ups.count(), 2);
    EXPECT_EQ(downs.count(), 2);

    QApplication::setActiveWindow(&window);
    arrows->setFocus();
    clickArrow(arrows, false);
    EXPECT_EQ(downs.count(), 3);
    EXPECT_TRUE(target->hasFocus());
}

TEST(SpinControls, HeldArrowRepeatsUntilReleased) {
    Host host;
    auto* spin = host.add(makeCounterWidthSpin(&host.window));
    AutoButton* up = spin->arrows()->upButton();
    // Shortened so that the test waits milliseconds, not the real 400 and 100.
    up->setAutoRepeatDelay(1);
    up->setAutoRepeatInterval(1);
    QTest::mousePress(up, Qt::LeftButton);
    EXPECT_TRUE(spin->arrows()->pressed());
    for (int i = 0; i < 500 && spin->value() < 3; ++i)
        QTest::qWait(1);
    EXPECT_GE(spin->value(), 3);
    QTest::mouseRelease(up, Qt::LeftButton);
    EXPECT_FALSE(spin->arrows()->pressed());
    const int64_t released = spin->value();
    QTest::qWait(5);
    EXPECT_EQ(spin->value(), released);
}
