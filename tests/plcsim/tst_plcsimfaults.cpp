// Fault injection of the simulator: every kind, on every protocol where the kind
// looks different, on TCP and on a pseudo-terminal, every Nth request, and what
// a write does to memory under each kind.
#include "PlcSimulator.h"
#include "SimTestSupport.h"

#include <QtTest>

using namespace simtest;

namespace {
// Requests and their normal answers (see tst_plcsimprotocols for the sources).
const char *kMc3eRead = "500000FFFF03000C00 0A00 0104 0000 640000 A8 0100";
const char *kMc3eReadAnswer = "D00000FFFF0300 0400 0000 3412";
const char *kMc1eRead = "01 FF 0A00 64000000 2044 01 00";
const char *kFxlinkRead = "<ENQ>00FFWR0D0100012B";
const char *kFxportRead = "<STX>E0040C802<ETX>E9";
}

class tst_PlcSimFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void faultKinds_data();
    void faultKinds();
    void parse_data();
    void parse();
    void everyNth();
    void firstMatchingFaultWins();
    void faultsSpareErrorAnswers();
    void writesUnderFaults_data();
    void writesUnderFaults();
    void faultsOnPty_data();
    void faultsOnPty();
    void clearFaults();

private:
    PlcSimulator m_sim;
    QMap<QString, QString> m_endpoints;
};

void tst_PlcSimFaults::initTestCase()
{
    for (const QString &p : {QStringLiteral("fxport"), QStringLiteral("fxlink"), QStringLiteral("mc1e"), QStringLiteral("mc3e")}) {
        QString error;
        const QString ep = m_sim.addEndpoint(p, QStringLiteral("127.0.0.1:0"), &error);
        QVERIFY2(!ep.isEmpty(), qPrintable(error));
        m_endpoints.insert(p, ep);
    }
}

void tst_PlcSimFaults::init()
{
    m_sim.clearFaults();
    m_sim.clearMemory();
    m_sim.setWord('D', 100, 0x1234);
}

