// What the Lunetta driver puts on the wire, byte for byte, and what it makes of
// canned answers: a loopback TCP peer records the request and plays one answer.
#include "FxLinkTestSupport.h"
#include "LibMitsubishi_FX_links.h"

#include <QHostAddress>
#include <QMutex>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>
#include <atomic>

namespace {

// Accepts one connection, reads one request (up to its first quiet 30 ms) and
// writes `reply` (nothing when it is empty).
class RecordingPeer
{
public:
    explicit RecordingPeer(const QByteArray &reply) : m_reply(reply)
    {
        m_thread = QThread::create([this] { run(); });
        m_thread->start();
        m_ready.acquire();
    }
    ~RecordingPeer()
    {
        m_stop = true;
        m_thread->wait();
        delete m_thread;
    }
    quint16 port() const { return m_port; }
    QByteArray request() const
    {
        QMutexLocker l(&m_mutex);
        return m_request;
    }

private:
    void run()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        m_port = server.serverPort();
        m_ready.release();
        QTcpSocket *socket = nullptr;
        while (!m_stop && !socket)
            if (server.waitForNewConnection(20))
                socket = server.nextPendingConnection();
        if (!socket)
            return;
        QByteArray got;
        bool answered = false;
        while (!m_stop) {
            const bool more = socket->waitForReadyRead(30);
            got += socket->readAll();
            {
                QMutexLocker l(&m_mutex);
                m_request = got;
            }
            if (!more && !got.isEmpty() && !answered) {
                answered = true;
                if (!m_reply.isEmpty()) {
                    socket->write(m_reply);
                    socket->flush();
                    socket->waitForBytesWritten(1000);
                }
            }
        }
        delete socket;
    }

    QByteArray m_reply;
    QThread *m_thread = nullptr;
    QSemaphore m_ready;
    std::atomic<bool> m_stop{false};
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QByteArray m_request;
};

QByteArray sumChars(const QByteArray &bytes, int from)
{
    unsigned sum = 0;
    for (int i = from; i < bytes.size(); ++i)
        sum += static_cast<unsigned char>(bytes.at(i));
    return QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0');
}

QByteArray enq(const QByteArray &body)
{
    const QByteArray f = QByteArray(1, '\x05') + body;
    return f + sumChars(f, 1);
}

QByteArray stx(const QByteArray &route, const QByteArray &data)
{
    const QByteArray a = QByteArray(1, '\x02') + route + data + '\x03';
    return a + sumChars(a, 1);
}

} // namespace

class tst_fxlink_wire : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerLabelMetaTypes(); }
    void reads_data();
    void reads();
    void writes_data();
    void writes();
};

