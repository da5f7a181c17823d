// Byte-exact answers of the simulator to hand-built requests of each protocol.
// Every request is written out by hand from the public protocol documentation
// named at its data function; the answers are what a PLC sends back.
#include "PlcMemory.h"
#include "PlcSimulator.h"
#include "SimTestSupport.h"

#include <QtTest>

using namespace simtest;

class tst_PlcSimProtocols : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void mc3e_data();
    void mc3e();
    void mc1e_data();
    void mc1e();
    void fxlink_data();
    void fxlink();
    void fxport_data();
    void fxport();

    void mc3eRoutingEcho();
    void mc1eFullRead();
    void mc3eImpossibleLength();
    void fxlinkOtherStationThenOwn();
    void fxportGarbageBeforeFrame();
    void sharedMemoryAcrossProtocols();

private:
    void addColumns();
    void runRow(const QString &protocol);
    void checkMemory(const QString &checks);

    PlcSimulator m_sim;
    QMap<QString, QString> m_endpoints;
};

void tst_PlcSimProtocols::initTestCase()
{
    for (const QString &p : {QStringLiteral("fxport"), QStringLiteral("fxlink"), QStringLiteral("mc1e"), QStringLiteral("mc3e")}) {
        QString error;
        const QString ep = m_sim.addEndpoint(p, QStringLiteral("127.0.0.1:0"), &error);
        QVERIFY2(!ep.isEmpty(), qPrintable(error));
        QVERIFY(ep.startsWith(QLatin1String("127.0.0.1:")));
        QVERIFY(ep.mid(10).toInt() > 0);
        m_endpoints.insert(p, ep);
    }
}

// The same memory before every row.
void tst_PlcSimProtocols::init()
{
    m_sim.clearMemory();
    m_sim.clearFaults();
    m_sim.setStation(0);
    m_sim.setWord('D', 100, 0x1234);
    m_sim.setWord('D', 101, 0x5678);
    m_sim.setWord('D', 8000, 0x0102);
    for (int m : {10, 12, 14})
        m_sim.setBit('M', m, true);
    m_sim.setBit('M', 8000, true);
    m_sim.setBit('X', 1, true);    // X1
    m_sim.setBit('X', 3, true);    // X3
    m_sim.setBit('X', 8, true);    // X10 octal
    m_sim.setBit('X', 10, true);   // X12 octal
}

void tst_PlcSimProtocols::addColumns()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("checks");   // memory after the request: "D200=0102,M51=0"
}

void tst_PlcSimProtocols::checkMemory(const QString &checks)
{
    if (checks.isEmpty())
        return;
    for (const QString &c : checks.split(QLatin1Char(','))) {
        const QStringList kv = c.split(QLatin1Char('='));
        QCOMPARE(kv.size(), 2);
        int nameLength = 0;
        const char area = PlcMemory::areaNamed(kv.at(0), &nameLength);
        const int number = kv.at(0).mid(nameLength).toInt();
        const uint want = kv.at(1).toUInt(nullptr, 16);
        if (PlcMemory::isWordArea(area))
            QCOMPARE(uint(m_sim.word(area, number)), want);
        else
            QCOMPARE(uint(m_sim.bit(area, number)), want);
    }
}

void tst_PlcSimProtocols::runRow(const QString &protocol)
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(QString, checks);
    // Rows tagged "fx3u: ..." or "q: ..." are answered as --model says.
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    m_sim.setModel(tag.startsWith(QLatin1String("fx3u:")) ? SimModel::Fx3u
                   : tag.startsWith(QLatin1String("q:")) ? SimModel::Q : SimModel::Any);
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(protocol)));
    const int before = m_sim.requestCount();
    const QByteArray got = c.exchange(request, answer.isEmpty() ? 1 : answer.size(), answer.isEmpty() ? 300 : 3000);
    QCOMPARE(got.toHex(' '), answer.toHex(' '));
    // nothing after the answer
    QCOMPARE(c.readFor(30).toHex(' '), QByteArray());
    QCOMPARE(m_sim.requestCount(), before + 1);
    checkMemory(checks);
}

