#include "meter/ch9329link.h"
#include "meter/cp2110link.h"
#include "meter/hidbackend.h"
#include "meter/hiddevice.h"
#include "meter/hidreportlayout.h"
#include "meter/linkfactory.h"
#include "tests/logswitch.h"
#include "tests/selectorprobe.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QtTest>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace {

const QByteArray kPoll = QByteArray::fromHex("abcd035e01d9");

// What a fake device was asked to do, and what it will answer. Shared by the test, the device
// and the link's reader thread.
struct FakeHidState
{
    // Standard primitives rather than Qt's, so that the thread checker sees the locking.
    std::mutex mutex;
    std::condition_variable inputArrived;
    QStringList events; // feature reports, output reports and the close, in order
    std::deque<QByteArray> inputs;
    QByteArray descriptor;
    bool readFails = false;
    bool writeFails = false;
    bool featureFails = false;
    bool reading = false;
    bool closedWhileReading = false;

    void pushInput(const QByteArray &report)
    {
        std::lock_guard<std::mutex> lock(mutex);
        inputs.push_back(report);
        inputArrived.notify_all();
    }
    void failReads()
    {
        std::lock_guard<std::mutex> lock(mutex);
        readFails = true;
        inputArrived.notify_all();
    }
    bool inputsTaken()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return inputs.empty();
    }
    QStringList takeEvents()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(events, {});
    }
    void record(const QString &event)
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.append(event);
    }
};

class FakeHidDevice : public HidDevice
{
public:
    explicit FakeHidDevice(std::shared_ptr<FakeHidState> state)
        : m_state(std::move(state))
    {
    }
    ~FakeHidDevice() override
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->closedWhileReading = m_state->reading;
        m_state->events.append(QStringLiteral("close"));
    }

    int write(const QByteArray &report) override
    {
        if (m_state->writeFails)
            return -1;
        m_state->record(QStringLiteral("write ") + report.toHex());
        return report.size();
    }

    int read(QByteArray *report, int timeoutMs) override
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        m_state->reading = true;
        if (m_state->inputs.empty() && !m_state->readFails)
            m_state->inputArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs));
        m_state->reading = false;
        if (m_state->readFails)
            return -1;
        if (m_state->inputs.empty())
            return 0;
        *report = m_state->inputs.front();
        m_state->inputs.pop_front();
        return report->size();
    }

    int sendFeatureReport(const QByteArray &report) override
    {
        if (m_state->featureFails)
            return -1;
        m_state->record(QStringLiteral("set ") + report.toHex());
        return report.size();
    }

    int getFeatureReport(quint8 id, int size, QByteArray *report) override
    {
        if (m_state->featureFails)
            return -1;
        m_state->record(QStringLiteral("get %1/%2").arg(id, 2, 16, QLatin1Char('0')).arg(size));
        *report = QByteArray(size, '\0');
        (*report)[0] = char(id);
        return size;
    }

    QByteArray reportDescriptor() override { return m_state->descriptor; }
    QString errorText() override { return QStringLiteral("fake failure"); }

private:
    std::shared_ptr<FakeHidState> m_state;
};

class FakeHidBackend : public HidBackend
{
public:
    QList<HIDDeviceInfo> devices;
    OpenError openError = OpenError::None;
    QString openedPath;
    std::shared_ptr<FakeHidState> state = std::make_shared<FakeHidState>();

    QList<HIDDeviceInfo> enumerate(quint16 vendorId, quint16 productId) override
    {
        QList<HIDDeviceInfo> found;
        for (const HIDDeviceInfo &info : qAsConst(devices)) {
            if (info.vendorId == vendorId && info.productId == productId)
                found.append(info);
        }
        return found;
    }

    std::unique_ptr<HidDevice> open(const QString &path, OpenError *error, QString *reason) override
    {
        *error = openError;
        if (openError != OpenError::None) {
            *reason = QStringLiteral("refused");
            return nullptr;
        }
        openedPath = path;
        return std::make_unique<FakeHidDevice>(state);
    }