void tst_PlcSimFaults::faultKinds_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("first");     // what comes at once
    QTest::addColumn<int>("pauseMs");          // then silence for about this long
    QTest::addColumn<QByteArray>("rest");      // and then this
    QTest::addColumn<bool>("closed");          // the connection is closed by the PLC

    const QByteArray mc3e = hex(kMc3eRead);
    const QByteArray mc3eAnswer = hex(kMc3eReadAnswer);
    QTest::newRow("mc3e noanswer") << "mc3e" << "noanswer" << mc3e << QByteArray() << 400 << QByteArray() << false;
    QTest::newRow("mc3e late") << "mc3e" << "late:400" << mc3e << QByteArray() << 400 << mc3eAnswer << false;
    QTest::newRow("mc3e split") << "mc3e" << "split:400" << mc3e << mc3eAnswer.left(6) << 400 << mc3eAnswer.mid(6) << false;
    QTest::newRow("mc3e truncate") << "mc3e" << "truncate" << mc3e << mc3eAnswer.left(6) << 300 << QByteArray() << false;
    QTest::newRow("mc3e garbage") << "mc3e" << "garbage" << mc3e << hex("FFA5FFA5FFA5FFA5FFA5FFA5FF") << 0 << QByteArray() << false;
    QTest::newRow("mc3e badsum: data length one too large") << "mc3e" << "badsum" << mc3e
        << hex("D00000FFFF0300 0500 0000 3412") << 0 << QByteArray() << false;
    QTest::newRow("mc3e nak default C059") << "mc3e" << "nak" << mc3e
        << hex("D00000FFFF0300 0B00 59C0 00FFFF0300 0104 0000") << 0 << QByteArray() << false;
    QTest::newRow("mc3e nak C056") << "mc3e" << "nak:C056" << mc3e
        << hex("D00000FFFF0300 0B00 56C0 00FFFF0300 0104 0000") << 0 << QByteArray() << false;
    QTest::newRow("mc3e close") << "mc3e" << "close" << mc3e << QByteArray() << 0 << QByteArray() << true;

    const QByteArray mc1e = hex(kMc1eRead);
    QTest::newRow("mc1e badsum: subheader without answer bit") << "mc1e" << "badsum" << mc1e << hex("01 00 3412") << 0 << QByteArray() << false;
    QTest::newRow("mc1e nak default 5B 10") << "mc1e" << "nak" << mc1e << hex("81 5B 10") << 0 << QByteArray() << false;
    QTest::newRow("mc1e nak 51") << "mc1e" << "nak:51" << mc1e << hex("81 51") << 0 << QByteArray() << false;
    QTest::newRow("mc1e split") << "mc1e" << "split:300" << mc1e << hex("8100") << 300 << hex("3412") << false;
    QTest::newRow("mc1e garbage") << "mc1e" << "garbage" << mc1e << hex("FFA5FFA5") << 0 << QByteArray() << false;
    QTest::newRow("mc1e close") << "mc1e" << "close" << mc1e << QByteArray() << 0 << QByteArray() << true;

    const QByteArray fxlink = ascii(kFxlinkRead);
    QTest::newRow("fxlink badsum") << "fxlink" << "badsum" << fxlink << ascii("<STX>00FF1234<ETX>13") << 0 << QByteArray() << false;
    QTest::newRow("fxlink nak default 02") << "fxlink" << "nak" << fxlink << ascii("<NAK>00FF02") << 0 << QByteArray() << false;
    QTest::newRow("fxlink nak 06") << "fxlink" << "nak:06" << fxlink << ascii("<NAK>00FF06") << 0 << QByteArray() << false;
    QTest::newRow("fxlink truncate") << "fxlink" << "truncate" << fxlink << ascii("<STX>00FF1") << 300 << QByteArray() << false;
    QTest::newRow("fxlink late") << "fxlink" << "late:300" << fxlink << QByteArray() << 300 << ascii("<STX>00FF1234<ETX>B9") << false;

    const QByteArray fxport = ascii(kFxportRead);
    QTest::newRow("fxport badsum") << "fxport" << "badsum" << fxport << ascii("<STX>3412<ETX>27") << 0 << QByteArray() << false;
    QTest::newRow("fxport nak") << "fxport" << "nak" << fxport << ascii("<NAK>") << 0 << QByteArray() << false;
    QTest::newRow("fxport garbage") << "fxport" << "garbage" << fxport << hex("FFA5FFA5FFA5FFA5") << 0 << QByteArray() << false;
    QTest::newRow("fxport noanswer") << "fxport" << "noanswer" << fxport << QByteArray() << 300 << QByteArray() << false;
    QTest::newRow("fxport split") << "fxport" << "split:300" << fxport << ascii("<STX>341") << 300 << ascii("2<ETX>CD") << false;
    QTest::newRow("fxport close") << "fxport" << "close" << fxport << QByteArray() << 0 << QByteArray() << true;
    QTest::newRow("fxport noise") << "fxport" << "noise:00FF" << fxport << hex("00FF") + ascii("<STX>3412<ETX>CD")
                                  << 0 << QByteArray() << false;
    QTest::newRow("mc1e vanish drops TCP") << "mc1e" << "vanish" << mc1e << QByteArray() << 0 << QByteArray() << true;
}

void tst_PlcSimFaults::faultKinds()
{
    QFETCH(QString, protocol);
    QFETCH(QString, fault);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, first);
    QFETCH(int, pauseMs);
    QFETCH(QByteArray, rest);
    QFETCH(bool, closed);

    QString error;
    QVERIFY2(m_sim.addFault(fault, &error), qPrintable(error));
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(protocol)));
    c.send(request);
    if (!first.isEmpty())
        QCOMPARE(c.read(first.size(), 3000).toHex(' '), first.toHex(' '));
    if (pauseMs > 0)   // nothing more during the pause (half of it, to allow for scheduling)
        QCOMPARE(c.readFor(pauseMs / 2).toHex(' '), QByteArray());
    if (!rest.isEmpty())
        QCOMPARE(c.read(rest.size(), pauseMs + 3000).toHex(' '), rest.toHex(' '));
    if (closed) {
        QVERIFY(c.waitForDisconnect(3000));
        QCOMPARE(c.socket().state(), QAbstractSocket::UnconnectedState);
    } else {
        QCOMPARE(c.readFor(50).toHex(' '), QByteArray());
        QVERIFY(c.connected());
    }
}