// MELSEC Communication Protocol reference (SH-080008), 3E frame in binary code:
// batch read (command 0401) and batch write (1401), subcommand 0000 word units and
// 0001 bit units; end codes and error information of an abnormal completion.
void tst_PlcSimProtocols::mc3e_data()
{
    addColumns();
    QTest::newRow("read D100 2 words")
        << hex("500000FFFF03000C00 0A00 0104 0000 640000 A8 0200")
        << hex("D00000FFFF0300 0600 0000 3412 7856") << QString();
    QTest::newRow("read D8000 special register")
        << hex("500000FFFF03000C00 0A00 0104 0000 401F00 A8 0100")
        << hex("D00000FFFF0300 0400 0000 0201") << QString();
    QTest::newRow("read M10..M14 in bit units (manual: on,off,on,off,on -> 10 10 10)")
        << hex("500000FFFF03000C00 0A00 0104 0100 0A0000 90 0500")
        << hex("D00000FFFF0300 0500 0000 101010") << QString();
    QTest::newRow("read M10 in word units: 16 points from the head device")
        << hex("500000FFFF03000C00 0A00 0104 0000 0A0000 90 0100")
        << hex("D00000FFFF0300 0400 0000 1500") << QString();
    QTest::newRow("read X0 word (X1, X3, X8, XA on)")
        << hex("500000FFFF03000C00 0A00 0104 0000 000000 9C 0100")
        << hex("D00000FFFF0300 0400 0000 0A05") << QString();
    QTest::newRow("read M8000 bit")
        << hex("500000FFFF03000C00 0A00 0104 0100 401F00 90 0100")
        << hex("D00000FFFF0300 0300 0000 10") << QString();
    QTest::newRow("write D200 2 words")
        << hex("500000FFFF03001000 0A00 0114 0000 C80000 A8 0200 0201 0403")
        << hex("D00000FFFF0300 0200 0000") << QStringLiteral("D200=0102,D201=0304");
    QTest::newRow("write M50..M54 bits on,off,on,off,on")
        << hex("500000FFFF03000F00 0A00 0114 0100 320000 90 0500 101010")
        << hex("D00000FFFF0300 0200 0000") << QStringLiteral("M50=1,M51=0,M52=1,M53=0,M54=1,M55=0");
    QTest::newRow("write W1F word")
        << hex("500000FFFF03000E00 0A00 0114 0000 1F0000 B4 0100 CDAB")
        << hex("D00000FFFF0300 0200 0000") << QStringLiteral("W31=ABCD");
    QTest::newRow("write R32767 last register")
        << hex("500000FFFF03000E00 0A00 0114 0000 FF7F00 AF 0100 3412")
        << hex("D00000FFFF0300 0200 0000") << QStringLiteral("R32767=1234");
    QTest::newRow("write Y word: 16 bits from Y10")
        << hex("500000FFFF03000E00 0A00 0114 0000 100000 9D 0100 0180")
        << hex("D00000FFFF0300 0200 0000") << QStringLiteral("Y16=1,Y17=0,Y31=1,Y30=0");
    QTest::newRow("unknown command 0619 -> C059")
        << hex("500000FFFF03000C00 0A00 1906 0000 640000 A8 0100")
        << hex("D00000FFFF0300 0B00 59C0 00FFFF0300 1906 0000") << QString();
    QTest::newRow("unknown subcommand 0080 -> C059")
        << hex("500000FFFF03000C00 0A00 0104 8000 640000 A8 0100")
        << hex("D00000FFFF0300 0B00 59C0 00FFFF0300 0104 8000") << QString();
    QTest::newRow("D12287 + 2 points past the end -> C056")
        << hex("500000FFFF03000C00 0A00 0104 0000 FF2F00 A8 0200")
        << hex("D00000FFFF0300 0B00 56C0 00FFFF0300 0104 0000") << QString();
    QTest::newRow("q: M8192 past a Q CPU's default points -> C056")
        << hex("500000FFFF03000C00 0A00 0104 0000 002000 90 0100")
        << hex("D00000FFFF0300 0B00 56C0 00FFFF0300 0104 0000") << QString();
    QTest::newRow("M word units past the end -> C056")
        << hex("500000FFFF03000C00 0A00 0104 0000 F83F00 90 0100")
        << hex("D00000FFFF0300 0B00 56C0 00FFFF0300 0104 0000") << QString();
    QTest::newRow("device code B2 not simulated -> C05C")
        << hex("500000FFFF03000C00 0A00 0104 0000 000000 B2 0100")
        << hex("D00000FFFF0300 0B00 5CC0 00FFFF0300 0104 0000") << QString();
    QTest::newRow("word write ZR65535 (B0, decimal number)")
        << hex("500000FFFF03000E00 0A00 0114 0000 FFFF00 B0 0100 3412")
        << hex("D00000FFFF0300 0200 0000") << QStringLiteral("ZR65535=1234");
    QTest::newRow("bit write SS5 on, SC6 apart (C7)")
        << hex("500000FFFF03000D00 0A00 0114 0100 050000 C7 0100 10")
        << hex("D00000FFFF0300 0200 0000") << QStringLiteral("SS5=1,SC5=0,TS5=0");
    QTest::newRow("word write SD10 (A9)")
        << hex("500000FFFF03000E00 0A00 0114 0000 0A0000 A9 0100 3412")
        << hex("D00000FFFF0300 0200 0000") << QStringLiteral("SD10=1234");
    QTest::newRow("bit write TS5 on (C1)")
        << hex("500000FFFF03000D00 0A00 0114 0100 050000 C1 0100 10")
        << hex("D00000FFFF0300 0200 0000") << QStringLiteral("TS5=1,TS6=0");
    QTest::newRow("read DX0 (A2) is the X memory")
        << hex("500000FFFF03000C00 0A00 0104 0000 000000 A2 0100")
        << hex("D00000FFFF0300 0400 0000 0A05") << QString();
    QTest::newRow("bit units on D -> C05C")
        << hex("500000FFFF03000C00 0A00 0104 0100 640000 A8 0100")
        << hex("D00000FFFF0300 0B00 5CC0 00FFFF0300 0104 0100") << QString();
    QTest::newRow("0 points -> C051")
        << hex("500000FFFF03000C00 0A00 0104 0000 640000 A8 0000")
        << hex("D00000FFFF0300 0B00 51C0 00FFFF0300 0104 0000") << QString();
    QTest::newRow("961 words -> C051")
        << hex("500000FFFF03000C00 0A00 0104 0000 000000 A8 C103")
        << hex("D00000FFFF0300 0B00 51C0 00FFFF0300 0104 0000") << QString();
    QTest::newRow("960 words is the limit (D1000..D1959)")
        << hex("500000FFFF03000C00 0A00 0104 0000 E80300 A8 C003")
        << hex("D00000FFFF0300 8207 0000") + QByteArray(1920, 0) << QString();
    QTest::newRow("write with data length one short of the points -> C061, no change")
        << hex("500000FFFF03000E00 0A00 0114 0000 C80000 A8 0200 0201")
        << hex("D00000FFFF0300 0B00 61C0 00FFFF0300 0114 0000") << QStringLiteral("D200=0");
    QTest::newRow("read with extra bytes in the data length -> C061")
        << hex("500000FFFF03000E00 0A00 0104 0000 640000 A8 0100 0000")
        << hex("D00000FFFF0300 0B00 61C0 00FFFF0300 0104 0000") << QString();
    QTest::newRow("request too short for a device -> C061")
        << hex("500000FFFF03000600 0A00 0104 0000")
        << hex("D00000FFFF0300 0B00 61C0 00FFFF0300 0104 0000") << QString();
    QTest::newRow("bit write with nibble 2 -> C05C, no change")
        << hex("500000FFFF03000D00 0A00 0114 0100 320000 90 0200 12")
        << hex("D00000FFFF0300 0B00 5CC0 00FFFF0300 0114 0100") << QStringLiteral("M50=0,M51=0");
}

