// The protocol handlers on their own, without sockets: the FX port's memory map
// at every area edge, requests cut short at every byte, and arbitrary bytes,
// which must always be consumed without reading past the buffer or stalling.
#include "PlcMemory.h"
#include "ProtocolHandler.h"
#include "SimTestSupport.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace simtest;

namespace {

// The FX sum check, for frames built in the map tests (the byte-exact sums are
// written out by hand in tst_plcsimprotocols).
QByteArray fxFrame(const QByteArray &body)
{
    QByteArray f = body + '\x03';
    unsigned sum = 0;
    for (char c : f)
        sum += quint8(c);
    return '\x02' + f + QByteArray::number(sum & 0xFF, 16).rightJustified(2, '0').toUpper();
}

QByteArray hex4(int v) { return QByteArray::number(v, 16).rightJustified(4, '0').toUpper(); }

} // namespace

class tst_PlcSimHandlers : public QObject
{
    Q_OBJECT

private slots:
    void fxportByteMap_data();
    void fxportByteMap();
    void fxportForceMap_data();
    void fxportForceMap();
    void prefixesWaitForMore_data();
    void prefixesWaitForMore();
    void arbitraryBytes_data();
    void arbitraryBytes();
    void unknownProtocol();

private:
    Served serveOnce(const QString &protocol, const QByteArray &bytes);
    PlcMemory m_memory;
};

Served tst_PlcSimHandlers::serveOnce(const QString &protocol, const QByteArray &bytes)
{
    std::unique_ptr<ProtocolHandler> h = ProtocolHandler::create(protocol);
    ServeContext ctx;
    ctx.memory = &m_memory;
    return h->serve(bytes, ctx);
}

void tst_PlcSimHandlers::fxportByteMap_data()
{
    QTest::addColumn<QByteArray>("command");   // "0" or "E00"
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("mapped");
    QTest::addColumn<QString>("device");       // device set to make the byte 01 / register low byte
    const QByteArray plain("0");
    const QByteArray ext("E00");
    QTest::newRow("S0") << plain << 0x0000 << 1 << true << "S0";
    QTest::newRow("S1016 last S byte") << plain << 0x007F << 1 << true << "S1016";
    QTest::newRow("X0") << plain << 0x0080 << 1 << true << "X0";
    QTest::newRow("X370 last X byte") << plain << 0x009F << 1 << true << "X248";
    QTest::newRow("Y0") << plain << 0x00A0 << 1 << true << "Y0";
    QTest::newRow("Y370 last Y byte") << plain << 0x00BF << 1 << true << "Y248";
    QTest::newRow("T contacts 00C0") << plain << 0x00C0 << 1 << true << "TS0";
    QTest::newRow("Y into T contacts") << plain << 0x00BF << 2 << true << "Y248";
    QTest::newRow("M0") << plain << 0x0100 << 1 << true << "M0";
    QTest::newRow("M1016 last M byte") << plain << 0x017F << 1 << true << "M1016";
    QTest::newRow("0180 not mapped") << plain << 0x0180 << 1 << false << "";
    QTest::newRow("C contacts 01C0") << plain << 0x01C0 << 1 << true << "CS0";
    QTest::newRow("T value TN255 high byte") << plain << 0x09FF << 1 << true << "TN255H";
    QTest::newRow("E00 C value CN199") << ext << 0x0B8E << 1 << true << "CN199";
    QTest::newRow("0B90 between the C values") << plain << 0x0B90 << 1 << false << "";
    QTest::newRow("E00 CN200 32-bit") << ext << 0x0C00 << 4 << true << "CN200";
    QTest::newRow("past CN255") << plain << 0x0CDF << 2 << false << "";
    QTest::newRow("M8000") << plain << 0x01E0 << 1 << true << "M8000";
    QTest::newRow("M8248 last") << plain << 0x01FF << 1 << true << "M8248";
    QTest::newRow("0200 not mapped") << plain << 0x0200 << 1 << false << "";
    QTest::newRow("0DFF not mapped") << plain << 0x0DFF << 1 << false << "";
    QTest::newRow("D8000 plain") << plain << 0x0E00 << 1 << true << "D8000";
    QTest::newRow("D8255 high byte") << plain << 0x0FFF << 1 << true << "D8255H";
    QTest::newRow("D0 plain") << plain << 0x1000 << 1 << true << "D0";
    QTest::newRow("D999 high byte") << plain << 0x17CF << 1 << true << "D999H";
    QTest::newRow("D1000 not in the plain area") << plain << 0x17D0 << 1 << false << "";
    QTest::newRow("D999 and beyond") << plain << 0x17CE << 3 << false << "";
    QTest::newRow("4000 not a plain address") << plain << 0x4000 << 1 << false << "";
    QTest::newRow("E00 D0") << ext << 0x4000 << 1 << true << "D0";
    QTest::newRow("E00 D7999 high byte") << ext << 0x7E7F << 1 << true << "D7999H";
    QTest::newRow("E00 past D7999") << ext << 0x7E80 << 1 << false << "";
    QTest::newRow("E00 D8000") << ext << 0x0E00 << 1 << true << "D8000";
    QTest::newRow("E00 D8255 high") << ext << 0x0FFF << 1 << true << "D8255H";
    QTest::newRow("E00 plain D area not mapped") << ext << 0x1000 << 1 << false << "";
    QTest::newRow("E00 bit areas not mapped") << ext << 0x0100 << 1 << false << "";
    QTest::newRow("E00 255 bytes") << ext << 0x4000 << 255 << true << "D0";
}

