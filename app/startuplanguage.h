#pragma once

#include <QString>

class QTranslator;

// The language code stored under Language in the settings file at path, or an empty string
// when the file cannot be read. Only the last non-blank Language text counts; whatever was
// read before a well-formedness error stands.
QString readStartupLanguage(const QString &path);
// The same for the program's settings file.
QString readStartupLanguage();

// For the code "OTHER", loads the catalogue "OTHER.qm" from the working directory into
// translator and installs it in the application, even when loading failed (every text then
// stays English). Returns whether the catalogue was loaded.
bool installStartupTranslator(QTranslator &translator, const QString &language);