void tst_PlcSimProtocols::mc3e() { runRow(QStringLiteral("mc3e")); }

// MELSEC Ethernet interface module manuals (A-compatible 1E frame, binary code):
// subheaders 00 bit read, 01 word read, 02 bit write, 03 word write; completion
// code after subheader | 0x80.
void tst_PlcSimProtocols::mc1e_data()
{
    addColumns();
    QTest::newRow("word read D100 1 point")
        << hex("01 FF 0A00 64000000 2044 01 00") << hex("81 00 3412") << QString();
    QTest::newRow("word read D100 2 points")
        << hex("01 FF 0A00 64000000 2044 02 00") << hex("81 00 3412 7856") << QString();
    QTest::newRow("bit read M10 5 points")
        << hex("00 FF 0A00 0A000000 204D 05 00") << hex("80 00 101010") << QString();
    QTest::newRow("bit read M8000 1 point")
        << hex("00 FF 0A00 401F0000 204D 01 00") << hex("80 00 10") << QString();
    QTest::newRow("word read X0 (X1, X3, X8, XA)")
        << hex("01 FF 0A00 00000000 2058 01 00") << hex("81 00 0A05") << QString();
    QTest::newRow("bit write Y20 3 points on,on,off")
        << hex("02 FF 0A00 20000000 2059 03 00 1100") << hex("82 00")
        << QStringLiteral("Y32=1,Y33=1,Y34=0");
    QTest::newRow("word write D200 2 points")
        << hex("03 FF 0A00 C8000000 2044 02 00 0201 0403") << hex("83 00")
        << QStringLiteral("D200=0102,D201=0304");
    QTest::newRow("word write R0 and W0 codes")
        << hex("03 FF 0A00 00000000 2052 01 00 EFBE") << hex("83 00") << QStringLiteral("R0=BEEF");
    QTest::newRow("word write M16 in word units")
        << hex("03 FF 0A00 10000000 204D 01 00 0300") << hex("83 00")
        << QStringLiteral("M16=1,M17=1,M18=0");
    QTest::newRow("device code 205A (Z) not simulated -> 56")
        << hex("01 FF 0A00 00000000 205A 01 00") << hex("81 56") << QString();
    QTest::newRow("word write TN5 (code 544E sent 4E 54)")
        << hex("03 FF 0A00 05000000 4E54 01 00 3412") << hex("83 00") << QStringLiteral("TN5=1234");
    QTest::newRow("device code without 0x20 -> 56")
        << hex("01 FF 0A00 00000000 0044 01 00") << hex("81 56") << QString();
    QTest::newRow("bit read of D -> 56")
        << hex("00 FF 0A00 64000000 2044 01 00") << hex("80 56") << QString();
    QTest::newRow("D12287 + 2 points -> 58")
        << hex("01 FF 0A00 FF2F0000 2044 02 00") << hex("81 58") << QString();
    QTest::newRow("head device above 24 bits -> 58")
        << hex("01 FF 0A00 00000001 2044 01 00") << hex("81 58") << QString();
    QTest::newRow("PC number 00 -> 5B with abnormal code 10")
        << hex("01 00 0A00 64000000 2044 01 00") << hex("81 5B 10") << QString();
    QTest::newRow("unknown subheader 05 -> 50")
        << hex("05 FF 0A00 64000000 2044 01 00") << hex("85 50") << QString();
    QTest::newRow("refused word write leaves memory alone")
        << hex("03 FF 0A00 FF2F0000 2044 02 00 0100 0200") << hex("83 58") << QStringLiteral("D12287=0");
    QTest::newRow("fx3u: word read M0 at a multiple of 16")
        << hex("01 FF 0A00 00000000 204D 01 00") << hex("81 00 0054") << QString();
    QTest::newRow("fx3u: word read M5, head off 16 -> 58")
        << hex("01 FF 0A00 05000000 204D 01 00") << hex("81 58") << QString();
    QTest::newRow("fx3u: M7680 outside the ranges -> 58")
        << hex("01 FF 0A00 001E0000 204D 01 00") << hex("81 58") << QString();
    QTest::newRow("fx3u: 65 words -> 57")
        << hex("01 FF 0A00 00000000 2044 41 00") << hex("81 57") << QString();
    QTest::newRow("fx3u: B not an FX3U device -> 56")
        << hex("01 FF 0A00 00000000 2042 01 00") << hex("81 56") << QString();
    QTest::newRow("fx3u: CN199 and CN200 in one -> 58")
        << hex("01 FF 0A00 C7000000 4E43 02 00") << hex("81 58") << QString();
    QTest::newRow("fx3u: CN200 read 4 bytes a point")
        << hex("01 FF 0A00 C8000000 4E43 02 00") << hex("81 00 00000000 00000000") << QString();
    QTest::newRow("fx3u: CN200 written 32-bit, low byte first")
        << hex("03 FF 0A00 C8000000 4E43 01 00 70110100") << hex("83 00") << QStringLiteral("CN200=1170");
}

