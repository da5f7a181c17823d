// Marrowin end to end: the 1E plug-in against the in-process simulator over TCP and
// over a pseudo-terminal. The test bodies are shared with Norvessa (McEndToEnd.h).
#include "LibMarrowin.h"
#include "McEndToEnd.h"

#include <QtTest>

using namespace mctest;

namespace {
const McPluginProfile Profile = {
    QStringLiteral("mc1e"), QStringLiteral("Marrowin"), QStringLiteral("V1.0.0 20230221"),
    QStringLiteral("v1.0.1 2023-12-26 15:46:02"),
    QStringLiteral("01ff0a006400000020440100"),
    QStringLiteral("81003412"),
    QStringLiteral("03ff0a0065000000204401007856"),
    QStringLiteral("8300"),
    64, 160,
};
} // namespace

class TestLibMarrowin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void identityAndExport();
    void exampleReadFrameAndTrace();
    void roundTrip_data();
    void roundTrip();
    void areaNumbering_data();
    void areaNumbering();
    void boolRead_data();
    void boolRead();
    void boolWrite_data();
    void boolWrite();
    void largeTransfersSplit_data();
    void largeTransfersSplit();
    void profiles_data();
    void profiles();
    void endCodes_data();
    void endCodes();
    void faults_data();
    void faults();
    void lateAnswerIsNotTakenForTheNext();
    void closedConnectionAndRecovery();
    void refusals_data();
    void refusals();
    void writeToAddressZero();
    void notConnected();
    void oneMemoryOneValue();
    void encoderRefusals();
    void serialLine();
    void directDataCalls();
    void metaObjectCast();

private:
    McEndToEnd<LibMarrowin> t{Profile};
};

void TestLibMarrowin::initTestCase()
{
    t.initTestCase();
}

void TestLibMarrowin::init()
{
    t.init();
}

void TestLibMarrowin::cleanupTestCase()
{
    t.cleanupTestCase();
}

void TestLibMarrowin::identityAndExport()
{
    t.identityAndExport();
}

void TestLibMarrowin::exampleReadFrameAndTrace()
{
    t.exampleReadFrameAndTrace();
}

void TestLibMarrowin::roundTrip_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("bitDevice");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    const struct { const char *text; char area; int number; bool bit; } places[] = {
        {"D200", 'D', 200, false}, {"d9000", 'D', 9000, false},
        {"M320", 'M', 320, true},  {"Y40", 'Y', 0x40, true}, {"x1A0", 'X', 0x1A0, true},
    };
    for (const auto &p : places) {
        for (int type = DT_Int8; type <= DT_Double; ++type) {
            const int count = (type == DT_Int8 || type == DT_UInt8) ? 6 : 3;
            QTest::addRow("%s type %d", p.text, type)
                << QString::fromLatin1(p.text) << p.area << p.number << p.bit << type << count;
        }
    }
    QTest::addRow("M320 bools") << QStringLiteral("M320") << 'M' << 320 << true << int(DT_Bool) << 21;
    QTest::addRow("X1F bools") << QStringLiteral("X1F") << 'X' << 0x1F << true << int(DT_Bool) << 1;
    QTest::addRow("Y7.5 bools") << QStringLiteral("Y7.5") << 'Y' << 0x7 << true << int(DT_Bool) << 9;
}

void TestLibMarrowin::roundTrip()
{
    t.roundTrip();
}

