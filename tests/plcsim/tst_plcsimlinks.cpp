// The simulator's connections: pseudo-terminals, serial devices, several TCP
// clients at once, requests arriving in pieces, endpoints going away and coming
// back, and bad endpoint texts.
#include "PlcMemory.h"
#include "PlcSimulator.h"
#include "SimTestSupport.h"

#include <QThread>
#include <QtTest>

#include <pty.h>

using namespace simtest;

namespace {
const char *kMc3eRead = "500000FFFF03000C00 0A00 0104 0000 640000 A8 0100";
const char *kMc3eReadAnswer = "D00000FFFF0300 0400 0000 3412";
}

class tst_PlcSimLinks : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void ptyServesFxport();
    void ptyServesFxlink();
    void ptySurvivesClientReopen();
    void serialDeviceEndpoint();
    void severalClientsAtOnce();
    void requestInPieces_data();
    void requestInPieces();
    void twoRequestsInOneWrite();
    void severalEndpointsSameProtocol();
    void stopAndRestart();
    void badEndpoints_data();
    void badEndpoints();
    void memoryApi();

private:
    PlcSimulator m_sim;
};

void tst_PlcSimLinks::init()
{
    m_sim.clearFaults();
    m_sim.clearMemory();
    m_sim.setStation(0);
    m_sim.setWord('D', 100, 0x1234);
}

void tst_PlcSimLinks::ptyServesFxport()
{
    QString error;
    const QString path = m_sim.addEndpoint(QStringLiteral("fxport"), QStringLiteral("pty"), &error);
    QVERIFY2(path.startsWith(QLatin1String("/dev/pts/")), qPrintable(error));
    PtyClient c;
    QVERIFY(c.open(path));
    QCOMPARE(c.exchange(ascii("<STX>E0040C802<ETX>E9"), 8), ascii("<STX>3412<ETX>CD"));
    // Force Y5 on, then read Y0..Y7 (byte 00A0).
    QCOMPARE(c.exchange(ascii("<STX>70505<ETX>04"), 1), ascii("<ACK>"));
    QVERIFY(m_sim.bit('Y', 5));
    QCOMPARE(c.exchange(ascii("<STX>000A001<ETX>65"), 6), ascii("<STX>20<ETX>65"));

    // A paced line: 11 request and 8 answer characters at 2.08 ms each.
    PtyClient paced;
    QVERIFY(paced.open(m_sim.addEndpoint(QStringLiteral("fxport"), QStringLiteral("pty,4800"))));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(paced.exchange(ascii("<STX>E0040C802<ETX>E9"), 8), ascii("<STX>3412<ETX>CD"));
    QVERIFY2(clock.elapsed() >= 38, qPrintable(QString::number(clock.elapsed())));
}

void tst_PlcSimLinks::ptyServesFxlink()
{
    m_sim.setStation(1);
    const QString path = m_sim.addEndpoint(QStringLiteral("fxlink"), QStringLiteral("pty"));
    QVERIFY(!path.isEmpty());
    PtyClient c;
    QVERIFY(c.open(path));
    // Station 1, D0100, one word (request of the computer-link manual's form).
    QCOMPARE(c.exchange(ascii("<ENQ>01FFWR0D0100012C"), 12), ascii("<STX>01FF1234<ETX>BA"));
    // Station 0 is another PLC on this line.
    c.send(ascii("<ENQ>00FFWR0D0100012B"));
    QCOMPARE(c.readFor(300), QByteArray());
}

// The simulator holds the slave open itself, so a client may close and reopen it.
void tst_PlcSimLinks::ptySurvivesClientReopen()
{
    const QString path = m_sim.addEndpoint(QStringLiteral("fxport"), QStringLiteral("pty"));
    QVERIFY(!path.isEmpty());
    for (int round = 0; round < 3; ++round) {
        PtyClient c;
        QVERIFY(c.open(path));
        QCOMPARE(c.exchange(ascii("<STX>E0040C802<ETX>E9"), 8), ascii("<STX>3412<ETX>CD"));
    }
}