void tst_PlcSimProtocols::mc1e() { runRow(QStringLiteral("mc1e")); }

// FX Series User's Manual, Data Communication Edition: computer link, dedicated
// protocol format 1 with sum check (station 00, PC number FF). The sum is the low
// byte of the sum of the characters from the station number to the end of the
// character area (request) or through ETX (answer).
void tst_PlcSimProtocols::fxlink_data()
{
    addColumns();
    QTest::newRow("WR D0100 2 words")
        << ascii("<ENQ>00FFWR0D0100022C") << ascii("<STX>00FF12345678<ETX>93") << QString();
    QTest::newRow("BR M0010 5 points")
        << ascii("<ENQ>00FFBR0M00100523") << ascii("<STX>00FF10101<ETX>E2") << QString();
    QTest::newRow("WR X0000 1 word (X1, X3, X10, X12 octal)")
        << ascii("<ENQ>00FFWR0X0000013E") << ascii("<STX>00FF050A<ETX>C5") << QString();
    QTest::newRow("WW D0200 2 words")
        << ascii("<ENQ>00FFWW0D02000201020304BC") << ascii("<ACK>00FF")
        << QStringLiteral("D200=0102,D201=0304");
    QTest::newRow("BW Y0040 (octal, Y32) 3 points 110")
        << ascii("<ENQ>00FFBW0Y004003110C7") << ascii("<ACK>00FF")
        << QStringLiteral("Y32=1,Y33=1,Y34=0");
    QTest::newRow("bad sum check -> NAK 02")
        << ascii("<ENQ>00FFWR0D0100022D") << ascii("<NAK>00FF02") << QString();
    QTest::newRow("WW TN005 1 word")
        << ascii("<ENQ>00FFWW0TN005011234" "2C") << ascii("<ACK>00FF") << QStringLiteral("TN5=1234");
    QTest::newRow("WR CN200 32-bit value -> NAK 06")
        << ascii("<ENQ>00FFWR0CN20001" "49") << ascii("<NAK>00FF06") << QString();
    QTest::newRow("fx3u: WR CN200 2 points, 8 digits each")
        << ascii("<ENQ>00FFWR0CN20002" "4A") << ascii("<STX>00FF0000000000000000<ETX>EF") << QString();
    QTest::newRow("fx3u: WW CN200 00011170")
        << ascii("<ENQ>00FFWW0CN2000100011170" "D8") << ascii("<ACK>00FF") << QStringLiteral("CN200=1170");
    QTest::newRow("fx3u: WR CN199 2 points mixed -> NAK 06")
        << ascii("<ENQ>00FFWR0CN19902" "5B") << ascii("<NAK>00FF06") << QString();
    QTest::newRow("fx3u: WR D8512 -> NAK 06")
        << ascii("<ENQ>00FFWR0D851201" "3A") << ascii("<NAK>00FF06") << QString();
    QTest::newRow("device letter Z -> NAK 06")
        << ascii("<ENQ>00FFWR0Z00000140") << ascii("<NAK>00FF06") << QString();
    QTest::newRow("65 words -> NAK 06")
        << ascii("<ENQ>00FFWR0D0100412F") << ascii("<NAK>00FF06") << QString();
    QTest::newRow("WR S4095 word past the end -> NAK 06")
        << ascii("<ENQ>00FFWR0S4095014B") << ascii("<NAK>00FF06") << QString();
    QTest::newRow("BR on D -> NAK 06")
        << ascii("<ENQ>00FFBR0D01000116") << ascii("<NAK>00FF06") << QString();
    QTest::newRow("PC number FE -> NAK 0A")
        << ascii("<ENQ>00FEWR0D0100012A") << ascii("<NAK>00FE0A") << QString();
    QTest::newRow("unknown command XX -> NAK 03")
        << ascii("<ENQ>00FFXX0D01000132") << ascii("<NAK>00FF03") << QString();
    QTest::newRow("octal X0080 -> NAK 07")
        << ascii("<ENQ>00FFWR0X00800146") << ascii("<NAK>00FF07") << QString();
    QTest::newRow("station 05 is another PLC: silence")
        << ascii("<ENQ>05FFWR0D01000130") << QByteArray() << QString();
}

