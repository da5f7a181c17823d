// The link media over real devices, a loopback TCP peer and a pseudo-terminal
// standing in for a serial line, and the exchange engine running on them.

#include "ExchangeEngine.h"
#include "LinkTestPeers.h"
#include "SerialMedium.h"
#include "TcpMedium.h"
#include "UdpMedium.h"

#include <QtTest>

#include <cerrno>
#include <dlfcn.h>
#include <netinet/in.h>
#include <thread>
#include <sys/socket.h>
#include <termios.h>

namespace {

// What the serial medium last asked of its line. A pseudo-terminal keeps its
// own character size and parity whatever it is told, so only the request
// shows those settings.
termios g_requested;
bool g_refuseSettings = false;

} // namespace

extern "C" int tcsetattr(int fd, int action, const struct termios *t) __THROW
{
    using Real = int (*)(int, int, const struct termios *);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "tcsetattr"));
    g_requested = *t;
    if (g_refuseSettings) {
        errno = EINVAL;
        return -1;
    }
    return real(fd, action, t);
}

Q_DECLARE_METATYPE(QList<PeerReply>)

namespace {

AnswerRule expectBytes(int bytes, int allowanceMs, int guardMs = 0)
{
    AnswerRule rule;
    rule.judge = [bytes](const QByteArray &soFar) { return std::max(0, bytes - int(soFar.size())); };
    rule.answerBytes = bytes;
    rule.allowanceMs = allowanceMs;
    rule.guardMs = guardMs;
    return rule;
}

SerialSettings line(const QString &port, int baud = 9600, int dataBits = 8, int stopBits = 1,
                    const QString &parity = QStringLiteral("N"))
{
    SerialSettings s;
    s.portName = port;
    s.baudRate = baud;
    s.dataBits = dataBits;
    s.stopBits = stopBits;
    s.parity = parity;
    return s;
}

std::unique_ptr<TcpMedium> connectLocal(quint16 port, const QString &address = QStringLiteral("127.0.0.1"),
                                        int *result = nullptr)
{
    int ignored = 0;
    return TcpMedium::connectTo(QHostAddress(address), port, 1000, true, nullptr, result ? result : &ignored);
}

// A link of either kind with its scripted peer.
struct Rig {
    Rig(bool serial, const QList<PeerTurn> &turns, int baud = 9600)
    {
        if (serial) {
            medium = SerialMedium::open(line(pty.slaveName(), baud));
            peer.reset(new PtyPeer(pty, turns));
        } else {
            auto *tcp = new TcpPeer(turns);
            peer.reset(tcp);
            medium = connectLocal(tcp->port());
        }
    }
    // Everything the peer read, in one piece.
    QByteArray received() const { return peer->requests().join(); }

    PtyPair pty;
    std::unique_ptr<ScriptedPeer> peer;
    std::unique_ptr<LinkMedium> medium;
};

void addBothMedia(const char *name, const std::function<void(QTestData &)> &row)
{
    for (const bool serial : {false, true})
        row(QTest::addRow("%s %s", serial ? "serial" : "tcp", name) << serial);
}

} // namespace

