#include "meter/mydmm.h"

#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "meter/frame.h"
#include "meter/loopcommandpool.h"
#include "meter/meterkeys.h"
#include "meter/meterlog.h"
#include "meter/oncecommandpool.h"
#include "meter/unitprefix.h"

#include <QMetaMethod>
#include <QTimerEvent>
#include <QVarLengthArray>
#include <iterator>
#include <utility>

namespace {

// Layout of a reply frame.
constexpr int kLengthOffset = 2;
constexpr int kFunctionOffset = 3;
constexpr int kRangeOffset = 4;
constexpr int kDisplayOffset = 5;
constexpr int kDisplaySize = 7;
constexpr int kModeStatusOffset = 14;
constexpr int kMeterStatusOffset = 15;
constexpr int kExtraStatusOffset = 16;
// Bytes a reading needs before the checksum: everything up to the third status byte.
constexpr int kReadingContentSize = kExtraStatusOffset + 1;
constexpr int kChecksumSize = 2;
// The meter acknowledges a key command with this in the function byte.
constexpr uchar kAcknowledge = 0xFF;

const QString kDefaultModel = QStringLiteral("VX52C+");

uchar byteAt(const QByteArray &frame, int offset)
{
    return static_cast<uchar>(frame.at(offset));
}

bool bit(uchar byte, int number)
{
    return byte & (1u << number);
}

bool isAcknowledgement(const QByteArray &frame)
{
    return frame.size() > kFunctionOffset && byteAt(frame, kFunctionOffset) == kAcknowledge;
}

// True when the frame is whole (as long as its length byte says) and long enough to be read.
bool holdsReading(const QByteArray &frame)
{
    if (frame.size() <= kLengthOffset)
        return false;
    const int length = byteAt(frame, kLengthOffset);
    const int contentSize = length + 1;
    return contentSize >= kReadingContentSize && frame.size() >= contentSize + kChecksumSize;
}

bool isTemperature(quint8 function)
{
    return function == functions::kCelsius || function == functions::kFahrenheit;
}

// Functions whose range is not a figure.
bool hasNoRangeFigure(quint8 function)
{
    return function == 5 || function == 18 || function == 19 || function == functions::kNcv ||
           function == 23;
}

// The display read as a decimal number once its spaces are gone; 0 when it is not one.
double displayNumber(QLatin1String text)
{
    static const double kPowersOfTen[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    qint64 mantissa = 0;
    int decimals = 0;
    bool negative = false;
    bool seenSign = false;
    bool seenPoint = false;
    bool seenDigit = false;
    for (const char c : text) {
        if (c == ' ')
            continue;
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + (c - '0');
            decimals += seenPoint ? 1 : 0;
            seenDigit = true;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else if ((c == '-' || c == '+') && !seenSign && !seenDigit && !seenPoint) {
            seenSign = true;
            negative = c == '-';
        } else {
            return 0;
        }
    }
    if (!seenDigit || decimals >= int(std::size(kPowersOfTen)))
        return 0;
    const double magnitude = double(mantissa) / kPowersOfTen[decimals];
    return negative ? -magnitude : magnitude;
}

// What an overload shows as a number: the end of the range it ran past.
double overloadValue(const FunctionEntry &entry, MyDmm::DisplayKind kind)
{
    const bool temperature = isTemperature(entry.functionCode());
    if (kind == MyDmm::DisplayKind::PositiveOverload)
        return temperature ? entry.upper().toInt() : entry.fullScale();
    return temperature ? entry.fullScale() : -entry.fullScale();
}

void decodeStatus(const QByteArray &frame, DmmData &data)
{
    const uchar mode = byteAt(frame, kModeStatusOffset);
    data.setMaxMinText(bit(mode, 3)   ? QStringLiteral("MAX")
                       : bit(mode, 2) ? QStringLiteral("MIN")
                                      : QString());
    data.setHold(bit(mode, 1));
    data.setRelative(bit(mode, 0));

    const uchar meter = byteAt(frame, kMeterStatusOffset);
    data.setStatusBit3(bit(meter, 3));
    data.setManualRange(bit(meter, 2));
    data.setLowBattery(bit(meter, 1));
    data.setStatusBit0(bit(meter, 0));

    const uchar extra = byteAt(frame, kExtraStatusOffset);
    data.setPeakText(bit(extra, 2)   ? QStringLiteral("P-MAX")
                     : bit(extra, 1) ? QStringLiteral("P-MIN")
                                     : QString());
    if (data.entry()->functionCode() == functions::kAcPlusDc) {
        data.setCouplingText(
            QLatin1String(bit(extra, 3) ? functions::kAcCoupling : functions::kDcCoupling));
        data.setFunctionName(MyDmm::dualFunctionName(*data.entry(), data.couplingText()));
    }
}

} // namespace

MyDmm::MyDmm(DeviceSelector *selector, QObject *parent)
    : Dmm(selector, parent)
    , m_oncePool(std::make_shared<OnceCommandPool>())
    , m_loopPool(std::make_shared<LoopCommandPool>())
{
    buildTables(m_defaultTable, m_eTable);
    setModel(kDefaultModel);
    enqueue(m_loopPool.get(), QByteArray(1, char(meterkeys::kPoll)), true);
    connect(&m_silence, &SilenceWatch::silent, this, &MyDmm::meterSilent);
    connect(&m_silence, &SilenceWatch::answering, this, &MyDmm::meterAnswering);
    // A link that goes away by itself is not a silent meter.
    connect(this, &Dmm::closed, &m_silence, &SilenceWatch::stop);
}

MyDmm::~MyDmm()
{
    close();
    qDeleteAll(m_defaultTable);
    qDeleteAll(m_eTable);
}

bool MyDmm::open()
{
    if (isOpen() || !Dmm::open())
        return false;
    // A worker left from a link that went away by itself must not poll beside the new one.
    stopThread();
    m_rxBuffer.clear();
    m_currentCommand.reset();
    m_oncePool->clear();
    m_thread = new CommandPoolThread(m_oncePool, m_loopPool);
    m_thread->setTiming(m_threadTiming);
    connect(m_thread, &CommandPoolThread::nextCommand, this,
            &MyDmm::slotCommandPoolThreadNextCommand);
    // The first poll goes out now rather than a turn of the event loop later, so that the meter
    // answers while the window is still drawing itself.
    if (const CommandPtr poll = m_loopPool->next()) {
        slotCommandPoolThreadNextCommand(poll);
        m_thread->setHandedOut(poll);
    }
    m_thread->start();
    if (m_timerId == 0)
        startSampleTimer();
    // A link that closed during open() has nothing to watch.
    if (isOpen())
        m_silence.start();
    return true;
}

void MyDmm::close()
{
    stopThread();
    stopSampleTimer();
    m_silence.stop();
    m_currentCommand.reset();
    if (isOpen())
        Dmm::close();
}

void MyDmm::stopThread()
{
    if (!m_thread)
        return;
    CommandPoolThread *thread = std::exchange(m_thread, nullptr);
    disconnect(thread, nullptr, this, nullptr);
    if (thread->requestStop()) {
        delete thread;
        return;
    }
    // The worker has not ended yet: the object goes only once it has.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    if (thread->isFinished())
        thread->deleteLater();
}

void MyDmm::sendKey(const QByteArray &payload)
{
    enqueue(m_oncePool.get(), payload, true);
}

void MyDmm::notifyReply()
{
    if (m_thread)
        m_thread->notifyReply();
}

void MyDmm::sendHold()
{
    sendKey(QByteArray(1, char(meterkeys::kHold)));
}

void MyDmm::sendRangeManual()
{
    sendKey(QByteArray(1, char(meterkeys::kRangeManual)));
}

QStringList MyDmm::knownModels()
{
    return {QStringLiteral("VX310A"), QStringLiteral("VX310E"), kDefaultModel};
}

void MyDmm::setModel(const QString &name)
{
    m_meterModel = name;
    m_activeTable =
        name.contains(QLatin1Char('e'), Qt::CaseInsensitive) ? &m_eTable : &m_defaultTable;
}

void MyDmm::setSampleRate(int ms)
{
    m_sampleRate = qMax(0, ms);
    // A timer still running after the link went away by itself is restarted as well, so
    // that the next open does not keep the old period.
    const bool running = m_timerId != 0 || isOpen();
    stopSampleTimer();
    if (running)
        startSampleTimer();
}

void MyDmm::startSampleTimer()
{
    if (m_sampleRate > 0)
        m_timerId = startTimer(m_sampleRate, Qt::CoarseTimer);
}

void MyDmm::stopSampleTimer()
{
    if (m_timerId == 0)
        return;
    killTimer(m_timerId);
    m_timerId = 0;
}

void MyDmm::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId) {
        Dmm::timerEvent(event);
        return;
    }
    m_sampleDue = true;
    qCDebug(lcTimer) << "timerEvent";
}