void tst_PlcSimProtocols::fxlink() { runRow(QStringLiteral("fxlink")); }

// FX programming-port protocol (public descriptions of the FX0/FX2N port): read
// command 0, write 1, force on 7 / off 8, extended E00/E10; sum = low byte of the
// sum of the characters after STX through ETX. Byte addresses: the simulator's
// documented memory map (see plcsim --help).
void tst_PlcSimProtocols::fxport_data()
{
    addColumns();
    QTest::newRow("E00 read D100 2 bytes")
        << ascii("<STX>E0040C802<ETX>E9") << ascii("<STX>3412<ETX>CD") << QString();
    QTest::newRow("E00 read D8000 2 bytes")
        << ascii("<STX>E000E0002<ETX>DF") << ascii("<STX>0201<ETX>C6") << QString();
    QTest::newRow("0 read X10..X17 byte 0081")
        << ascii("<STX>0008101<ETX>5D") << ascii("<STX>05<ETX>68") << QString();
    QTest::newRow("0 read M8000..M8007 byte 01E0")
        << ascii("<STX>001E001<ETX>6A") << ascii("<STX>01<ETX>64") << QString();
    QTest::newRow("0 read X0..X17 bytes 0080 2")
        << ascii("<STX>0008002<ETX>5D") << ascii("<STX>0A05<ETX>D9") << QString();
    QTest::newRow("1 write D0 in the plain area 1000")
        << ascii("<STX>1100002C800<ETX>32") << ascii("<ACK>") << QStringLiteral("D0=00C8");
    QTest::newRow("E10 write D1 = 200 (data C800)")
        << ascii("<STX>E10400202C800<ETX>AC") << ascii("<ACK>") << QStringLiteral("D1=00C8");
    QTest::newRow("7 force Y5 on (address 0505 low byte first)")
        << ascii("<STX>70505<ETX>04") << ascii("<ACK>") << QStringLiteral("Y5=1");
    QTest::newRow("8 force M12 off (address 080C)")
        << ascii("<STX>80C08<ETX>16") << ascii("<ACK>") << QStringLiteral("M12=0,M10=1,M14=1");
    QTest::newRow("bad sum -> NAK")
        << ascii("<STX>E0040C802<ETX>E8") << ascii("<NAK>") << QString();
    QTest::newRow("lowercase sum digits -> NAK")
        << ascii("<STX>0008002<ETX>5d") << ascii("<NAK>") << QString();
    QTest::newRow("gap after C199's value 0B90 -> NAK")
        << ascii("<STX>00B9001<ETX>6F") << ascii("<NAK>") << QString();
    QTest::newRow("E10 write TN5 at 080A")
        << ascii("<STX>E10080A023412<ETX>AE") << ascii("<ACK>") << QStringLiteral("TN5=1234");
    QTest::newRow("count 0 -> NAK")
        << ascii("<STX>0008000<ETX>5B") << ascii("<NAK>") << QString();
    QTest::newRow("E00 past D7999 -> NAK")
        << ascii("<STX>E007E7E04<ETX>04") << ascii("<NAK>") << QString();
    QTest::newRow("write with fewer data than the count -> NAK, no change")
        << ascii("<STX>1100002C8<ETX>D2") << ascii("<NAK>") << QStringLiteral("D0=0");
    QTest::newRow("unknown command 5 -> NAK")
        << ascii("<STX>5008002<ETX>62") << ascii("<NAK>") << QString();
}