void tst_PlcSimFaults::parse_data()
{
    QTest::addColumn<QString>("faultText");
    QTest::addColumn<bool>("valid");
    QTest::newRow("noanswer") << "noanswer" << true;
    QTest::newRow("late:10@3") << "late:10@3" << true;
    QTest::newRow("split:0") << "split:0" << true;
    QTest::newRow("nak") << "nak" << true;
    QTest::newRow("nak:0xC056") << "nak:0xC056" << true;
    QTest::newRow("NAK:5b upper-case kind") << "NAK:5b" << true;
    QTest::newRow("close@1") << "close@1" << true;
    QTest::newRow("noise:0a15") << "noise:0a15" << true;
    QTest::newRow("vanish") << "vanish" << true;
    QTest::newRow("noise without bytes") << "noise" << false;
    QTest::newRow("noise:0G") << "noise:0G" << false;
    QTest::newRow("noise:123 odd digits") << "noise:123" << false;
    QTest::newRow("vanish:1") << "vanish:1" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("unknown kind") << "bogus" << false;
    QTest::newRow("late without ms") << "late" << false;
    QTest::newRow("late:x") << "late:x" << false;
    QTest::newRow("split:-1") << "split:-1" << false;
    QTest::newRow("nak:G1") << "nak:G1" << false;
    QTest::newRow("nak:10000 too big") << "nak:10000" << false;
    QTest::newRow("truncate:5 takes no argument") << "truncate:5" << false;
    QTest::newRow("@0") << "noanswer@0" << false;
    QTest::newRow("@x") << "noanswer@x" << false;
    QTest::newRow("@-2") << "garbage@-2" << false;
}

void tst_PlcSimFaults::parse()
{
    QFETCH(QString, faultText);
    QFETCH(bool, valid);
    QString error;
    QCOMPARE(m_sim.addFault(faultText, &error), valid);
    QCOMPARE(error.isEmpty(), valid);
    QVERIFY(PlcSimulator::faultSyntaxHelp().contains(QLatin1String("KIND[:ARG][@N]")));
}

// nak@3: requests 3 and 6 (counted from the simulator's start) are refused.
void tst_PlcSimFaults::everyNth()
{
    QVERIFY(m_sim.addFault(QStringLiteral("nak@3")));
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("mc3e"))));
    const QByteArray good = hex(kMc3eReadAnswer);
    const QByteArray refused = hex("D00000FFFF0300 0B00 59C0 00FFFF0300 0104 0000");
    for (int i = 0; i < 7; ++i) {
        const int number = m_sim.requestCount() + 1;
        const QByteArray want = number % 3 == 0 ? refused : good;
        QCOMPARE(c.exchange(hex(kMc3eRead), want.size()).toHex(' '), want.toHex(' '));
    }
}

void tst_PlcSimFaults::firstMatchingFaultWins()
{
    QVERIFY(m_sim.addFault(QStringLiteral("garbage@2")));
    QVERIFY(m_sim.addFault(QStringLiteral("nak@3")));
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("mc1e"))));
    for (int i = 0; i < 6; ++i) {
        const int number = m_sim.requestCount() + 1;
        QByteArray want = hex("81 00 3412");
        if (number % 2 == 0)
            want = hex("FFA5FFA5");
        else if (number % 3 == 0)
            want = hex("81 5B 10");
        QCOMPARE(c.exchange(hex(kMc1eRead), want.size()).toHex(' '), want.toHex(' '));
    }
}