void MyDmm::slotUSBRemoved()
{
    close();
}

void MyDmm::slotCommandPoolThreadNextCommand(CommandPtr command)
{
    // A command the worker of a closed connection handed out before it ended is ignored.
    if (!m_thread || !command)
        return;
    m_currentCommand = command;
    if (deviceSelector && deviceSelector->isActived()) {
        const QByteArray &frame = command->frame();
        deviceSelector->write(reinterpret_cast<const uchar *>(frame.constData()), frame.size());
    }
}

void MyDmm::slotSerialDeviceRead(const uint8_t *data, int len)
{
    if (!data || len <= 0)
        return;
    m_rxBuffer.append(reinterpret_cast<const char *>(data), len);
    // All complete frames are cut out before any is acted on: a receiver that re-enters the
    // event loop then finds the buffer consistent and never sees a frame twice.
    QVarLengthArray<QByteArray, 4> frames;
    int offset = 0;
    for (QByteArray found = extractFrame(offset); !found.isEmpty(); found = extractFrame(offset))
        frames.append(found);
    m_rxBuffer.remove(0, offset);
    if (!frames.isEmpty())
        m_silence.replied();
    for (const QByteArray &frame : frames) {
        qCDebug(lcFrames).noquote() << frame::hexDump(frame);
        if (answersCurrentCommand(frame))
            notifyReply();
        handleFrame(frame);
    }
}

