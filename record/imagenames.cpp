#include "record/imagenames.h"

#include <QDir>
#include <QFileInfo>

ChartImageNames chartImageNames(const QString &chosen)
{
    const QFileInfo info(chosen);
    const QDir directory(info.absolutePath());
    const auto nameWith = [&](const QString &mark) {
        return directory.filePath(info.baseName() + mark + QLatin1Char('.') + info.suffix());
    };
    return {nameWith(QStringLiteral("_1")), nameWith(QStringLiteral("_2"))};
}
