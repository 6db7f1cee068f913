#pragma once

// File helpers shared by the tests of the recording's file output.

#include <QFile>

#include <signal.h>
#include <sys/resource.h>

namespace testfiles {

inline QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool writeAll(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Lets files of this process grow only to the given size while it lives, like a nearly full disk:
// a write beyond it fails (the signal that would end the process is ignored).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
        : m_savedHandler(signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        const rlimit limit = {bytes, m_saved.rlim_max};
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        signal(SIGXFSZ, m_savedHandler);
    }
    Q_DISABLE_COPY(FileSizeLimit)

    bool isActive() const { return m_active; }

private:
    rlimit m_saved;
    sighandler_t m_savedHandler;
    bool m_active = false;
};

} // namespace testfiles
