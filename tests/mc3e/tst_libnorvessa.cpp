// Norvessa end to end: the 3E plug-in against the in-process simulator over TCP and
// over a pseudo-terminal. The test bodies are shared with Marrowin (McEndToEnd.h).
#include "../common/LinkTestPeers.h"
#include "LibNorvessa.h"
#include "McEndToEnd.h"

#include <QtTest>

using namespace mctest;

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const McPluginProfile Profile = {
    QStringLiteral("mc3e"), QStringLiteral("Norvessa"), QStringLiteral("V1.0.3 20231122"),
    QStringLiteral("v1.0.4 2023-12-18 11:20:20"),
    QStringLiteral("500000ffff03000c000a0001040000640000a80100"),
    QStringLiteral("d00000ffff0300040000003412"),
    QStringLiteral("500000ffff03000e000a0001140000650000a801007856"),
    QStringLiteral("d00000ffff030002000000"),
    960, 960,
};
} // namespace

class TestLibNorvessa : public QObject
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
    void frameVariants_data();
    void frameVariants();
    void frameVariantsEndToEnd_data();
    void frameVariantsEndToEnd();

private:
    McEndToEnd<LibNorvessa> t{Profile};
};

void TestLibNorvessa::initTestCase()
{
    t.initTestCase();
}

void TestLibNorvessa::init()
{
    t.init();
}

void TestLibNorvessa::cleanupTestCase()
{
    t.cleanupTestCase();
}

void TestLibNorvessa::identityAndExport()
{
    t.identityAndExport();
}

void TestLibNorvessa::exampleReadFrameAndTrace()
{
    t.exampleReadFrameAndTrace();
}

void TestLibNorvessa::roundTrip_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("bitDevice");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    const struct { const char *text; char area; int number; bool bit; } places[] = {
        {"D200", 'D', 200, false}, {"W1A0", 'W', 0x1A0, false}, {"R3000", 'R', 3000, false},
        {"M320", 'M', 320, true},  {"Y40", 'Y', 0x40, true},
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

void TestLibNorvessa::roundTrip()
{
    t.roundTrip();
}

void TestLibNorvessa::areaNumbering_data()
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
    QTest::newRow("W1D link register") << "W1D" << 'W' << 0x1D << false;
    QTest::newRow("w1fff last") << "w1fff" << 'W' << 0x1FFF << false;
    QTest::newRow("R100 decimal") << "R100" << 'R' << 100 << false;
    QTest::newRow("R32767 last") << "R32767" << 'R' << 32767 << false;
    QTest::newRow("SM400 special relay") << "SM400" << char(PlcMemory::AreaSM) << 400 << true;
    QTest::newRow("L100 latch relay") << "L100" << 'L' << 100 << true;
    QTest::newRow("F16 annunciator") << "F16" << 'F' << 16 << true;
    QTest::newRow("V32 edge relay") << "V32" << 'V' << 32 << true;
    QTest::newRow("B1F0 link relay, hexadecimal") << "B1F0" << 'B' << 0x1F0 << true;
    QTest::newRow("SB10 hexadecimal") << "SB10" << char(PlcMemory::AreaSB) << 0x10 << true;
    QTest::newRow("DX20 reaches X20") << "DX20" << 'X' << 0x20 << true;
    QTest::newRow("dy30 reaches Y30") << "dy30" << 'Y' << 0x30 << true;
    QTest::newRow("TS5 read only") << "TS5" << char(PlcMemory::AreaTS) << 5 << true;
    QTest::newRow("TC5 read only") << "TC5" << char(PlcMemory::AreaTC) << 5 << true;
    QTest::newRow("CS5 read only") << "CS5" << char(PlcMemory::AreaCS) << 5 << true;
    QTest::newRow("CC5 read only") << "CC5" << char(PlcMemory::AreaCC) << 5 << true;
    QTest::newRow("SD100 special register") << "SD100" << char(PlcMemory::AreaSD) << 100 << false;
    QTest::newRow("SW1F hexadecimal") << "SW1F" << char(PlcMemory::AreaSW) << 0x1F << false;
    QTest::newRow("TN5 timer value") << "TN5" << char(PlcMemory::AreaTN) << 5 << false;
    QTest::newRow("CN9 counter value") << "CN9" << char(PlcMemory::AreaCN) << 9 << false;
    QTest::newRow("Z19 last index register") << "Z19" << 'Z' << 19 << false;
    QTest::newRow("S4080 step relay") << "S4080" << 'S' << 4080 << true;
    QTest::newRow("SS5 read only") << "SS5" << char(PlcMemory::AreaSS) << 5 << true;
    QTest::newRow("SC5 read only") << "SC5" << char(PlcMemory::AreaSC) << 5 << true;
    QTest::newRow("SN5 retentive timer value") << "SN5" << char(PlcMemory::AreaSN) << 5 << false;
    QTest::newRow("ZR65535 file register, decimal") << "ZR65535" << char(PlcMemory::AreaZR) << 65535 << false;
}