void tst_PlcSimProtocols::fxport() { runRow(QStringLiteral("fxport")); }

// Routing bytes of the 3E request come back unchanged (other network, PC, station).
void tst_PlcSimProtocols::mc3eRoutingEcho()
{
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("mc3e"))));
    const QByteArray got = c.exchange(hex("5000 01 02 FE03 05 0C00 0A00 0104 0000 640000 A8 0100"), 13);
    QCOMPARE(got.toHex(' '), hex("D000 01 02 FE03 05 0400 0000 3412").toHex(' '));
}

// Points 0 in a 1E request mean 256.
void tst_PlcSimProtocols::mc1eFullRead()
{
    m_sim.setWord('D', 255, 0xBEEF);
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("mc1e"))));
    const QByteArray got = c.exchange(hex("01 FF 0A00 00000000 2044 00 00"), 2 + 512);
    QCOMPARE(got.size(), 514);
    QCOMPARE(got.left(2), hex("8100"));
    QCOMPARE(got.mid(2 + 200, 2), hex("3412"));   // D100
    QCOMPARE(got.right(2), hex("EFBE"));          // D255
}

// A request data length no 3E command can have is answered at once with C061 and
// the bytes received so far are dropped; the connection stays usable.
void tst_PlcSimProtocols::mc3eImpossibleLength()
{
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("mc3e"))));
    QByteArray got = c.exchange(hex("500000FFFF0300 FFFF 0A00 0104 0000"), 20);
    QCOMPARE(got.toHex(' '), hex("D00000FFFF0300 0B00 61C0 00FFFF0300 0104 0000").toHex(' '));
    got = c.exchange(hex("500000FFFF03000C00 0A00 0104 0000 640000 A8 0100"), 13);
    QCOMPARE(got.toHex(' '), hex("D00000FFFF0300 0400 0000 3412").toHex(' '));
}

