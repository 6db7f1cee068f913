#include "bench/bench.h"

#include <QFile>
#include <malloc.h>
#include <unistd.h>

Bench::Bench(QTextStream &out)
    : m_out(out)
{
}

void Bench::report(const QString &name, double value, const QString &unit)
{
    m_out << name << ' ' << QString::number(value, 'g', 6) << ' ' << unit << Qt::endl;
}

qint64 Bench::residentBytes()
{
    // Second field of statm: resident pages.
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return 0;
    return fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

qint64 Bench::heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

QString Bench::countName(qint64 count)
{
    if (count >= 1000000 && count % 1000000 == 0)
        return QString::number(count / 1000000) + QLatin1Char('M');
    if (count >= 1000 && count % 1000 == 0)
        return QString::number(count / 1000) + QLatin1Char('k');
    return QString::number(count);
}
