#include "meter/linkfactory.h"

#include "meter/linkbackend.h"

LinkBackend *createLink(const QString &device, const LinkSettings &settings, QString *error)
{
    Q_UNUSED(settings)
    if (error)
        *error = QStringLiteral("no link backend for device \"%1\"").arg(device);
    return nullptr;
}
