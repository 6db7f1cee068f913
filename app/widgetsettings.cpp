// The main window's side of the settings file and of the options dialog.

#include "app/brokerpublishing.h"
#include "app/optiondialog.h"
#include "app/settingsfile.h"
#include "app/widget.h"
#include "display/windowstatus.h"
#include "meter/deviceselector.h"
#include "meter/mydmm.h"
#include "mqtt/mqttsettings.h"
#include "record/journal.h"
#include "session/recordingsession.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>

namespace {
const QString kGeometry = QStringLiteral("Geometry");
const QString kState = QStringLiteral("State");
const QString kFixedLanguage = QStringLiteral("FixedLanguage");
const QString kLanguage = QStringLiteral("Language");
const QString kModel = QStringLiteral("Model");
const QString kVersion = QStringLiteral("Version");
const QString kSamplePoints = QStringLiteral("SamplePoints");
const QString kInfinite = QStringLiteral("Infinite");
const QString kSampleRate = QStringLiteral("SampleRate");
const QString kSkipRepeat = QStringLiteral("SkipRepeat");
const QString kReconnect = QStringLiteral("Reconnect");
const QString kLowLimit = QStringLiteral("LowLimit");
const QString kHighLimit = QStringLiteral("HighLimit");
const QString kFitValues = QStringLiteral("FitValues");
const QString kJournalQuota = QStringLiteral("JournalQuota");
const QString kMqttUrl = QStringLiteral("MqttUrl");
const QString kMqttName = QStringLiteral("MqttName");

const QString kEnglish = QStringLiteral("EN");
const QString kChinese = QStringLiteral("OTHER");
// The version of the dock and toolbar layout blob.
constexpr int kStateVersion = 0;

// The options dialog lists English first, Chinese second.
constexpr int kEnglishIndex = 0;
constexpr int kChineseIndex = 1;

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QByteArray hexBytes(const QString &text)
{
    return QByteArray::fromHex(text.toLatin1());
}

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

bool flagValue(const QString &text)
{
    return settingsInteger(text) != 0;
}

// A limit as saved: empty for none.
QString limitText(std::optional<double> limit)
{
    return limit ? QString::number(*limit, 'g', 15) : QString();
}

void restoreLimit(RecordingSession *session, bool low, const QString &text)
{
    LimitAlarm limits = session->limits();
    const std::optional<double> limit = LimitAlarm::parse(text);
    limits.setLimits(low ? limit : limits.low(), low ? limits.high() : limit);
    session->setLimits(limits);
}

void restoreJournalQuota(RecordingSession *session, const QString &text)
{
    qint64 quota = 0;
    if (Journal::parseQuota(text, &quota))
        session->setJournalQuota(quota);
}

QString languageForIndex(int index)
{
    switch (index) {
    case kEnglishIndex:
        return kEnglish;
    case kChineseIndex:
        return kChinese;
    default:
        return QString();
    }
}
} // namespace

void Widget::restoreSettings()
{
    readSettingsFile(settingsFilePath(), [this](const QString &key, const QString &text) {
        // Model and Version are written for information only.
        if (key == kFixedLanguage)
            fixedLanguage = flagValue(text);
        else if (key == kLanguage)
            language = text;
        else if (key == kSamplePoints)
            dmm->setSamplePoints(settingsInteger(text));
        else if (key == kInfinite)
            dmm->setInfinite(flagValue(text));
        else if (key == kSampleRate)
            dmm->setSampleRate(settingsInteger(text));
        else if (key == kSkipRepeat)
            dmm->setSkipRepeat(flagValue(text));
        else if (key == kReconnect)
            setReconnectOption(flagValue(text));
        else if (key == kLowLimit || key == kHighLimit)
            restoreLimit(session, key == kLowLimit, text);
        else if (key == kFitValues)
            actionFitValues->setChecked(flagValue(text));
        else if (key == kJournalQuota)
            restoreJournalQuota(session, text);
        else if (key == kMqttUrl)
            publishing->setBroker(text, publishing->name());
        else if (key == kMqttName)
            publishing->setBroker(publishing->url(), text);
    });
}

