#pragma once

#include <QString>

class QTranslator;

// The language code stored under Language in the settings file at path, or an empty string
// when the file cannot be read. Only the last non-blank Language text counts; whatever was
// read before a well-formedness error stands.
QString readStartupLanguage(const QString &path);
// The same for the program's settings file.
QString readStartupLanguage();

// For the code "OTHER", loads the catalogue "OTHER.qm" into translator and installs it in the
// application, even when loading failed (every text then stays English). The catalogue is
// looked up in the working directory, beside the executable, then in the installed
// translations folder. Returns whether the catalogue was loaded.
bool installStartupTranslator(QTranslator &translator, const QString &language);
// Loads the toolkit's own Chinese catalogue (looked up as above, then among the toolkit's
// translations) into translator and installs it. Returns whether it was loaded.
bool installToolkitTranslator(QTranslator &translator);
