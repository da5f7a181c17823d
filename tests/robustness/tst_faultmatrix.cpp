// Every plug-in, over TCP and over a pseudo-terminal (the MC ones over UDP
// too), through every fault the
// simulator injects: the status the host gets for a read and a write under the
// fault, that a read reporting success carries exactly the simulator's memory,
// that the link is usable again once the fault is gone (after ConnectDrive where
// the connection was lost), and that no call blocks past the link's time-outs.
// The plug-ins are loaded from the built libraries and driven only through
// CDriveBaseClass, as plchost drives them.

#include "PlcSimulator.h"
#include "RobustSupport.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSet>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace robust;

namespace {

// No call may take this long. The FX links give up after a few hundred
// milliseconds, the MC links after the PLC's 2.5 s monitoring timer, and on a
// serial line a call after a failed one first waits for the line to stay quiet
// that long; this bound only catches a hang.
constexpr qint64 HangGuardMs = 8000;
// Past the answer time-outs of the FX links, within the MC monitoring timer.
constexpr int LateMs = 1000;
// The first hold-back period of a PLC that stopped answering.
constexpr int HoldBackFirstMs = 1000;

struct Expect {
    QSet<int> read;
    QSet<int> write;
};

struct Row {
    QString plugin, medium, fault;
    int readStatus, writeStatus;
    bool reconnected, recovered;
};

QList<Row> g_rows;

// Warnings and Qt's own complaints, for the checks that look for them.
QStringList g_warnings;
void keepWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << text;
}

// Every plug-in on both media: data rows "Name/medium".
void pluginMediumRows(bool tcpToo = true)
{
    QTest::addColumn<int>("plugin");
    QTest::addColumn<QString>("kind");
    for (int p = 0; p < plugins().size(); ++p)
        for (const char *kind : {"tcp", "pty"})
            if (tcpToo || QLatin1String(kind) == QLatin1String("pty"))
                QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(plugins().at(p).name),
                                                                     QLatin1String(kind))))
                    << p << QString::fromLatin1(kind);
}

} // namespace

class tst_FaultMatrix : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void fault_data();
    void fault();
    void faultInLaterPiece_data();
    void faultInLaterPiece();
    void lateInOrder_data();
    void lateInOrder();
    void largestFrameOnSlowLine_data();
    void largestFrameOnSlowLine();
    void threadRules_data();
    void threadRules();
    void mediumSwitching_data();
    void mediumSwitching();

private:
    struct Medium {
        QString endpoint;    // what the simulator serves
        QString connectText; // what the host hands ConnectDrive
        DriverPtr driver;
    };
    static QStringList kinds(const PluginInfo &info)
    {
        QStringList k = {QStringLiteral("tcp"), QStringLiteral("pty")};
        if (info.protocol[0] == 'm')
            k << QStringLiteral("udp");
        return k;
    }
    Medium &medium(int plugin, const QString &kind) { return m_media[plugin * 3 + kinds(plugins().at(plugin)).indexOf(kind)]; }

    std::unique_ptr<PlcSimulator> m_sim;
    std::vector<Medium> m_media;
    quint16 m_seed = 0x1234;
    quint16 nextWord() { m_seed = quint16(m_seed * 25173 + 13849); return m_seed; }
};

void tst_FaultMatrix::initTestCase()
{
    m_sim = std::make_unique<PlcSimulator>();
    m_media.resize(plugins().size() * 3);
    for (int p = 0; p < plugins().size(); ++p) {
        const PluginInfo &info = plugins().at(p);
        for (const QString &kind : kinds(info)) {
            QString error;
            Medium &m = medium(p, kind);
            const bool pty = kind == QLatin1String("pty"), udp = kind == QLatin1String("udp");
            m.endpoint = m_sim->addEndpoint(QLatin1String(info.protocol),
                                            QLatin1String(pty ? "pty" : udp ? "udp:127.0.0.1:0" : "127.0.0.1:0"),
                                            &error);
            QVERIFY2(!m.endpoint.isEmpty(), qPrintable(error));
            m.connectText = pty ? m.endpoint + QLatin1String(info.serial) : m.endpoint.mid(udp ? 4 : 0);
            m.driver = loadDriver(QLatin1String(info.name), &error);
            QVERIFY2(m.driver, qPrintable(error));
            if (udp)
                m.driver->SetConnectPar(QStringLiteral("transport=udp"));
            QCOMPARE(m.driver->ConnectDrive(m.connectText), 0);
        }
    }
}