void Widget::restoreUI()
{
    // Data the toolkit does not recognise is refused, and the window keeps its layout.
    readSettingsFile(settingsFilePath(), [this](const QString &key, const QString &text) {
        if (key == kGeometry)
            restoreGeometry(hexBytes(text));
        else if (key == kState)
            restoreState(hexBytes(text), kStateVersion);
    });
}

void Widget::saveSettings()
{
    const SettingsEntries entries = {
        {kGeometry, hexText(saveGeometry())},
        {kState, hexText(saveState(kStateVersion))},
        {kFixedLanguage, flagText(fixedLanguage)},
        {kLanguage, language},
        {kModel, modelName},
        {kVersion, version},
        {kSamplePoints, QString::number(dmm->samplePoints())},
        {kInfinite, flagText(dmm->isInfinite())},
        {kSampleRate, QString::number(dmm->sampleRate())},
        {kSkipRepeat, flagText(dmm->isSkipRepeat())},
        {kReconnect, flagText(reconnectOption)},
        {kLowLimit, limitText(session->limits().low())},
        {kHighLimit, limitText(session->limits().high())},
        {kFitValues, flagText(actionFitValues->isChecked())},
        {kJournalQuota, QString::number(session->journalQuota())},
        {kMqttUrl, publishing->url()},
        {kMqttName, publishing->name()},
    };
    QString reason;
    if (writeSettingsFile(settingsFilePath(), entries, &reason))
        return;
    QMessageBox box(QMessageBox::Warning, QString(), tr("Can not open file."), QMessageBox::Ok,
                    this);
    box.setInformativeText(tr("The settings were not saved to %1: %2.")
                               .arg(QDir::toNativeSeparators(settingsFilePath()), reason));
    box.exec();
}

void Widget::runOptionDialog()
{
    OptionDialog dialog(fixedLanguage, this);
    dialog.sbSamplePoints->setValue(dmm->samplePoints());
    dialog.chkInfinite->setChecked(dmm->isInfinite());
    dialog.sbSampleRate->setValue(dmm->sampleRate());
    dialog.chkSkipRepeat->setChecked(dmm->isSkipRepeat());
    dialog.chkReconnect->setChecked(reconnectOption);
    dialog.leMqttUrl->setText(publishing->url());
    dialog.leMqttName->setText(publishing->name());
    dialog.leMqttName->setPlaceholderText(MqttSettings::defaultName(deviceSelector->device()));
    dialog.sbSamplePoints->setEnabled(!dmm->isInfinite());
    dialog.leLowLimit->setText(limitText(session->limits().low()));
    dialog.leHighLimit->setText(limitText(session->limits().high()));
    dialog.setLanguageIndex(language == kChinese ? kChineseIndex : kEnglishIndex);
    if (dialog.exec() != QDialog::Accepted)
        return;

    // The rate first: it restarts the sample timer of an open link.
    dmm->setSampleRate(dialog.sbSampleRate->value());
    dmm->setInfinite(dialog.chkInfinite->isChecked());
    dmm->setSkipRepeat(dialog.chkSkipRepeat->isChecked());
    dmm->setSamplePoints(dialog.sbSamplePoints->value());
    setReconnectOption(dialog.chkReconnect->isChecked());
    if (dialog.leMqttUrl->text().trimmed() != publishing->url() ||
        dialog.leMqttName->text().trimmed() != publishing->name())
        setMqttBroker(dialog.leMqttUrl->text(), dialog.leMqttName->text());
    LimitAlarm limits;
    limits.setLimits(LimitAlarm::parse(dialog.leLowLimit->text()),
                     LimitAlarm::parse(dialog.leHighLimit->text()));
    session->setLimits(limits);
    status->showRecording();
    // The new language is kept for the next start; this run keeps its own.
    language = languageForIndex(dialog.languageIndex());
}

void Widget::setMqttBroker(const QString &url, const QString &name)
{
    publishing->setBroker(url, name);
    // Before the first show the device may still change; showing the window starts it.
    if (layoutRestored)
        publishing->start(deviceSelector->device());
}
