#include "app/commandline.h"

#include "app/appname.h"
#include "meter/linkfactory.h"

#include <QFileInfo>

namespace {

// The toolkit's own options, which the application object takes out of the command line.
const QStringList kToolkitOptionsWithValue = {
    "platform",     "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon",  "qwindowtitle",       "session",       "display", "geometry",
    "style",        "stylesheet",         "name",          "title",   "visual",
    "qmljsdebugger"};
const QStringList kToolkitFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

const char kExitStatus[] = "\n"
                           "Exit status:\n"
                           "  0  the window was closed (also by Ctrl+C or SIGTERM)\n"
                           "  1  no graphical display\n"
                           "  2  usage error: an unknown option, a stray argument or an unknown\n"
                           "     device\n";
} // namespace

QStringList CommandLine::withoutToolkitOptions(const QStringList &arguments)
{
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        if (i == 0 || !name.startsWith(QLatin1Char('-')) || name.startsWith(QStringLiteral("--"))) {
            kept << name;
            continue;
        }
        name = name.mid(1).section(QLatin1Char('='), 0, 0);
        if (kToolkitOptionsWithValue.contains(name) && !arguments.at(i).contains('='))
            ++i; // its value
        else if (!kToolkitOptionsWithValue.contains(name) && !kToolkitFlags.contains(name))
            kept << arguments.at(i);
    }
    return kept;
}

QString CommandLine::missingDisplayText(const QStringList &arguments)
{
    const bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
                                arguments.contains(QStringLiteral("-platform")) ||
                                arguments.contains(QStringLiteral("--platform"));
    if (platformChosen || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QString();
    return QStringLiteral("klm704 needs a graphical display (neither DISPLAY nor WAYLAND_DISPLAY "
                          "is set); klm704-cli logs without one.");
}

CommandLine::CommandLine()
    : m_helpOption({QStringLiteral("h"), QStringLiteral("help")},
                   QStringLiteral("Show these options, then exit."))
    , m_versionOption({QStringLiteral("v"), QStringLiteral("version")},
                      QStringLiteral("Print the program's name and version, then exit."))
    , m_deviceOption(QStringLiteral("device"),
                     QStringLiteral("The link to the meter: auto (the first bridge found), sim "
                                    "(the built-in virtual meter), serial:PATH, cp2110 or "
                                    "ch9329. Default: auto."),
                     QStringLiteral("DEVICE"), QLatin1String(kDefaultDevice))
    , m_connectOption(QStringLiteral("connect"),
                      QStringLiteral("Connect to the meter as soon as the window is shown."))
    , m_reconnectOption(QStringLiteral("reconnect"),
                        QStringLiteral("When the link is lost, open it again every 2 s and go on "
                                       "recording (for this run; Options saves it for good)."))
    , m_journalOption(QStringLiteral("journal"),
                      QStringLiteral("Write the recording journal into DIR. Default: the "
                                     "journal folder of the user's data folder."),
                      QStringLiteral("DIR"))
    , m_noJournalOption(QStringLiteral("no-journal"), QStringLiteral("Keep no recording journal."))
{
    m_parser.setApplicationDescription(
        QStringLiteral("%1, the desktop companion of the VX310A multimeter.").arg(appName));
    m_parser.addOption(m_helpOption);
    m_parser.addOption(m_versionOption);
    m_parser.addOption(m_deviceOption);
    m_parser.addOption(m_connectOption);
    m_parser.addOption(m_reconnectOption);
    m_parser.addOption(m_journalOption);
    m_parser.addOption(m_noJournalOption);
}

CommandLine::Outcome CommandLine::parse(const QStringList &arguments)
{
    m_errorText.clear();
    const QString program =
        arguments.isEmpty() ? QStringLiteral("klm704") : QFileInfo(arguments.first()).fileName();
    const QString hint = QStringLiteral("Try '%1 --help' for more information.").arg(program);
    if (!m_parser.parse(arguments)) {
        m_errorText = QStringLiteral("%1: %2\n%3").arg(program, m_parser.errorText(), hint);
        return Outcome::UsageError;
    }
    if (m_parser.isSet(m_helpOption))
        return Outcome::ShowHelp;
    if (m_parser.isSet(m_versionOption))
        return Outcome::ShowVersion;
    if (m_parser.isSet(m_journalOption) && m_parser.isSet(m_noJournalOption)) {
        m_errorText = QStringLiteral("%1: --journal and --no-journal exclude each other.\n%2")
                          .arg(program, hint);
        return Outcome::UsageError;
    }
    if (!m_parser.positionalArguments().isEmpty()) {
        m_errorText = QStringLiteral("%1: unexpected argument '%2'.\n%3")
                          .arg(program, m_parser.positionalArguments().first(), hint);
        return Outcome::UsageError;
    }
    if (!isDeviceName(device())) {
        m_errorText = QStringLiteral("%1: %2\n%3").arg(program, unknownDeviceText(device()), hint);
        return Outcome::UsageError;
    }
    return Outcome::Run;
}

QString CommandLine::device() const
{
    return m_parser.value(m_deviceOption);
}

bool CommandLine::connectAtStart() const
{
    return m_parser.isSet(m_connectOption);
}

bool CommandLine::reconnects() const
{
    return m_parser.isSet(m_reconnectOption);
}

bool CommandLine::keepsJournal() const
{
    return !m_parser.isSet(m_noJournalOption);
}

QString CommandLine::journalDirectory() const
{
    return m_parser.value(m_journalOption);
}

QString CommandLine::helpText() const
{
    return m_parser.helpText() + QLatin1String(kExitStatus);
}

QString CommandLine::versionText() const
{
    return QStringLiteral("%1 %2").arg(appName, appVersion);
}
