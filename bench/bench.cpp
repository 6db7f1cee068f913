#include "bench/bench.h"

#include <QFile>
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