void tst_fxlink_wire::reads_data()
{
    QTest::addColumn<QString>("par");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("value");
    QTest::addColumn<QString>("warning");  // first words of the warning line; empty: none

    const QByteArray d100x1 = QByteArray(1, '\x05') + "01FFWR0D0100012C";
    const QByteArray d100x2 = QByteArray(1, '\x05') + "01FFWR0D0100022D";
    const QString check = QString::fromUtf8("lib[Lunetta]报文校验错误 ");
    const QString length = QString::fromUtf8("lib[Lunetta]报文返回长度错误 ");

    QTest::newRow("D100 one word") << "1" << "D100" << int(DT_Int16) << 1 << stx("01FF", "00FF")
                                   << d100x1 << 0 << QStringList{"255"} << QString();
    QTest::newRow("D100 two words") << "1" << "D100" << int(DT_Int16) << 2 << stx("01FF", "000A0014")
                                    << d100x2 << 0 << QStringList{"10", "20"} << QString();
    QTest::newRow("station 0") << "0" << "D100" << int(DT_UInt16) << 1 << stx("00FF", "FFFF")
                               << enq("00FFWR0D010001") << 0 << QStringList{"65535"} << QString();
    QTest::newRow("station 26") << "26" << "D100" << int(DT_UInt16) << 1 << stx("1AFF", "0001")
                                << enq("1AFFWR0D010001") << 0 << QStringList{"1"} << QString();
    QTest::newRow("station 257 as 01") << "257" << "D100" << int(DT_UInt16) << 1 << stx("01FF", "0001")
                                       << d100x1 << 0 << QStringList{"1"} << QString();
    QTest::newRow("lower-case address sent upper") << "1" << "d100" << int(DT_UInt16) << 1
                                                   << stx("01FF", "0002") << d100x1 << 0
                                                   << QStringList{"2"} << QString();
    QTest::newRow("bool 17 asks two words") << "1" << "M5" << int(DT_Bool) << 17
                                            << stx("01FF", "80010001") << enq("01FFWR0M000502") << 0
                                            << QStringList{"1", "0", "0", "0", "0", "0", "0", "0",
                                                           "0", "0", "0", "0", "0", "0", "0", "1", "1"}
                                            << QString();
    QTest::newRow("X17 octal in the frame") << "1" << "X17" << int(DT_Bool) << 2
                                            << stx("01FF", "0003") << enq("01FFWR0X001701") << 0
                                            << QStringList{"1", "1"} << QString();
    QTest::newRow("int32 low word first") << "1" << "D0" << int(DT_Int32) << 1
                                          << stx("01FF", "56781234") << enq("01FFWR0D000002") << 0
                                          << QStringList{QString::number(0x12345678)} << QString();
    QTest::newRow("lower-case data") << "1" << "D100" << int(DT_Int16) << 1 << stx("01FF", "00ff")
                                     << d100x1 << 7 << QStringList() << check;
    QTest::newRow("answer of station 2") << "1" << "D100" << int(DT_Int16) << 1 << stx("02FF", "00FF")
                                         << d100x1 << 7 << QStringList() << check;
    QByteArray badSum = stx("01FF", "00FF");
    badSum[badSum.size() - 2] = badSum.at(badSum.size() - 2) == '9' ? '8' : '9';
    QTest::newRow("bad sum") << "1" << "D100" << int(DT_Int16) << 1 << badSum << d100x1 << 7
                             << QStringList() << check;
    QTest::newRow("NAK") << "1" << "D100" << int(DT_Int16) << 1 << QByteArray("\x15" "01FF06")
                         << d100x1 << 7 << QStringList() << length;
    QTest::newRow("answer too long") << "1" << "D100" << int(DT_Int16) << 1
                                     << (stx("01FF", "00FF") + "00") << d100x1 << 7 << QStringList()
                                     << length;
    QTest::newRow("one word for two") << "1" << "D100" << int(DT_Int16) << 2 << stx("01FF", "00FF")
                                      << d100x2 << 7 << QStringList() << length;
    QTest::newRow("no answer") << "1" << "D100" << int(DT_Int16) << 1 << QByteArray() << d100x1 << 8
                               << QStringList() << QString::fromUtf8("lib[Lunetta]返回的报文长度为0 ");
}

void tst_fxlink_wire::reads()
{
    QFETCH(QString, par);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QStringList, value);
    QFETCH(QString, warning);

    RecordingPeer peer(reply);
    LibMitsubishi_FX_links drv;
    drv.SetConnectPar(par);
    QCOMPARE(drv.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(peer.port())), 0);
    MessageCapture capture;
    const CLabelVariable r = drv.ReadVariable(address, DataType(type), count);
    QCOMPARE(r.status, status);
    QCOMPARE(valueText(r.value, type), value);
    QTRY_COMPARE(peer.request(), request);
    const QStringList warnings = MessageCapture::of(QtWarningMsg);
    if (warning.isEmpty()) {
        QVERIFY(warnings.isEmpty());
    } else {
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.first(), warning + QStringLiteral("127.0.0.1:%1 Area=%2 len=%3 msg : %4")
                                             .arg(QString::number(peer.port()), address,
                                                  QString::number(LibMitsubishi_FX_links::wordsFor(type, count)),
                                                  QString::fromLatin1(request.toHex())));
    }
    drv.DestroyFree();
}