void TestLibNorvessa::areaNumbering()
{
    t.areaNumbering();
}

void TestLibNorvessa::boolRead_data()
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
    QTest::newRow("M1.7 x15353 fills one request") << "M1.7" << 'M' << 8 << 15353 << 1;
    QTest::newRow("M1.7 x15354 needs two") << "M1.7" << 'M' << 8 << 15354 << 2;
}

void TestLibNorvessa::boolRead()
{
    t.boolRead();
}

void TestLibNorvessa::boolWrite_data()
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
    QTest::newRow("M50 x2001 splits") << "M50" << 'M' << 50 << 2001;
}

void TestLibNorvessa::boolWrite()
{
    t.boolWrite();
}

void TestLibNorvessa::largeTransfersSplit_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("bitDevice");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("writeRequests");
    QTest::addColumn<int>("readRequests");
    QTest::newRow("2000 words D") << "D1000" << 'D' << 1000 << false << int(DT_Int16) << 2000 << 3 << 3;
    QTest::newRow("960 words in one") << "D0" << 'D' << 0 << false << int(DT_UInt16) << 960 << 1 << 1;
    QTest::newRow("961 words in two") << "R5" << 'R' << 5 << false << int(DT_UInt16) << 961 << 2 << 2;
    QTest::newRow("500 doubles = 2000 words") << "D4000" << 'D' << 4000 << false << int(DT_Double) << 500 << 3 << 3;
    QTest::newRow("1000 words of M") << "M0" << 'M' << 0 << true << int(DT_UInt16) << 1000 << 2 << 2;
}

void TestLibNorvessa::largeTransfersSplit()
{
    t.largeTransfersSplit();
}

void TestLibNorvessa::profiles_data()
{
    addProfileColumnsAndXyRows();
    QTest::newRow("1000 words in two") << "" << "D0" << int(DT_Int16) << 1000 << -1 << 2 << 0 << "" << "";
    QTest::newRow("read-words=100") << "read-words=100" << "D0" << int(DT_Int16) << 101 << -1 << 2 << 0 << "" << "";
    QTest::newRow("read-words=0 ignored") << "read-words=0" << "M0" << int(DT_UInt16) << 960 << -1 << 1 << 0 << "read-words=0" << "";
    QTest::newRow("plc=fx3u not taken") << "plc=fx3u" << "X20" << int(DT_Bool) << 1 << 32 << 1 << 0 << "plc=fx3u" << "";
}

void TestLibNorvessa::profiles()
{
    t.profiles();
}

void TestLibNorvessa::endCodes_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<int>("status");
    // The simulated PLC refuses devices past its ranges with end code C056.
    QTest::newRow("read past D12287") << "D12287" << int(DT_Int32) << 1 << false << 7;
    QTest::newRow("write past D12287") << "D12287" << int(DT_Int32) << 1 << true << 7;
    QTest::newRow("read W2000") << "W2000" << int(DT_Int16) << 1 << false << 7;
    QTest::newRow("bit write past X1FFF") << "X1FFF" << int(DT_Bool) << 2 << true << 7;
    QTest::newRow("second piece refused") << "D11500" << int(DT_Int16) << 1000 << false << 7;
}

void TestLibNorvessa::endCodes()
{
    t.endCodes();
}

void TestLibNorvessa::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("written");
    QTest::newRow("noanswer read") << "noanswer" << false << 8 << false;
    QTest::newRow("noanswer write") << "noanswer" << true << 8 << true;
    QTest::newRow("nak read") << "nak" << false << 7 << false;
    QTest::newRow("nak:C051 write leaves memory") << "nak:C051" << true << 7 << false;
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

