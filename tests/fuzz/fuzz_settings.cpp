// Fuzz target: the readers of the settings file. Each input becomes a file that every reader in
// kReaders walks; a reader of the file is added there with a function of a few lines.
//
// One input byte chooses what the file holds: the rest of the input as it is (any bytes,
// broken XML included), or settings written by writeSettingsFile from keys and texts taken from
// the input, which must read back as written.

#include "app/settingsfile.h"
#include "app/startuplanguage.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fuzzer/FuzzedDataProvider.h>

#include <iterator>

namespace {

using Entries = SettingsEntries;

// Text of XML white space only, which the readers pass over.
bool isBlank(const QString &text)
{
    for (const QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') &&
            c != QLatin1Char('\r'))
            return false;
    }
    return true;
}

Entries walk(const QString &path)
{
    Entries seen;
    const bool opened = readSettingsFile(path, [&seen](const QString &key, const QString &text) {
        seen.append({key, text});
    });
    check(opened, "the file was not opened");
    return seen;
}

// The walk reports named keys with their non-blank texts, the same on every reading.
void checkWalk(const QString &path)
{
    const Entries seen = walk(path);
    for (const auto &[key, text] : seen) {
        check(!key.isEmpty(), "a text reported under no key");
        check(!isBlank(text), "a blank text reported");
        settingsInteger(text);
    }
    check(walk(path) == seen, "a second walk read something else");
}

// The language read at start-up is the last Language text of the walk.
void checkStartupLanguage(const QString &path)
{
    QString last;
    for (const auto &[key, text] : walk(path)) {
        if (key == QLatin1String("Language"))
            last = text;
    }
    check(readStartupLanguage(path) == last, "start-up language differs from the walk");
}

using Reader = void (*)(const QString &path);
const Reader kReaders[] = {checkWalk, checkStartupLanguage};

// In memory where the system offers it: a file written for every input is the slowest step.
QString scratchTemplate()
{
    const QString memory = QStringLiteral("/dev/shm");
    const QString base = QFileInfo(memory).isWritable() ? memory : QDir::tempPath();
    return base + QStringLiteral("/fuzz_settings-XXXXXX");
}

const QString &scratchPath()
{
    static QTemporaryDir dir(scratchTemplate());
    static const QString path = dir.filePath(QStringLiteral("options.xml"));
    return path;
}

void writeRaw(const QString &path, const std::string &bytes)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "scratch file");
    file.write(bytes.data(), qint64(bytes.size()));
}

// XML 1.0 cannot carry control characters other than tab, line feed and carriage return, nor
// the two non-characters U+FFFE and U+FFFF; the program's own texts never hold them. Carriage
// returns are left out as well: Qt 5's writer puts them in unescaped, and a reader turns them
// into line feeds, as XML demands. No value the program writes (a language code, hexadecimal
// blobs, integers) holds one.
QString xmlText(const std::string &utf8)
{
    QString text;
    for (const QChar c : QString::fromStdString(utf8)) {
        const ushort u = c.unicode();
        const bool control = u < 0x20 && u != '\t' && u != '\n';
        if (!control && u != 0xFFFE && u != 0xFFFF)
            text.append(c);
    }
    return text;
}

const QString kKeys[] = {
    QStringLiteral("Geometry"),     QStringLiteral("State"),    QStringLiteral("FixedLanguage"),
    QStringLiteral("Language"),     QStringLiteral("Model"),    QStringLiteral("Version"),
    QStringLiteral("SamplePoints"), QStringLiteral("Infinite"), QStringLiteral("SampleRate"),
    QStringLiteral("SkipRepeat"),   QStringLiteral("Other"),
};

Entries entriesFrom(FuzzedDataProvider &input)
{
    Entries entries;
    while (input.remaining_bytes() > 0 && entries.size() < 32) {
        const QString &key = kKeys[input.ConsumeIntegralInRange<size_t>(0, std::size(kKeys) - 1)];
        entries.append({key, xmlText(input.ConsumeRandomLengthString(64))});
    }
    return entries;
}

// What the writer stores, the walk gives back: every entry with a non-blank text, in order.
void checkRoundTrip(const QString &path, const Entries &written)
{
    Entries expected;
    for (const auto &entry : written) {
        if (!isBlank(entry.second))
            expected.append(entry);
    }
    check(walk(path) == expected, "settings did not read back as written");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool written = input.ConsumeBool();
    const QString &path = scratchPath();
    if (written) {
        const Entries entries = entriesFrom(input);
        check(writeSettingsFile(path, entries), "settings could not be written");
        checkRoundTrip(path, entries);
    } else {
        writeRaw(path, input.ConsumeRemainingBytesAsString());
    }
    for (const Reader read : kReaders)
        read(path);
    return 0;
}