void tst_fxlink_wire::writes_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("values");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("warning");

    const QByteArray ack("\x06" "01FF");
    QTest::newRow("WW two words") << "D100" << int(DT_UInt16)
                                  << QVariant::fromValue(QList<unsigned short>{0x1234, 0xABCD}) << ack
                                  << enq("01FFWW0D0100021234ABCD") << 0 << QString();
    QTest::newRow("WW int16 negative") << "D0" << int(DT_Int16) << QVariant::fromValue(QList<short>{-2})
                                       << ack << enq("01FFWW0D000001FFFE") << 0 << QString();
    QTest::newRow("WW int32 low word first") << "D10" << int(DT_Int32)
                                             << QVariant::fromValue(QList<int>{0x12345678}) << ack
                                             << enq("01FFWW0D00100256781234") << 0 << QString();
    QTest::newRow("WW float 1.0") << "D10" << int(DT_Float) << QVariant::fromValue(QList<float>{1.0f})
                                  << ack << enq("01FFWW0D001002" "00003F80") << 0 << QString();
    QTest::newRow("WW double 1.0") << "D10" << int(DT_Double) << QVariant::fromValue(QList<double>{1.0})
                                   << ack << enq("01FFWW0D001004" "0000000000003FF0") << 0 << QString();
    QTest::newRow("WW int8 pair low byte first") << "D1" << int(DT_Int8)
                                                 << QVariant::fromValue(QList<char>{0x12, 0x34}) << ack
                                                 << enq("01FFWW0D0001013412") << 0 << QString();
    QTest::newRow("WW on M in word units") << "M16" << int(DT_UInt16)
                                           << QVariant::fromValue(QList<unsigned short>{0x8001}) << ack
                                           << enq("01FFWW0M0016018001") << 0 << QString();
    QTest::newRow("BW Y7 octal") << "Y7" << int(DT_Bool) << QVariant::fromValue(QList<bool>{true, false, true})
                                 << ack << enq("01FFBW0Y000703101") << 0 << QString();
    QTest::newRow("BW lower-case m") << "m3" << int(DT_Bool) << QVariant::fromValue(QList<bool>{false})
                                     << ack << enq("01FFBW0M0003010") << 0 << QString();
    QTest::newRow("ACK of station 2") << "D100" << int(DT_UInt16) << QVariant::fromValue(QList<unsigned short>{1})
                                      << QByteArray("\x06" "02FF") << enq("01FFWW0D0100010001") << 7
                                      << QString::fromUtf8("lib[Lunetta]报文校验错误 %1 Area=D100 len=1 msg : %2");
    QTest::newRow("NAK 06") << "D100" << int(DT_UInt16) << QVariant::fromValue(QList<unsigned short>{1})
                            << QByteArray("\x15" "01FF06") << enq("01FFWW0D0100010001") << 7
                            << QString::fromUtf8("lib[Lunetta]写命令被拒绝 %1 Area=D100 len=1 code=06 msg : %2");
    QTest::newRow("read answer to a write") << "D100" << int(DT_UInt16) << QVariant::fromValue(QList<unsigned short>{1})
                                            << stx("01FF", "0001") << enq("01FFWW0D0100010001") << 7
                                            << QString::fromUtf8("lib[Lunetta]报文校验错误 %1 Area=D100 len=1 msg : %2");
    QTest::newRow("no answer") << "M0" << int(DT_Bool) << QVariant::fromValue(QList<bool>{true})
                               << QByteArray() << enq("01FFBW0M0000011") << 8
                               << QString::fromUtf8("lib[Lunetta]返回的报文长度为0 %1 Area=M0 len=1 msg : %2");
}

void tst_fxlink_wire::writes()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(QVariant, values);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QString, warning);

    RecordingPeer peer(reply);
    LibMitsubishi_FX_links drv;
    drv.SetConnectPar("1");
    QCOMPARE(drv.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(peer.port())), 0);
    MessageCapture capture;
    const int count = valueText(values, type).size();
    const CLabelVariable w = drv.WriteVariable(address, DataType(type), labelOf(values, type, count), count);
    QCOMPARE(w.status, status);
    QTRY_COMPARE(peer.request(), request);
    const QStringList warnings = MessageCapture::of(QtWarningMsg);
    if (warning.isEmpty()) {
        QVERIFY(warnings.isEmpty());
    } else {
        QCOMPARE(warnings, QStringList{warning.arg(QStringLiteral("127.0.0.1:%1").arg(peer.port()),
                                                   QString::fromLatin1(request.toHex()))});
    }
    drv.DestroyFree();
}

QTEST_GUILESS_MAIN(tst_fxlink_wire)
#include "tst_fxlink_wire.moc"