    void plug(quint16 vendorId, quint16 productId, const QString &path, qint32 usagePage)
    {
        HIDDeviceInfo info;
        info.vendorId = vendorId;
        info.productId = productId;
        info.path = path;
        info.usagePage = usagePage;
        devices.append(info);
    }
    void plugCp2110() { plug(0x10C4, 0xEA80, QStringLiteral("/dev/hidraw-cp"), 0xFF00); }
    void plugKeyboardOnlyCh9329() { plug(0x1A86, 0xE429, "/dev/hidraw-keyboard", 0x01); }
    void plugCh9329() { plug(0x1A86, 0xE429, QStringLiteral("/dev/hidraw-ch"), 0xFF00); }
};

// A device selector whose links reach the fake backend, with both cables plugged in unless told
// otherwise; short read time-outs keep closing fast.
struct Rig : SelectorProbe
{
    explicit Rig(const QString &device, bool plugBoth = true)
        : SelectorProbe(device)
    {
        if (plugBoth) {
            hid->plugCp2110();
            hid->plugCh9329();
        }
        selector.setReadTimeout(10);
        std::shared_ptr<FakeHidBackend> backend = hid;
        selector.setLinkFactory(
            [backend](const QString &name, const LinkSettings &settings, QString *error) {
                return createLinkWithHid(name, settings, error, backend);
            });
    }
    FakeHidState &state() { return *hid->state; }

    std::shared_ptr<FakeHidBackend> hid = std::make_shared<FakeHidBackend>();
};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestHidLinks : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cp2110ConfiguresUartWhileOpen_data();
    void cp2110ConfiguresUartWhileOpen();
    void cp2110WritesCountPrefixedReports_data();
    void cp2110WritesCountPrefixedReports();
    void cp2110TakesCountFromFirstByte();
    void ch9329ReportLayout_data();
    void ch9329ReportLayout();
    void reportLayoutFromDescriptor_data();
    void reportLayoutFromDescriptor();
    void readErrorClosesOnce_data();
    void readErrorClosesOnce();
    void writeErrorClosesOnce();
    void reportsOfAnEarlierOpenAreDropped();
    void failedOpenExplainsTheFix_data();
    void failedOpenExplainsTheFix();
    void cableAndInterfaceAreChosen();
};

void TestHidLinks::initTestCase()
{
    // The link's warnings are what a terminal user sees on standard error.
    logswitch::logOn("klm704.link");
}

void TestHidLinks::cp2110ConfiguresUartWhileOpen_data()
{
    QTest::addColumn<uint>("baudrate");
    QTest::addColumn<QString>("config");
    QTest::newRow("9600 8N1") << 9600u << "set 500000258000000300";
    QTest::newRow("115200 8N1") << 115200u << "set 500001c20000000300";
}

void TestHidLinks::cp2110ConfiguresUartWhileOpen()
{
    QFETCH(uint, baudrate);
    QFETCH(QString, config);
    Rig rig(QStringLiteral("cp2110"));
    rig.selector.setBaudrate(baudrate);
    QSignalSpy opened(&rig.selector, &DeviceSelector::opened);
    QVERIFY2(rig.selector.open(), qPrintable(rig.selector.errorString()));
    QCOMPARE(opened.size(), 1);
    QCOMPARE(rig.state().takeEvents(),
             QStringList({"set 4100", config, "set 4303", "get 42/7", "set 4101"}));
    // The close disables the UART once the reader, waiting for a report, has stopped.
    QSignalSpy closed(&rig.selector, &DeviceSelector::closed);
    QTest::qWait(30);
    rig.selector.close();
    QCOMPARE(closed.size(), 1);
    QCOMPARE(rig.state().takeEvents(), QStringList({"set 4100", "close"}));
    QVERIFY(!rig.state().closedWhileReading);
    rig.selector.close();
    QCOMPARE(closed.size(), 1);
}

