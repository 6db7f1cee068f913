#include "app/commandline.h"
#include "app/resourcebundle.h"
#include "app/startuplanguage.h"
#include "app/widget.h"
#include "meter/deviceselector.h"

#include <QApplication>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    registerResources();

    CommandLine commandLine;
    const CommandLine::Outcome outcome = commandLine.parse(QApplication::arguments());
    if (outcome != CommandLine::Outcome::Run)
        return answerWithoutWindow(commandLine, outcome);

    // Declared before the window, so it is destroyed after it and before the application.
    QTranslator translator;
    installStartupTranslator(translator, readStartupLanguage());

    Widget window;
    window.deviceLink()->setDevice(commandLine.device());
    window.show();
    if (commandLine.connectAtStart())
        QTimer::singleShot(0, &window, &Widget::pressConnect);
    return application.exec();
}