void tst_FaultMatrix::cleanupTestCase()
{
    qInfo().noquote() << QStringLiteral("fault matrix: %1 rows").arg(g_rows.size());
    qInfo().noquote() << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                             .arg(QStringLiteral("plug-in"), -9)
                             .arg(QStringLiteral("medium"), -6)
                             .arg(QStringLiteral("fault"), -13)
                             .arg(QStringLiteral("read"), 4)
                             .arg(QStringLiteral("write"), 5)
                             .arg(QStringLiteral("reconnect"), 9)
                             .arg(QStringLiteral("recovered"));
    for (const Row &r : qAsConst(g_rows))
        qInfo().noquote() << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                                 .arg(r.plugin, -9)
                                 .arg(r.medium, -6)
                                 .arg(r.fault, -13)
                                 .arg(r.readStatus, 4)
                                 .arg(r.writeStatus, 5)
                                 .arg(r.reconnected ? QStringLiteral("yes") : QStringLiteral("no"), 9)
                                 .arg(r.recovered ? QStringLiteral("yes") : QStringLiteral("NO"));
    m_media.clear();
    m_sim.reset();
}

void tst_FaultMatrix::fault_data()
{
    QTest::addColumn<int>("plugin");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("fault");

    const QStringList faults = {
        QStringLiteral("noanswer"), QStringLiteral("late:%1").arg(LateMs), QStringLiteral("split:20"),
        QStringLiteral("truncate"), QStringLiteral("garbage"), QStringLiteral("badsum"),
        QStringLiteral("nak"), QStringLiteral("close"), QStringLiteral("restart"),
        QStringLiteral("noise:00FF"), QStringLiteral("vanish")};
    // CTest runs the rows of one plug-in per process (FAULTMATRIX_PLUGIN), side by side.
    const QByteArray only = qgetenv("FAULTMATRIX_PLUGIN");
    for (int p = 0; p < plugins().size(); ++p)
        for (const QString &kind : kinds(plugins().at(p)))
            for (const QString &f : only.isEmpty() || only == plugins().at(p).name ? faults : QStringList()) {
                // Stopping and restarting an endpoint is a TCP matter: a pty
                // or UDP port that goes silent is the noanswer row.
                if (f == QLatin1String("restart") && kind != QLatin1String("tcp"))
                    continue;
                // Only the FX answers have a start byte to find behind noise;
                // a device that goes away for good is a serial matter.
                if ((f.startsWith(QLatin1String("noise")) && plugins().at(p).protocol[0] != 'f')
                    || (f == QLatin1String("vanish") && kind != QLatin1String("pty")))
                    continue;
                QTest::newRow(qPrintable(QStringLiteral("%1/%2/%3").arg(QLatin1String(plugins().at(p).name), kind, f)))
                    << p << kind << f;
            }
}

