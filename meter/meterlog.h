#pragma once

#include <QLoggingCategory>

// Diagnostics of the meter link. Both programs turn them off at start; QT_LOGGING_RULES turns
// them on, for example "klm704.*=true", or "klm704.link=true" for the link alone.
Q_DECLARE_LOGGING_CATEGORY(lcFrames) // each received frame as hexadecimal bytes
Q_DECLARE_LOGGING_CATEGORY(lcTimer)  // every tick of the sample timer
Q_DECLARE_LOGGING_CATEGORY(lcThread) // the command thread's stop
Q_DECLARE_LOGGING_CATEGORY(lcLink)   // opening and losing the device link