// A request the PLC refuses anyway keeps its own error answer.
void tst_PlcSimFaults::faultsSpareErrorAnswers()
{
    QVERIFY(m_sim.addFault(QStringLiteral("garbage")));
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("mc3e"))));
    QCOMPARE(c.exchange(hex("500000FFFF03000C00 0A00 0104 0000 000000 B2 0100"), 20).toHex(' '),
             hex("D00000FFFF0300 0B00 5CC0 00FFFF0300 0104 0000").toHex(' '));
    TcpClient fx;
    QVERIFY(fx.connectTo(m_endpoints.value(QStringLiteral("fxport"))));
    QCOMPARE(fx.exchange(ascii("<STX>E0040C802<ETX>E8"), 1), ascii("<NAK>"));
}

void tst_PlcSimFaults::writesUnderFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("written");
    QTest::newRow("nak refuses the write") << "nak" << false;
    QTest::newRow("noanswer: written, answer lost") << "noanswer" << true;
    QTest::newRow("truncate") << "truncate" << true;
    QTest::newRow("garbage") << "garbage" << true;
    QTest::newRow("badsum") << "badsum" << true;
    QTest::newRow("close") << "close" << true;
    QTest::newRow("late") << "late:50" << true;
}

void tst_PlcSimFaults::writesUnderFaults()
{
    QFETCH(QString, fault);
    QFETCH(bool, written);
    QVERIFY(m_sim.addFault(fault));
    const int before = m_sim.requestCount();
    {
        TcpClient c;   // 3E word write D300 = 0xBEEF
        QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("mc3e"))));
        c.send(hex("500000FFFF03000E00 0A00 0114 0000 2C0100 A8 0100 EFBE"));
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.requestCount(), before + 1, 3000);
        c.readFor(100);
    }
    QCOMPARE(m_sim.word('D', 300), quint16(written ? 0xBEEF : 0));
    {
        TcpClient c;   // FX port E10 write D50 = 0xFFFF
        QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("fxport"))));
        c.send(ascii("<STX>E10406402FFFF<ETX>F1"));
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.requestCount(), before + 2, 3000);
        c.readFor(100);
    }
    QCOMPARE(m_sim.word('D', 50), quint16(written ? 0xFFFF : 0));
}

void tst_PlcSimFaults::faultsOnPty_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("truncate") << "truncate" << ascii("<STX>341");
    QTest::newRow("close sends nothing") << "close" << QByteArray();
    QTest::newRow("noanswer") << "noanswer" << QByteArray();
    QTest::newRow("badsum") << "badsum" << ascii("<STX>3412<ETX>27");
    QTest::newRow("split") << "split:100" << ascii("<STX>3412<ETX>CD");
}

// On a line the fault hits one answer; the line itself stays usable.
void tst_PlcSimFaults::faultsOnPty()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, answer);
    QString error;
    const QString path = m_sim.addEndpoint(QStringLiteral("fxport"), QStringLiteral("pty"), &error);
    QVERIFY2(path.startsWith(QLatin1String("/dev/")), qPrintable(error));
    PtyClient c;
    QVERIFY(c.open(path));
    const QByteArray good = ascii("<STX>3412<ETX>CD");
    // Request numbers are counted over the whole simulator: line up on an odd one
    // before the fault is set.
    if ((m_sim.requestCount() + 1) % 2 == 0)
        QCOMPARE(c.exchange(ascii(kFxportRead), good.size()), good);
    QVERIFY(m_sim.addFault(fault + QStringLiteral("@2")));
    QCOMPARE(c.exchange(ascii(kFxportRead), good.size()), good);
    c.send(ascii(kFxportRead));
    QCOMPARE(c.read(answer.isEmpty() ? 1 : answer.size(), answer.isEmpty() ? 300 : 3000), answer);
    QCOMPARE(c.readFor(150), QByteArray());
    QCOMPARE(c.exchange(ascii(kFxportRead), good.size()), good);
}

void tst_PlcSimFaults::clearFaults()
{
    QVERIFY(m_sim.addFault(QStringLiteral("noanswer")));
    m_sim.clearFaults();
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("mc3e"))));
    QCOMPARE(c.exchange(hex(kMc3eRead), 13).toHex(' '), hex(kMc3eReadAnswer).toHex(' '));
}

QTEST_MAIN(tst_PlcSimFaults)
#include "tst_plcsimfaults.moc"