// A serial device path: here the slave of a pseudo-terminal pair the test made,
// the test talking on the master.
void tst_PlcSimLinks::serialDeviceEndpoint()
{
    int master = -1;
    int slave = -1;
    char name[256] = {0};
    QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    termios t;
    QCOMPARE(::tcgetattr(slave, &t), 0);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    QString error;
    const QString ep = m_sim.addEndpoint(QStringLiteral("mc3e"), QString::fromLocal8Bit(name) + QStringLiteral(",19200,8,1,N"), &error);
    QVERIFY2(ep == QString::fromLocal8Bit(name), qPrintable(ep + error));
    const QByteArray req = hex(kMc3eRead);
    QCOMPARE(::write(master, req.constData(), size_t(req.size())), ssize_t(req.size()));
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < 13 && timer.elapsed() < 3000) {
        pollfd p = {master, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buf[64];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                got.append(buf, int(n));
        }
    }
    QCOMPARE(got.toHex(' '), hex(kMc3eReadAnswer).toHex(' '));
    ::close(master);
    ::close(slave);

    QVERIFY(m_sim.addEndpoint(QStringLiteral("mc3e"), QStringLiteral("/dev/nonexistent-plcsim-port"), &error).isEmpty());
    QVERIFY(!error.isEmpty());
    QVERIFY(m_sim.addEndpoint(QStringLiteral("mc3e"), QString::fromLocal8Bit(name) + QStringLiteral(",fast"), &error).isEmpty());
    QVERIFY(error.contains(QLatin1String("baud")));
}

// Five clients connected together, each sending before anyone reads.
void tst_PlcSimLinks::severalClientsAtOnce()
{
    const QString ep = m_sim.addEndpoint(QStringLiteral("mc3e"), QStringLiteral("127.0.0.1:0"));
    QVERIFY(!ep.isEmpty());
    for (int i = 0; i < 5; ++i)
        m_sim.setWord('D', 1000 + i, quint16(0x1100 + i));
    TcpClient clients[5];
    for (TcpClient &c : clients)
        QVERIFY(c.connectTo(ep));
    for (int i = 0; i < 5; ++i) {
        QByteArray req = hex("500000FFFF03000C00 0A00 0104 0000 E80300 A8 0100");
        req[15] = char(0xE8 + i);   // D1000 + i
        clients[i].send(req);
    }
    for (int i = 4; i >= 0; --i) {
        QByteArray want = hex("D00000FFFF0300 0400 0000 0011");
        want[11] = char(i);
        QCOMPARE(clients[i].read(13, 3000).toHex(' '), want.toHex(' '));
    }
}

void tst_PlcSimLinks::requestInPieces_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("mc3e") << "mc3e" << hex(kMc3eRead) << hex(kMc3eReadAnswer);
    QTest::newRow("mc1e") << "mc1e" << hex("01 FF 0A00 64000000 2044 01 00") << hex("81 00 3412");
    QTest::newRow("fxlink") << "fxlink" << ascii("<ENQ>00FFWR0D0100012B") << ascii("<STX>00FF1234<ETX>B9");
    QTest::newRow("fxport") << "fxport" << ascii("<STX>E0040C802<ETX>E9") << ascii("<STX>3412<ETX>CD");
    QTest::newRow("mc3e write") << "mc3e" << hex("500000FFFF03000E00 0A00 0114 0000 640000 A8 0100 7856")
                                << hex("D00000FFFF0300 0200 0000");
}

// Every byte on its own: the answer comes once, after the last one.
void tst_PlcSimLinks::requestInPieces()
{
    QFETCH(QString, protocol);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    const QString ep = m_sim.addEndpoint(protocol, QStringLiteral("127.0.0.1:0"));
    QVERIFY(!ep.isEmpty());
    TcpClient c;
    QVERIFY(c.connectTo(ep));
    const int before = m_sim.requestCount();
    for (int i = 0; i < request.size() - 1; ++i) {
        c.send(request.mid(i, 1));
        QCOMPARE(c.readFor(5), QByteArray());
    }
    QCOMPARE(m_sim.requestCount(), before);
    c.send(request.right(1));
    QCOMPARE(c.read(answer.size(), 3000).toHex(' '), answer.toHex(' '));
    QCOMPARE(m_sim.requestCount(), before + 1);
}

void tst_PlcSimLinks::twoRequestsInOneWrite()
{
    const QString ep = m_sim.addEndpoint(QStringLiteral("mc1e"), QStringLiteral("127.0.0.1:0"));
    TcpClient c;
    QVERIFY(c.connectTo(ep));
    m_sim.setWord('D', 101, 0x5678);
    QCOMPARE(c.exchange(hex("01 FF 0A00 64000000 2044 01 00  01 FF 0A00 65000000 2044 01 00"), 8).toHex(' '),
             hex("81 00 3412 81 00 7856").toHex(' '));
    // A late answer holds back the one behind it: strictly in order, as a PLC.
    QVERIFY(m_sim.addFault(QStringLiteral("late:300@%1").arg(m_sim.requestCount() + 1)));
    c.send(hex("01 FF 0A00 64000000 2044 01 00  01 FF 0A00 65000000 2044 01 00"));
    QCOMPARE(c.readFor(150), QByteArray());
    QCOMPARE(c.read(8, 3000).toHex(' '), hex("81 00 3412 81 00 7856").toHex(' '));
}