void tst_PlcSimHandlers::fxportByteMap()
{
    QFETCH(QByteArray, command);
    QFETCH(int, address);
    QFETCH(int, count);
    QFETCH(bool, mapped);
    QFETCH(QString, device);
    m_memory.clear();
    if (!device.isEmpty()) {
        int nameLength = 0;
        const char area = PlcMemory::areaNamed(device, &nameLength);
        const bool high = device.endsWith(QLatin1Char('H'));
        const int number = device.mid(nameLength, device.size() - nameLength - (high ? 1 : 0)).toInt();
        if (PlcMemory::isWordArea(area))
            m_memory.setWord(area, number, high ? 0x0100 : 0x0001);
        else
            m_memory.setBit(area, number, true);
    }
    const QByteArray frame = fxFrame(command + hex4(address) + QByteArray::number(count, 16).rightJustified(2, '0').toUpper());
    const Served s = serveOnce(QStringLiteral("fxport"), frame);
    QCOMPARE(int(s.kind), int(Served::Request));
    QCOMPARE(s.consumed, frame.size());
    QCOMPARE(s.normal, mapped);
    if (!mapped) {
        QCOMPARE(s.answer, QByteArray("\x15"));
        return;
    }
    QCOMPARE(s.answer.size(), 2 * count + 4);
    QCOMPARE(s.answer.mid(1, 2), QByteArray("01"));   // the device set above is bit 0 of the first byte
    QCOMPARE(s.answer.mid(3, 2 * count - 2), QByteArray(2 * count - 2, '0'));
}

void tst_PlcSimHandlers::fxportForceMap_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("device");   // empty: refused
    QTest::newRow("S0") << 0x0000 << "S0";
    QTest::newRow("S1023") << 0x03FF << "S1023";
    QTest::newRow("X0") << 0x0400 << "X0";
    QTest::newRow("X377") << 0x04FF << "X255";
    QTest::newRow("Y0") << 0x0500 << "Y0";
    QTest::newRow("Y377") << 0x05FF << "Y255";
    QTest::newRow("0600 T") << 0x0600 << "";
    QTest::newRow("07FF") << 0x07FF << "";
    QTest::newRow("M0") << 0x0800 << "M0";
    QTest::newRow("M1023") << 0x0BFF << "M1023";
    QTest::newRow("0C00") << 0x0C00 << "";
    QTest::newRow("0EFF") << 0x0EFF << "";
    QTest::newRow("M8000") << 0x0F00 << "M8000";
    QTest::newRow("M8255") << 0x0FFF << "M8255";
    QTest::newRow("1000") << 0x1000 << "";
}

void tst_PlcSimHandlers::fxportForceMap()
{
    QFETCH(int, address);
    QFETCH(QString, device);
    m_memory.clear();
    const QByteArray a = hex4(address);
    const QByteArray frame = fxFrame("7" + a.mid(2, 2) + a.left(2));   // low byte first
    const Served s = serveOnce(QStringLiteral("fxport"), frame);
    QCOMPARE(s.consumed, frame.size());
    if (device.isEmpty()) {
        QCOMPARE(s.answer, QByteArray("\x15"));
        QVERIFY(!s.commit);
        return;
    }
    QCOMPARE(s.answer, QByteArray("\x06"));
    QVERIFY(s.commit);
    const char area = device.at(0).toLatin1();
    const int number = device.mid(1).toInt();
    QVERIFY(!m_memory.bit(area, number));   // nothing happens before the commit
    s.commit();
    QVERIFY(m_memory.bit(area, number));
    QVERIFY(!m_memory.bit(area, number + 1));
    QVERIFY(!m_memory.bit(area, number - 1));
}

