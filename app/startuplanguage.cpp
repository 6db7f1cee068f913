#include "app/startuplanguage.h"

#include "app/settingsfile.h"
#include "app/shippedfiles.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
const QString kChinese = QStringLiteral("OTHER");
const QString kCatalogue = QStringLiteral("OTHER.qm");
// The toolkit's own texts (the standard buttons of the message boxes) in Chinese.
const QString kToolkitCatalogue = QStringLiteral("qtbase_zh_CN.qm");
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
    const bool loaded =
        translator.load(findShippedFile(kCatalogue, {installedTranslationsFolder()}));
    QCoreApplication::installTranslator(&translator);
    return loaded;
}

bool installToolkitTranslator(QTranslator &translator)
{
    const QString path = findShippedFile(
        kToolkitCatalogue,
        {installedTranslationsFolder(), QLibraryInfo::location(QLibraryInfo::TranslationsPath)});
    return translator.load(path) && QCoreApplication::installTranslator(&translator);
}
