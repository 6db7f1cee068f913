#include "app/startuplanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTranslator>
#include <QXmlStreamReader>

namespace {
const QString kChinese = QStringLiteral("OTHER");
const QString kCatalogue = QStringLiteral("OTHER.qm");
const QString kSettingsFile = QStringLiteral("options.xml");
const QString kRootElement = QStringLiteral("options");
const QString kLanguageKey = QStringLiteral("Language");
} // namespace

QString readStartupLanguage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QString key;
    QString language;
    // atEnd() also becomes true on the first well-formedness error, so a broken tail of the
    // file leaves what was read before it in place.
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() != kRootElement)
                key = xml.name().toString();
        } else if (xml.isCharacters() && !xml.isWhitespace() && !key.isEmpty()) {
            if (key == kLanguageKey)
                language = xml.text().toString();
            else
                key.clear();
        }
    }
    return language;
}

QString readStartupLanguage()
{
    return readStartupLanguage(
        QDir(QCoreApplication::applicationDirPath()).filePath(kSettingsFile));
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
