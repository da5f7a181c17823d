// The link transport over real media: a loopback TCP server and a
// pseudo-terminal pair standing in for a serial line.

#include "LinkTestPeers.h"
#include "LinkTransport.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

namespace {

LinkProfile fxProfile()
{
    LinkProfile p;
    p.tracePrefix = QStringLiteral("lib[Kelvaro]");
    p.disconnectTemplate = QStringLiteral("lib[Kelvaro]%1:%2 Disconnected=%3");
    p.sendVariant = LinkProfile::FxSend;
    p.abortBeforeConnect = true;
    p.parseAddressBeforeSocket = true;
    return p;
}

LinkProfile mcProfile()
{
    LinkProfile p;
    p.tracePrefix = QStringLiteral("lib[Norvessa]");
    p.disconnectTemplate = QStringLiteral("lib[Norvessa]%1:%2 Disconnected=%3");
    p.sendVariant = LinkProfile::McSend;
    p.abortBeforeConnect = false;
    p.parseAddressBeforeSocket = false;
    return p;
}

// Complete once `length` bytes are there.
AnswerJudge expectBytes(int length)
{
    return [length](const QByteArray &soFar) { return std::max(0, length - int(soFar.size())); };
}

struct LogLine {
    QtMsgType type;
    QString category;
    QString text;
};
QList<LogLine> g_log;
QtMessageHandler g_previousHandler = nullptr;

void captureMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    g_log.append({type, QString::fromLatin1(context.category ? context.category : ""), text});
}

QList<LogLine> linesOf(QtMsgType type)
{
    QList<LogLine> out;
    for (const LogLine &line : qAsConst(g_log))
        if (line.type == type)
            out.append(line);
    return out;
}

QList<QSerialPort::SerialPortError> unsupportedErrors(const QSignalSpy &spy)
{
    QList<QSerialPort::SerialPortError> out;
    for (const QList<QVariant> &args : spy) {
        const auto e = args.at(0).value<QSerialPort::SerialPortError>();
        if (e == QSerialPort::UnsupportedOperationError)
            out.append(e);
    }
    return out;
}

} // namespace

