#include "meter/hidbackend.h"
#include "meter/hiddevice.h"
#include "meter/linkfactory.h"
#include "tests/logswitch.h"
#include "tests/selectorprobe.h"

#include <QtTest>
#include <condition_variable>
#include <mutex>

namespace {

#define FETCHED(Type, name) (*static_cast<Type *>(QTest::qData(#name, ::qMetaTypeId<Type>())))

const auto fromHex = [](const char *text) { return QByteArray::fromHex(text); };
const QByteArray kPoll = fromHex("abcd035e01d9");
const QByteArray kVendorId2Size32 = fromHex("0600ff0901a1018502750895200901810209019102c0");
const QByteArray kVendorUnnumbered = fromHex("0600ff0901a101150026ff00750895408102750895409102c0");

// The fake hidapi: devices to enumerate, and the opened device's state, shared by the test, the
// device and the link's reader thread (standard primitives: the thread checker sees them).
struct FakeHid : HidBackend, std::enable_shared_from_this<FakeHid>
{
    QMultiHash<quint32, HIDDeviceInfo> devices; // by vendor and product ID, latest first
    OpenError openError = OpenError::None;
    QString openedPath;
    std::mutex mutex;
    std::condition_variable inputArrived;
    QStringList events; // feature and output reports and the close, in order
    QList<QByteArray> inputs;
    QByteArray descriptor;
    bool readFails = false, writeFails = false, setFails = false, reading = false,
         closedWhileReading = false;

    QList<HIDDeviceInfo> enumerate(quint16 vendorId, quint16 productId) override
    {
        return devices.values(quint32(vendorId) << 16 | productId);
    }
    std::unique_ptr<HidDevice> open(const QString &path, OpenError *error,
                                    QString *reason) override;
    // An input report for the reader, or with none a read error.
    void pushInput(const QByteArray &report = {})
    {
        std::scoped_lock lock(mutex);
        (readFails = report.isEmpty()) ? void() : inputs.push_back(report);
        inputArrived.notify_all();
    }
    QStringList takeEvents() { return std::scoped_lock(mutex), std::exchange(events, {}); }
    // An event that did not fail, as "write", "set", "get" or "close" and the report in hex; the
    // close is the last, so closedWhileReading tells whether the reader was still waiting then.
    int record(const char *kind, const QByteArray &report, bool fails = false)
    {
        std::scoped_lock lock(mutex);
        closedWhileReading = reading;
        events << (fails ? QStringList() : QStringList{(kind + (' ' + report.toHex())).trimmed()});
        return fails ? -1 : report.size();
    }
};

struct FakeHidDevice : HidDevice
{
    std::shared_ptr<FakeHid> hid;
    ~FakeHidDevice() override { hid->record("close", {}); }
    int write(const QByteArray &r) override { return hid->record("write", r, hid->writeFails); }
    int read(QByteArray *report, int timeoutMs) override
    {
        std::unique_lock<std::mutex> lock(hid->mutex);
        hid->reading = true;
        hid->inputArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return !hid->inputs.empty() || hid->readFails; });
        hid->reading = false;
        *report = hid->readFails || hid->inputs.empty() ? QByteArray() : hid->inputs.takeFirst();
        return hid->readFails ? -1 : report->size();
    }
    int sendFeatureReport(const QByteArray &r) override
    {
        return hid->record("set", r, hid->setFails);
    }
    int getFeatureReport(quint8 id, int size, QByteArray *report) override
    {
        return hid->record("get", *report = char(id) + QByteArray(size - 1, 0), hid->setFails);
    }
    QByteArray reportDescriptor() override { return hid->descriptor; }
    QString errorText() override { return QStringLiteral("fake failure"); }
};

std::unique_ptr<HidDevice> FakeHid::open(const QString &path, OpenError *error, QString *reason)
{
    *error = openError;
    *reason = QStringLiteral("refused");
    if (openError != OpenError::None)
        return nullptr;
    openedPath = path;
    auto device = std::make_unique<FakeHidDevice>();
    device->hid = shared_from_this();
    return device;
}

