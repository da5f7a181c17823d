// Address texts and transfer plans of the MC protocol plug-ins (the shared
// code), with the 3E device table.
#include "LibNorvessa.h"
#include "McAddress.h"
#include "McDriverBase.h"

#include <QtTest>

class TestMcAddressing : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void parseNumber_data();
    void parseNumber();
    void planRead_data();
    void planRead();
    void planWrite_data();
    void planWrite();
};

void TestMcAddressing::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("head");
    QTest::addColumn<int>("bit");
    QTest::newRow("D100") << "D100" << 0 << 0xA8 << 100 << -1;
    QTest::newRow("d100 lower case") << "d100" << 0 << 0xA8 << 100 << -1;
    QTest::newRow("X1F hexadecimal") << "X1F" << 0 << 0x9C << 31 << -1;
    QTest::newRow("x1f lower case") << "x1f" << 0 << 0x9C << 31 << -1;
    QTest::newRow("Y2a") << "Y2a" << 0 << 0x9D << 42 << -1;
    QTest::newRow("W1D is a link register") << "W1D" << 0 << 0xB4 << 0x1D << -1;
    QTest::newRow("R32767") << "R32767" << 0 << 0xAF << 32767 << -1;
    QTest::newRow("M100.3") << "M100.3" << 0 << 0x90 << 100 << 3;
    QTest::newRow("X10.15") << "X10.15" << 0 << 0x9C << 16 << 15;
    QTest::newRow("M0.0") << "M0.0" << 0 << 0x90 << 0 << 0;
    QTest::newRow("D0") << "D0" << 0 << 0xA8 << 0 << -1;
    QTest::newRow("D16777215 largest") << "D16777215" << 0 << 0xA8 << 0xFFFFFF << -1;
    QTest::newRow("D16777216 too large") << "D16777216" << 5 << 0xA8 << -1 << -1;
    QTest::newRow("D99999999999999999999") << "D99999999999999999999" << 5 << 0xA8 << -1 << -1;
    QTest::newRow("D100.5 bit 5 of a word") << "D100.5" << 0 << 0xA8 << 100 << 5;
    QTest::newRow("W10.1 bit of a hexadecimal word") << "W10.1" << 0 << 0xB4 << 0x10 << 1;
    QTest::newRow("D200.16 bit too high") << "D200.16" << 5 << 0xA8 << 200 << -1;
    QTest::newRow("D-1") << "D-1" << 5 << 0xA8 << -1 << -1;
    QTest::newRow("D1x") << "D1x" << 5 << 0xA8 << -1 << -1;
    QTest::newRow("D1F decimal area") << "D1F" << 5 << 0xA8 << -1 << -1;
    QTest::newRow("D empty number") << "D" << 5 << 0xA8 << -1 << -1;
    QTest::newRow("D 100 blank") << "D 100" << 5 << 0xA8 << -1 << -1;
    QTest::newRow("D100 trailing blank") << "D100 " << 5 << 0xA8 << -1 << -1;
    QTest::newRow("D+1") << "D+1" << 5 << 0xA8 << -1 << -1;
    QTest::newRow("X0x10") << "X0x10" << 5 << 0x9C << -1 << -1;
    QTest::newRow("M100.16 bit too high") << "M100.16" << 5 << 0x90 << 100 << -1;
    QTest::newRow("M100. empty bit") << "M100." << 5 << 0x90 << 100 << -1;
    QTest::newRow("M100.3.1") << "M100.3.1" << 5 << 0x90 << 100 << -1;
    QTest::newRow("M.3 no number") << "M.3" << 5 << 0x90 << -1 << 3;
    QTest::newRow("M100.-1") << "M100.-1" << 5 << 0x90 << 100 << -1;
    QTest::newRow("T5 unknown letter") << "T5" << 3 << 0 << -1 << -1;
    QTest::newRow("SM400 is SM, not S") << "SM400" << 0 << 0x91 << 400 << -1;
    QTest::newRow("S400 step relay") << "S400" << 0 << 0x98 << 400 << -1;
    QTest::newRow("SN5 is SN, not S") << "SN5" << 0 << 0xC8 << 5 << -1;
    QTest::newRow("sd5 special register") << "sd5" << 0 << 0xA9 << 5 << -1;
    QTest::newRow("DX1F hexadecimal, not D") << "DX1F" << 0 << 0xA2 << 0x1F << -1;
    QTest::newRow("SB1F.2") << "SB1F.2" << 0 << 0xA1 << 0x1F << 2;
    QTest::newRow("TN5 is TN") << "TN5" << 0 << 0xC2 << 5 << -1;
    QTest::newRow("TN5.1 bit of a timer value") << "TN5.1" << 0 << 0xC2 << 5 << 1;
    QTest::newRow("CC5 counter coil") << "CC5" << 0 << 0xC3 << 5 << -1;
    QTest::newRow("Z3 index register") << "Z3" << 0 << 0xCC << 3 << -1;
    QTest::newRow("ZR100000 is ZR, not Z; decimal") << "ZR100000" << 0 << 0xB0 << 100000 << -1;
    QTest::newRow("letter not first") << "1D00" << 3 << 0 << -1 << -1;
    QTest::newRow("blank first") << " D100" << 3 << 0 << -1 << -1;
    QTest::newRow("empty") << "" << 3 << 0 << -1 << -1;
    QTest::newRow("non-Latin letter") << QString::fromUtf8("Д100") << 3 << 0 << -1 << -1;
    QTest::newRow("digit of another script") << QString::fromUtf8("D١٠٠") << 5 << 0xA8 << -1 << -1;
}

