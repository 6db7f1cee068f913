#pragma once

#include "app/settingsfile.h"
#include "meter/mydmm.h"
#include "tests/testfiles.h"

#include <QHash>
#include <QTemporaryDir>

// A settings file in a scratch folder: every window built while it lives reads and writes it
// instead of the one beside the program.
class ScratchSettings
{
public:
    ScratchSettings() { pointAt(m_dir.filePath(QStringLiteral("options.xml"))); }

    QString path() const { return m_path; }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString folder() const { return m_dir.path(); }

    void pointAt(const QString &path)
    {
        m_path = path;
        qputenv("KLM704_SETTINGS_FILE", path.toLocal8Bit());
    }

    bool write(const QByteArray &content) const { return testfiles::writeAll(m_path, content); }

    // Every key the file holds with its last non-blank text.
    QHash<QString, QString> values() const
    {
        QHash<QString, QString> values;
        readSettingsFile(m_path,
                         [&](const QString &key, const QString &text) { values[key] = text; });
        return values;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// The driver's recording settings: sample points, infinite, sample rate and skip repeat.
inline QString driverValues(const MyDmm &dmm)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(dmm.samplePoints())
        .arg(dmm.isInfinite())
        .arg(dmm.sampleRate())
        .arg(dmm.isSkipRepeat());
}
