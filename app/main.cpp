#include "app/appname.h"
#include "app/commandline.h"
#include "app/resourcebundle.h"
#include "app/shippedfiles.h"
#include "app/startuplanguage.h"
#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/linksupervisor.h"
#include "meter/unixsignalwatcher.h"
#include "record/journal.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <fontconfig/fontconfig.h>
#include <future>

namespace {

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fputs(bytes.constData(), stream);
    if (!text.endsWith(QLatin1Char('\n')))
        std::fputc('\n', stream);
}

// Prints what a command line that does not start the window asks for; returns the exit code.
int answerWithoutWindow(const CommandLine &commandLine, CommandLine::Outcome outcome)
{
    switch (outcome) {
    case CommandLine::Outcome::ShowHelp:
        print(stdout, commandLine.helpText());
        return 0;
    case CommandLine::Outcome::ShowVersion:
        print(stdout, commandLine.versionText());
        return 0;
    case CommandLine::Outcome::UsageError:
    case CommandLine::Outcome::Run:
        break;
    }
    print(stderr, commandLine.errorText());
    return CommandLine::kUsageExitCode;
}

// An interrupt from the terminal or a stop by the session ends the program the way the Close
// action does: the driver is closed and the settings are written. A dialog open at that moment
// is dismissed first, so that closing the window ends the program.
void closeOnTermination(UnixSignalWatcher &watcher, Widget &window)
{
    QObject::connect(&watcher, &UnixSignalWatcher::terminationRequested, &window, [&window] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        window.close();
    });
}

// Reading the system's font configuration is the slowest step of building the window; a helper
// thread does it while the toolkit connects to the display, and the toolkit then finds it done.
// The result waits for the thread when it goes.
std::future<void> readFontConfiguration()
{
    return std::async(std::launch::async, [] { FcInit(); });
}

} // namespace

int main(int argc, char *argv[])
{
    // Standard error stays quiet: the link's diagnostics (every frame, every sample tick) come
    // only when asked for through QT_LOGGING_RULES, which overrides this.
    QLoggingCategory::setFilterRules(QStringLiteral("klm704.*=false"));
    // Help, version and usage errors are answered before anything needs a display; without
    // one, the toolkit would abort with a hint that does not help.
    {
        QCoreApplication core(argc, argv);
        CommandLine commandLine;
        const CommandLine::Outcome outcome =
            commandLine.parse(CommandLine::withoutToolkitOptions(QCoreApplication::arguments()));
        if (outcome != CommandLine::Outcome::Run)
            return answerWithoutWindow(commandLine, outcome);
        const QString missingDisplay =
            CommandLine::missingDisplayText(QCoreApplication::arguments());
        if (!missingDisplay.isEmpty()) {
            print(stderr, missingDisplay);
            return CommandLine::kNoDisplayExitCode;
        }
    }

    // The window draws without OpenGL; left to itself, the X platform loads the system's OpenGL
    // driver at start, which costs tens of milliseconds. The user's own choice stands, and the
    // programs started from here (the manual's viewer) make their own.
    const bool glChosen = !qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION");
    if (!glChosen)
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    const std::future<void> fonts = readFontConfiguration();
    QApplication application(argc, argv);
    // Named before anything looks up the user's data folder (the journal's default place).
    QApplication::setApplicationName(appName);
    // A Wayland desktop finds the window's desktop entry, its name and icon, by this name.
    QApplication::setDesktopFileName(QStringLiteral(KLM704_APP_ID));
    registerResources();

    CommandLine commandLine;
    const CommandLine::Outcome outcome = commandLine.parse(QApplication::arguments());
    if (outcome != CommandLine::Outcome::Run)
        return answerWithoutWindow(commandLine, outcome);

    // Declared before the window, so they are destroyed after it and before the application.
    QTranslator translator;
    QTranslator toolkitTranslator;
    // The standard buttons follow the window's language, never a missing catalogue.
    if (installStartupTranslator(translator, readStartupLanguage()))
        installToolkitTranslator(toolkitTranslator);
    reportFileLocations();

    Widget window;
    window.deviceLink()->setDevice(commandLine.device());
    if (commandLine.reconnects())
        window.reconnectForThisRun();
    if (commandLine.keepsJournal()) {
        const QString directory = commandLine.journalDirectory();
        window.useJournal(directory.isEmpty() ? Journal::defaultDirectory() : directory);
    }
    window.show();
    // The platform has made its choice with the first window and keeps it.
    if (!glChosen)
        qunsetenv("QT_XCB_GL_INTEGRATION");
    UnixSignalWatcher signalWatcher;
    closeOnTermination(signalWatcher, window);
    // A recording cut short is offered before anything connects and records anew. With none to
    // offer, the link opens before the window is first drawn, so that the meter answers the
    // first poll meanwhile; a link that cannot open is reported from the event loop, so that a
    // stop during its box still ends the program.
    const bool offer = window.hasUnclosedRecording();
    const bool connectLater = commandLine.connectAtStart() && offer;
    const bool failed = commandLine.connectAtStart() && !offer && !window.linkSupervisor()->open();
    QTimer::singleShot(0, &window, [&window, connectLater, failed] {
        window.offerUnclosedRecording();
        if (connectLater)
            window.pressConnect();
        else if (failed)
            window.reportOpenFailure();
    });
    return application.exec();
}
