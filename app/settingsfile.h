#pragma once

#include <QPair>
#include <QString>
#include <QVector>
#include <functional>

// The settings file options.xml: one root element and one text element per key.

// Where the settings live: options.xml in the directory of the executable, independent of the
// working directory. The environment variable KLM704_SETTINGS_FILE names another file, so that
// tests and trial runs never touch the settings beside the program. An installed program keeps
// them in the user's config folder instead (see chooseSettingsFile).
QString settingsFilePath();

// options.xml beside the program when it exists there (a portable copy) or when the program's
// folder is writable and not an installed one; otherwise options.xml in configFolder.
QString chooseSettingsFile(const QString &programFolder, bool installed,
                           const QString &configFolder);

// Called with each key and its text, in file order; blank texts are not reported.
using SettingsVisitor = std::function<void(const QString &key, const QString &text)>;

// Walks the file at path and reports every key that holds a non-blank text. Elements are taken
// by name wherever they sit; the root's name is not compared. Reading stops quietly at the
// first well-formedness error, after reporting what came before it. False when the file
// cannot be opened.
bool readSettingsFile(const QString &path, const SettingsVisitor &visit);

using SettingsEntries = QVector<QPair<QString, QString>>;

// Replaces the file at path with the entries, in their order, under the root element. The file
// is written beside the old one and renamed over it only when complete, so a failed or
// interrupted write leaves the previous settings whole. False when nothing was replaced, with
// the system's reason in error when one is given.
bool writeSettingsFile(const QString &path, const SettingsEntries &entries,
                       QString *error = nullptr);

// Integers are stored as decimal text; anything else reads as 0.
int settingsInteger(const QString &text);
