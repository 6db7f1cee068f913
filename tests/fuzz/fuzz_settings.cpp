// Fuzz target: the readers of the settings file, on a file that holds either the input as it is
// (any bytes, broken XML included) or settings written by writeSettingsFile from keys and texts
// taken from the input, which must read back as written. One input byte chooses which.

#include "app/settingsfile.h"
#include "app/startuplanguage.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <fuzzer/FuzzedDataProvider.h>

#include <iterator>

namespace {

// Text of XML white space only, which the readers pass over.
bool isBlank(const QString &text)
{
    static const QRegularExpression blank(QStringLiteral("\\A[ \t\n\r]*\\z"));
    return blank.match(text).hasMatch();
}

SettingsEntries walk(const QString &path)
{
    SettingsEntries seen;
    check(readSettingsFile(path,
                           [&seen](const QString &key, const QString &text) {
                               seen.append({key, text});
                           }),
          "the file was not opened");
    return seen;
}

// The walk reports named keys with non-blank texts, the same on every reading, and the language
// read at start-up is the last Language text of the walk.
void checkReaders(const QString &path)
{
    const SettingsEntries seen = walk(path);
    QString language;
    for (const auto &[key, text] : seen) {
        check(!key.isEmpty() && !isBlank(text), "a blank text or one under no key");
        settingsInteger(text);
        if (key == QLatin1String("Language"))
            language = text;
    }
    check(walk(path) == seen, "a second walk read something else");
    check(readStartupLanguage(path) == language, "start-up language differs from the walk");
}

// XML 1.0 cannot carry control characters other than tab, line feed and carriage return, nor
// U+FFFE and U+FFFF; the program's own texts never hold them. Carriage returns are left out as
// well: Qt 5's writer puts them in unescaped, and a reader turns them into line feeds, as XML
// demands; no value the program writes (a language code, hexadecimal, integers) holds one.
QString xmlText(const std::string &utf8)
{
    static const QRegularExpression unwritable(
        QStringLiteral("[\\x00-\\x08\\x0B-\\x1F\\x{FFFE}\\x{FFFF}]"));
    return QString::fromStdString(utf8).remove(unwritable);
}

const char *const kKeys[] = {"Geometry",   "State",      "FixedLanguage", "Language",
                             "Model",      "Version",    "SamplePoints",  "Infinite",
                             "SampleRate", "SkipRepeat", "Other"};

// Writes entries from the input; the walk gives back every one with a non-blank text, in order.
void checkRoundTrip(const QString &path, FuzzedDataProvider &input)
{
    SettingsEntries written, expected;
    while (input.remaining_bytes() > 0 && written.size() < 32) {
        const char *key = kKeys[input.ConsumeIntegralInRange<size_t>(0, std::size(kKeys) - 1)];
        written.append({QString::fromLatin1(key), xmlText(input.ConsumeRandomLengthString(64))});
        if (!isBlank(written.last().second))
            expected.append(written.last());
    }
    check(writeSettingsFile(path, written), "settings could not be written");
    check(walk(path) == expected, "settings did not read back as written");
}

// In memory where the system offers it: a file written for every input is the slowest step.
const QString &scratchPath()
{
    static QTemporaryDir shm(QStringLiteral("/dev/shm/fuzz_settings-XXXXXX")), elsewhere;
    static const QString path = (shm.isValid() ? shm : elsewhere).filePath("options.xml");
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString &path = scratchPath();
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        checkRoundTrip(path, input);
    } else {
        QFile file(path);
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "scratch file");
        const std::string bytes = input.ConsumeRemainingBytesAsString();
        file.write(bytes.data(), qint64(bytes.size()));
    }
    checkReaders(path);
    return 0;
}
