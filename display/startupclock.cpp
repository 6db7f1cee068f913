#include "display/startupclock.h"

#include <QEvent>
#include <QFile>
#include <QLoggingCategory>
#include <QWidget>
#include <chrono>
#include <ctime>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcStartup, "klm704.startup", QtWarningMsg)

// Waits for the widget's next paint and notes the moment that paint is done.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget)
        : QObject(widget)
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        watched->removeEventFilter(this);
        watched->event(event);
        qCInfo(lcStartup,
               "First reading painted %.0f ms after the process started (monotonic clock %.3f ms)",
               startupclock::millisecondsSinceProcessStart(),
               startupclock::monotonicMilliseconds());
        deleteLater();
        return true;
    }
};

} // namespace

namespace startupclock {

void noteFirstReading(QWidget *widget)
{
    static bool noted = false;
    if (noted || !widget || !lcStartup().isInfoEnabled())
        return;
    noted = true;
    new PaintWatch(widget);
}

double millisecondsSinceProcessStart()
{
    // Field 22 of the process's stat line is its start in clock ticks after boot; the command
    // name in field 2 may hold spaces, so fields are counted after its closing parenthesis.
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    constexpr int kStartTimeField = 22 - 3;
    timespec boot{};
    if (fields.size() <= kStartTimeField || clock_gettime(CLOCK_BOOTTIME, &boot) != 0)
        return -1;
    const double startMs = fields.at(kStartTimeField).toDouble() * 1000.0 / sysconf(_SC_CLK_TCK);
    return double(boot.tv_sec) * 1000.0 + double(boot.tv_nsec) / 1e6 - startMs;
}

double monotonicMilliseconds()
{
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace startupclock