void TestMcAddressing::parse()
{
    QFETCH(QString, text);
    QFETCH(int, status);
    QFETCH(int, code);
    QFETCH(int, head);
    QFETCH(int, bit);
    const McAddress a = McAddressing::parse(text, LibNorvessa::devices());
    QCOMPARE(a.status, status);
    QCOMPARE(a.deviceCode, code);
    QCOMPARE(a.headDevice, head);
    QCOMPARE(a.bitIndex, bit);

    // The driver's own functions agree with the parser.
    LibNorvessa driver;
    QCOMPARE(driver.getArea(text), code);
    if (code != 0)
        QCOMPARE(driver.getAddr(text, code), head);
    QCOMPARE(driver.getbit(text), bit == -1 && text.contains(QLatin1Char('.')) ? -1 : qMax(bit, 0));
}

void TestMcAddressing::parseNumber_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "0123" << 10 << 123;
    QTest::newRow("hex upper") << "FFFFFF" << 16 << 0xFFFFFF;
    QTest::newRow("hex mixed") << "aB0" << 16 << 0xAB0;
    QTest::newRow("hex too large") << "1000000" << 16 << -1;
    QTest::newRow("hex letter in decimal") << "A" << 10 << -1;
    QTest::newRow("g in hex") << "1g" << 16 << -1;
    QTest::newRow("empty") << "" << 16 << -1;
    QTest::newRow("unknown base") << "10" << 2 << -1;
    QTest::newRow("octal X20 is 16") << "20" << 8 << 16;
    QTest::newRow("8 is no octal digit") << "8" << 8 << -1;
    QTest::newRow("leading zeros") << "0000000000000000000007" << 10 << 7;
}

void TestMcAddressing::parseNumber()
{
    QFETCH(QString, digits);
    QFETCH(int, base);
    QFETCH(int, value);
    QCOMPARE(McAddressing::parseNumber(digits, base), value);
}

namespace {
const McDeviceArea BitArea = {"M", 0x90, 10, true, false};
const McDeviceArea WordArea = {"D", 0xA8, 10, false, false};
} // namespace