// A selector whose links reach the fake backend; cables: "cp" and/or "ch" plugged in, "kbd" and
// "media" other interfaces of a CH9329. Short read time-outs keep closing fast.
struct Rig : SelectorProbe
{
    explicit Rig(const QString &device, const QString &cables = "cp ch")
        : SelectorProbe(device)
    {
        for (const QString &cable : cables.split(' ', Qt::SkipEmptyParts)) {
            HIDDeviceInfo info;
            info.path = "/dev/hidraw-" + cable;
            info.usagePage = cable == "kbd" ? 0x01 : cable == "media" ? 0x0C : 0xFF00;
            hid->devices.insert(cable == "cp" ? 0x10C4EA80 : 0x1A86E429, info);
        }
        selector.setReadTimeout(10);
        selector.setLinkFactory(
            [backend = hid](const QString &name, const LinkSettings &settings, QString *error) {
                return createLinkWithHid(name, settings, error, backend);
            });
    }
    std::shared_ptr<FakeHid> hid = std::make_shared<FakeHid>();
};

} // namespace

class TestHidLinks : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { logswitch::logOn("klm704.link"); } // warnings reach standard error

    // The CP2110's UART is set up on open and disabled on an orderly close, once the reader has
    // stopped; a cable that failed gets no settings. A written frame becomes output reports, input
    // reports yield their bytes. Either end closes the handle and reports once.
    void everyEndClosesOnce_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<uint>("baudrate");
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QStringList>("openEvents");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QList<QByteArray>>("reports");
        QTest::addColumn<QList<QByteArray>>("inputs");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QString>("end"); // close, read (error) or write (error)
        QTest::addColumn<QStringList>("endEvents");
        const auto uart = [](const char *config) {
            return QStringList{"set 4100", QString("set 50") + config + "00000300", "set 4303",
                               "get 42000000000000", "set 4101"};
        };
        using Reports = QList<QByteArray>;
        const QStringList closed{"close"};
        QByteArray data;
        for (int i = 0; i < 100; ++i)
            data.append(char(i));
        const QByteArray reply = frame::build(QByteArray(14, '\x30'));
        const QByteArray pollReport = fromHex("0006abcd035e01d9") + QByteArray(57, 0);
        // The count comes from byte 0: empty, padded and non-data reports carry no other bytes.
        QTest::newRow("cp2110 115200, two reports, closed")
            << "cp2110" << 115200u << QByteArray() << uart("0001c200") << data
            << Reports{char(63) + data.left(63), char(37) + data.mid(63)}
            << Reports{char(3) + reply.left(3), fromHex("00ffff"),
                       char(16) + reply.mid(3, 16) + fromHex("eeeeee"), 'x' + QByteArray(63, 'x')}
            << reply << "close" << QStringList{"set 4100", "close"};
        QTest::newRow("cp2110 9600, read error")
            << "cp2110" << 9600u << QByteArray() << uart("00002580") << kPoll
            << Reports{fromHex("06abcd035e01d9")} << Reports() << QByteArray() << "read" << closed;
        QTest::newRow("ch9329 unnumbered, padded input, write error")
            << "ch9329" << 9600u << kVendorUnnumbered << QStringList() << kPoll
            << Reports{pollReport} << Reports{fromHex("03abcd10") + QByteArray(61, 0)}
            << fromHex("abcd10") << "write" << closed;
        QTest::newRow("ch9329 report ID 2, 32 bytes, closed")
            << "ch9329" << 9600u << kVendorId2Size32 << QStringList() << kPoll
            << Reports{fromHex("0206abcd035e01d9") + QByteArray(25, 0)}
            << Reports{fromHex("0203abcd10")} << fromHex("abcd10") << "close" << closed;
        QTest::newRow("ch9329 truncated descriptor, read error")
            << "ch9329" << 9600u << fromHex("0600") << QStringList() << kPoll << Reports{pollReport}
            << Reports() << QByteArray() << "read" << closed;
    }

    void everyEndClosesOnce()
    {
        QFETCH(QString, end);
        QFETCH(QByteArray, received);
        Rig rig(FETCHED(QString, device));
        rig.hid->descriptor = FETCHED(QByteArray, descriptor);
        rig.selector.setBaudrate(FETCHED(uint, baudrate));
        QSignalSpy closed(&rig.selector, &DeviceSelector::closed);
        QVERIFY2(rig.selector.open(), qPrintable(rig.selector.errorString()));
        QTEST(rig.hid->takeEvents(), "openEvents");
        QStringList writes;
        for (const QByteArray &report : FETCHED(QList<QByteArray>, reports))
            writes << "write " + report.toHex();
        rig.write(FETCHED(QByteArray, written));
        QCOMPARE(rig.hid->takeEvents(), writes);
        for (const QByteArray &input : FETCHED(QList<QByteArray>, inputs))
            rig.hid->pushInput(input);
        QTRY_COMPARE(rig.received, received);
        QTest::qWait(30); // the reader waits for a report
        rig.hid->writeFails = end == "write";
        end == "read"    ? rig.hid->pushInput()
        : end == "write" ? rig.write(QByteArray(100, 'x'))
                         : rig.selector.close();
        QTRY_COMPARE(closed.size(), 1);
        QVERIFY(!rig.selector.isActived());
        QTEST(rig.hid->takeEvents(), "endEvents");
        QVERIFY(!rig.hid->closedWhileReading);
        rig.selector.close();
        rig.write(kPoll);
        QTest::qWait(30);
        QCOMPARE(closed.size(), 1);
        QCOMPARE(rig.hid->takeEvents(), QStringList());
        QCOMPARE(rig.received, received); // nothing more from padding or non-data reports
    }

    void openChoosesTheCableOrExplainsTheFix_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("cables");
        QTest::addColumn<int>("error"); // how opening the device fails; -1 its settings are refused
        QTest::addColumn<QStringList>("phrases"); // of the error, or the path of the device opened
        const QStringList udev = {"permission denied", "70-klm704.rules",
                                  "udevadm control --reload-rules && sudo udevadm trigger",
                                  "unplug the cable and plug it in again"};
        const auto row = [](const char *name, const char *device, const char *cables,
                            HidBackend::OpenError error, const QStringList &phrases) {
            QTest::newRow(name) << device << cables << int(error) << phrases;
        };
        using E = HidBackend::OpenError;
        // "auto" takes a CH9329 before a CP2110; of a CH9329's interfaces only the vendor one will
        // do.
        row("auto, both, CH9329 interfaces", "auto", "cp ch kbd media", E::None,
            {"/dev/hidraw-ch"});
        row("auto, CP2110 alone", "auto", "cp", E::None, {"/dev/hidraw-cp"});
        row("auto, none", "auto", "", E::None, {"No CH9329 or CP2110 meter cable found"});
        row("no permission", "ch9329", "cp ch", E::PermissionDenied, udev);
        row("in use", "cp2110", "cp ch", E::Busy,
            {"in use by another program", "plug it in again"});
        row("settings refused", "cp2110", "cp ch", E(-1),
            {"refused its settings", "plug it in again"});
    }

    void openChoosesTheCableOrExplainsTheFix()
    {
        QFETCH(QString, device);
        QFETCH(int, error);
        QFETCH(QStringList, phrases);
        Rig rig(device, FETCHED(QString, cables));
        rig.hid->setFails = error < 0;
        rig.hid->openError = HidBackend::OpenError(qMax(error, 0));
        QSignalSpy opened(&rig.selector, &DeviceSelector::opened);
        if (error > 0)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression("^Cannot open device " + device + " : .*cable"));
        const bool opens = phrases.first().startsWith("/dev/");
        QCOMPARE(rig.selector.open(), opens);
        QCOMPARE(opened.size(), int(opens));
        QCOMPARE(rig.selector.isActived(), opens);
        if (opens) {
            QCOMPARE(rig.hid->openedPath, phrases.first());
            return;
        }
        for (const QString &phrase : phrases)
            QVERIFY2(rig.selector.errorString().contains(phrase),
                     qPrintable(rig.selector.errorString()));
        // A device that was opened is closed again; none is opened when no cable will do.
        QCOMPARE(rig.hid->takeEvents(), error < 0 ? QStringList{"close"} : QStringList());
        QCOMPARE(rig.hid->openedPath.isEmpty(), error != -1);
    }
};

QTEST_GUILESS_MAIN(TestHidLinks)
#include "tst_hidlinks.moc"
