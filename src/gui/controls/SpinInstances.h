// The spin fields of the window and the dialogs, each built with its object name, limits, initial
// value, units caption and alignment. The caller places the returned widget in its layout.
#pragma once

class QWidget;

namespace kestrix::gui {

class DegreeSpin;
class IntegerSpin;
class RealSpin;

// Settings dialog: the fetch time-out, 1 to 6000 seconds enforced, 30 at start.
IntegerSpin* makeTimeOutSpin(QWidget* parent);
// Settings dialog: the flaw threshold in percent; 1 and 99 are stored but not enforced.
IntegerSpin* makeFlawSpin(QWidget* parent);
// Animation page: playback speed, 0.5 to 200 frames per second enforced, 10 at start.
RealSpin* makeFPSSpin(QWidget* parent);

// Macro editor, counter page: the number width (no limits, 0), the multiplier and the divider
// (no limits, 1) and the two offsets (no limits, 0).
IntegerSpin* makeCounterWidthSpin(QWidget* parent);
RealSpin* makeCounterMultiplierSpin(QWidget* parent);
RealSpin* makeDividerSpin(QWidget* parent);
RealSpin* makeCounterOffset1Spin(QWidget* parent);
RealSpin* makeCounterOffset2Spin(QWidget* parent);
// Macro editor, date page: the offset from UTC in hours, no limits, tenths of seconds, 0.
DegreeSpin* makeTimeOffsetSpin(QWidget* parent);

// Link dialog: the sampling interval in hours, one second to 720 hours enforced, whole seconds;
// one minute until the dialog sets the link's interval.
DegreeSpin* makeDelaySpin(QWidget* parent);

} // namespace kestrix::gui