void tst_FaultMatrix::fault()
{
    QFETCH(int, plugin);
    QFETCH(QString, kind);
    QFETCH(QString, fault);
    const PluginInfo &info = plugins().at(plugin);
    Medium &m = medium(plugin, kind);
    CDriveBaseClass *d = m.driver.get();
    const bool tcp = kind == QLatin1String("tcp");
    const QString name = fault.section(QLatin1Char(':'), 0, 0);
    const bool fx = info.protocol[0] == 'f';

    // What the host must get under the fault.
    Expect expect;
    if (name == QLatin1String("noanswer") || (name == QLatin1String("late") && fx)) {
        expect = {{8}, {8}};
    } else if (name == QLatin1String("late")) {
        expect = {{0}, {0}};  // the MC links wait the PLC's monitoring timer
    } else if (name == QLatin1String("split")) {
        // The pause is shorter than the time-out: one answer; but over UDP
        // each half is a datagram, and the first is a cut answer.
        expect = kind == QLatin1String("udp") ? Expect{{7}, {7}} : Expect{{0}, {0}};
    } else if (name == QLatin1String("truncate")) {
        // Half an answer is a bad answer; half of the programming port's
        // one-byte ACK is none at all.
        expect = {{7}, info.protocol == QLatin1String("fxport") ? QSet<int>{8} : QSet<int>{7}};
    } else if (name == QLatin1String("garbage") || name == QLatin1String("nak")) {
        expect = {{7}, {7}};
    } else if (name == QLatin1String("badsum")) {
        // The FX acknowledgements carry no sum: the simulator leaves them as
        // they are, so writes still succeed there.
        expect = {{7}, fx ? QSet<int>{0} : QSet<int>{7}};
    } else if (name == QLatin1String("close")) {
        // TCP: the connection goes; the request either finds it gone (9) or
        // waits in vain (8). pty: nothing is sent back.
        expect = tcp ? Expect{{8, 9}, {8, 9}} : Expect{{8}, {8}};
    } else if (name == QLatin1String("restart") || name == QLatin1String("vanish")) {
        expect = {{8, 9}, {8, 9}};
    } else if (name == QLatin1String("noise")) {
        expect = {{0}, {0}};  // stray bytes before the answer are skipped
    }
    const bool vanish = name == QLatin1String("vanish");
    const bool connectionLost = vanish || (tcp && (name == QLatin1String("close") || name == QLatin1String("restart")));
    g_warnings.clear();
    const QtMessageHandler previousHandler = qInstallMessageHandler(keepWarnings);
    auto restoreHandler = qScopeGuard([&] { qInstallMessageHandler(previousHandler); });

    m_sim->clearFaults();
    const QList<unsigned short> before = {nextWord(), nextWord()};
    m_sim->setWord('D', 100, before[0]);
    m_sim->setWord('D', 101, before[1]);
    auto memory = [&] {
        return QList<unsigned short>{m_sim->word('D', 100), m_sim->word('D', 101)};
    };

    if (name == QLatin1String("restart")) {
        m_sim->stopEndpoint(m.endpoint);
    } else {
        QString error;
        QVERIFY2(m_sim->addFault(fault, &error), qPrintable(error));
    }

    const int connections = m_sim->connectionCount();
    QElapsedTimer timer;
    timer.start();
    const CLabelVariable r = d->ReadVariable(QStringLiteral("D100"), DT_UInt16, 2);
    QVERIFY2(timer.elapsed() < HangGuardMs, qPrintable(QString::number(timer.elapsed())));
    if (r.status == 0)
        QCOMPARE(wordsText(wordsOf(r)), wordsText(memory()));
    QVERIFY2(expect.read.contains(r.status), qPrintable(QStringLiteral("read status %1").arg(r.status)));
    // No quiet period after a late answer: the next request follows at once.

    const QList<unsigned short> written = {nextWord(), nextWord()};
    const QList<unsigned short> memBefore = memory();
    timer.restart();
    const CLabelVariable w = d->WriteVariable(QStringLiteral("D100"), DT_UInt16, wordsLabel(written), 2);
    QVERIFY2(timer.elapsed() < HangGuardMs, qPrintable(QString::number(timer.elapsed())));
    if (w.status == 0)
        QCOMPARE(wordsText(memory()), wordsText(written));
    if (name == QLatin1String("nak"))  // a refused write changes nothing
        QCOMPARE(wordsText(memory()), wordsText(memBefore));
    QVERIFY2(expect.write.contains(w.status), qPrintable(QStringLiteral("write status %1").arg(w.status)));

    // The fault is gone.
    m_sim->clearFaults();
    if (r.status == 8 && w.status == 8) {
        // Two requests without an answer: the PLC is held back, calls return
        // at once with nothing sent, until the next probe time.
        const int sent = m_sim->requestCount();
        timer.restart();
        QCOMPARE(d->ReadVariable(QStringLiteral("D100"), DT_UInt16, 2).status, 8);
        QVERIFY2(timer.elapsed() < 100 && m_sim->requestCount() == sent, qPrintable(QString::number(timer.elapsed())));
        QTest::qWait(HoldBackFirstMs);
    }
    if (name == QLatin1String("restart"))
        QVERIFY(m_sim->restartEndpoint(m.endpoint));
    if (connectionLost) {
        // Nothing reconnects by itself: the lost link is reported, not used.
        QTest::qWait(50);
        const int sent = m_sim->requestCount();
        timer.restart();
        const CLabelVariable lost = d->ReadVariable(QStringLiteral("D100"), DT_UInt16, 2);
        QVERIFY(timer.elapsed() < HangGuardMs);
        QCOMPARE(lost.status, 9);
        QCOMPARE(m_sim->requestCount(), sent);
        if (vanish) {
            // Reported once, in the TCP line's form: port name, port 0.
            const QString port = m.endpoint.mid(int(strlen("/dev/")));
            QCOMPARE(g_warnings.filter(QStringLiteral("]%1:0 Disconnected=").arg(port)).size(), 1);
            // The device comes back (here: a new one) and a connect takes it.
            m.endpoint = m_sim->addEndpoint(QLatin1String(info.protocol), QStringLiteral("pty"));
            m.connectText = m.endpoint + QLatin1String(info.serial);
        }
        QCOMPARE(d->ConnectDrive(m.connectText), 0);
    }
    const QList<unsigned short> again = {nextWord(), nextWord()};
    timer.restart();
    const CLabelVariable w2 = d->WriteVariable(QStringLiteral("D100"), DT_UInt16, wordsLabel(again), 2);
    const CLabelVariable r2 = d->ReadVariable(QStringLiteral("D100"), DT_UInt16, 2);
    QVERIFY(timer.elapsed() < HangGuardMs);
    const bool recovered = w2.status == 0 && r2.status == 0 && wordsOf(r2) == again && memory() == again;
    g_rows << Row{QLatin1String(info.name), kind, name, r.status, w.status, connectionLost, recovered};
    QCOMPARE(w2.status, 0);
    QCOMPARE(r2.status, 0);
    // A refusal with its error code is a whole answer: the link is kept (the
    // programming port's lone NAK byte is told from noise by nothing).
    if (name == QLatin1String("nak") && tcp && info.protocol != QLatin1String("fxport"))
        QCOMPARE(m_sim->connectionCount(), connections);
    QCOMPARE(wordsText(wordsOf(r2)), wordsText(again));
    QCOMPARE(wordsText(memory()), wordsText(again));
}

