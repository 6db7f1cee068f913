#include "format/readingformatter.h"

QByteArray ReadingFormatter::event(const QString &name, const QDateTime &time,
                                   const QString &reason) const
{
    Q_UNUSED(name)
    Q_UNUSED(time)
    Q_UNUSED(reason)
    return QByteArray();
}
