#include "app/appname.h"

const QString appName = QStringLiteral("KLM-704");
const QString appVersion = QStringLiteral(KLM704_VERSION);
