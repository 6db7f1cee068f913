#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// The program's command-line options. Parsing never exits the process: main decides what to
// print and which exit code to return.
class CommandLine
{
public:
    enum class Outcome
    {
        Run,
        ShowHelp,
        ShowVersion,
        UsageError
    };
    // Exit code of a command line that cannot be understood (the usual convention on Linux).
    static constexpr int kUsageExitCode = 2;
    // Exit code when there is no display to show the window on.
    static constexpr int kNoDisplayExitCode = 1;

    CommandLine();

    // arguments include the program name first, as QCoreApplication::arguments() gives them.
    Outcome parse(const QStringList &arguments);
    // The arguments without the toolkit's own options (-platform NAME, -style NAME, -reverse...),
    // as the window's application object leaves them: for reading the command line before it.
    static QStringList withoutToolkitOptions(const QStringList &arguments);
    // Why the window cannot start here, checked before the toolkit would abort on it: neither
    // DISPLAY nor WAYLAND_DISPLAY names a display. Empty when one does, or when the user chose
    // a platform (-platform on the command line, or QT_QPA_PLATFORM).
    static QString missingDisplayText(const QStringList &arguments);

    // Which link the device selector opens: "auto" unless --device names another.
    QString device() const;
    // Whether the window connects at start-up, as a press of Connect would.
    bool connectAtStart() const;
    // Whether a lost link is opened again every 2 s in this run, whatever the options say.
    bool reconnects() const;
    // Whether recorded readings are also written to a journal (unless --no-journal), and the
    // folder --journal names for it (empty: the default folder).
    bool keepsJournal() const;
    QString journalDirectory() const;

    // The options, then the exit statuses.
    QString helpText() const;
    QString versionText() const;
    // What went wrong, with a hint to --help; set after a UsageError.
    QString errorText() const { return m_errorText; }

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_helpOption;
    QCommandLineOption m_versionOption;
    QCommandLineOption m_deviceOption;
    QCommandLineOption m_connectOption;
    QCommandLineOption m_reconnectOption;
    QCommandLineOption m_journalOption;
    QCommandLineOption m_noJournalOption;
    QString m_errorText;
};
