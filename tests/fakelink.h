#pragma once

#include "meter/linkbackend.h"

#include <QList>
#include <QTimer>
#include <utility>

// How a fake link behaves; the factory hands a copy to every link it makes.
struct FakeScript
{
    bool openSucceeds = true;
    QByteArray pollReply;        // sent back for every poll; empty: the meter stays silent
    bool acknowledgeKeys = true; // answer every other command with an acknowledgement
    bool reportsOpened = true;   // false: open succeeds without the opened signal
};

// A scripted link: open succeeds or fails as told, written frames are recorded, received bytes
// are injected by the test or sent back a moment later by a pretend meter, and the link can go
// away by itself.
class FakeLink : public LinkBackend
{
public:
    explicit FakeLink(const FakeScript &script)
        : m_script(script)
    {
    }

    bool open() override
    {
        m_open = m_script.openSucceeds;
        if (!m_open)
            setErrorString(QStringLiteral("the fake link refuses to open"));
        else if (m_script.reportsOpened)
            emit opened();
        return m_open;
    }
    void close() override
    {
        if (std::exchange(m_open, false))
            emit closed();
    }
    bool isOpen() const override { return m_open; }
    void write(const QByteArray &bytes) override
    {
        m_written.append(bytes);
        const QByteArray reply = bytes == pollFrame()       ? m_script.pollReply
                                 : m_script.acknowledgeKeys ? acknowledgement()
                                                            : QByteArray();
        if (!reply.isEmpty())
            QTimer::singleShot(0, this, [this, reply] {
                if (m_open)
                    inject(reply);
            });
    }

    // Bytes from the meter, delivered at once.
    void inject(const QByteArray &bytes) { emit bytesReceived(bytes); }
    // The bridge goes away: the link closes without being asked.
    void dropBySelf() { close(); }
    QList<QByteArray> written() const { return m_written; }

    static QByteArray pollFrame() { return QByteArray::fromHex("ABCD035E01D9"); }
    static QByteArray acknowledgement() { return QByteArray::fromHex("ABCD03FF027A"); }

private:
    FakeScript m_script;
    bool m_open = false;
    QList<QByteArray> m_written;
};
