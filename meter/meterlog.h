#pragma once

#include <QLoggingCategory>

// Diagnostics of the meter link, on by default; silence them with QT_LOGGING_RULES,
// for example "klm704.frames=false".
Q_DECLARE_LOGGING_CATEGORY(lcFrames) // each received frame as hexadecimal bytes
Q_DECLARE_LOGGING_CATEGORY(lcTimer)  // every tick of the sample timer
Q_DECLARE_LOGGING_CATEGORY(lcThread) // the command thread's stop
Q_DECLARE_LOGGING_CATEGORY(lcLink)   // opening and losing the device link