void TestMcAddressing::planRead_data()
{
    QTest::addColumn<bool>("bitDevice");
    QTest::addColumn<int>("head");
    QTest::addColumn<int>("bit");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("bitOffset");
    QTest::addColumn<int>("elements");
    QTest::newRow("D100 Int16") << false << 100 << -1 << int(DT_Int16) << 1 << 0 << 1 << 1 << 0 << 1;
    QTest::newRow("D100 UInt64 x2") << false << 100 << -1 << int(DT_UInt64) << 2 << 0 << 8 << 1 << 0 << 2;
    QTest::newRow("M100.3 Bool x16") << true << 100 << 3 << int(DT_Bool) << 16 << 0 << 2 << 16 << 3 << 16;
    QTest::newRow("M100.3 Bool x13") << true << 100 << 3 << int(DT_Bool) << 13 << 0 << 1 << 16 << 3 << 13;
    QTest::newRow("M100 Bool x17") << true << 100 << -1 << int(DT_Bool) << 17 << 0 << 2 << 16 << 0 << 17;
    QTest::newRow("D100 Bool x3 bits of a word") << false << 100 << -1 << int(DT_Bool) << 3 << 0 << 1 << 1 << 0 << 3;
    QTest::newRow("M0 Int16 word of bits") << true << 0 << -1 << int(DT_Int16) << 2 << 0 << 2 << 16 << 0 << 2;
    QTest::newRow("Int8 x3 rounds down") << false << 0 << -1 << int(DT_Int8) << 3 << 0 << 1 << 1 << 0 << 2;
    QTest::newRow("Int8 x1 nothing to move") << false << 0 << -1 << int(DT_Int8) << 1 << 4 << 0 << 1 << 0 << 0;
    QTest::newRow("type 0") << false << 0 << -1 << int(DT_None) << 1 << 2 << 0 << 1 << 0 << 0;
    QTest::newRow("string x7: four words") << false << 100 << -1 << int(DT_String) << 7 << 0 << 4 << 1 << 0 << 7;
    QTest::newRow("string above 128 KiB") << false << 0 << -1 << int(DT_String) << 131073 << 5 << 0 << 1 << 0 << 0;
    QTest::newRow("D200.15 Bool x2 into D201") << false << 200 << 15 << int(DT_Bool) << 2 << 0 << 2 << 1 << 15 << 2;
    QTest::newRow("D200.0 Bool x33 three words") << false << 200 << 0 << int(DT_Bool) << 33 << 0 << 3 << 1 << 0 << 33;
    QTest::newRow("last word bits past it") << false << 0xFFFFFF << 15 << int(DT_Bool) << 2 << 5 << 2 << 1 << 0 << 2;
    QTest::newRow("type -1") << false << 0 << -1 << -1 << 1 << 2 << 0 << 1 << 0 << 0;
    QTest::newRow("count 0") << false << 0 << -1 << int(DT_Int16) << 0 << 4 << 0 << 1 << 0 << 0;
    QTest::newRow("count -5") << false << 0 << -1 << int(DT_Int16) << -5 << 4 << 0 << 1 << 0 << 0;
    QTest::newRow("bit index on Int16") << true << 100 << 3 << int(DT_Int16) << 1 << 5 << 0 << 1 << 0 << 0;
    QTest::newRow("negative head") << false << -1 << -1 << int(DT_Int16) << 1 << 5 << 0 << 1 << 0 << 0;
    QTest::newRow("past 24 bits") << false << 0xFFFFFF << -1 << int(DT_Int32) << 1 << 5 << 2 << 1 << 0 << 1;
    QTest::newRow("last word") << false << 0xFFFFFF << -1 << int(DT_Int16) << 1 << 0 << 1 << 1 << 0 << 1;
    QTest::newRow("bit device past 24 bits") << true << 0xFFFFF0 << -1 << int(DT_Int16) << 2 << 5 << 2 << 16 << 0 << 2;
    QTest::newRow("too many bytes") << false << 0 << -1 << int(DT_Double) << 20000 << 5 << 0 << 1 << 0 << 0;
    QTest::newRow("huge count") << false << 0 << -1 << int(DT_Double) << 0x7FFFFFFF << 5 << 0 << 1 << 0 << 0;
    QTest::newRow("huge bool count") << true << 0 << 15 << int(DT_Bool) << 0x7FFFFFFF << 5 << 0 << 1 << 0 << 0;
}