void TestLibNorvessa::faults()
{
    t.faults();
}

void TestLibNorvessa::lateAnswerIsNotTakenForTheNext()
{
    t.lateAnswerIsNotTakenForTheNext();
}

void TestLibNorvessa::closedConnectionAndRecovery()
{
    t.closedConnectionAndRecovery();
}

void TestLibNorvessa::refusals_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("readStatus");
    QTest::addColumn<int>("writeStatus");
    QTest::newRow("T5 unknown area") << "T5" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("K5 unknown area") << "K5" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("TC5 bools written: read only") << "TC5" << int(DT_Bool) << 1 << -1 << 3;
    QTest::newRow("CC0 count 0 written: read only") << "CC0" << int(DT_Int16) << 0 << 4 << 3;
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

void TestLibNorvessa::refusals()
{
    t.refusals();
}

void TestLibNorvessa::writeToAddressZero()
{
    t.writeToAddressZero();
}

void TestLibNorvessa::notConnected()
{
    t.notConnected();
}

void TestLibNorvessa::oneMemoryOneValue()
{
    t.oneMemoryOneValue();
}

void TestLibNorvessa::encoderRefusals()
{
    t.encoderRefusals();
}

void TestLibNorvessa::serialLine()
{
    t.serialLine();
}

void TestLibNorvessa::directDataCalls()
{
    t.directDataCalls();
}

void TestLibNorvessa::metaObjectCast()
{
    t.metaObjectCast();
}