class TestLinkTransport : public QObject
{
    Q_OBJECT

private slots:
    // --- serial line set-up -----------------------------------------------------
    void serialSettings_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<QString>("parity");
        QTest::addColumn<int>("rate");      // read back from the line
        QTest::addColumn<int>("size");      // -1: the line's own
        QTest::addColumn<int>("twoStop");   // -1: the line's own
        QTest::addColumn<int>("parityOn");  // -1: the line's own; else 0 none, 1 even, 2 odd
        // The line runs at 4800 baud, two stop bits, odd parity before each row.
        QTest::newRow("9600 8N1") << 9600 << 8 << 1 << "N" << 9600 << 8 << 0 << 0;
        for (const int baud : {1200, 2400, 19200, 38400, 57600, 115200})
            QTest::addRow("%d baud", baud) << baud << 8 << 1 << "N" << baud << 8 << 0 << 0;
        QTest::newRow("14400 keeps the rate") << 14400 << 8 << 1 << "N" << 4800 << 8 << 0 << 0;
        QTest::newRow("0 keeps the rate") << 0 << 8 << 1 << "N" << 4800 << 8 << 0 << 0;
        QTest::newRow("7 data bits") << 9600 << 7 << 1 << "N" << 9600 << 7 << 0 << 0;
        QTest::newRow("5 data bits") << 9600 << 5 << 1 << "N" << 9600 << 5 << 0 << 0;
        QTest::newRow("9 data bits keep") << 9600 << 9 << 1 << "N" << 9600 << -1 << 0 << 0;
        QTest::newRow("4 data bits keep") << 9600 << 4 << 1 << "N" << 9600 << -1 << 0 << 0;
        QTest::newRow("2 stop bits") << 9600 << 8 << 2 << "N" << 9600 << 8 << 1 << 0;
        QTest::newRow("1.5 stop bits as 2") << 9600 << 8 << 3 << "N" << 9600 << 8 << 1 << 0;
        QTest::newRow("0 stop bits keep") << 9600 << 8 << 0 << "N" << 9600 << 8 << -1 << 0;
        QTest::newRow("4 stop bits keep") << 9600 << 8 << 4 << "N" << 9600 << 8 << -1 << 0;
        QTest::newRow("None") << 9600 << 8 << 1 << "None" << 9600 << 8 << 0 << 0;
        QTest::newRow("Even has an n") << 9600 << 8 << 1 << "Even" << 9600 << 8 << 0 << 0;
        QTest::newRow("even has an n") << 9600 << 8 << 1 << "even" << 9600 << 8 << 0 << 0;
        QTest::newRow("E") << 9600 << 8 << 1 << "E" << 9600 << 8 << 0 << 1;
        QTest::newRow("e") << 9600 << 8 << 1 << "e" << 9600 << 8 << 0 << 1;
        QTest::newRow("O") << 9600 << 8 << 1 << "O" << 9600 << 8 << 0 << 2;
        QTest::newRow("Odd") << 9600 << 8 << 1 << "Odd" << 9600 << 8 << 0 << 2;
        QTest::newRow("oe: E before O") << 9600 << 8 << 1 << "oe" << 9600 << 8 << 0 << 1;
        QTest::newRow("empty parity keeps") << 9600 << 8 << 1 << "" << 9600 << 8 << 0 << -1;
        QTest::newRow("X keeps") << 9600 << 8 << 1 << "X" << 9600 << 8 << 0 << -1;
    }
    void serialSettings()
    {
        QFETCH(int, baud);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QFETCH(QString, parity);
        QFETCH(int, rate);
        QFETCH(int, size);
        QFETCH(int, twoStop);
        QFETCH(int, parityOn);
        PtyPair pty;
        QVERIFY(pty.isValid());
        QVERIFY(SerialMedium::open(line(pty.slaveName(), 4800, 8, 2, QStringLiteral("O"))));
        termios before;
        QCOMPARE(tcgetattr(pty.master(), &before), 0);

        const auto medium = SerialMedium::open(line(pty.slaveName(), baud, dataBits, stopBits, parity));
        QVERIFY(medium);
        QCOMPARE(medium->baudRate(), rate);
        QCOMPARE(medium->lineTimeMs(100), lineTimeAtBaud(100, rate));
        const termios t = g_requested;
        QCOMPARE(cfgetispeed(&t), cfgetospeed(&t));
        static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
        QCOMPARE(t.c_cflag & CSIZE, size < 0 ? before.c_cflag & CSIZE : Sizes[size - 5]);
        QCOMPARE(bool(t.c_cflag & CSTOPB), twoStop < 0 ? bool(before.c_cflag & CSTOPB) : twoStop == 1);
        if (parityOn < 0) {
            QCOMPARE(t.c_cflag & (PARENB | PARODD), before.c_cflag & (PARENB | PARODD));
        } else {
            QCOMPARE(bool(t.c_cflag & PARENB), parityOn != 0);
            QCOMPARE(bool(t.c_cflag & PARODD), parityOn == 2);
        }
        // Raw bytes, reads that never block, no flow control of any kind.
        QCOMPARE(t.c_cflag & (CLOCAL | CREAD | CRTSCTS), tcflag_t(CLOCAL | CREAD));
        QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
        QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
        QCOMPARE(int(t.c_cc[VMIN]) + int(t.c_cc[VTIME]), 0);
    }

    void serialOpen_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("opens");
        QTest::newRow("missing port") << 0 << false;
        QTest::newRow("not a tty") << 1 << false;
        QTest::newRow("in use by another link") << 2 << false;
        QTest::newRow("name under /dev") << 3 << true;
        QTest::newRow("settings refused by a pty") << 4 << true;
    }
    void serialOpen()
    {
        QFETCH(int, port);
        QFETCH(bool, opens);
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString shortName = pty.slaveName().mid(5);  // without "/dev/"
        const QString names[] = {QStringLiteral("/dev/plc-no-such-tty"), QStringLiteral("/dev/null"),
                                 pty.slaveName(), shortName, pty.slaveName()};
        std::unique_ptr<SerialMedium> first;
        if (port == 2)
            QVERIFY((first = SerialMedium::open(line(pty.slaveName()))));
        g_refuseSettings = port == 4;
        const auto medium = SerialMedium::open(line(names[port]));
        g_refuseSettings = false;
        QCOMPARE(bool(medium), opens);
        if (medium) {
            QVERIFY(medium->usable());
            // The port is named as the hosts always saw it: without /dev/.
            QCOMPARE(medium->lossAddress(), shortName);
            QCOMPARE(medium->lossPort(), 0);
            QCOMPARE(medium->traceAddress(), QString());
            QCOMPARE(medium->errorCode(), 0);
            medium->close();
            medium->close();
            QVERIFY(!medium->usable() && !medium->lost());
        }
        if (first) {
            first.reset();  // its lock goes with it
            QVERIFY(SerialMedium::open(line(pty.slaveName())));
        }
    }

    // --- TCP connect ----------------------------------------------------------------
    void tcpConnect_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("listening");
        QTest::newRow("IPv4") << "127.0.0.1" << true;
        QTest::newRow("IPv4-mapped IPv6") << "::ffff:127.0.0.1" << true;
        QTest::newRow("refused") << "127.0.0.1" << false;
    }
    void tcpConnect()
    {
        QFETCH(QString, address);
        QFETCH(bool, listening);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const quint16 port = server.serverPort();
        if (!listening)
            server.close();
        int result = 1;
        const auto medium = connectLocal(port, address, &result);
        QCOMPARE(result, int(listening ? TcpMedium::Connected : TcpMedium::NotConnected));
        QCOMPARE(bool(medium), listening);
        if (!medium)
            return;
        QVERIFY(medium->usable() && !medium->lost());
        QVERIFY(medium->connectedTo(address, port));
        QCOMPARE(medium->traceAddress(), QHostAddress(address).toString());
        QCOMPARE(medium->tracePort(), int(port));
        QCOMPARE(medium->lossPort(), int(port));
        QCOMPARE(medium->errorCode(), -1);
        QCOMPARE(medium->lineTimeMs(96), 110);  // a gateway's 9600 baud
        QVERIFY(server.waitForNewConnection(1000));
        medium->close();
        medium->close();
        QVERIFY(!medium->usable() && medium->lost());
        QVERIFY(!medium->write("x", QDeadlineTimer(100)));
        QCOMPARE(medium->errorCode(), -1);  // closed, not failed
    }

    // --- exchanges on both media --------------------------------------------------
    void exchange_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QList<PeerReply>>("replies");
        QTest::addColumn<int>("answerBytes");
        QTest::addColumn<int>("allowanceMs");
        QTest::addColumn<QByteArray>("starts");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("expected");  // a cut answer: a start of it
        QTest::addColumn<int>("minBytes");         // ... at least this long
        const int complete = ExchangeEngine::Complete, incomplete = ExchangeEngine::Incomplete;
        const QByteArray frame("\x02" "1234" "\x03" "C9");
        const QList<PeerReply> pieces{{0, "ABC"}, {80, "DE"}, {80, "FGH"}};
        const QByteArray forty(40, 'x');
        const QList<PeerReply> slow{{0, forty.left(10)}, {80, forty.mid(10, 10)}, {80, forty.mid(20, 10)},
                                    {80, forty.mid(30)}};
        addBothMedia("whole answer", [&](QTestData &r) {
            r << 9600 << QList<PeerReply>{{0, frame}} << 8 << 200 << QByteArray() << complete << frame << 8;
        });
        addBothMedia("answer in pieces", [&](QTestData &r) {
            r << 9600 << pieces << 8 << 400 << QByteArray() << complete << QByteArray("ABCDEFGH") << 8;
        });
        addBothMedia("no answer", [&](QTestData &r) {
            r << 9600 << QList<PeerReply>() << 4 << 40 << QByteArray() << incomplete << QByteArray() << 0;
        });
        addBothMedia("cut answer", [&](QTestData &r) {
            r << 9600 << QList<PeerReply>{{0, "part"}} << 10 << 60 << QByteArray() << incomplete
              << QByteArray("part") << 4;
        });
        addBothMedia("noise before the answer", [&](QTestData &r) {
            r << 9600 << QList<PeerReply>{{0, QByteArray("\xff\x00\x02" "AB", 5)}} << 3 << 200
              << QByteArray("\x02") << complete << QByteArray("\x02" "AB") << 3;
        });
        addBothMedia("no allowance: sent, not waited for", [&](QTestData &r) {
            r << 9600 << QList<PeerReply>{{0, frame}} << 8 << 0 << QByteArray() << incomplete << QByteArray()
              << 0;
        });
        // 40 bytes take 367 ms at 1200 baud: a 30 ms allowance must not cut
        // them. At 115200 they take 4 ms, so a pause of 80 ms is a dead line.
        QTest::newRow("serial 1200 baud: line time") << true << 1200 << slow << 40 << 30 << QByteArray()
                                                     << complete << forty << 40;
        QTest::newRow("serial 115200 baud: cut") << true << 115200 << slow << 40 << 30 << QByteArray()
                                                 << incomplete << forty.left(30) << 0;
    }
    void exchange()
    {
        QFETCH(bool, serial);
        QFETCH(int, baud);
        QFETCH(QList<PeerReply>, replies);
        QFETCH(int, answerBytes);
        QFETCH(int, allowanceMs);
        QFETCH(QByteArray, starts);
        QFETCH(int, result);
        QFETCH(QByteArray, expected);
        QFETCH(int, minBytes);
        Rig rig(serial, {PeerTurn{replies}}, baud);
        QVERIFY(rig.medium);
        AnswerRule rule = expectBytes(answerBytes, allowanceMs);
        rule.starts = starts;
        ExchangeEngine engine;
        QByteArray answer("head:");
        QCOMPARE(engine.run(*rig.medium, "\x02" "0A" "\x03", rule, &answer), result);
        QVERIFY2(answer.startsWith("head:"), answer.constData());  // appended
        answer.remove(0, 5);
        QVERIFY2(expected.startsWith(answer) && answer.size() >= minBytes, answer.toHex().constData());
        QTRY_COMPARE(rig.peer->requests().value(0), QByteArray("\x02" "0A" "\x03"));
    }

    // Nothing of an earlier answer reaches the next exchange: bytes between
    // exchanges are dropped, and a failed exchange's late answer is waited out.
    void staleBytesDropped_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QList<PeerReply>>("first");
        QTest::addColumn<int>("firstResult");
        QTest::addColumn<bool>("waitForAll");  // let every reply of the first turn arrive
        const int complete = ExchangeEngine::Complete, incomplete = ExchangeEngine::Incomplete;
        addBothMedia("bytes after a complete answer", [&](QTestData &r) {
            r << QList<PeerReply>{{0, "OK!!"}, {50, "JUNK"}} << complete << true;
        });
        QTest::newRow("serial late answer on the line")
            << true << QList<PeerReply>{{300, "LATE"}} << incomplete << true;
        QTest::newRow("serial late answer during the guard")
            << true << QList<PeerReply>{{150, "LATE"}} << incomplete << false;
    }
    void staleBytesDropped()
    {
        QFETCH(bool, serial);
        QFETCH(QList<PeerReply>, first);
        QFETCH(int, firstResult);
        QFETCH(bool, waitForAll);
        Rig rig(serial, {PeerTurn{first}, PeerTurn{{{0, "GOOD"}}}});
        QVERIFY(rig.medium);
        ExchangeEngine engine;
        QByteArray answer;
        QCOMPARE(engine.run(*rig.medium, "r1", expectBytes(4, 30, 400), &answer), firstResult);
        if (waitForAll)
            QVERIFY(rig.peer->waitForReplies(first.size()));
        answer.clear();
        QCOMPARE(engine.run(*rig.medium, "r2", expectBytes(4, 300, 400), &answer), int(ExchangeEngine::Complete));
        QCOMPARE(answer, QByteArray("GOOD"));
    }

    // A datagram that came before a request (the PLC's duplicate of the last
    // answer) is never taken as the answer to it.
    void udpEarlierDatagramSkipped()
    {
        const int plc = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        QVERIFY(plc >= 0 && ::bind(plc, reinterpret_cast<sockaddr *>(&at), length) == 0
                && ::getsockname(plc, reinterpret_cast<sockaddr *>(&at), &length) == 0);
        const timeval patience = {2, 0};  // the peer never outwaits the test
        ::setsockopt(plc, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        std::thread peer([plc] {
            for (const char *answer : {"OK!!", "GOOD"}) {
                char request[16];
                sockaddr_in from = {};
                socklen_t fromLength = sizeof from;
                ::recvfrom(plc, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
                for (int copies = qstrcmp(answer, "OK!!") == 0 ? 2 : 1; copies > 0; --copies)
                    ::sendto(plc, answer, 4, 0, reinterpret_cast<sockaddr *>(&from), fromLength);
            }
        });
        const auto medium = UdpMedium::open(QHostAddress::LocalHost, ntohs(at.sin_port), nullptr);
        ExchangeEngine engine;
        QByteArray first, second;
        const int r1 = medium ? engine.run(*medium, "r1", expectBytes(4, 400), &first) : -1;
        QThread::msleep(50);  // the duplicate is waiting before the next request goes out
        const int r2 = medium ? engine.run(*medium, "r2", expectBytes(4, 400), &second) : -1;
        peer.join();
        ::close(plc);
        QCOMPARE(r1, int(ExchangeEngine::Complete));
        QCOMPARE(r2, int(ExchangeEngine::Complete));
        QCOMPARE(first + second, QByteArray("OK!!GOOD"));
    }

    // After a failed exchange the next one connects again first, so a late
    // answer on the old connection never reaches it; when the peer takes no
    // new connection the medium is lost.
    void tcpDirtyLinkConnectsAgain()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const auto medium = connectLocal(server.serverPort());
        QVERIFY(medium);
        QVERIFY(server.waitForNewConnection(1000));
        QScopedPointer<QTcpSocket> first(server.nextPendingConnection());
        const AnswerRule rule = expectBytes(4, 30);
        ExchangeEngine engine;
        QByteArray answer;
        QCOMPARE(engine.run(*medium, "r1", rule, &answer), int(ExchangeEngine::Incomplete));
        first->write("LATE");
        QVERIFY(first->waitForBytesWritten(1000));
        QThread::msleep(50);
        QCOMPARE(engine.run(*medium, "r2", rule, &answer), int(ExchangeEngine::Incomplete));
        QVERIFY(answer.isEmpty());
        QVERIFY(server.waitForNewConnection(1000));
        QScopedPointer<QTcpSocket> second(server.nextPendingConnection());
        QVERIFY(second->waitForReadyRead(1000));
        QCOMPARE(second->readAll(), QByteArray("r2"));
        QVERIFY(medium->connectedTo(QStringLiteral("127.0.0.1"), server.serverPort()));

        server.close();
        QCOMPARE(engine.run(*medium, "r3", rule, &answer), int(ExchangeEngine::NotConnected));
        QVERIFY(engine.resetFailed());
        QVERIFY(medium->lost());
        QCOMPARE(medium->errorCode(), 0);  // refused
    }

    // A device that never stops sending: the serial guard gives up after four
    // guard times and the line is usable again.
    void serialGuardGivesUp()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        const auto medium = SerialMedium::open(line(pty.slaveName()));
        QVERIFY(medium);
        std::atomic<bool> stop{false};
        QScopedPointer<QThread> babbler(QThread::create([&] {
            for (int i = 0; i < 300 && !stop; ++i) {
                pty.write("~");
                QThread::msleep(10);
            }
        }));
        babbler->start();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(medium->reset(50));
        const qint64 elapsed = clock.elapsed();
        stop = true;
        QVERIFY(babbler->wait(5000));
        QVERIFY2(elapsed < 2000, qPrintable(QString::number(elapsed)));
        QVERIFY(medium->usable());
    }

    void floodIsBounded()
    {
        const QByteArray flood(3 * 1024 * 1024, '\x55');
        TcpPeer peer({PeerTurn{{{0, flood}}}});
        const auto medium = connectLocal(peer.port());
        QVERIFY(medium);
        ExchangeEngine engine;
        QByteArray answer;
        QCOMPARE(engine.run(*medium, "q", expectBytes(4 * 1024 * 1024, 1500), &answer),
                 int(ExchangeEngine::Incomplete));
        QVERIFY2(answer.size() > 0 && answer.size() <= 1024 * 1024, qPrintable(QString::number(answer.size())));
        QVERIFY(flood.startsWith(answer));
        // The medium itself never hands over more than asked for.
        QCOMPARE(medium->waitReadable(QDeadlineTimer(1000)), LinkMedium::Wait::Readable);
        QCOMPARE(medium->readAvailable(100).size(), 100);
    }

    void peerGoesAway_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QByteArray>("lastBytes");
        QTest::addColumn<int>("errorCode");
        // A pseudo-terminal's hang-up takes unread bytes with it; TCP hands
        // over what came before the end of the stream.
        QTest::newRow("tcp peer closes") << false << QByteArray("bye") << 1;
        QTest::newRow("tcp peer resets") << false << QByteArray("bye") << 1;
        QTest::newRow("serial device hangs up") << true << QByteArray() << 9;
    }
    void peerGoesAway()
    {
        QFETCH(bool, serial);
        QFETCH(QByteArray, lastBytes);
        QFETCH(int, errorCode);
        PtyPair pty;
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        std::unique_ptr<LinkMedium> medium;
        if (serial) {
            medium = SerialMedium::open(line(pty.slaveName()));
            pty.write("bye");
            pty.closeMaster();
        } else {
            medium = connectLocal(server.serverPort());
            QVERIFY(server.waitForNewConnection(1000));
            QScopedPointer<QTcpSocket> peer(server.nextPendingConnection());
            peer->write("bye");
            QVERIFY(peer->waitForBytesWritten(1000));
            if (QTest::currentDataTag() == QLatin1String("tcp peer resets")) {
                const linger now = {1, 0};  // the close sends a reset
                QCOMPARE(::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now), 0);
            }
            peer->close();
        }
        QVERIFY(medium);
        QThread::msleep(50);
        QVERIFY(medium->waitReadable(QDeadlineTimer(1000)) != LinkMedium::Wait::TimedOut);
        QCOMPARE(medium->readAvailable(100), lastBytes);
        QVERIFY(medium->lost() && !medium->usable());
        QCOMPARE(medium->errorCode(), errorCode);
        QCOMPARE(medium->waitReadable(QDeadlineTimer(1000)), LinkMedium::Wait::Lost);
        QByteArray answer;
        ExchangeEngine engine;
        QCOMPARE(engine.run(*medium, "q", expectBytes(4, 100), &answer), int(ExchangeEngine::NotConnected));
    }

    // Another thread raises the wake-up: the owner's wait ends at once, and
    // every later one until the owner takes it back.
    void wakeEndsWait_data()
    {
        QTest::addColumn<bool>("serial");
        addBothMedia("wait", [](QTestData &) {});
    }
    void wakeEndsWait()
    {
        QFETCH(bool, serial);
        Rig rig(serial, {PeerTurn{}});
        QVERIFY(rig.medium);
        LinkWake wake;
        rig.medium->setWake(&wake);
        QScopedPointer<QThread> other(QThread::create([&] {
            QThread::msleep(50);
            wake.raise();
        }));
        other->start();
        QElapsedTimer clock;
        clock.start();
        ExchangeEngine engine;
        QByteArray answer;
        QCOMPARE(engine.run(*rig.medium, "q", expectBytes(4, 10000), &answer), int(ExchangeEngine::Woken));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(other->wait(1000));
        QCOMPARE(rig.medium->waitReadable(QDeadlineTimer(QDeadlineTimer::Forever)), LinkMedium::Wait::Woken);
        wake.clear();
        QCOMPARE(rig.medium->waitReadable(QDeadlineTimer(20)), LinkMedium::Wait::TimedOut);
        QVERIFY(rig.medium->usable());
    }

    // Writes larger than the system takes at once go out in parts, in order.
    void writeInParts_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("reader");
        QTest::newRow("tcp 8 MiB") << false << 8 * 1024 * 1024 << true;
        QTest::newRow("serial 256 KiB") << true << 256 * 1024 << true;
        QTest::newRow("serial: nobody reads") << true << 1024 * 1024 << false;
    }
    void writeInParts()
    {
        QFETCH(bool, serial);
        QFETCH(int, size);
        QFETCH(bool, reader);
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 7 + i / 251);  // every byte value, '\n' included
        if (!reader) {
            PtyPair pty;
            const auto medium = SerialMedium::open(line(pty.slaveName()));
            QVERIFY(medium);
            QVERIFY(!medium->write(bytes, QDeadlineTimer(200)));
            QVERIFY(medium->lost());
            QCOMPARE(medium->errorCode(), 12);  // a time-out
            return;
        }
        Rig rig(serial, {PeerTurn{}});
        QVERIFY(rig.medium);
        QVERIFY(rig.medium->write(bytes, QDeadlineTimer(10000)));
        QTRY_COMPARE_WITH_TIMEOUT(rig.received().size(), size, 10000);
        QVERIFY(rig.received() == bytes);
    }
};

QTEST_GUILESS_MAIN(TestLinkTransport)
#include "tst_linktransport.moc"
