#pragma once

#include "meter/frame.h"

#include <QByteArray>

// A reply frame as the meter sends it: function, range, seven display characters (padded
// with spaces), two unused bytes and the three status bytes.
inline QByteArray replyFrame(quint8 function, quint8 range,
                             const QByteArray &display = QByteArray("  1.234"), quint8 mode = 0,
                             quint8 meter = 0, quint8 extra = 0)
{
    QByteArray payload;
    payload.append(char(function)).append(char(range));
    payload.append(display.leftJustified(7, ' ', true));
    payload.append(2, '\0');
    payload.append(char(mode)).append(char(meter)).append(char(extra));
    return frame::build(payload);
}