void TestLibMarrowin::areaNumbering_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("bitDevice");
    QTest::newRow("X1F hexadecimal") << "X1F" << 'X' << 0x1F << true;
    QTest::newRow("x1f lower case") << "x1f" << 'X' << 0x1F << true;
    QTest::newRow("Y2A") << "Y2A" << 'Y' << 0x2A << true;
    QTest::newRow("Y1FF0 last word") << "Y1FF0" << 'Y' << 0x1FF0 << true;
    QTest::newRow("M100 decimal") << "M100" << 'M' << 100 << true;
    QTest::newRow("m16368 last word") << "m16368" << 'M' << 16368 << true;
    QTest::newRow("D100") << "D100" << 'D' << 100 << false;
    QTest::newRow("d12287 last") << "d12287" << 'D' << 12287 << false;
    QTest::newRow("X1FF0 last word") << "X1FF0" << 'X' << 0x1FF0 << true;
    QTest::newRow("D8000 special register") << "D8000" << 'D' << 8000 << false;
    QTest::newRow("B1F0 link relay, hexadecimal") << "B1F0" << 'B' << 0x1F0 << true;
    QTest::newRow("F100 annunciator") << "F100" << 'F' << 100 << true;
    QTest::newRow("TS16 timer contacts, read only") << "TS16" << char(PlcMemory::AreaTS) << 16 << true;
    QTest::newRow("cs0 counter contacts, read only") << "cs0" << char(PlcMemory::AreaCS) << 0 << true;
    QTest::newRow("W1D link register") << "W1D" << 'W' << 0x1D << false;
    QTest::newRow("R100 file register") << "R100" << 'R' << 100 << false;
    QTest::newRow("TN5 timer value") << "TN5" << char(PlcMemory::AreaTN) << 5 << false;
    QTest::newRow("CN7 counter value") << "CN7" << char(PlcMemory::AreaCN) << 7 << false;
    QTest::newRow("S4080 step relay") << "S4080" << 'S' << 4080 << true;
}

void TestLibMarrowin::areaNumbering()
{
    t.areaNumbering();
}

void TestLibMarrowin::boolRead_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("requests");
    QTest::newRow("M100.3 x16 is M103..M118") << "M100.3" << 'M' << 103 << 16 << 1;
    QTest::newRow("M100.3 x1") << "M100.3" << 'M' << 103 << 1 << 1;
    QTest::newRow("X10.2 x1 is X12") << "X10.2" << 'X' << 0x12 << 1 << 1;
    QTest::newRow("Y1F x20 across words") << "Y1F" << 'Y' << 0x1F << 20 << 1;
    QTest::newRow("M0.15 x2") << "M0.15" << 'M' << 15 << 2 << 1;
    QTest::newRow("M0 x8") << "M0" << 'M' << 0 << 8 << 1;
    QTest::newRow("M1.7 x505 fills one request") << "M1.7" << 'M' << 8 << 505 << 1;
    QTest::newRow("M1.7 x506 needs two") << "M1.7" << 'M' << 8 << 506 << 2;
}

void TestLibMarrowin::boolRead()
{
    t.boolRead();
}

void TestLibMarrowin::boolWrite_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::newRow("M100.3 x5 writes M103..M107") << "M100.3" << 'M' << 103 << 5;
    QTest::newRow("X0 x1") << "X0" << 'X' << 0 << 1;
    QTest::newRow("Y1E x3 odd") << "Y1E" << 'Y' << 0x1E << 3;
    QTest::newRow("M7 x16") << "M7" << 'M' << 7 << 16;
    QTest::newRow("M0.15 x2") << "M0.15" << 'M' << 15 << 2;
    QTest::newRow("M50 x160 in one") << "M50" << 'M' << 50 << 160;
    QTest::newRow("M50 x161 in two") << "M50" << 'M' << 50 << 161;
    QTest::newRow("M50 x2001 splits") << "M50" << 'M' << 50 << 2001;
}

void TestLibMarrowin::boolWrite()
{
    t.boolWrite();
}