QByteArray MyDmm::extractFrame(int &offset)
{
    QByteArray found = frame::extract(m_rxBuffer, offset);
    if (!found.isEmpty())
        m_lastFrame = found;
    return found;
}

bool MyDmm::answersCurrentCommand(const QByteArray &frame) const
{
    // Any reply answers the poll; only an acknowledgement answers a key command.
    return m_currentCommand && m_currentCommand->needsReply() &&
           (m_currentCommand->code() == meterkeys::kPoll || isAcknowledgement(frame));
}

void MyDmm::handleFrame(const QByteArray &frame)
{
    if (isAcknowledgement(frame))
        return;
    if (!m_sampleDue && m_sampleRate != 0)
        return;
    m_sampleDue = false;
    std::unique_ptr<DmmData> reading(decode(frame));
    // Nobody would own a reading that nobody receives.
    if (reading && isSignalConnected(QMetaMethod::fromSignal(&Dmm::display)))
        emit display(reading.release());
}

DmmData *MyDmm::decode(const QByteArray &frame) const
{
    if (!holdsReading(frame))
        return nullptr;
    const FunctionEntry *entry =
        findEntry(*m_activeTable, byteAt(frame, kFunctionOffset), byteAt(frame, kRangeOffset));
    if (!entry)
        return nullptr;

    auto *data = new DmmData;
    data->setEntry(entry);
    data->setTimestamp(localNow());
    data->setUnitText(entry->prefix() + entry->unit());
    const QLatin1String display(frame.constData() + kDisplayOffset, kDisplaySize);
    data->setValueText(display);
    int overload = 0;
    data->setValue(displayValue(*entry, display, &overload));
    data->setOverload(overload);
    data->setRangeText(rangeText(*entry));
    data->setFunctionName(entry->name());
    decodeStatus(frame, *data);
    return data;
}

double MyDmm::displayValue(const FunctionEntry &entry, QLatin1String display, int *overload)
{
    const DisplayKind kind = classifyDisplay(display);
    *overload = kind == DisplayKind::Numeric ? 0 : kind == DisplayKind::PositiveOverload ? 1 : -1;
    double value =
        kind == DisplayKind::Numeric ? displayNumber(display) : overloadValue(entry, kind);
    if (isScaledFunction(entry.functionCode()))
        value *= prefixFactor(entry.prefix());
    return value;
}

QString MyDmm::rangeText(const FunctionEntry &entry)
{
    const quint8 function = entry.functionCode();
    if (hasNoRangeFigure(function))
        return QStringLiteral("-");
    return QString::number(isTemperature(function) ? entry.upper().toInt() : entry.fullScale());
}

QString MyDmm::dualFunctionName(const FunctionEntry &entry, const QString &coupling)
{
    return QStringLiteral("%1: %2").arg(entry.name(), coupling);
}

QDateTime MyDmm::localNow() const
{
    const qint64 msecs = QDateTime::currentMSecsSinceEpoch();
    if (msecs != m_nowMSecs) {
        m_nowMSecs = msecs;
        m_now = QDateTime::fromMSecsSinceEpoch(msecs);
    }
    return m_now;
}

MyDmm::DisplayKind MyDmm::classifyDisplay(QLatin1String text)
{
    bool hasO = false;
    bool hasL = false;
    bool hasMinus = false;
    for (const char c : text) {
        hasO = hasO || c == 'O';
        hasL = hasL || c == 'L';
        hasMinus = hasMinus || c == '-';
    }
    if (!hasO || !hasL)
        return DisplayKind::Numeric;
    return hasMinus ? DisplayKind::NegativeOverload : DisplayKind::PositiveOverload;
}

QByteArray MyDmm::buildFrame(const QByteArray &payload)
{
    return frame::build(payload);
}

void MyDmm::enqueue(CommandPool *pool, const QByteArray &payload, bool needsReply)
{
    if (pool)
        pool->append(CommandPtr::create(buildFrame(payload), needsReply));
}