// The frame variants' exact requests (a fresh driver's first 4E serial number
// is 0000) and how their answers are taken, against a scripted peer.
void TestLibNorvessa::frameVariants_data()
{
    QTest::addColumn<QString>("par");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("values");  // a write's values; empty: a read
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("value");   // what a read gives
    const QByteArray ok4E = hex("d400 0000 0000 00ffff0300 0200 0000");
    QTest::newRow("4E read D100") << "frame=4e" << "D100" << int(DT_Int16) << ""
        << hex("5400 0000 0000 00ffff03000c000a0001040000640000a80100")
        << hex("d400 0000 0000 00ffff0300 0400 0000 3412") << 0 << "4660";
    QTest::newRow("4E word write D101") << "frame=4e" << "D101" << int(DT_Int16) << "22136"
        << hex("5400 0000 0000 00ffff03000e000a0001140000650000a801007856") << ok4E << 0 << "";
    QTest::newRow("4E bit write M10 on off on") << "frame=4e" << "M10" << int(DT_Bool) << "1,0,1"
        << hex("5400 0000 0000 00ffff03000e000a00011401000a00009003001010") << ok4E << 0 << "";
    QTest::newRow("4E xy=octal: X20 is X16") << "frame=4e;xy=octal" << "X20" << int(DT_Bool) << ""
        << hex("5400 0000 0000 00ffff03000c000a00010400001000009c0100")
        << hex("d400 0000 0000 00ffff0300 0400 0000 0100") << 0 << "1";
    QTest::newRow("4E read ZR100000") << "frame=4e" << "ZR100000" << int(DT_Int16) << ""
        << hex("5400 0000 0000 00ffff03000c000a0001040000a08601b00100")
        << hex("d400 0000 0000 00ffff0300 0400 0000 ffff") << 0 << "-1";
    QTest::newRow("4E word write SN5") << "frame=4e" << "SN5" << int(DT_Int16) << "258"
        << hex("5400 0000 0000 00ffff03000e000a0001140000050000c801000201") << ok4E << 0 << "";
    QTest::newRow("4E answer of another serial dropped")
        << "frame=4e" << "D100" << int(DT_Int16) << ""
        << hex("5400 0000 0000 00ffff03000c000a0001040000640000a80100")
        << hex("d400 3412 0000 00ffff0300 0400 0000 aaaa d400 0000 0000 00ffff0300 0400 0000 3412") << 0 << "4660";
    QTest::newRow("4E set, 3E answer: 7") << "frame=4e" << "D100" << int(DT_Int16) << ""
        << hex("5400 0000 0000 00ffff03000c000a0001040000640000a80100")
        << hex("d00000ffff0300 0400 0000 3412") << 7 << "";
    QTest::newRow("4E refusal C056 keeps no value") << "frame=4e" << "D100" << int(DT_Int16) << ""
        << hex("5400 0000 0000 00ffff03000c000a0001040000640000a80100")
        << hex("d400 0000 0000 00ffff0300 0b00 56c0 00ffff0300 0104 0000") << 7 << "";
    const QByteArray okAscii = "D00000FF03FF0000040000";
    QTest::newRow("ASCII read D100") << "code=ascii" << "D100" << int(DT_Int16) << ""
        << QByteArray("500000FF03FF000018000A04010000D*0001000001")
        << QByteArray("D00000FF03FF00000800001234") << 0 << "4660";
    QTest::newRow("ASCII word write D101") << "code=ascii" << "D101" << int(DT_Int16) << "22136"
        << QByteArray("500000FF03FF00001C000A14010000D*00010100015678") << okAscii << 0 << "";
    QTest::newRow("ASCII bit write M10, odd count not padded") << "code=ascii" << "M10" << int(DT_Bool) << "1,0,1"
        << QByteArray("500000FF03FF00001B000A14010001M*0000100003101") << okAscii << 0 << "";
    QTest::newRow("ASCII xy=octal: X20 is X10 in hexadecimal digits") << "xy=octal;code=ascii" << "X20" << int(DT_Bool) << ""
        << QByteArray("500000FF03FF000018000A04010000X*0000100001")
        << QByteArray("D00000FF03FF00000800000001") << 0 << "1";
    QTest::newRow("ASCII ZR100000: hexadecimal digits") << "code=ascii" << "ZR100000" << int(DT_Int16) << ""
        << QByteArray("500000FF03FF000018000A04010000ZR0186A00001")
        << QByteArray("D00000FF03FF0000080000FFFF") << 0 << "-1";
    QTest::newRow("ASCII word write SN5") << "code=ascii" << "SN5" << int(DT_Int16) << "258"
        << QByteArray("500000FF03FF00001C000A14010000SN00000500010102") << okAscii << 0 << "";
    QTest::newRow("ASCII refusal: end code and 18 characters") << "code=ascii" << "D100" << int(DT_Int16) << ""
        << QByteArray("500000FF03FF000018000A04010000D*0001000001")
        << QByteArray("D00000FF03FF000016C05600FF03FF0004010000") << 7 << "";
    QTest::newRow("ASCII set, binary answer: 7") << "code=ascii" << "D100" << int(DT_Int16) << ""
        << QByteArray("500000FF03FF000018000A04010000D*0001000001")
        << hex("d00000ffff0300 0400 0000 3412") << 7 << "";
    QTest::newRow("ASCII D1000000 past six digits: 5, nothing sent") << "code=ascii" << "D1000000" << int(DT_Int16)
        << "" << QByteArray() << QByteArray() << 5 << "";
    QTest::newRow("4E ASCII read D100") << "frame=4e;code=ascii" << "D100" << int(DT_Int16) << ""
        << QByteArray("54000000000000FF03FF000018000A04010000D*0001000001")
        << QByteArray("D4000000000000FF03FF00000800001234") << 0 << "4660";
    QTest::newRow("4E ASCII bit write M10") << "frame=4e;code=ascii" << "M10" << int(DT_Bool) << "1,0,1"
        << QByteArray("54000000000000FF03FF00001B000A14010001M*0000100003101")
        << QByteArray("D4000000000000FF03FF0000040000") << 0 << "";
    QTest::newRow("4E ASCII answer of another serial dropped") << "frame=4e;code=ascii" << "D100" << int(DT_Int16) << ""
        << QByteArray("54000000000000FF03FF000018000A04010000D*0001000001")
        << QByteArray("D4001234000000FF03FF0000080000AAAAD4000000000000FF03FF00000800001234") << 0 << "4660";
    QTest::newRow("4E ASCII set, 4E binary answer: 7") << "frame=4e;code=ascii" << "D100" << int(DT_Int16) << ""
        << QByteArray("54000000000000FF03FF000018000A04010000D*0001000001")
        << hex("d400 0000 0000 00ffff0300 0400 0000 3412") << 7 << "";
}

