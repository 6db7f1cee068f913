#include "app/settingsfile.h"

#include "app/shippedfiles.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {
const QString kFileName = QStringLiteral("options.xml");
const QString kRootElement = QStringLiteral("options");
constexpr char kPathVariable[] = "KLM704_SETTINGS_FILE";
} // namespace

QString settingsFilePath()
{
    const QString chosen = qEnvironmentVariable(kPathVariable);
    if (!chosen.isEmpty())
        return chosen;
    return chooseSettingsFile(QCoreApplication::applicationDirPath(), runsInstalled(),
                              QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QString chooseSettingsFile(const QString &programFolder, bool installed,
                           const QString &configFolder)
{
    const QString beside = QDir(programFolder).filePath(kFileName);
    if (QFileInfo::exists(beside) || (!installed && QFileInfo(programFolder).isWritable()))
        return beside;
    return QDir(configFolder).filePath(kFileName);
}

bool readSettingsFile(const QString &path, const SettingsVisitor &visit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader xml(&file);
    QString key;
    // atEnd() also becomes true on the first well-formedness error, so a broken tail of the
    // file leaves what was read before it in place.
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() != kRootElement)
                key = xml.name().toString();
        } else if (xml.isCharacters() && !xml.isWhitespace() && !key.isEmpty()) {
            // Only the first text after a key's start tag counts; text that follows, inside
            // or after the element, belongs to no key.
            visit(key, xml.text().toString());
            key.clear();
        }
    }
    return true;
}

bool writeSettingsFile(const QString &path, const SettingsEntries &entries, QString *error)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    xml.writeStartDocument();
    xml.writeStartElement(kRootElement);
    for (const auto &[key, value] : entries)
        xml.writeTextElement(key, value);
    xml.writeEndElement();
    xml.writeEndDocument();

    // The user's config folder may not exist yet; if it cannot be made, opening says why.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    const auto failed = [&file, error] {
        if (error)
            *error = file.errorString();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed();
    // A write that stops short (a full disk) gives no reason; writing the rest then fails with
    // the system's. Without a commit the half-written copy is discarded and the old file stays.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return failed();
        done += written;
    }
    if (!file.commit())
        return failed();
    return true;
}

int settingsInteger(const QString &text)
{
    return text.toInt();
}