class TestLinkTransport : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        g_log.clear();
        g_previousHandler = qInstallMessageHandler(captureMessages);
    }
    void cleanup() { qInstallMessageHandler(g_previousHandler); }

    // --- construction, helpers --------------------------------------------
    void freshLink()
    {
        CLinkTransport link(fxProfile());
        QCOMPARE(link.gapInterval(), 2);
        QVERIFY(!link.traceOn());
        QVERIFY(!link.serialPort());
        QVERIFY(!link.tcpSocket());
        QCOMPARE(link.Connection_status(), -3);
        QCOMPARE(link.peerAddressText(), QString());
        QCOMPARE(link.peerPort(), 0);
        // No device: nothing to send on, nothing to wait for.
        QCOMPARE(link.Only_send("x"), 1);
        QCOMPARE(link.waitForReady(10), 1);
        QCOMPARE(link.waitForReady(QByteArray("x"), 10), 1);
        QCOMPARE(link.serialDisConnectDrive(), 1);
        QCOMPARE(link.EthDisConnectDrive(), 1);
        QCOMPARE(link.DestroyFree(), 1);
        QByteArray answer("keep");
        QCOMPARE(link.SendData("x", answer, 20), -1);
        QCOMPARE(answer, QByteArray("keep"));
    }

    void hexText()
    {
        QCOMPARE(CLinkTransport::hex(QByteArray("\x01\xab\xff\x00", 4)), QStringLiteral("01abff00"));
        QCOMPARE(CLinkTransport::hex(QByteArray()), QString());
    }

    void traceLinesFollowTheFlag()
    {
        CLinkTransport link(fxProfile());
        link.traceLine(QStringLiteral("lib[Kelvaro]hidden"));
        QVERIFY(linesOf(QtDebugMsg).isEmpty());

        link.setTrace(true);
        link.traceLine(QStringLiteral("lib[Kelvaro]shown 1"));
        link.setTrace(false);
        link.traceLine(QStringLiteral("lib[Kelvaro]hidden again"));

        const QList<LogLine> debug = linesOf(QtDebugMsg);
        QCOMPARE(debug.size(), 1);
        // Streamed as one QString: the text appears quoted.
        QCOMPARE(debug.at(0).text, QStringLiteral("\"lib[Kelvaro]shown 1\""));
        QCOMPARE(debug.at(0).category, QStringLiteral("default"));

        CLinkTransport::warningLine(QStringLiteral("lib[Kelvaro]always"));
        const QList<LogLine> warnings = linesOf(QtWarningMsg);
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.at(0).text, QStringLiteral("\"lib[Kelvaro]always\""));
        QCOMPARE(warnings.at(0).category, QStringLiteral("default"));
    }

    void mysleepRunsTheEventLoop()
    {
        CLinkTransport link(fxProfile());
        bool delivered = false;
        QTimer::singleShot(5, [&] { delivered = true; });
        QElapsedTimer clock;
        clock.start();
        link.mysleep(30);
        QVERIFY(clock.elapsed() >= 29);
        QVERIFY(delivered);
    }

    // --- serial line ----------------------------------------------------------
    void serialSettingsApplied()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 2, QStringLiteral("N")), 0);
        QSerialPort *port = link.serialPort();
        QVERIFY(port);
        QVERIFY(port->isOpen());
        QCOMPARE(QStringLiteral("/dev/") + port->portName(), pty.slaveName());
        QCOMPARE(port->baudRate(QSerialPort::Input), 9600);
        QCOMPARE(port->baudRate(QSerialPort::Output), 9600);
        QCOMPARE(port->dataBits(), QSerialPort::Data8);
        QCOMPARE(port->stopBits(), QSerialPort::TwoStop);
        QCOMPARE(port->parity(), QSerialPort::NoParity);
        QCOMPARE(port->flowControl(), QSerialPort::NoFlowControl);
        QCOMPARE(link.gapInterval(), 3);
        QCOMPARE(link.Connection_status(), 0);
        QCOMPARE(link.peerAddressText(), QString());
        QCOMPARE(link.peerPort(), 0);

        // No Qt children: the port belongs to the connecting thread alone.
        QVERIFY(link.children().isEmpty());

        // Reconnect with other settings: closed and reopened on the same objects.
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 19200, 8, 3, QStringLiteral("none")), 0);
        QCOMPARE(link.serialPort(), port);
        QVERIFY(port->isOpen());
        QCOMPARE(port->baudRate(), 19200);
        QCOMPARE(port->stopBits(), QSerialPort::OneAndHalfStop);
        QCOMPARE(link.gapInterval(), 3);  // rates above 9600 keep the last interval

        // Values outside the tables leave the settings and still succeed.
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 14400, 9, 4, QStringLiteral("x")), 0);
        QCOMPARE(port->baudRate(), 19200);
        QCOMPARE(port->dataBits(), QSerialPort::Data8);
        QCOMPARE(port->stopBits(), QSerialPort::OneAndHalfStop);
        QCOMPARE(link.gapInterval(), 3);
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 0, QString()), 0);
        QCOMPARE(port->stopBits(), QSerialPort::OneAndHalfStop);
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, QString()), 0);
        QCOMPARE(port->stopBits(), QSerialPort::OneStop);
    }

    void gapIntervalByBaudRate_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("gap");
        QTest::newRow("1200") << 0 << 1200 << 1200 << 20;
        QTest::newRow("2400") << 0 << 2400 << 2400 << 10;
        QTest::newRow("4800") << 0 << 4800 << 4800 << 6;
        QTest::newRow("9600") << 0 << 9600 << 9600 << 3;
        QTest::newRow("19200 fresh") << 0 << 19200 << 19200 << 2;
        QTest::newRow("115200 after 2400") << 2400 << 115200 << 115200 << 10;
        QTest::newRow("14400 after 4800") << 4800 << 14400 << 4800 << 6;
        QTest::newRow("1200 after 9600") << 9600 << 1200 << 1200 << 20;
    }
    void gapIntervalByBaudRate()
    {
        QFETCH(int, first);
        QFETCH(int, baud);
        QFETCH(int, rate);
        QFETCH(int, gap);
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(fxProfile());
        if (first)
            QCOMPARE(link.serialConnectDrive(pty.slaveName(), first, 8, 1, "N"), 0);
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), baud, 8, 1, "N"), 0);
        QCOMPARE(link.serialPort()->baudRate(), rate);
        QCOMPARE(link.gapInterval(), gap);
    }

    void gapAt1200CoversOneCharacter()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 1200, 8, 1, "N"), 0);
        // 11 bits per character at 1200 baud.
        const int characterMs = (11 * 1000 + 1199) / 1200;
        QVERIFY2(link.gapInterval() >= characterMs,
                 qPrintable(QString::number(link.gapInterval())));

        // Characters that follow each other at less than the gap stay one
        // answer, without any completeness test.
        QList<PeerReply> replies;
        const QByteArray expected("\x02" "0102030405" "\x03" "AB");
        for (int i = 0; i < expected.size(); ++i)
            replies.append({i == 0 ? 0 : 5, expected.mid(i, 1)});
        PtyPeer peer(pty, {PeerTurn{replies}});
        QByteArray answer;
        QCOMPARE(link.SendData("\x02" "00" "\x03", answer, 400), 0);
        QCOMPARE(answer, expected);
    }

    void serialDataBitsAndParityRules_data()
    {
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<QString>("parity");
        QTest::addColumn<int>("askedDataBits");  // 0: left as it was
        QTest::addColumn<int>("askedParity");    // -1: left as it was
        // A pseudo-terminal refuses some settings (7 bits, even parity): a
        // refused setter still shows that the link asked for it.
        const int none = QSerialPort::NoParity, even = QSerialPort::EvenParity,
                  odd = QSerialPort::OddParity;
        QTest::newRow("8 N") << 8 << "N" << 8 << none;
        QTest::newRow("8 None") << 8 << "None" << 8 << none;
        QTest::newRow("8 Even has an n") << 8 << "Even" << 8 << none;
        QTest::newRow("8 even has an n") << 8 << "even" << 8 << none;
        QTest::newRow("8 E") << 8 << "E" << 8 << even;
        QTest::newRow("8 e") << 8 << "e" << 8 << even;
        QTest::newRow("8 O") << 8 << "O" << 8 << odd;
        QTest::newRow("8 Odd") << 8 << "Odd" << 8 << odd;
        QTest::newRow("8 oe") << 8 << "oe" << 8 << even;
        QTest::newRow("8 empty") << 8 << "" << 8 << -1;
        QTest::newRow("8 X") << 8 << "X" << 8 << -1;
        QTest::newRow("7 N") << 7 << "N" << 7 << none;
        QTest::newRow("6 N") << 6 << "N" << 6 << none;
        QTest::newRow("9 keeps") << 9 << "N" << 0 << none;
        QTest::newRow("4 keeps") << 4 << "N" << 0 << none;
    }
    void serialDataBitsAndParityRules()
    {
        QFETCH(int, dataBits);
        QFETCH(QString, parity);
        QFETCH(int, askedDataBits);
        QFETCH(int, askedParity);
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        QSerialPort *port = link.serialPort();
        QCOMPARE(port->dataBits(), QSerialPort::Data8);
        QCOMPARE(port->parity(), QSerialPort::NoParity);
        QSignalSpy spy(port, &QSerialPort::errorOccurred);
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, dataBits, 1, parity), 0);
        const int refused = unsupportedErrors(spy).size();
        const bool dataSet = askedDataBits != 0 && port->dataBits() == askedDataBits;
        const bool paritySet = askedParity > QSerialPort::NoParity && port->parity() == askedParity;
        // Every request the line did not take left exactly one refusal.
        const int expectedRefusals = (askedDataBits != 0 && askedDataBits != 8 && !dataSet ? 1 : 0)
            + (askedParity > QSerialPort::NoParity && !paritySet ? 1 : 0);
        QCOMPARE(refused, expectedRefusals);
        if (askedDataBits == 0 || askedDataBits == 8)
            QCOMPARE(port->dataBits(), QSerialPort::Data8);
        if (askedParity <= QSerialPort::NoParity)
            QCOMPARE(port->parity(), QSerialPort::NoParity);
        // On a line that takes odd parity, the letter O really selected it.
        if (askedParity == QSerialPort::OddParity && refused == 0)
            QCOMPARE(port->parity(), QSerialPort::OddParity);
        QVERIFY(port->isOpen());
        QCOMPARE(link.Connection_status(), 0);
    }

    void serialOpenFailure()
    {
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(QStringLiteral("/dev/plc-no-such-tty"), 9600, 7, 1, "E"), -1);
        QVERIFY(link.serialPort());
        QVERIFY(!link.serialPort()->isOpen());
        QVERIFY(link.findChildren<QTimer *>().isEmpty());
        QCOMPARE(link.gapInterval(), 2);
        QCOMPARE(link.Connection_status(), -3);
        QCOMPARE(link.serialDisConnectDrive(), 1);
        // A frame on a closed port is lost and the exchange runs into its time-out.
        QByteArray answer;
        QCOMPARE(link.SendData("x", answer, 30, expectBytes(1)), -1);
        QVERIFY(answer.isEmpty());
        QCOMPARE(link.DestroyFree(), 0);
        QVERIFY(!link.serialPort());
        QCOMPARE(link.DestroyFree(), 1);
    }

    void serialExchange_data()
    {
        QTest::addColumn<bool>("mcVariant");
        QTest::addColumn<bool>("withJudge");
        QTest::newRow("fx plain") << false << false;
        QTest::newRow("fx judged") << false << true;
        QTest::newRow("mc plain") << true << false;
        QTest::newRow("mc judged") << true << true;
    }
    void serialExchange()
    {
        QFETCH(bool, mcVariant);
        QFETCH(bool, withJudge);
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(mcVariant ? mcProfile() : fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        PtyPeer peer(pty, {PeerTurn{{{0, "\x02" "1234" "\x03" "C9"}}}});
        QByteArray answer("head:");
        const int result = withJudge ? link.SendData("\x02" "0A" "\x03", answer, 200, expectBytes(8))
                                     : link.SendData("\x02" "0A" "\x03", answer, 200);
        QCOMPARE(result, 0);
        QCOMPARE(answer, QByteArray("head:\x02" "1234" "\x03" "C9"));  // appended
        QTRY_VERIFY(peer.scriptDone());
        QCOMPARE(peer.requests().value(0), QByteArray("\x02" "0A" "\x03"));
    }

    void serialAnswerInPieces_data()
    {
        QTest::addColumn<bool>("withJudge");
        QTest::addColumn<QByteArray>("expected");
        // A pause far longer than the gap splits the answer on the line.
        QTest::newRow("judged: whole answer") << true << QByteArray("ABCDEFGH");
        QTest::newRow("plain: first piece only") << false << QByteArray("ABC");
    }
    void serialAnswerInPieces()
    {
        QFETCH(bool, withJudge);
        QFETCH(QByteArray, expected);
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        PtyPeer peer(pty, {PeerTurn{{{0, "ABC"}, {80, "DE"}, {80, "FGH"}}},
                           PeerTurn{{{0, "next"}}}});
        QByteArray answer;
        const int result = withJudge ? link.SendData("q1", answer, 400, expectBytes(8))
                                     : link.SendData("q1", answer, 400);
        QCOMPARE(result, 0);
        QCOMPARE(answer, expected);

        // Whatever was left of the first answer does not reach the second.
        QTRY_VERIFY(peer.requests().size() >= 1);
        QThread::msleep(250);
        answer.clear();
        QCOMPARE(link.SendData("q2", answer, 200, expectBytes(4)), 0);
        QCOMPARE(answer, QByteArray("next"));
    }

    void serialJudgeStretchesDeadlineAtLowBaud_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("result");
        // 40 bytes need 367 ms at 1200 baud: a 30 ms time-out must not cut them.
        // At 115200 they need 4 ms, so a pause of 80 ms is a dead line.
        QTest::newRow("1200") << 1200 << 0;
        QTest::newRow("115200") << 115200 << -1;
    }
    void serialJudgeStretchesDeadlineAtLowBaud()
    {
        QFETCH(int, baud);
        QFETCH(int, result);
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), baud, 8, 1, "N"), 0);
        const QByteArray whole = QByteArray(40, 'x');
        PtyPeer peer(pty, {PeerTurn{{{0, whole.left(10)}, {80, whole.mid(10, 10)},
                                     {80, whole.mid(20, 10)}, {80, whole.mid(30)}}}});
        QByteArray answer;
        QCOMPARE(link.SendData("req", answer, 30, expectBytes(40)), result);
        if (result == 0) {
            QCOMPARE(answer, whole);
        } else {
            // The part that came is handed over, marked by -1.
            QVERIFY(!answer.isEmpty());
            QVERIFY(answer.size() < whole.size());
            QVERIFY(whole.startsWith(answer));
        }
    }

    void serialTimeouts()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        PtyPeer peer(pty, {PeerTurn{}, PeerTurn{}, PeerTurn{{{0, "part"}}}});

        // No answer at all.
        QByteArray answer;
        QCOMPARE(link.SendData("a", answer, 40), -1);
        QVERIFY(answer.isEmpty());
        QCOMPARE(link.SendData("b", answer, 40, expectBytes(5)), -1);
        QVERIFY(answer.isEmpty());
        // A cut answer comes back with -1 and its bytes.
        QCOMPARE(link.SendData("c", answer, 60, expectBytes(10)), -1);
        QCOMPARE(answer, QByteArray("part"));
        QTRY_VERIFY(peer.scriptDone());
        QCOMPARE(peer.requests().mid(0, 3), (QList<QByteArray>{"a", "b", "c"}));
    }

    void serialStaleBytesDiscarded_data()
    {
        QTest::addColumn<bool>("eventLoopBetween");
        // The late bytes either wait unread in the kernel, or have been read
        // into the port by the event loop before the next request.
        QTest::newRow("unread in the line") << false;
        QTest::newRow("read by the event loop") << true;
    }
    void serialStaleBytesDiscarded()
    {
        QFETCH(bool, eventLoopBetween);
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        PtyPeer peer(pty, {PeerTurn{{{900, "LATE"}}}, PeerTurn{{{0, "GOOD"}}}});
        QByteArray answer;
        QCOMPARE(link.SendData("r1", answer, 30), -1);
        QVERIFY(answer.isEmpty());
        QVERIFY(peer.waitForReplies(1));  // the late answer is on the line now
        if (eventLoopBetween)
            link.mysleep(50);
        QCOMPARE(link.SendData("r2", answer, 200), 0);
        QCOMPARE(answer, QByteArray("GOOD"));
    }

    void serialDisconnectAndRelease()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        QSerialPort *port = link.serialPort();
        QCOMPARE(link.serialDisConnectDrive(), 0);
        QVERIFY(!port->isOpen());
        QCOMPARE(link.serialPort(), port);  // kept for a later connect
        QCOMPARE(link.Connection_status(), -3);
        QCOMPARE(link.serialDisConnectDrive(), 1);
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        QCOMPARE(link.serialPort(), port);
        QCOMPARE(link.Connection_status(), 0);

        QCOMPARE(link.DestroyFree(), 0);
        QVERIFY(!link.serialPort());
        QCOMPARE(link.Connection_status(), -3);
        QCOMPARE(link.DestroyFree(), 1);
        // The link stays usable: a new connect builds a new port.
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        QVERIFY(link.serialPort());
        QCOMPARE(link.Connection_status(), 0);
    }

    // --- TCP --------------------------------------------------------------------
    void tcpConnectResults()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const int port = server.serverPort();

        CLinkTransport fx(fxProfile());
        QCOMPARE(fx.EthConnectDrive(QStringLiteral("localhost"), port), -1);  // names are not looked up
        QVERIFY(!fx.tcpSocket());  // this profile checks the address first
        QCOMPARE(fx.EthConnectDrive(QStringLiteral("127.0.0.1"), port), 0);
        QVERIFY(fx.tcpSocket());
        QCOMPARE(fx.Connection_status(), 0);
        QCOMPARE(fx.peerAddressText(), QStringLiteral("127.0.0.1"));
        QCOMPARE(fx.peerPort(), port);

        CLinkTransport mc(mcProfile());
        QCOMPARE(mc.EthConnectDrive(QStringLiteral("plc.example"), port), -1);
        QVERIFY(mc.tcpSocket());  // the socket comes first on this profile
        QCOMPARE(mc.Connection_status(), -3);

        // A port nobody listens on: refused.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const int deadPort = closed.serverPort();
        closed.close();
        CLinkTransport refused(fxProfile());
        QCOMPARE(refused.EthConnectDrive(QStringLiteral("127.0.0.1"), deadPort), -3);
        QCOMPARE(refused.Connection_status(), -3);
        QCOMPARE(refused.peerPort(), deadPort);
    }

    void tcpReconnectAbortsOnlyWithTheProfile_data()
    {
        QTest::addColumn<bool>("abort");
        QTest::addColumn<int>("connections");
        QTest::newRow("abort first") << true << 2;
        QTest::newRow("keep connection") << false << 1;
    }
    void tcpReconnectAbortsOnlyWithTheProfile()
    {
        QFETCH(bool, abort);
        QFETCH(int, connections);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        LinkProfile profile = mcProfile();
        profile.abortBeforeConnect = abort;
        CLinkTransport link(profile);
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), server.serverPort()), 0);
        QVERIFY(server.waitForNewConnection(1000));
        QScopedPointer<QTcpSocket> first(server.nextPendingConnection());
        QTcpSocket *socket = link.tcpSocket();

        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), server.serverPort()), 0);
        QCOMPARE(link.tcpSocket(), socket);
        QCOMPARE(link.Connection_status(), 0);
        int accepted = 1;
        while (server.waitForNewConnection(100)) {
            delete server.nextPendingConnection();
            ++accepted;
        }
        QCOMPARE(accepted, connections);
        // The first connection was dropped only when the profile aborts.
        first->waitForReadyRead(100);
        QCOMPARE(first->state() == QAbstractSocket::ConnectedState, !abort);
    }

    void tcpExchange_data()
    {
        QTest::addColumn<bool>("mcVariant");
        QTest::addColumn<bool>("withJudge");
        QTest::newRow("fx plain") << false << false;
        QTest::newRow("fx judged") << false << true;
        QTest::newRow("mc plain") << true << false;
        QTest::newRow("mc judged") << true << true;
    }
    void tcpExchange()
    {
        QFETCH(bool, mcVariant);
        QFETCH(bool, withJudge);
        const QByteArray reply = QByteArray::fromHex("d00000ffff0300040000001234");
        TcpPeer peer({PeerTurn{{{0, reply}}}});
        CLinkTransport link(mcVariant ? mcProfile() : fxProfile());
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.port()), 0);
        QByteArray answer("X");
        const QByteArray request = QByteArray::fromHex("500000ffff03000c00");
        const int result = withJudge ? link.SendData(request, answer, 100, expectBytes(reply.size()))
                                     : link.SendData(request, answer, 100);
        QCOMPARE(result, 0);
        QCOMPARE(answer, QByteArray("X") + reply);
        QTRY_VERIFY(peer.scriptDone());
        QCOMPARE(peer.requests().value(0), request);
    }

    void tcpAnswerInPieces_data()
    {
        QTest::addColumn<bool>("withJudge");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("judged: whole answer") << true << QByteArray("0123456789");
        QTest::newRow("plain: first segment") << false << QByteArray("0123");
    }
    void tcpAnswerInPieces()
    {
        QFETCH(bool, withJudge);
        QFETCH(QByteArray, expected);
        TcpPeer peer({PeerTurn{{{0, "0123"}, {80, "45"}, {80, "6789"}}}, PeerTurn{{{0, "next"}}}});
        CLinkTransport link(fxProfile());
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.port()), 0);
        QByteArray answer;
        const int result = withJudge ? link.SendData("q1", answer, 400, expectBytes(10))
                                     : link.SendData("q1", answer, 400);
        QCOMPARE(result, 0);
        QCOMPARE(answer, expected);
        QThread::msleep(250);
        answer.clear();
        QCOMPARE(link.SendData("q2", answer, 200, expectBytes(4)), 0);
        QCOMPARE(answer, QByteArray("next"));
    }

    void tcpTimeouts()
    {
        TcpPeer peer({PeerTurn{}, PeerTurn{}, PeerTurn{{{0, "part"}}}, PeerTurn{{{0, "late"}}}});
        CLinkTransport link(mcProfile());
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.port()), 0);
        QByteArray answer;
        QCOMPARE(link.SendData("a", answer, 30), -1);
        QVERIFY(answer.isEmpty());
        QCOMPARE(link.SendData("b", answer, 30, expectBytes(4)), -1);
        QVERIFY(answer.isEmpty());
        QCOMPARE(link.SendData("c", answer, 50, expectBytes(10)), -1);
        QCOMPARE(answer, QByteArray("part"));
        // A time-out of 0 or less: the frame still goes out, the answer is not looked at.
        answer = "untouched";
        QCOMPARE(link.SendData("d", answer, 0, expectBytes(4)), -1);
        QCOMPARE(answer, QByteArray("untouched"));
        QTRY_VERIFY(peer.scriptDone());
        QCOMPARE(peer.requests().mid(0, 4), (QList<QByteArray>{"a", "b", "c", "d"}));
    }

    void tcpStaleBytesDiscarded_data()
    {
        QTest::addColumn<bool>("eventLoopBetween");
        QTest::newRow("unread in the socket") << false;
        QTest::newRow("delivered by the event loop") << true;
    }
    void tcpStaleBytesDiscarded()
    {
        QFETCH(bool, eventLoopBetween);
        TcpPeer peer({PeerTurn{{{900, "LATE"}}}, PeerTurn{{{50, "GOOD"}}}});
        CLinkTransport link(fxProfile());
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.port()), 0);
        QByteArray answer;
        QCOMPARE(link.SendData("r1", answer, 20), -1);
        QVERIFY(answer.isEmpty());
        QVERIFY(peer.waitForReplies(1));  // the late answer has arrived by now
        if (eventLoopBetween)
            link.mysleep(50);
        QCOMPARE(link.SendData("r2", answer, 200), 0);
        QCOMPARE(answer, QByteArray("GOOD"));
    }

    // After a failed exchange the next one connects again first, so a late
    // answer on the old connection can never reach it; when the peer takes no
    // new connection the link is lost (-3) with the lost-connection line.
    void tcpDirtyLinkConnectsAgain()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        CLinkTransport link(mcProfile());
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), server.serverPort()), 0);
        QVERIFY(server.waitForNewConnection(1000));
        QScopedPointer<QTcpSocket> first(server.nextPendingConnection());
        AnswerRule rule;
        rule.judge = expectBytes(4);
        rule.allowanceMs = 30;
        QByteArray answer;
        QCOMPARE(link.exchange("r1", rule, &answer), -1);
        first->write("LATE");
        QVERIFY(first->waitForBytesWritten(1000));
        QCOMPARE(link.exchange("r2", rule, &answer), -1);
        QVERIFY(answer.isEmpty());
        QVERIFY(server.waitForNewConnection(1000));
        QScopedPointer<QTcpSocket> second(server.nextPendingConnection());
        QVERIFY(second->waitForReadyRead(1000));
        QCOMPARE(second->readAll(), QByteArray("r2"));
        server.close();
        QCOMPARE(link.exchange("r3", rule, &answer), -3);
        QCOMPARE(linesOf(QtWarningMsg).size(), 1);
        QCOMPARE(link.Connection_status(), -3);
    }

    void tcpFloodIsBounded()
    {
        // A device that sends far more than any answer: the link keeps a
        // bounded part and reports the exchange as cut.
        const QByteArray flood(3 * 1024 * 1024, '\x55');
        TcpPeer peer({PeerTurn{{{0, flood}}}});
        CLinkTransport link(mcProfile());
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.port()), 0);
        QByteArray answer;
        QCOMPARE(link.SendData("q", answer, 1500, expectBytes(4 * 1024 * 1024)), -1);
        QCOMPARE(answer.size(), 1024 * 1024);
        QVERIFY(flood.startsWith(answer));
    }

    void tcpDisconnectWarning()
    {
        TcpPeer peer({PeerTurn{{{0, "bye"}}}}, true);
        CLinkTransport link(fxProfile());
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.port()), 0);
        QByteArray answer;
        QCOMPARE(link.SendData("q", answer, 100), 0);
        QCOMPARE(answer, QByteArray("bye"));
        // The peer closes; the link notices in the event loop.
        for (int i = 0; i < 200 && linesOf(QtWarningMsg).isEmpty(); ++i)
            link.mysleep(10);
        const QList<LogLine> warnings = linesOf(QtWarningMsg);
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.at(0).text,
                 QStringLiteral("\"lib[Kelvaro]127.0.0.1:%1 Disconnected=%2\"")
                     .arg(peer.port())
                     .arg(int(QAbstractSocket::RemoteHostClosedError)));
        QCOMPARE(warnings.at(0).category, QStringLiteral("default"));
        QCOMPARE(link.Connection_status(), -3);
        QVERIFY(link.tcpSocket());  // no state change, no reconnect
        answer.clear();
        QCOMPARE(link.SendData("q", answer, 20), -1);
        QVERIFY(answer.isEmpty());
    }

    void tcpDisconnectAndRelease()
    {
        // The kernel completes connections to a listening socket on its own.
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        CLinkTransport link(fxProfile());
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.serverPort()), 0);
        QTcpSocket *socket = link.tcpSocket();
        QCOMPARE(link.EthDisConnectDrive(), 0);
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(link.tcpSocket(), socket);
        QCOMPARE(link.Connection_status(), -3);
        QCOMPARE(link.EthDisConnectDrive(), 0);  // the socket object is still there

        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.serverPort()), 0);
        QCOMPARE(link.Connection_status(), 0);
        QCOMPARE(link.DestroyFree(), 0);
        QVERIFY(!link.tcpSocket());
        QVERIFY(link.findChildren<QTcpSocket *>().isEmpty());
        QCOMPARE(link.peerAddressText(), QString());
        QCOMPARE(link.DestroyFree(), 1);
    }

    void socketWinsOverSerialPort()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TcpPeer peer({PeerTurn{{{0, "tcp"}}}});
        CLinkTransport link(fxProfile());
        QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.port()), 0);
        QByteArray answer;
        QCOMPARE(link.SendData("via", answer, 100), 0);
        QCOMPARE(answer, QByteArray("tcp"));
        QVERIFY(pty.read(50).isEmpty());  // nothing went to the serial line
        QCOMPARE(link.peerAddressText(), QStringLiteral("127.0.0.1"));

        QCOMPARE(link.EthDisConnectDrive(), 0);
        QCOMPARE(link.Connection_status(), -3);  // the open port does not count
        // Release goes serial first, one medium per call.
        QCOMPARE(link.DestroyFree(), 0);
        QVERIFY(!link.serialPort());
        QVERIFY(link.tcpSocket());
        QCOMPARE(link.DestroyFree(), 0);
        QVERIFY(!link.tcpSocket());
        QCOMPARE(link.DestroyFree(), 1);
    }

    void invalidAddressSocketTakesOver()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        // On this profile an invalid address leaves a socket object behind,
        // which then wins over the open serial port.
        CLinkTransport mc(mcProfile());
        QCOMPARE(mc.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        QCOMPARE(mc.EthConnectDrive(QStringLiteral("no.such.host"), 5000), -1);
        QCOMPARE(mc.Connection_status(), -3);
        // With the address checked first the serial port stays in use.
        PtyPair otherPty;
        QVERIFY(otherPty.isValid());
        CLinkTransport fx(fxProfile());
        QCOMPARE(fx.serialConnectDrive(otherPty.slaveName(), 9600, 8, 1, "N"), 0);
        QCOMPARE(fx.EthConnectDrive(QStringLiteral("no.such.host"), 5000), -1);
        QCOMPARE(fx.Connection_status(), 0);
    }

    // --- re-entrant calls and calls from other threads --------------------------
    void reentrantExchangeRefused()
    {
        TcpPeer peer({PeerTurn{{{50, "outer"}}}});
        CLinkTransport link(fxProfile());
        QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), peer.port()), 0);
        // A call made while the outer one waits (here from its judge).
        int inner = 1;
        QByteArray innerAnswer;
        const AnswerJudge judge = [&](const QByteArray &soFar) {
            inner = link.SendData("inner", innerAnswer, 20);
            return std::max(0, 5 - int(soFar.size()));
        };
        QByteArray answer;
        QCOMPARE(link.SendData("outer?", answer, 600, judge), 0);
        QCOMPARE(answer, QByteArray("outer"));
        QCOMPARE(inner, int(CLinkTransport::Busy));
        QVERIFY(innerAnswer.isEmpty());
        QTRY_VERIFY(peer.scriptDone());
        QCOMPARE(peer.requests().value(0), QByteArray("outer?"));
    }

    void releaseDuringExchange_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("tcp") << false;
        QTest::newRow("serial") << true;
    }
    void releaseDuringExchange()
    {
        QFETCH(bool, serial);
        PtyPair pty;
        QVERIFY(pty.isValid());
        QScopedPointer<TcpPeer> tcpPeer;
        QScopedPointer<PtyPeer> ptyPeer;
        CLinkTransport link(fxProfile());
        if (serial) {
            ptyPeer.reset(new PtyPeer(pty, {PeerTurn{{{0, "ab"}, {400, "cd"}}}}));
            QCOMPARE(link.serialConnectDrive(pty.slaveName(), 9600, 8, 1, "N"), 0);
        } else {
            tcpPeer.reset(new TcpPeer({PeerTurn{{{0, "ab"}, {400, "cd"}}}}));
            QCOMPARE(link.EthConnectDrive(QStringLiteral("127.0.0.1"), tcpPeer->port()), 0);
        }
        // Another thread releases and calls while this one waits: both return
        // at once, the call refused with nothing sent.
        int released = 1, foreignCall = 1;
        qint64 foreignMs = -1;
        QScopedPointer<QThread> other(QThread::create([&] {
            QThread::msleep(100);
            QElapsedTimer clock;
            clock.start();
            QByteArray none;
            foreignCall = link.SendData("x", none, 20);
            released = link.DestroyFree();
            foreignMs = clock.elapsed();
        }));
        other->start();
        QByteArray answer;
        QCOMPARE(link.SendData("q", answer, 200, expectBytes(4)), -1);
        QVERIFY(other->wait(2000));
        QCOMPARE(released, 0);
        QCOMPARE(foreignCall, int(CLinkTransport::Busy));
        QVERIFY2(foreignMs >= 0 && foreignMs < 50, qPrintable(QString::number(foreignMs)));
        QCOMPARE(answer, QByteArray("ab"));
        // The owner releases at its next call.
        QCOMPARE(link.Connection_status(), -3);
        QVERIFY(!link.serialPort() && !link.tcpSocket());
        QCOMPARE(link.SendData("q", answer, 20), -1);
        QCOMPARE(peer(tcpPeer.data(), ptyPeer.data())->requests().value(0), QByteArray("q"));
    }

private:
    static const ScriptedPeer *peer(const ScriptedPeer *a, const ScriptedPeer *b) { return a ? a : b; }
};

QTEST_GUILESS_MAIN(TestLinkTransport)
#include "tst_linktransport.moc"