void TestHidLinks::cp2110WritesCountPrefixedReports_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("reportSizes");
    QTest::newRow("one frame") << 6 << QList<int>{7};
    QTest::newRow("a full report") << 63 << QList<int>{64};
    QTest::newRow("two reports") << 100 << QList<int>{64, 38};
}

void TestHidLinks::cp2110WritesCountPrefixedReports()
{
    QFETCH(int, size);
    QFETCH(QList<int>, reportSizes);
    Rig rig(QStringLiteral("cp2110"));
    QVERIFY(rig.selector.open());
    rig.state().takeEvents();
    QByteArray data;
    for (int i = 0; i < size; ++i)
        data.append(char(i));
    rig.write(data);

    QByteArray carried;
    const QStringList events = rig.state().takeEvents();
    QCOMPARE(events.size(), reportSizes.size());
    for (int i = 0; i < events.size(); ++i) {
        QVERIFY(events.at(i).startsWith(QStringLiteral("write ")));
        const QByteArray report = QByteArray::fromHex(events.at(i).mid(6).toLatin1());
        QCOMPARE(report.size(), reportSizes.at(i));
        QCOMPARE(int(quint8(report.at(0))), report.size() - 1);
        carried += report.mid(1);
    }
    QCOMPARE(carried, data);
}

void TestHidLinks::cp2110TakesCountFromFirstByte()
{
    Rig rig(QStringLiteral("cp2110"));
    QVERIFY(rig.selector.open());
    const QByteArray reply = frame::build(QByteArray(14, '\x30'));
    rig.state().pushInput(char(3) + reply.left(3));
    rig.state().pushInput(hex("00ffff"));                               // no data: ignored
    rig.state().pushInput(char(16) + reply.mid(3, 16) + hex("eeeeee")); // padded
    rig.state().pushInput(hex("40") + QByteArray(63, 'x'));             // not a data report
    QTRY_COMPARE(rig.received, reply);
    QTest::qWait(30);
    QCOMPARE(rig.received, reply);
}

void TestHidLinks::ch9329ReportLayout_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<QByteArray>("reportStart");
    QTest::addColumn<int>("reportSize");
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("no descriptor")
        << QByteArray() << hex("0006abcd035e01d9") << 65 << hex("03abcd10") + QByteArray(61, '\0');
    QTest::newRow("unnumbered") << hex("0600ff0901a101150026ff00750895408102750895409102c0")
                                << hex("0006abcd035e01d9") << 65 << hex("03abcd10");
    QTest::newRow("report ID 2, 32 bytes") << hex("0600ff0901a1018502750895200901810209019102c0")
                                           << hex("0206abcd035e01d9") << 33 << hex("0203abcd10");
}

void TestHidLinks::ch9329ReportLayout()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(QByteArray, reportStart);
    QFETCH(int, reportSize);
    QFETCH(QByteArray, input);
    Rig rig(QStringLiteral("ch9329"));
    rig.state().descriptor = descriptor;
    QVERIFY(rig.selector.open());
    rig.write(kPoll);
    const QStringList events = rig.state().takeEvents();
    QCOMPARE(events.size(), 1);
    const QByteArray report = QByteArray::fromHex(events.first().mid(6).toLatin1());
    QCOMPARE(report.size(), reportSize);
    QCOMPARE(report.left(reportStart.size()), reportStart);
    QCOMPARE(report.mid(reportStart.size()), QByteArray(reportSize - reportStart.size(), '\0'));

    rig.state().pushInput(input);
    QTRY_COMPARE(rig.received, hex("abcd10"));
}

