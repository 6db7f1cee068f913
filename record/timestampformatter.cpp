#include "record/timestampformatter.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr qint64 kMsecsPerDay = 24 * 3600 * 1000;
constexpr int kTextLength = 19; // "yyyy-MM-dd hh:mm:ss"

void putDigits(QChar *out, int value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = QChar(ushort('0' + value % 10));
        value /= 10;
    }
}

void putDate(QChar *out, const QDate &date)
{
    putDigits(out, date.year(), 4);
    out[4] = QLatin1Char('-');
    putDigits(out + 5, date.month(), 2);
    out[7] = QLatin1Char('-');
    putDigits(out + 8, date.day(), 2);
}

void putTime(QChar *out, int hour, int minute, int second)
{
    putDigits(out, hour, 2);
    out[2] = QLatin1Char(':');
    putDigits(out + 3, minute, 2);
    out[5] = QLatin1Char(':');
    putDigits(out + 6, second, 2);
}

bool hasFourDigitYear(const QDate &date)
{
    return date.year() >= 1 && date.year() <= 9999;
}

} // namespace

QString TimestampFormatter::text(qint64 msecsSinceEpoch)
{
    QString text(kTextLength, Qt::Uninitialized);
    return putCached(text.data(), msecsSinceEpoch) ? text : fullConversion(msecsSinceEpoch);
}

void TimestampFormatter::appendTo(QByteArray &out, qint64 msecsSinceEpoch)
{
    QChar text[kTextLength];
    if (!putCached(text, msecsSinceEpoch)) {
        out += fullConversion(msecsSinceEpoch).toLatin1();
        return;
    }
    const int at = out.size();
    out.resize(at + kTextLength);
    std::transform(text, text + kTextLength, out.data() + at,
                   [](QChar c) { return char(c.unicode()); });
}

bool TimestampFormatter::putCached(QChar *out, qint64 msecsSinceEpoch)
{
    if ((msecsSinceEpoch < m_dayBegin || msecsSinceEpoch >= m_dayEnd) &&
        !cacheDayOf(msecsSinceEpoch))
        return false;
    std::copy(m_date, m_date + 10, out);
    out[10] = QLatin1Char(' ');
    const int second = int((msecsSinceEpoch - m_dayBegin) / 1000);
    putTime(out + 11, second / 3600, second / 60 % 60, second % 60);
    return true;
}

QString TimestampFormatter::fullConversion(qint64 msecsSinceEpoch)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    if (!hasFourDigitYear(local.date()))
        return local.toString(kTimestampLayout);
    QString text(kTextLength, Qt::Uninitialized);
    QChar *out = text.data();
    const QTime time = local.time();
    putDate(out, local.date());
    out[10] = QLatin1Char(' ');
    putTime(out + 11, time.hour(), time.minute(), time.second());
    return text;
}

// Remembers the local day of the instant when that day is 24 hours long, so that the time of day
// follows from the distance to midnight; returns false (nothing cached) otherwise.
bool TimestampFormatter::cacheDayOf(qint64 msecsSinceEpoch)
{
    m_dayBegin = m_dayEnd = 0;
    const QDate date = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).date();
    const qint64 begin = QDateTime(date, QTime(0, 0)).toMSecsSinceEpoch();
    const qint64 end = QDateTime(date.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
    if (!hasFourDigitYear(date) || end - begin != kMsecsPerDay || msecsSinceEpoch < begin ||
        msecsSinceEpoch >= end)
        return false;
    m_dayBegin = begin;
    m_dayEnd = end;
    putDate(m_date, date);
    return true;
}