void TestLibMarrowin::largeTransfersSplit_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("bitDevice");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("writeRequests");
    QTest::addColumn<int>("readRequests");
    // As FX3U-class interfaces take them. Reads: 64 words a request, 32 words of
    // bit devices. Writes: 64 words, 10 words of bit devices.
    QTest::newRow("300 words D") << "D1000" << 'D' << 1000 << false << int(DT_Int16) << 300 << 5 << 5;
    QTest::newRow("256 words") << "D0" << 'D' << 0 << false << int(DT_UInt16) << 256 << 4 << 4;
    QTest::newRow("64 words") << "D5" << 'D' << 5 << false << int(DT_UInt16) << 64 << 1 << 1;
    QTest::newRow("65 words") << "D5" << 'D' << 5 << false << int(DT_UInt16) << 65 << 2 << 2;
    QTest::newRow("D0 x100: 64 and 36") << "D0" << 'D' << 0 << false << int(DT_Int16) << 100 << 2 << 2;
    QTest::newRow("100 doubles = 400 words") << "D4000" << 'D' << 4000 << false << int(DT_Double) << 100 << 7 << 7;
    QTest::newRow("25 words of M") << "M0" << 'M' << 0 << true << int(DT_UInt16) << 25 << 3 << 1;
    QTest::newRow("33 words of M") << "M0" << 'M' << 0 << true << int(DT_UInt16) << 33 << 4 << 2;
    QTest::newRow("300 words of Y") << "Y0" << 'Y' << 0 << true << int(DT_UInt16) << 300 << 30 << 10;
}

void TestLibMarrowin::largeTransfersSplit()
{
    t.largeTransfersSplit();
}

void TestLibMarrowin::profiles_data()
{
    addProfileColumnsAndXyRows();
    QTest::newRow("D0 x100 in two") << "" << "D0" << int(DT_Int16) << 100 << -1 << 2 << 0 << "" << "";
    QTest::newRow("read-words=256: one") << "read-words=256" << "D0" << int(DT_Int16) << 100 << -1 << 1 << 0 << "" << "";
    QTest::newRow("bit devices N/2") << "read-words=256" << "M0" << int(DT_UInt16) << 129 << -1 << 2 << 0 << "" << "";
    QTest::newRow("read-words=257 ignored") << "read-words=257" << "D0" << int(DT_Int16) << 100 << -1 << 2 << 0 << "read-words=257" << "";
    QTest::newRow("unknown key named") << "foo=1;read-words=100;bar" << "D0" << int(DT_Int16) << 100 << -1 << 1 << 0 << "foo=1;bar" << "";
    // FX3U: heads of word-unit reads of bit devices at multiples of 16 (X/Y octal).
    const QString fx = QStringLiteral("plc=fx3u");
    QTest::newRow("fx3u: M100.3 from M96") << fx << "M100.3" << int(DT_Bool) << 1 << 103 << 1 << 0 << "" << "01ff0a0060000000204d0100";
    QTest::newRow("fx3u: M5 x20 from M0") << fx << "M5" << int(DT_Bool) << 20 << -1 << 1 << 0 << "" << "01ff0a0000000000204d0200";
    QTest::newRow("fx3u: X20 x16 is X20") << fx << "X20" << int(DT_Bool) << 16 << -1 << 1 << 0 << "" << "01ff0a001000000020580100";
    QTest::newRow("fx3u: Y17 from Y0") << fx << "Y17" << int(DT_Bool) << 1 << 15 << 1 << 0 << "" << "01ff0a000000000020590100";
    QTest::newRow("fx3u;xy=hex: Y17 is 23") << "plc=fx3u;xy=hex" << "Y17" << int(DT_Bool) << 1 << 23 << 1 << 0 << "" << "01ff0a001000000020590100";
    QTest::newRow("fx3u: M5 as a word") << fx << "M5" << int(DT_UInt16) << 1 << -1 << 0 << 5 << "" << "";
    QTest::newRow("fx3u: D8000") << fx << "D8000" << int(DT_Int16) << 1 << -1 << 1 << 0 << "" << "";
    QTest::newRow("fx3u: D8600") << fx << "D8600" << int(DT_Int16) << 1 << -1 << 0 << 5 << "" << "";
    QTest::newRow("fx3u: D7999 x2 crosses") << fx << "D7999" << int(DT_Int16) << 2 << -1 << 0 << 5 << "" << "";
    QTest::newRow("fx3u: X400") << fx << "X400" << int(DT_Bool) << 1 << -1 << 0 << 5 << "" << "";
    QTest::newRow("fx3u: X18") << fx << "X18" << int(DT_Bool) << 1 << -1 << 0 << 5 << "" << "";
    QTest::newRow("fx3u: M7680") << fx << "M7680" << int(DT_Bool) << 1 << -1 << 0 << 5 << "" << "";
    QTest::newRow("fx3u: CN256") << fx << "CN256" << int(DT_Int32) << 1 << -1 << 0 << 5 << "" << "";
    // A PLC serving CN200 as 16-bit words answers short: refused after the request.
    QTest::newRow("fx3u: CN200 int32 x3, 3 points") << fx << "CN200" << int(DT_Int32) << 3 << -1 << 1 << 7 << "" << "01ff0a00c80000004e430300";
    QTest::newRow("fx3u: CN199 x2 crosses CN200") << fx << "CN199" << int(DT_Int16) << 2 << -1 << 0 << 5 << "" << "";
    QTest::newRow("fx3u: B0 not an FX3U device") << fx << "B0" << int(DT_Bool) << 1 << -1 << 0 << 3 << "" << "";
    QTest::newRow("plc=fx5 ignored") << "plc=fx5" << "X20" << int(DT_Bool) << 1 << 32 << 1 << 0 << "plc=fx5" << "";
}

