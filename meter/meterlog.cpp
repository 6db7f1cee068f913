#include "meter/meterlog.h"

Q_LOGGING_CATEGORY(lcFrames, "klm704.frames")
Q_LOGGING_CATEGORY(lcTimer, "klm704.timer")
Q_LOGGING_CATEGORY(lcThread, "klm704.thread")
Q_LOGGING_CATEGORY(lcLink, "klm704.link")
