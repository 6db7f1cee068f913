#include "app/appname.h"

const QString appName = QStringLiteral("KLM-704");
const QString appVersion = QStringLiteral("2.02");