void TestMcAddressing::planRead()
{
    QFETCH(bool, bitDevice);
    QFETCH(int, head);
    QFETCH(int, bit);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, status);
    QFETCH(int, points);
    QFETCH(int, step);
    QFETCH(int, bitOffset);
    QFETCH(int, elements);
    const McTransferPlan p = CMcDriverBase::planRead(bitDevice ? BitArea : WordArea, head, bit, type, count);
    QCOMPARE(p.status, status);
    if (status == 0 || points != 0) {
        QCOMPARE(p.points, points);
        QCOMPARE(p.step, step);
    }
    if (status == 0) {
        QCOMPARE(p.head, head);
        QCOMPARE(p.byteLength, 2 * points);
        QCOMPARE(p.bitOffset, bitOffset);
        QCOMPARE(p.elements, elements);
    }
}

void TestMcAddressing::planWrite_data()
{
    QTest::addColumn<bool>("bitDevice");
    QTest::addColumn<int>("head");
    QTest::addColumn<int>("bit");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("bitUnits");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("points");
    QTest::newRow("D0 Int16 allowed") << false << 0 << -1 << int(DT_Int16) << 1 << 0 << false << 0 << 1;
    QTest::newRow("D10 Double x3") << false << 10 << -1 << int(DT_Double) << 3 << 0 << false << 10 << 12;
    QTest::newRow("M100.3 Bool x5 bit units") << true << 100 << 3 << int(DT_Bool) << 5 << 0 << true << 103 << 5;
    QTest::newRow("X0 Bool x1") << true << 0 << -1 << int(DT_Bool) << 1 << 0 << true << 0 << 1;
    QTest::newRow("M0 Int16 word units") << true << 0 << -1 << int(DT_Int16) << 1 << 0 << false << 0 << 1;
    QTest::newRow("Bool on a word device") << false << 100 << -1 << int(DT_Bool) << 1 << 2 << false << 0 << 0;
    QTest::newRow("Bool on a bit of a word: 5") << false << 200 << 3 << int(DT_Bool) << 1 << 5 << false << 0 << 0;
    QTest::newRow("string x3 odd: two words") << false << 100 << -1 << int(DT_String) << 3 << 0 << false << 100 << 2;
    QTest::newRow("bit index on Float") << true << 0 << 2 << int(DT_Float) << 1 << 5 << false << 0 << 0;
    QTest::newRow("negative head") << false << -3 << -1 << int(DT_Int16) << 1 << 5 << false << 0 << 0;
    QTest::newRow("UInt8 x1") << false << 0 << -1 << int(DT_UInt8) << 1 << 4 << false << 0 << 0;
    QTest::newRow("UInt8 x3 odd") << false << 0 << -1 << int(DT_UInt8) << 3 << 4 << false << 0 << 0;
    QTest::newRow("Int8 x4") << false << 6 << -1 << int(DT_Int8) << 4 << 0 << false << 6 << 2;
    QTest::newRow("type 13") << false << 0 << -1 << 13 << 1 << 2 << false << 0 << 0;
    QTest::newRow("bits past 24 bits") << true << 0xFFFFFE << 1 << int(DT_Bool) << 2 << 5 << true << 0xFFFFFF << 2;
}

void TestMcAddressing::planWrite()
{
    QFETCH(bool, bitDevice);
    QFETCH(int, head);
    QFETCH(int, bit);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, status);
    QFETCH(bool, bitUnits);
    QFETCH(int, first);
    QFETCH(int, points);
    const McTransferPlan p = CMcDriverBase::planWrite(bitDevice ? BitArea : WordArea, head, bit, type, count);
    QCOMPARE(p.status, status);
    if (status == 0) {
        QCOMPARE(p.bitUnits, bitUnits);
        QCOMPARE(p.head, first);
        QCOMPARE(p.points, points);
    }
}

QTEST_GUILESS_MAIN(TestMcAddressing)
#include "tst_mcaddressing.moc"
