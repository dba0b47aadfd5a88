// The spin fields of the window and the dialogs, each built with its object name, limits, initial
// value, units caption and alignment. The caller places the returned widget in its layout.
#pragma once

class QWidget;

namespace kestrix::gui {

class TDegreeSpin;
class TIntegerSpin;
class TRealSpin;

// Settings dialog: the fetch time-out, 1 to 6000 seconds enforced, 30 at start.
TIntegerSpin* makeTimeOutSpin(QWidget* parent);
// Settings dialog: the flaw threshold in percent; 1 and 99 are stored but not enforced.
TIntegerSpin* makeFlawSpin(QWidget* parent);
// Animation page: playback speed, 0.5 to 200 frames per second enforced, 10 at start.
TRealSpin* makeFPSSpin(QWidget* parent);

// Macro editor, counter page: the number width (no limits, 0), the multiplier and the divider
// (no limits, 1) and the two offsets (no limits, 0).
TIntegerSpin* makeCounterWidthSpin(QWidget* parent);
TRealSpin* makeCounterMultiplierSpin(QWidget* parent);
TRealSpin* makeDividerSpin(QWidget* parent);
TRealSpin* makeCounterOffset1Spin(QWidget* parent);
TRealSpin* makeCounterOffset2Spin(QWidget* parent);
// Macro editor, date page: the offset from UTC in hours, no limits, tenths of seconds, 0.
TDegreeSpin* makeTimeOffsetSpin(QWidget* parent);

// Link dialog: the sampling interval in hours, one second to 720 hours enforced, whole seconds;
// one minute until the dialog sets the link's interval.
TDegreeSpin* makeDelaySpin(QWidget* parent);

} // namespace kestrix::gui