void TestHidLinks::reportLayoutFromDescriptor_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<bool>("numbered");
    QTest::addColumn<int>("outputId");
    QTest::addColumn<int>("outputSize");
    const QByteArray vendor = hex("0600ff0901a101150026ff00750895408102750895409102c0");
    QTest::newRow("empty") << QByteArray() << false << 0 << 64;
    QTest::newRow("vendor, unnumbered") << vendor << false << 0 << 64;
    QTest::newRow("truncated item") << hex("0600") << false << 0 << 64;
    QTest::newRow("long item skipped") << hex("fe02000102") + vendor << false << 0 << 64;
    QTest::newRow("keyboard LEDs are not the data")
        << hex("05010906a1018501050775019508810295057501050891" // keyboard, LED output
               "02c00600ff0901a10185037508953f9102c0")          // vendor output, ID 3
        << true << 3 << 63;
    QTest::newRow("numbered, no vendor output") << hex("05010906a1018504c0") << true << 4 << 64;
}

void TestHidLinks::reportLayoutFromDescriptor()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(bool, numbered);
    QFETCH(int, outputId);
    QFETCH(int, outputSize);
    const HidReportLayout layout = HidReportLayout::fromDescriptor(descriptor);
    QCOMPARE(layout.numbered, numbered);
    QCOMPARE(int(layout.outputId), outputId);
    QCOMPARE(layout.outputSize, outputSize);
}

void TestHidLinks::readErrorClosesOnce_data()
{
    QTest::addColumn<QString>("device");
    QTest::newRow("cp2110") << "cp2110";
    QTest::newRow("ch9329") << "ch9329";
}

void TestHidLinks::readErrorClosesOnce()
{
    QFETCH(QString, device);
    Rig rig(device);
    QSignalSpy closed(&rig.selector, &DeviceSelector::closed);
    QVERIFY(rig.selector.open());
    rig.state().takeEvents();
    rig.state().failReads();
    QTRY_COMPARE(closed.size(), 1);
    QVERIFY(!rig.selector.isActived());
    // A cable that is gone gets no UART settings; its handle is closed.
    QCOMPARE(rig.state().takeEvents(), QStringList{"close"});
    rig.selector.close();
    rig.write(kPoll);
    QTest::qWait(30);
    QCOMPARE(closed.size(), 1);
    QCOMPARE(rig.state().takeEvents(), QStringList());
}

void TestHidLinks::writeErrorClosesOnce()
{
    Rig rig(QStringLiteral("cp2110"));
    QSignalSpy closed(&rig.selector, &DeviceSelector::closed);
    QVERIFY(rig.selector.open());
    rig.state().writeFails = true;
    rig.write(QByteArray(100, 'x'));
    QCOMPARE(closed.size(), 1);
    QVERIFY(!rig.selector.isActived());
    rig.write(kPoll);
    QCOMPARE(closed.size(), 1);
}

// Reports the reader took before a close must not turn up after the next open.
void TestHidLinks::reportsOfAnEarlierOpenAreDropped()
{
    Rig rig(QStringLiteral("cp2110"));
    QVERIFY(rig.selector.open());
    rig.state().pushInput(hex("03abcd10"));
    QDeadlineTimer deadline(5000);
    while (!rig.state().inputsTaken() && !deadline.hasExpired())
        QThread::msleep(1); // the event loop stays still: the report waits in the queue
    QVERIFY(rig.state().inputsTaken());
    rig.selector.close();
    QVERIFY(rig.selector.open());
    QTest::qWait(50);
    QCOMPARE(rig.received, QByteArray());
}