void TestLibMarrowin::profiles()
{
    t.profiles();
}

void TestLibMarrowin::endCodes_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<int>("status");
    // The simulated PLC refuses devices past its ranges with completion code 58.
    QTest::newRow("read past D12287") << "D12287" << int(DT_Int32) << 1 << false << 7;
    QTest::newRow("write past D12287") << "D12287" << int(DT_Int32) << 1 << true << 7;
    QTest::newRow("read M16383 as a word") << "M16383" << int(DT_Int16) << 1 << false << 7;
    QTest::newRow("bit write past X1FFF") << "X1FFF" << int(DT_Bool) << 2 << true << 7;
    QTest::newRow("second piece refused") << "D12000" << int(DT_Int16) << 300 << false << 7;
}

void TestLibMarrowin::endCodes()
{
    t.endCodes();
}

void TestLibMarrowin::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("written");
    QTest::newRow("noanswer read") << "noanswer" << false << 8 << false;
    QTest::newRow("noanswer write") << "noanswer" << true << 8 << true;
    QTest::newRow("nak read") << "nak" << false << 7 << false;
    QTest::newRow("nak:56 write leaves memory") << "nak:56" << true << 7 << false;
    QTest::newRow("nak:5B read with abnormal code") << "nak:5B" << false << 7 << false;
    QTest::newRow("truncate read") << "truncate" << false << 7 << false;
    QTest::newRow("truncate write") << "truncate" << true << 7 << true;
    QTest::newRow("garbage read") << "garbage" << false << 7 << false;
    QTest::newRow("garbage write") << "garbage" << true << 7 << true;
    QTest::newRow("badsum read") << "badsum" << false << 7 << false;
    QTest::newRow("badsum write") << "badsum" << true << 7 << true;
    // A pause inside the answer shorter than the read time-out is waited for;
    // a long one leaves the answer cut.
    QTest::newRow("split:5 read") << "split:5" << false << 0 << false;
    QTest::newRow("split:5 write") << "split:5" << true << 0 << true;
    QTest::newRow("split:300 read") << "split:300" << false << 0 << false;  // within the monitoring timer
    QTest::newRow("late:20 read") << "late:20" << false << 0 << false;
    QTest::newRow("every 2nd request of a split read") << "noanswer@2" << false << 8 << false;
    // Over UDP: a lost datagram is a time-out, a late answer goes to a port
    // given up, and an answer in two datagrams is a cut one.
    QTest::newRow("udp read") << "udp late:20" << false << 0 << false;
    QTest::newRow("udp write") << "udp late:20" << true << 0 << true;
    QTest::newRow("udp lost datagram") << "udp noanswer" << true << 8 << true;
    QTest::newRow("udp late:3000 read") << "udp late:3000" << false << 8 << false;
    QTest::newRow("udp split:5 read") << "udp split:5" << false << 7 << false;
}

