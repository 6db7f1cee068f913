#pragma once

#include "meter/linkbackend.h"

#include <QList>
#include <QTimer>

// How a fake link behaves; the factory hands a copy to every link it makes.
struct FakeScript
{
    bool openSucceeds = true;
    QByteArray pollReply;        // sent back for every poll; empty: the meter stays silent
    bool acknowledgeKeys = true; // answer every other command with an acknowledgement
    bool reportsOpened = true;   // false: open succeeds without the opened signal
};

// A scripted link for tests: open succeeds or fails as told, written frames are recorded,
// received bytes are injected by the test or sent back by a pretend meter (a moment later, as
// a real one would), and the link can go away by itself.
class FakeLink : public LinkBackend
{
public:
    explicit FakeLink(const FakeScript &script)
        : m_script(script)
    {
    }

    bool open() override
    {
        if (!m_script.openSucceeds) {
            setErrorString(QStringLiteral("the fake link refuses to open"));
            return false;
        }
        m_open = true;
        if (m_script.reportsOpened)
            emit opened();
        return true;
    }
    void close() override
    {
        if (!m_open)
            return;
        m_open = false;
        emit closed();
    }
    bool isOpen() const override { return m_open; }
    void write(const QByteArray &bytes) override
    {
        m_written.append(bytes);
        answer(bytes);
    }

    // Bytes from the meter, delivered at once.
    void inject(const QByteArray &bytes) { emit bytesReceived(bytes); }
    // The bridge goes away: the link closes without being asked.
    void dropBySelf() { close(); }
    void setPollReply(const QByteArray &reply) { m_script.pollReply = reply; }
    QList<QByteArray> written() const { return m_written; }

    static QByteArray pollFrame() { return QByteArray::fromHex("ABCD035E01D9"); }
    static QByteArray acknowledgement() { return QByteArray::fromHex("ABCD03FF027A"); }

private:
    void answer(const QByteArray &command)
    {
        const QByteArray reply = command == pollFrame()     ? m_script.pollReply
                                 : m_script.acknowledgeKeys ? acknowledgement()
                                                            : QByteArray();
        if (reply.isEmpty())
            return;
        QTimer::singleShot(0, this, [this, reply] {
            if (m_open)
                inject(reply);
        });
    }

    FakeScript m_script;
    bool m_open = false;
    QList<QByteArray> m_written;
};