// A transfer larger than one request carries goes out in pieces; a fault on a
// later piece must fail the whole call (no status 0 with part of the data), and
// the next call must succeed.
void tst_FaultMatrix::faultInLaterPiece_data()
{
    QTest::addColumn<int>("plugin");
    QTest::addColumn<QString>("fault");
    for (int p = 0; p < plugins().size(); ++p)
        for (const char *f : {"noanswer", "garbage", "nak"})
            QTest::newRow(qPrintable(QStringLiteral("%1/tcp/%2").arg(QLatin1String(plugins().at(p).name),
                                                                     QLatin1String(f))))
                << p << QString::fromLatin1(f);
}

void tst_FaultMatrix::faultInLaterPiece()
{
    QFETCH(int, plugin);
    QFETCH(QString, fault);
    constexpr int Words = 2000;  // at least three requests on every plug-in
    Medium &m = medium(plugin, QStringLiteral("tcp"));
    CDriveBaseClass *d = m.driver.get();
    m_sim->clearFaults();
    QList<unsigned short> memory;
    for (int i = 0; i < Words; ++i) {
        memory << nextWord();
        m_sim->setWord('D', 100 + i, memory.last());
    }
    auto simMemory = [&] {
        QList<unsigned short> l;
        for (int i = 0; i < Words; ++i)
            l << m_sim->word('D', 100 + i);
        return l;
    };

    // The fault hits the second request of the next call (and no other: its
    // multiples lie far beyond this test).
    QString error;
    QVERIFY2(m_sim->addFault(QStringLiteral("%1@%2").arg(fault).arg(m_sim->requestCount() + 2), &error),
             qPrintable(error));
    QElapsedTimer timer;
    timer.start();
    const CLabelVariable r = d->ReadVariable(QStringLiteral("D100"), DT_UInt16, Words);
    QVERIFY(timer.elapsed() < HangGuardMs);
    QVERIFY2(r.status == 7 || r.status == 8, qPrintable(QString::number(r.status)));
    m_sim->clearFaults();
    const CLabelVariable whole = d->ReadVariable(QStringLiteral("D100"), DT_UInt16, Words);
    QCOMPARE(whole.status, 0);
    QVERIFY(wordsOf(whole) == memory);

    // The 3E link gives a write piece of 960 words the time-out its rule sets
    // for 1920 bytes (23 s): only the refusal, which comes back at once, is
    // run there, so the test stays short.
    if (QLatin1String(plugins().at(plugin).protocol) == QLatin1String("mc3e") && fault != QLatin1String("nak"))
        return;
    QList<unsigned short> written;
    for (int i = 0; i < Words; ++i)
        written << nextWord();
    QVERIFY(m_sim->addFault(QStringLiteral("%1@%2").arg(fault).arg(m_sim->requestCount() + 2), &error));
    timer.restart();
    const CLabelVariable w = d->WriteVariable(QStringLiteral("D100"), DT_UInt16, wordsLabel(written), Words);
    QVERIFY(timer.elapsed() < HangGuardMs);
    QVERIFY2(w.status == 7 || w.status == 8, qPrintable(QString::number(w.status)));
    QVERIFY(simMemory() != written);  // the pieces after the failed one never went out
    m_sim->clearFaults();
    const CLabelVariable w2 = d->WriteVariable(QStringLiteral("D100"), DT_UInt16, wordsLabel(written), Words);
    QCOMPARE(w2.status, 0);
    QVERIFY(simMemory() == written);
}