void tst_PlcSimHandlers::prefixesWaitForMore_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("fxport E00") << "fxport" << ascii("<STX>E0040C802<ETX>E9");
    QTest::newRow("fxport force") << "fxport" << ascii("<STX>70505<ETX>04");
    QTest::newRow("fxlink WR") << "fxlink" << ascii("<ENQ>00FFWR0D0100012B");
    QTest::newRow("fxlink WW") << "fxlink" << ascii("<ENQ>00FFWW0D02000201020304BC");
    QTest::newRow("mc1e word write") << "mc1e" << hex("03 FF 0A00 C8000000 2044 02 00 0201 0403");
    QTest::newRow("mc1e bit write") << "mc1e" << hex("02 FF 0A00 20000000 2059 03 00 1100");
    QTest::newRow("mc3e read") << "mc3e" << hex("500000FFFF03000C00 0A00 0104 0000 640000 A8 0100");
    QTest::newRow("mc3e bit write") << "mc3e" << hex("500000FFFF03000F00 0A00 0114 0100 320000 90 0500 101010");
    QTest::newRow("mc4e read") << "mc4e" << hex("5400 3412 0000 00FFFF03000C00 0A00 0104 0000 640000 A8 0100");
    QTest::newRow("mc3e-ascii bit write") << "mc3e-ascii" << QByteArray("500000FF03FF00001B000A14010001M*0000100003101");
    QTest::newRow("mc4e-ascii read") << "mc4e-ascii" << QByteArray("540012340000" "00FF03FF000018000A04010000ZR00FFFF0001");
}

void tst_PlcSimHandlers::prefixesWaitForMore()
{
    QFETCH(QString, protocol);
    QFETCH(QByteArray, request);
    for (int len = 1; len < request.size(); ++len) {
        const Served s = serveOnce(protocol, request.left(len));
        QVERIFY2(s.kind == Served::NeedMore, qPrintable(QStringLiteral("prefix of %1 bytes").arg(len)));
    }
    const Served s = serveOnce(protocol, request + request);
    QCOMPARE(int(s.kind), int(Served::Request));
    QCOMPARE(s.consumed, request.size());
    QVERIFY(s.normal);
}

void tst_PlcSimHandlers::arbitraryBytes_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<quint32>("seed");
    for (const char *p : {"fxport", "fxlink", "mc1e", "mc3e", "mc4e", "mc3e-ascii", "mc4e-ascii"})
        for (quint32 seed : {1u, 2u, 3u})
            QTest::newRow(qPrintable(QStringLiteral("%1 seed %2").arg(QLatin1String(p)).arg(seed))) << QString::fromLatin1(p) << seed;
}

// Random bytes, salted with each protocol's start characters so that many of them
// get parsed as requests. Every step must use up at least one byte and never
// more than the buffer holds; at the end only an unfinished request may remain.
void tst_PlcSimHandlers::arbitraryBytes()
{
    QFETCH(QString, protocol);
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    std::unique_ptr<ProtocolHandler> h = ProtocolHandler::create(protocol);
    QVERIFY(h);
    ServeContext ctx;
    ctx.memory = &m_memory;
    const QByteArray alphabet = QByteArray("\x02\x03\x05\x50\x00\x01\x02\x03\xFF", 9) + "0123456789ABCDEFWRBWFFDXYMSE";
    int requests = 0;
    for (int round = 0; round < 200; ++round) {
        QByteArray buf;
        if (rng.bounded(2)) {   // a plausible start of a request
            if (protocol == QLatin1String("fxport"))
                buf = "\x02";
            else if (protocol == QLatin1String("fxlink"))
                buf = "\x05" "00FF";
            else if (protocol == QLatin1String("mc1e"))
                buf = QByteArray(1, char(rng.bounded(4))) + '\xFF';
            else if (protocol.endsWith(QLatin1String("-ascii")))
                buf = (protocol.startsWith(QLatin1String("mc4e")) ? "540000000000" : "5000") + QByteArray("00FF03FF0000")
                      + char('1' + rng.bounded(4)) + char('0' + rng.bounded(10));
            else if (protocol == QLatin1String("mc4e"))
                buf = hex("540000000000 00FFFF0300") + char(rng.bounded(30)) + '\0';
            else
                buf = hex("500000FFFF0300") + char(rng.bounded(30)) + '\0';
        }
        const int len = buf.size() + int(rng.bounded(1, 64));
        while (buf.size() < len)
            buf.append(rng.bounded(2) ? alphabet.at(int(rng.bounded(alphabet.size()))) : char(rng.bounded(256)));
        int steps = 0;
        while (!buf.isEmpty()) {
            const Served s = h->serve(buf, ctx);
            if (s.kind == Served::NeedMore)
                break;
            QVERIFY(s.consumed >= 1);
            QVERIFY(s.consumed <= buf.size());
            if (s.kind == Served::Request)
                ++requests;
            if (s.commit)
                s.commit();
            (void)h->badSum(s.answer);
            if (s.refusal)
                (void)s.refusal(-1);
            buf.remove(0, s.consumed);
            QVERIFY(++steps <= len);
        }
    }
    QVERIFY(requests > 0);
}

void tst_PlcSimHandlers::unknownProtocol()
{
    QVERIFY(!ProtocolHandler::create(QStringLiteral("mc5e")));
    QVERIFY(ProtocolHandler::create(QStringLiteral("MC3E")));
    QCOMPARE(ProtocolHandler::protocols().size(), 7);
}

QTEST_MAIN(tst_PlcSimHandlers)
#include "tst_plcsimhandlers.moc"