void TestLibMarrowin::faults()
{
    t.faults();
}

void TestLibMarrowin::lateAnswerIsNotTakenForTheNext()
{
    t.lateAnswerIsNotTakenForTheNext();
}

void TestLibMarrowin::closedConnectionAndRecovery()
{
    t.closedConnectionAndRecovery();
}

void TestLibMarrowin::refusals_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("readStatus");
    QTest::addColumn<int>("writeStatus");
    QTest::newRow("T5 unknown area") << "T5" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("L100 not a device here") << "L100" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("SD100 is S with no number here") << "SD100" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("TC5 not a device here") << "TC5" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("TS5 bools written: read only") << "TS5" << int(DT_Bool) << 1 << -1 << 3;
    QTest::newRow("CS5 bad number, still read only") << "CS5.99" << int(DT_Int16) << 1 << 5 << 3;
    QTest::newRow("empty text") << "" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("letter not first") << "1D" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("count 0") << "D100" << int(DT_Int16) << 0 << 4 << 4;
    QTest::newRow("count -1") << "D100" << int(DT_Int16) << -1 << 4 << 4;
    QTest::newRow("D-1") << "D-1" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("D1x") << "D1x" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("D empty number") << "D" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("D100.5") << "D100.5" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("D100.5 bool: read, not written") << "D100.5" << int(DT_Bool) << 1 << -1 << 5;
    QTest::newRow("M100.16") << "M100.16" << int(DT_Bool) << 1 << 5 << 5;
    QTest::newRow("M100.3 as Int16") << "M100.3" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("type 0") << "D100" << int(DT_None) << 1 << 2 << 2;
    QTest::newRow("string on a bit device") << "M100" << int(DT_String) << 4 << 2 << 2;
    QTest::newRow("type 40") << "D100" << int(DT_Double_V4) << 1 << 2 << 2;
    QTest::newRow("Int8 count 1") << "D100" << int(DT_Int8) << 1 << 4 << 4;
    QTest::newRow("Int8 odd count written") << "D100" << int(DT_Int8) << 3 << -1 << 4;
    QTest::newRow("past 24-bit numbers") << "D16777215" << int(DT_Int32) << 1 << 5 << 5;
    QTest::newRow("too many bytes") << "D0" << int(DT_Double) << 100000 << 5 << 5;
    QTest::newRow("bools to a data register") << "D100" << int(DT_Bool) << 3 << -1 << 2;
    QTest::newRow("order: area before count") << "T5" << int(DT_Int16) << 0 << 3 << 3;
    QTest::newRow("order: count before number") << "D-1" << int(DT_Int16) << 0 << 4 << 4;
    QTest::newRow("order: number before type") << "D-1" << int(DT_None) << 1 << 5 << 5;
}

void TestLibMarrowin::refusals()
{
    t.refusals();
}

void TestLibMarrowin::writeToAddressZero()
{
    t.writeToAddressZero();
}

void TestLibMarrowin::notConnected()
{
    t.notConnected();
}

void TestLibMarrowin::oneMemoryOneValue()
{
    t.oneMemoryOneValue();
}

void TestLibMarrowin::encoderRefusals()
{
    t.encoderRefusals();
}

void TestLibMarrowin::serialLine()
{
    t.serialLine();
}

void TestLibMarrowin::directDataCalls()
{
    t.directDataCalls();
}

void TestLibMarrowin::metaObjectCast()
{
    t.metaObjectCast();
}

QTEST_GUILESS_MAIN(TestLibMarrowin)
#include "tst_libmarrowin.moc"