// A PLC answers one read late but in order while the host polls back to back:
// no read may carry another request's value, at most the late one fails, and
// the reads after it succeed without any host action.
void tst_FaultMatrix::lateInOrder_data()
{
    pluginMediumRows();
}

void tst_FaultMatrix::lateInOrder()
{
    QFETCH(int, plugin);
    QFETCH(QString, kind);
    CDriveBaseClass *d = medium(plugin, kind).driver.get();
    m_sim->clearFaults();
    while (m_sim->requestCount() < 6)  // @N hits every Nth request: only one of the six
        d->ReadVariable(QStringLiteral("D200"), DT_UInt16, 1);
    for (int i = 0; i < 6; ++i)
        m_sim->setWord('D', 200 + i, quint16(0x1100 + i));
    QVERIFY(m_sim->addFault(QStringLiteral("late:600@%1").arg(m_sim->requestCount() + 1)));
    int failed = 0;
    for (int i = 0; i < 6; ++i) {
        const CLabelVariable r = d->ReadVariable(QStringLiteral("D%1").arg(200 + i), DT_UInt16, 1);
        if (r.status == 0)
            QCOMPARE(wordsText(wordsOf(r)), wordsText({quint16(0x1100 + i)}));
        else
            QVERIFY2(i == 0 && r.status == 8, qPrintable(QStringLiteral("read %1: %2").arg(i).arg(r.status)));
        failed += r.status != 0;
    }
    QVERIFY(failed <= 1);
    m_sim->clearFaults();
}

// The largest single-frame write and read of each FX plug-in on a 4800-baud
// line that the simulator paces like a real one.
void tst_FaultMatrix::largestFrameOnSlowLine_data()
{
    QTest::addColumn<int>("plugin");
    QTest::addColumn<int>("words");
    QTest::newRow("Kelvaro") << 0 << 32;  // 64 bytes a request
    QTest::newRow("Lunetta") << 1 << 64;  // 64 words a WR or WW
}