void TestLibNorvessa::frameVariants()
{
    QFETCH(QString, par);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(QString, values);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(int, status);
    QFETCH(QString, value);
    TcpPeer peer({PeerTurn{{PeerReply{0, answer}}}});
    LibNorvessa drv;
    drv.SetConnectPar(par);
    QCOMPARE(drv.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(peer.port())), 0);
    MessageCapture capture;
    drv.DebugCmd(DebugStart);
    const QStringList v = values.split(QLatin1Char(','), Qt::SkipEmptyParts);
    QList<short> words;
    QList<bool> bits;
    for (const QString &s : v) {
        bits << (s == QLatin1String("1"));
        words << s.toShort();
    }
    const CLabelVariable r = v.isEmpty() ? drv.ReadVariable(address, DataType(type), 1)
        : drv.WriteVariable(address, DataType(type), type == DT_Bool ? labelOf(bits) : labelOf(words), v.size());
    QCOMPARE(peer.requests().value(0).toHex(), request.toHex());
    QCOMPARE(r.status, status);
    if (v.isEmpty())
        QCOMPARE(r.value.isValid() ? describe(r, type, 1) : QString(), value);
    // A dropped answer is named in one trace line.
    QCOMPARE(capture.lines().filter(QStringLiteral("]dropped an earlier request's answer")).size(),
             int(QByteArray(QTest::currentDataTag()).contains("another serial")));
    drv.DestroyFree();
}

// Each variant against the simulator: words, bits, ZR and SN written and read
// back; over 4E an answer later than the wait is dropped by its serial number
// when it comes, with no new connection.
void TestLibNorvessa::frameVariantsEndToEnd_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("par");
    QTest::newRow("4E binary") << "mc4e" << "frame=4e";
    QTest::newRow("3E ASCII") << "mc3e-ascii" << "code=ascii";
    QTest::newRow("4E ASCII") << "mc4e-ascii" << "frame=4e;code=ascii";
}

void TestLibNorvessa::frameVariantsEndToEnd()
{
    QFETCH(QString, protocol);
    QFETCH(QString, par);
    PlcSimulator sim;
    const QString endpoint = sim.addEndpoint(protocol, QStringLiteral("127.0.0.1:0"));
    LibNorvessa drv;
    drv.SetConnectPar(par);
    QCOMPARE(drv.ConnectDrive(endpoint), 0);
    QCOMPARE(drv.WriteVariable(QStringLiteral("D100"), DT_Int16, labelOf(QList<short>{0x1234, -2}), 2).status, 0);
    QCOMPARE(drv.WriteVariable(QStringLiteral("M10"), DT_Bool, labelOf(QList<bool>{true, false, true}), 3).status, 0);
    QCOMPARE(drv.WriteVariable(QStringLiteral("ZR65535"), DT_Int16, labelOf(QList<short>{7}), 1).status, 0);
    QCOMPARE(drv.WriteVariable(QStringLiteral("SN5"), DT_Int16, labelOf(QList<short>{9}), 1).status, 0);
    QCOMPARE(sim.word('D', 101), quint16(0xFFFE));
    QVERIFY(sim.bit('M', 10) && !sim.bit('M', 11) && sim.bit('M', 12));
    QCOMPARE(sim.word(PlcMemory::AreaZR, 65535) + sim.word(PlcMemory::AreaSN, 5), 16);
    QCOMPARE(describe(drv.ReadVariable(QStringLiteral("D100"), DT_Int16, 2), DT_Int16, 2), QStringLiteral("4660 -2"));
    QCOMPARE(describe(drv.ReadVariable(QStringLiteral("M10"), DT_Bool, 3), DT_Bool, 3), QStringLiteral("1 0 1"));
    QCOMPARE(describe(drv.ReadVariable(QStringLiteral("ZR65535"), DT_Int16, 1), DT_Int16, 1), QStringLiteral("7"));
    if (!par.contains(QLatin1String("4e")))
        return;  // 3E has no tag: a late answer costs a new connection
    const int connections = sim.connectionCount();
    QVERIFY(sim.addFault(QStringLiteral("late:3000")));
    QCOMPARE(drv.ReadVariable(QStringLiteral("D100"), DT_Int16, 1).status, 8);
    sim.clearFaults();
    QCOMPARE(describe(drv.ReadVariable(QStringLiteral("D101"), DT_Int16, 1), DT_Int16, 1), QStringLiteral("-2"));
    QCOMPARE(sim.connectionCount(), connections);
    drv.DestroyFree();
}

QTEST_GUILESS_MAIN(TestLibNorvessa)
#include "tst_libnorvessa.moc"
