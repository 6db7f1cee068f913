#include "app/shippedfiles.h"

#include "app/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

// KLM704_INSTALLED_DATA and KLM704_INSTALLED_DOC, set by the build, are the install's data and
// document folders relative to the folder of the installed executable.

namespace {
Q_LOGGING_CATEGORY(lcFiles, "klm704.files", QtInfoMsg)

QDir programFolder()
{
    return QDir(QCoreApplication::applicationDirPath());
}
} // namespace

QString findShippedFile(const QString &fileName, const QStringList &installedFolders)
{
    const QString here = QDir::current().absoluteFilePath(fileName);
    QStringList candidates{here, programFolder().absoluteFilePath(fileName)};
    for (const QString &folder : installedFolders)
        candidates << QDir(programFolder().absoluteFilePath(folder)).absoluteFilePath(fileName);
    for (const QString &candidate : qAsConst(candidates)) {
        if (QFileInfo(candidate).isFile()) {
            qCDebug(lcFiles) << fileName << "found at" << QDir::cleanPath(candidate);
            return candidate;
        }
    }
    qCDebug(lcFiles) << fileName << "not found in" << candidates;
    return here;
}

QString manualFilePath()
{
    return findShippedFile(QStringLiteral("Software User Manual.pdf"), {installedManualFolder()});
}

void reportFileLocations()
{
    if (!lcFiles().isDebugEnabled())
        return;
    manualFilePath();
    qCDebug(lcFiles) << "settings file" << settingsFilePath();
}

QString installedTranslationsFolder()
{
    return QStringLiteral(KLM704_INSTALLED_DATA "/translations");
}

QString installedManualFolder()
{
    return QStringLiteral(KLM704_INSTALLED_DOC);
}

bool runsInstalled()
{
    return QFileInfo(programFolder().absoluteFilePath(QStringLiteral(KLM704_INSTALLED_DATA)))
        .isDir();
}
