// klm704-cli: logs a VX310A multimeter from the command line, without a window.
#include "cli/clilogger.h"
#include "cli/clioptions.h"
#include "meter/unixsignalwatcher.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

// Unbuffered on the file descriptor: every line reaches the file or pipe with one system call,
// at once, so that a reader sees it and a killed process has lost nothing it reported.
bool openOutput(QFile &file, const QString &path, QFile &log)
{
    const bool opened =
        path.isEmpty()
            ? file.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered)
            : (file.setFileName(path),
               file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered));
    if (!opened)
        log.write(QStringLiteral("klm704-cli: cannot write %1: %2\n")
                      .arg(path, file.errorString())
                      .toLocal8Bit());
    return opened;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KLM-704"));
    // Standard error carries the run's own messages; the link's diagnostics (every frame) come
    // only when asked for through QT_LOGGING_RULES, which overrides this.
    QLoggingCategory::setFilterRules(QStringLiteral("klm704.*=false"));
    QFile log;
    log.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);

    const CliOptions::Parsed parsed = CliOptions::parse(app.arguments());
    if (parsed.outcome == CliOptions::Parsed::Outcome::UsageError) {
        log.write(QStringLiteral("klm704-cli: %1\nTry 'klm704-cli --help'.\n")
                      .arg(parsed.text)
                      .toLocal8Bit());
        return kUsageError;
    }
    if (parsed.outcome == CliOptions::Parsed::Outcome::Print) {
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    const CliOptions &options = parsed.options;

    QFile output;
    if (!openOutput(output, options.output, log))
        return kFailure;

    CliLogger logger(options, &output, &log);
    UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, &logger,
                     &CliLogger::interrupt);
    int exitCode = 0;
    QObject::connect(&logger, &CliLogger::finished, &app, [&app, &exitCode](int code) {
        exitCode = code;
        // Leave from the event loop, also when the run ends before the loop has started.
        QTimer::singleShot(0, &app, [&app, &exitCode] { app.exit(exitCode); });
    });
    QTimer::singleShot(0, &logger, &CliLogger::start);
    app.exec();
    return exitCode;
}