void tst_PlcSimLinks::severalEndpointsSameProtocol()
{
    const QString a = m_sim.addEndpoint(QStringLiteral("mc3e"), QStringLiteral("127.0.0.1:0"));
    const QString b = m_sim.addEndpoint(QStringLiteral("mc3e"), QStringLiteral("localhost:0"));
    QVERIFY(!a.isEmpty());
    QVERIFY(!b.isEmpty());
    QVERIFY(a != b);
    TcpClient ca, cb;
    QVERIFY(ca.connectTo(a));
    QVERIFY(cb.connectTo(b));
    QCOMPARE(ca.exchange(hex("500000FFFF03000E00 0A00 0114 0000 640000 A8 0100 0100"), 11), hex("D00000FFFF0300 0200 0000"));
    QCOMPARE(cb.exchange(hex(kMc3eRead), 13).toHex(' '), hex("D00000FFFF0300 0400 0000 0100").toHex(' '));
}

void tst_PlcSimLinks::stopAndRestart()
{
    const QString ep = m_sim.addEndpoint(QStringLiteral("mc3e"), QStringLiteral("127.0.0.1:0"));
    TcpClient c;
    QVERIFY(c.connectTo(ep));
    QCOMPARE(c.exchange(hex(kMc3eRead), 13).toHex(' '), hex(kMc3eReadAnswer).toHex(' '));
    m_sim.stopEndpoint(ep);
    QVERIFY(c.waitForDisconnect(3000));
    TcpClient refused;
    QVERIFY(!refused.connectTo(ep));
    QVERIFY(m_sim.restartEndpoint(ep));
    QVERIFY(m_sim.restartEndpoint(ep));   // already listening: fine
    TcpClient again;
    QVERIFY(again.connectTo(ep));
    QCOMPARE(again.exchange(hex(kMc3eRead), 13).toHex(' '), hex(kMc3eReadAnswer).toHex(' '));
    QVERIFY(!m_sim.restartEndpoint(QStringLiteral("127.0.0.1:1")));   // not ours
}

void tst_PlcSimLinks::badEndpoints_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("endpoint");
    QTest::newRow("unknown protocol") << "mc5e" << "127.0.0.1:0";
    QTest::newRow("no port") << "mc3e" << "127.0.0.1";
    QTest::newRow("port text") << "mc3e" << "127.0.0.1:http";
    QTest::newRow("port too big") << "mc3e" << "127.0.0.1:70000";
    QTest::newRow("udp port too big") << "mc3e" << "udp:127.0.0.1:70000";
    QTest::newRow("host name") << "mc3e" << "plc.example:0";
    QTest::newRow("empty") << "fxport" << "";
    QTest::newRow("pty line speed 0") << "fxport" << "pty,0";
    QTest::newRow("pty line speed text") << "fxport" << "pty,fast";
}

void tst_PlcSimLinks::badEndpoints()
{
    QFETCH(QString, protocol);
    QFETCH(QString, endpoint);
    QString error;
    QVERIFY(m_sim.addEndpoint(protocol, endpoint, &error).isEmpty());
    QVERIFY(!error.isEmpty());
}

void tst_PlcSimLinks::memoryApi()
{
    m_sim.setBit('M', 16383, true);
    QVERIFY(m_sim.bit('M', 16383));
    m_sim.setBit('M', 16384, true);        // past the end: ignored
    QVERIFY(!m_sim.bit('M', 16384));
    m_sim.setWord('D', -1, 5);
    QCOMPARE(m_sim.word('D', -1), quint16(0));
    m_sim.setWord('Q', 0, 5);               // no such area
    QCOMPARE(m_sim.word('Q', 0), quint16(0));
    m_sim.setWord('R', 32767, 7);
    QCOMPARE(m_sim.word('R', 32767), quint16(7));
    QVERIFY(PlcMemory::inRange('X', 0x1FF0, 16));
    QVERIFY(!PlcMemory::inRange('X', 0x1FF1, 16));
    QVERIFY(!PlcMemory::inRange('D', 0, 0));
    QVERIFY(!PlcMemory::inRange('D', 2147483647, 2));
    m_sim.memory().setBitWord('Y', 8, 0x8001);
    QVERIFY(m_sim.bit('Y', 8));
    QVERIFY(m_sim.bit('Y', 23));
    QCOMPARE(m_sim.memory().bitWord('Y', 8), quint16(0x8001));
    m_sim.clearMemory();
    QCOMPARE(m_sim.word('R', 32767), quint16(0));
    QVERIFY(!m_sim.bit('Y', 8));
}

QTEST_MAIN(tst_PlcSimLinks)
#include "tst_plcsimlinks.moc"