// A request for another station is skipped whole; the next one for us is answered.
void tst_PlcSimProtocols::fxlinkOtherStationThenOwn()
{
    m_sim.setStation(5);
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("fxlink"))));
    const QByteArray got = c.exchange(ascii("<ENQ>00FFWR0D0100012B<ENQ>05FFWR0D01000130"), 12);
    QCOMPARE(got, ascii("<STX>05FF1234<ETX>") + "BE");
}

// Line noise before STX is dropped; the frame after it is answered.
void tst_PlcSimProtocols::fxportGarbageBeforeFrame()
{
    TcpClient c;
    QVERIFY(c.connectTo(m_endpoints.value(QStringLiteral("fxport"))));
    QByteArray got = c.exchange(QByteArray("\xff\x00zz", 4) + ascii("<STX>E0040C802<ETX>E9"), 8);
    QCOMPARE(got, ascii("<STX>3412<ETX>CD"));
    // A frame cut off by a new STX is refused, the new one answered.
    got = c.exchange(ascii("<STX>E0040<STX>E0040C802<ETX>E9"), 9);
    QCOMPARE(got, ascii("<NAK><STX>3412<ETX>CD"));
    // ENQ is answered with ACK.
    QCOMPARE(c.exchange(ascii("<ENQ>"), 1), ascii("<ACK>"));
}

// One memory behind all endpoints: written through 3E, read through the FX port.
void tst_PlcSimProtocols::sharedMemoryAcrossProtocols()
{
    TcpClient mc;
    QVERIFY(mc.connectTo(m_endpoints.value(QStringLiteral("mc3e"))));
    QCOMPARE(mc.exchange(hex("500000FFFF03000E00 0A00 0114 0000 0A0000 A8 0100 CDAB"), 11),
             hex("D00000FFFF0300 0200 0000"));
    TcpClient fx;
    QVERIFY(fx.connectTo(m_endpoints.value(QStringLiteral("fxport"))));
    // E00 D10 = 0x4014, 2 bytes
    QCOMPARE(fx.exchange(ascii("<STX>E00401402<ETX>D3"), 8), ascii("<STX>CDAB<ETX>0D"));
    QCOMPARE(m_sim.word('D', 10), quint16(0xABCD));
}

QTEST_MAIN(tst_PlcSimProtocols)
#include "tst_plcsimprotocols.moc"
