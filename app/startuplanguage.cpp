#include "app/startuplanguage.h"

#include "app/settingsfile.h"

#include <QCoreApplication>
#include <QTranslator>

namespace {
const QString kChinese = QStringLiteral("OTHER");
const QString kCatalogue = QStringLiteral("OTHER.qm");
const QString kLanguageKey = QStringLiteral("Language");
} // namespace

QString readStartupLanguage(const QString &path)
{
    QString language;
    readSettingsFile(path, [&language](const QString &key, const QString &text) {
        if (key == kLanguageKey)
            language = text;
    });
    return language;
}

QString readStartupLanguage()
{
    return readStartupLanguage(settingsFilePath());
}

bool installStartupTranslator(QTranslator &translator, const QString &language)
{
    if (language != kChinese)
        return false;
    // The bare name is looked up in the working directory, where the catalogue is shipped
    // beside the manual.
    const bool loaded = translator.load(kCatalogue);
    QCoreApplication::installTranslator(&translator);
    return loaded;
}
