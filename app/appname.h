#pragma once

#include <QString>

// The program's name, shown in the window title and handed to the toolkit, and its version.
extern const QString appName;
extern const QString appVersion;
