#pragma once

// The simulator program vx310a-sim, run by the command line's tests.

#include <QProcess>
#include <QStringList>

#include <signal.h>

class SimulatorProcess
{
public:
    ~SimulatorProcess()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    // Starts it with a fixed seed and a fast line, and reads the path of its line.
    bool start(const QStringList &extraArguments = {})
    {
        m_process.start(QStringLiteral(VX310A_SIM_PATH),
                        QStringList{"--seed", "5", "--time-scale", "0.2"} + extraArguments);
        return m_process.waitForStarted(5000) && readPath();
    }
    // Pulls the meter's cable: its line closes.
    void unplug() { ::kill(pid_t(m_process.processId()), SIGUSR1); }
    // Plugs it in again on a new line, whose path it prints.
    bool plugIn()
    {
        ::kill(pid_t(m_process.processId()), SIGUSR2);
        return readPath();
    }
    QString device() const { return QStringLiteral("serial:") + m_path; }

private:
    bool readPath()
    {
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        m_path = QString::fromLocal8Bit(m_process.readLine().trimmed());
        return !m_path.isEmpty();
    }

    QProcess m_process;
    QString m_path;
};