void tst_FaultMatrix::largestFrameOnSlowLine()
{
    QFETCH(int, plugin);
    QFETCH(int, words);
    const PluginInfo &info = plugins().at(plugin);
    m_sim->clearFaults();
    const QString endpoint = m_sim->addEndpoint(QLatin1String(info.protocol), QStringLiteral("pty,4800"));
    QVERIFY(!endpoint.isEmpty());
    QString error;
    DriverPtr d = loadDriver(QLatin1String(info.name), &error);
    QVERIFY2(d, qPrintable(error));
    QCOMPARE(d->ConnectDrive(endpoint + QLatin1String(",4800,7,1,E")), 0);
    QList<unsigned short> values;
    for (int i = 0; i < words; ++i)
        values << nextWord();
    QCOMPARE(d->WriteVariable(QStringLiteral("D300"), DT_UInt16, wordsLabel(values), words).status, 0);
    const CLabelVariable r = d->ReadVariable(QStringLiteral("D300"), DT_UInt16, words);
    QCOMPARE(r.status, 0);
    QCOMPARE(wordsText(wordsOf(r)), wordsText(values));
}

// Every interface call from a thread that does not own the driver, while the
// owner (a std::thread) is idle or waits for an answer: refused with 6 and
// nothing sent or closed, except a connect of an idle link (which moves it) and
// a release (which ends the owner's wait at once). No Qt warnings either way.
void tst_FaultMatrix::threadRules_data()
{
    QTest::addColumn<int>("plugin");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("stdThread");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("result");     // of the foreign call
    QTest::addColumn<int>("ownerNext");  // the owner's next read
    struct Call { const char *name; int idle, busy, nextIdle, nextBusy; };
    const Call calls[] = {{"read", 6, 6, 0, 0}, {"write", 6, 6, 0, 0}, {"disconnect", 6, 6, 0, 0},
                          {"connect", 0, 6, 6, 0}, {"destroy", 0, 0, 9, 9}};
    struct Setup { int plugin; const char *kind; };
    for (const Setup &setup : {Setup{3, "tcp"}, Setup{0, "pty"}})
        for (const Call &c : calls)
            for (bool stdThread : {false, true})
                for (bool busy : {false, true})
                    QTest::newRow(qPrintable(QStringLiteral("%1/%2 %3 from %4 %5")
                                                 .arg(QLatin1String(plugins().at(setup.plugin).name),
                                                      QLatin1String(setup.kind), QLatin1String(c.name),
                                                      QLatin1String(stdThread ? "std::thread" : "QThread"),
                                                      QLatin1String(busy ? "busy" : "idle"))))
                        << setup.plugin << QString::fromLatin1(setup.kind) << QString::fromLatin1(c.name)
                        << stdThread << busy << (busy ? c.busy : c.idle) << (busy ? c.nextBusy : c.nextIdle);
}

