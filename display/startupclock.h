#pragma once

class QWidget;

// How long start-up takes to a live reading. With QT_LOGGING_RULES="klm704.startup=true" the
// window notes on standard error, once a run, when the reading panel first paints a reading:
//   First reading painted 84 ms after the process started (monotonic clock 5173.412 ms)
// The process start is known to the kernel's clock tick (10 ms); the monotonic clock reading
// is exact and lets a program that started this one measure from its own start.
namespace startupclock {

// Notes the next paint of widget, which has just been given the first reading; once a run, and
// only while the category is enabled.
void noteFirstReading(QWidget *widget);

// Milliseconds since the process started, as the kernel counts it; -1 when unknown.
double millisecondsSinceProcessStart();

// The monotonic clock (CLOCK_MONOTONIC, as std::chrono::steady_clock) in milliseconds.
double monotonicMilliseconds();

} // namespace startupclock