void TestHidLinks::failedOpenExplainsTheFix_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("cables"); // 0 none, 1 a CH9329 with a keyboard interface only, 2 both
    QTest::addColumn<int>("error");  // how opening the device fails; -1 its settings are refused
    QTest::addColumn<QStringList>("phrases");
    const int none = int(HidBackend::OpenError::None);
    const int denied = int(HidBackend::OpenError::PermissionDenied);
    const QStringList udev = {"permission denied", "70-klm704.rules",
                              "udevadm control --reload-rules && sudo udevadm trigger",
                              "unplug the cable and plug it in again"};
    QTest::newRow("auto, none") << "auto" << 0 << none
                                << QStringList{"No CH9329 or CP2110 meter cable found"};
    QTest::newRow("cp2110, none") << "cp2110" << 0 << none
                                  << QStringList{"No CP2110 meter cable found"};
    QTest::newRow("ch9329, none") << "ch9329" << 0 << none
                                  << QStringList{"No CH9329 meter cable found"};
    QTest::newRow("ch9329 as keyboard only")
        << "ch9329" << 1 << none << QStringList{"has no interface for the meter's data"};
    QTest::newRow("CP2110, no permission") << "cp2110" << 2 << denied << udev;
    QTest::newRow("CH9329, no permission") << "ch9329" << 2 << denied << udev;
    QTest::newRow("in use") << "cp2110" << 2 << int(HidBackend::OpenError::Busy)
                            << QStringList{"in use by another program", "plug it in again"};
    QTest::newRow("other") << "auto" << 2 << int(HidBackend::OpenError::Other)
                           << QStringList{"CH9329", "(refused)", "udevadm trigger"};
    QTest::newRow("settings refused")
        << "cp2110" << 2 << -1 << QStringList{"refused its settings", "plug it in again"};
}

void TestHidLinks::failedOpenExplainsTheFix()
{
    QFETCH(QString, device);
    QFETCH(int, cables);
    QFETCH(int, error);
    QFETCH(QStringList, phrases);
    Rig rig(device, cables == 2);
    if (cables == 1)
        rig.hid->plugKeyboardOnlyCh9329();
    rig.state().featureFails = error < 0;
    rig.hid->openError = HidBackend::OpenError(qMax(error, 0));
    QSignalSpy opened(&rig.selector, &DeviceSelector::opened);
    if (error > 0)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Cannot open device " + device + " : .*cable"));
    QVERIFY(!rig.selector.open());
    QCOMPARE(opened.size(), 0);
    QVERIFY(!rig.selector.isActived());
    for (const QString &phrase : phrases)
        QVERIFY2(rig.selector.errorString().contains(phrase),
                 qPrintable(rig.selector.errorString()));
    // A device that was opened is closed again; none is opened when no cable will do.
    QCOMPARE(rig.state().takeEvents(), error < 0 ? QStringList{"close"} : QStringList());
    QCOMPARE(rig.hid->openedPath.isEmpty(), error != -1);
}

void TestHidLinks::cableAndInterfaceAreChosen()
{
    // Of a CH9329's interfaces only the vendor one carries the meter's data.
    Rig ch9329(QStringLiteral("ch9329"), false);
    ch9329.hid->plugKeyboardOnlyCh9329();
    ch9329.hid->plug(0x1A86, 0xE429, QStringLiteral("/dev/hidraw-media"), 0x0C);
    ch9329.hid->plug(0x1A86, 0xE429, QStringLiteral("/dev/hidraw-data"), 0xFF00);
    QVERIFY(ch9329.selector.open());
    QCOMPARE(ch9329.hid->openedPath, QStringLiteral("/dev/hidraw-data"));
    QCOMPARE(ch9329.state().takeEvents(), QStringList()); // nothing to configure on this chip

    // "auto" takes a CH9329 before a CP2110.
    Rig both(QStringLiteral("auto"));
    QVERIFY(both.selector.open());
    QCOMPARE(both.hid->openedPath, QStringLiteral("/dev/hidraw-ch"));

    Rig cp2110Only(QStringLiteral("auto"), false);
    cp2110Only.hid->plugCp2110();
    QVERIFY(cp2110Only.selector.open());
    QCOMPARE(cp2110Only.hid->openedPath, QStringLiteral("/dev/hidraw-cp"));
}

QTEST_GUILESS_MAIN(TestHidLinks)
#include "tst_hidlinks.moc"