void tst_FaultMatrix::threadRules()
{
    QFETCH(int, plugin);
    QFETCH(QString, kind);
    QFETCH(QString, call);
    QFETCH(bool, stdThread);
    QFETCH(bool, busy);
    QFETCH(int, result);
    QFETCH(int, ownerNext);
    const PluginInfo &info = plugins().at(plugin);
    m_sim->clearFaults();
    QString error;
    DriverPtr d = loadDriver(QLatin1String(info.name), &error);
    QVERIFY2(d, qPrintable(error));
    g_warnings.clear();
    const QtMessageHandler previousHandler = qInstallMessageHandler(keepWarnings);
    auto restoreHandler = qScopeGuard([&] { qInstallMessageHandler(previousHandler); });
    const QString endpoint = m_sim->addEndpoint(QLatin1String(info.protocol),
                                                kind == QLatin1String("tcp") ? QStringLiteral("127.0.0.1:0")
                                                                             : QStringLiteral("pty"));
    const QString connectText = kind == QLatin1String("tcp") ? endpoint : endpoint + QLatin1String(info.serial);
    m_sim->setWord('D', 400, 0x4242);
    if (busy)
        QVERIFY(m_sim->addFault(QStringLiteral("late:250@%1").arg(m_sim->requestCount() + 2)));
    std::atomic<int> stage{0};
    int connected = -1, first = -1, waited = 0, next = -1;
    std::thread owner([&] {
        connected = d->ConnectDrive(connectText);
        first = d->ReadVariable(QStringLiteral("D400"), DT_UInt16, 1).status;
        stage = 1;
        if (busy)
            waited = d->ReadVariable(QStringLiteral("D400"), DT_UInt16, 1).status;
        while (stage < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        next = d->ReadVariable(QStringLiteral("D400"), DT_UInt16, 1).status;
    });
    QTRY_VERIFY(stage == 1);
    QThread::msleep(100);  // a busy owner waits for its late answer now
    const int sent = m_sim->requestCount();
    int got = -100;
    QElapsedTimer clock;
    clock.start();
    auto foreign = [&] {
        if (call == QLatin1String("read"))
            got = d->ReadVariable(QStringLiteral("D400"), DT_UInt16, 1).status;
        else if (call == QLatin1String("write"))
            got = d->WriteVariable(QStringLiteral("D400"), DT_UInt16, wordsLabel({1}), 1).status;
        else if (call == QLatin1String("disconnect"))
            got = d->DisConnectDrive();
        else if (call == QLatin1String("connect"))
            got = d->ConnectDrive(connectText);
        else
            got = d->DestroyFree();
    };
    if (stdThread) {
        std::thread(foreign).join();
    } else {
        QScopedPointer<QThread> other(QThread::create(foreign));
        other->start();
        QVERIFY(other->wait(HangGuardMs));
    }
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    const int sentByOthers = m_sim->requestCount() - sent;
    stage = 2;
    owner.join();
    QCOMPARE(got, result);
    if (result == 6)
        QCOMPARE(sentByOthers, 0);
    QCOMPARE(connected, 0);
    QCOMPARE(first, 0);
    QCOMPARE(waited, busy && call == QLatin1String("destroy") ? 9 : 0);
    QCOMPARE(next, ownerNext);
    QCOMPARE(m_sim->word('D', 400), quint16(0x4242));  // nothing was written
    QVERIFY2(g_warnings.filter(QStringLiteral("QObject")).isEmpty()
                 && g_warnings.filter(QStringLiteral("QSocketNotifier")).isEmpty(),
             qPrintable(g_warnings.join(QLatin1Char('\n'))));
    m_sim->clearFaults();
}

QTEST_MAIN(tst_FaultMatrix)
// One driver object moved between TCP and a serial line and back, as a host
// that re-configures a channel at run time does: every read is good.
void tst_FaultMatrix::mediumSwitching_data()
{
    pluginMediumRows(false);
}

void tst_FaultMatrix::mediumSwitching()
{
    QFETCH(int, plugin);
    const PluginInfo &info = plugins().at(plugin);
    QString error;
    DriverPtr d = loadDriver(QLatin1String(info.name), &error);
    QVERIFY2(d, qPrintable(error));
    m_sim->clearFaults();
    // Endpoints of its own: the matrix's drivers hold theirs.
    const QString tcp = m_sim->addEndpoint(QLatin1String(info.protocol), QStringLiteral("127.0.0.1:0"));
    const QString pty = m_sim->addEndpoint(QLatin1String(info.protocol), QStringLiteral("pty"))
                        + QLatin1String(info.serial);
    for (const QString &text : {tcp, pty, tcp, pty}) {
        const quint16 value = nextWord();
        m_sim->setWord('D', 500, value);
        QCOMPARE(d->ConnectDrive(text), 0);
        const CLabelVariable r = d->ReadVariable(QStringLiteral("D500"), DT_UInt16, 1);
        QCOMPARE(r.status, 0);
        QCOMPARE(wordsText(wordsOf(r)), wordsText({value}));
        QCOMPARE(d->DisConnectDrive(), 0);
    }
}

#include "tst_faultmatrix.moc"
