#include "format/readingformatter.h"

QByteArray ReadingFormatter::event(const QString &name, const QDateTime &time) const
{
    Q_UNUSED(name)
    Q_UNUSED(time)
    return QByteArray();
}
