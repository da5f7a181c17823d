// Driver class of the programming-port plug-in without a PLC: address parsing,
// byte lengths, identity, and the refusals that must happen before anything is
// sent (checked on a driver whose link is not usable: a request that got as far
// as the link would end with status 9).
#include "LibMitsubishi_FX_serial.h"

#include <QtTest>

Q_DECLARE_METATYPE(FxDevice)

class tst_LibMitsubishi_FX_serial : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void parseAddress_data();
    void parseAddress();
    void parseAddressForce_data();
    void parseAddressForce();
    void areaAndNumber_data();
    void areaAndNumber();
    void byteLength_data();
    void byteLength();
    void identity();
    void readRefusals_data();
    void readRefusals();
    void writeRefusals_data();
    void writeRefusals();
    void unconnectedLink();
};

void tst_LibMitsubishi_FX_serial::initTestCase()
{
    registerLabelMetaTypes();
}

void tst_LibMitsubishi_FX_serial::parseAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("firstByte");
    QTest::addColumn<int>("bitOffset");
    QTest::addColumn<bool>("word");

    QTest::newRow("D100") << "D100" << 0 << 0x40C8 << 0 << true;
    QTest::newRow("d100") << "d100" << 0 << 0x40C8 << 0 << true;
    QTest::newRow("D0100 leading zero") << "D0100" << 0 << 0x40C8 << 0 << true;
    QTest::newRow("D7999") << "D7999" << 0 << 0x7E7E << 0 << true;
    QTest::newRow("D8000") << "D8000" << 0 << 0x0E00 << 0 << true;
    QTest::newRow("D8255") << "D8255" << 0 << 0x0FFE << 0 << true;
    QTest::newRow("x10 octal") << "x10" << 0 << 0x0081 << 0 << false;
    QTest::newRow("X17") << "X17" << 0 << 0x0081 << 7 << false;
    QTest::newRow("X377") << "X377" << 0 << 0x009F << 7 << false;
    QTest::newRow("Y0") << "Y0" << 0 << 0x00A0 << 0 << false;
    QTest::newRow("Y25") << "Y25" << 0 << 0x00A2 << 5 << false;
    QTest::newRow("M3") << "M3" << 0 << 0x0100 << 3 << false;
    QTest::newRow("M100") << "M100" << 0 << 0x010C << 4 << false;
    QTest::newRow("M1023") << "M1023" << 0 << 0x017F << 7 << false;
    QTest::newRow("M8000") << "M8000" << 0 << 0x01E0 << 0 << false;
    QTest::newRow("M8003") << "M8003" << 0 << 0x01E0 << 3 << false;
    QTest::newRow("M8255") << "M8255" << 0 << 0x01FF << 7 << false;
    QTest::newRow("S0") << "S0" << 0 << 0x0000 << 0 << false;
    QTest::newRow("s13") << "s13" << 0 << 0x0001 << 5 << false;
    QTest::newRow("S999") << "S999" << 0 << 0x007C << 7 << false;

    QTest::newRow("empty") << "" << 3 << 0 << 0 << false;
    QTest::newRow("T5") << "T5" << 3 << 0 << 0 << false;
    QTest::newRow("TS255") << "TS255" << 0 << 0x00DF << 7 << false;
    QTest::newRow("tn255") << "tn255" << 0 << 0x09FE << 0 << true;
    QTest::newRow("CN255 32-bit") << "CN255" << 0 << 0x0CDC << 0 << true;
    QTest::newRow("CN256") << "CN256" << 5 << 0 << 0 << false;
    QTest::newRow("TS5.1 no bit index") << "TS5.1" << 5 << 0 << 0 << false;
    QTest::newRow("1D letter not first") << "1D" << 3 << 0 << 0 << false;
    QTest::newRow(" D1 blank first") << " D1" << 3 << 0 << 0 << false;
    QTest::newRow("full-width D") << QString::fromUtf8("\xEF\xBC\xA4" "100") << 3 << 0 << 0 << false;
    QTest::newRow("D alone") << "D" << 5 << 0 << 0 << false;
    QTest::newRow("XD") << "XD" << 5 << 0 << 0 << false;
    QTest::newRow("DX1") << "DX1" << 5 << 0 << 0 << false;
    QTest::newRow("X8 not octal") << "X8" << 5 << 0 << 0 << false;
    QTest::newRow("Y19 not octal") << "Y19" << 5 << 0 << 0 << false;
    QTest::newRow("X400 past X377") << "X400" << 5 << 0 << 0 << false;
    QTest::newRow("D-1") << "D-1" << 5 << 0 << 0 << false;
    QTest::newRow("D+1") << "D+1" << 5 << 0 << 0 << false;
    QTest::newRow("D 1") << "D 1" << 5 << 0 << 0 << false;
    QTest::newRow("D1 trailing blank") << "D1 " << 5 << 0 << 0 << false;
    QTest::newRow("M100.3") << "M100.3" << 5 << 0 << 0 << false;
    QTest::newRow("D200.3 bit of a register") << "D200.3" << 0 << 0x4190 << 0 << true;
    QTest::newRow("D200.16 bit too high") << "D200.16" << 5 << 0 << 0 << false;
    QTest::newRow("D0x10") << "D0x10" << 5 << 0 << 0 << false;
    QTest::newRow("full-width digits") << QString::fromUtf8("D\xEF\xBC\x91") << 5 << 0 << 0 << false;
    QTest::newRow("Arabic-Indic digit") << QString::fromUtf8("D\xD9\xA1") << 5 << 0 << 0 << false;
    QTest::newRow("D8256") << "D8256" << 5 << 0 << 0 << false;
    QTest::newRow("D9000") << "D9000" << 5 << 0 << 0 << false;
    QTest::newRow("M1024") << "M1024" << 5 << 0 << 0 << false;
    QTest::newRow("M7999") << "M7999" << 5 << 0 << 0 << false;
    QTest::newRow("M8256") << "M8256" << 5 << 0 << 0 << false;
    QTest::newRow("S1000") << "S1000" << 5 << 0 << 0 << false;
    QTest::newRow("ten digits") << "D0000000001" << 5 << 0 << 0 << false;
    QTest::newRow("huge number") << "D99999999999999999999999" << 5 << 0 << 0 << false;
}

void tst_LibMitsubishi_FX_serial::parseAddress()
{
    QFETCH(QString, text);
    QFETCH(int, status);
    QFETCH(int, firstByte);
    QFETCH(int, bitOffset);
    QFETCH(bool, word);
    FxDevice dev;
    QCOMPARE(LibMitsubishi_FX_serial::parseAddress(text, &dev), status);
    if (status != 0)
        return;
    QCOMPARE(dev.firstByte, firstByte);
    QCOMPARE(dev.bitOffset, bitOffset);
    QCOMPARE(dev.wordDevice, word);
    QVERIFY(dev.firstByte < dev.blockEndByte);
    QVERIFY(dev.index < dev.blockSize);
    QCOMPARE(LibMitsubishi_FX_serial::parseAddress(text, nullptr), 0);
}

void tst_LibMitsubishi_FX_serial::parseAddressForce_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bitAddress");
    QTest::addColumn<int>("devicesLeft");

    QTest::newRow("S0") << "S0" << 0x0000 << 1000;
    QTest::newRow("S999") << "S999" << 0x03E7 << 1;
    QTest::newRow("X0") << "X0" << 0x0400 << 256;
    QTest::newRow("X17 is input 15") << "X17" << 0x040F << 241;
    QTest::newRow("X377") << "X377" << 0x04FF << 1;
    QTest::newRow("Y5") << "Y5" << 0x0505 << 251;
    QTest::newRow("Y17 is output 15") << "Y17" << 0x050F << 241;
    QTest::newRow("M0") << "M0" << 0x0800 << 1024;
    QTest::newRow("M300") << "M300" << 0x092C << 724;
    QTest::newRow("M1023") << "M1023" << 0x0BFF << 1;
    QTest::newRow("M8000") << "M8000" << 0x0F00 << 256;
    QTest::newRow("M8255") << "M8255" << 0x0FFF << 1;
}

void tst_LibMitsubishi_FX_serial::parseAddressForce()
{
    QFETCH(QString, text);
    QFETCH(int, bitAddress);
    QFETCH(int, devicesLeft);
    FxDevice dev;
    QCOMPARE(LibMitsubishi_FX_serial::parseAddress(text, &dev), 0);
    QCOMPARE(dev.bitBase + dev.index, bitAddress);
    QCOMPARE(dev.blockSize - dev.index, devicesLeft);
}

void tst_LibMitsubishi_FX_serial::areaAndNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("number");

    QTest::newRow("X17") << "X17" << 0x30303038 << 17;
    QTest::newRow("x10") << "x10" << 0x30303038 << 10;
    QTest::newRow("Y5") << "Y5" << 0x30303041 << 5;
    QTest::newRow("M8000") << "M8000" << 0x30303130 << 8000;
    QTest::newRow("D100") << "D100" << 0x45303034 << 100;
    QTest::newRow("S5 has its own area") << "S5" << 0x30303030 << 5;
    QTest::newRow("T5") << "T5" << 0 << 5;
    QTest::newRow("TN5 is TN") << "TN5" << 0x45303038 << 5;
    QTest::newRow("cs7 is CS") << "cs7" << 0x30303143 << 7;
    QTest::newRow("1D") << "1D" << 0 << 0;
    QTest::newRow("empty") << "" << 0 << 0;
    QTest::newRow("XD") << "XD" << 0x30303038 << 0;
    QTest::newRow("D") << "D" << 0x45303034 << 0;
    QTest::newRow("too big") << "D99999999999" << 0x45303034 << 0;
}

void tst_LibMitsubishi_FX_serial::areaAndNumber()
{
    QFETCH(QString, text);
    QFETCH(int, area);
    QFETCH(int, number);
    LibMitsubishi_FX_serial lib;
    QCOMPARE(lib.getArea(text), area);
    QCOMPARE(lib.getAddr(text), number);
}

void tst_LibMitsubishi_FX_serial::byteLength_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<qlonglong>("bytes");

    QTest::newRow("bool 1") << int(DT_Bool) << 1 << 1LL;
    QTest::newRow("bool 8") << int(DT_Bool) << 8 << 1LL;
    QTest::newRow("bool 10") << int(DT_Bool) << 10 << 2LL;
    QTest::newRow("bool 17") << int(DT_Bool) << 17 << 3LL;
    QTest::newRow("int8 1") << int(DT_Int8) << 1 << 0LL;
    QTest::newRow("int8 3") << int(DT_Int8) << 3 << 2LL;
    QTest::newRow("uint8 4") << int(DT_UInt8) << 4 << 4LL;
    QTest::newRow("int16 2") << int(DT_Int16) << 2 << 4LL;
    QTest::newRow("uint16 300") << int(DT_UInt16) << 300 << 600LL;
    QTest::newRow("int32 1") << int(DT_Int32) << 1 << 4LL;
    QTest::newRow("float 3") << int(DT_Float) << 3 << 12LL;
    QTest::newRow("double 2") << int(DT_Double) << 2 << 16LL;
    QTest::newRow("uint64 1") << int(DT_UInt64) << 1 << 8LL;
    QTest::newRow("count 0") << int(DT_Int16) << 0 << 0LL;
    QTest::newRow("count -1") << int(DT_Int16) << -1 << 0LL;
    QTest::newRow("string 3: two words") << int(DT_String) << 3 << 4LL;
    QTest::newRow("type 0") << int(DT_None) << 4 << 0LL;
    QTest::newRow("type -3") << -3 << 4 << 0LL;
    QTest::newRow("int max doubles") << int(DT_Double) << INT_MAX << qlonglong(INT_MAX) * 8;
}

void tst_LibMitsubishi_FX_serial::byteLength()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(qlonglong, bytes);
    QCOMPARE(LibMitsubishi_FX_serial::byteLength(type, count), bytes);
}

void tst_LibMitsubishi_FX_serial::identity()
{
    LibMitsubishi_FX_serial lib;
    CDriveBaseClass *drive = &lib;
    QCOMPARE(drive->getDriveName(), QStringLiteral("Kelvaro"));
    QCOMPARE(drive->getversion_number(), QStringLiteral("V1.2.2 20230221"));
    QCOMPARE(drive->DebugCmd(DebugDriveName), QStringLiteral("Kelvaro"));
    QCOMPARE(drive->DebugCmd(DebugBuildVersion), QStringLiteral("v1.2.2 2023-12-18 11:13:48"));
    QVERIFY(!lib.cmd().traceOn());
    QCOMPARE(drive->DebugCmd(DebugStart), QStringLiteral("StartDebug"));
    QVERIFY(lib.cmd().traceOn());
    QCOMPARE(drive->DebugCmd(DebugStop), QStringLiteral("StopDebug"));
    QVERIFY(!lib.cmd().traceOn());
    QCOMPARE(lib.cmd().profile().name, QStringLiteral("Kelvaro"));
    QCOMPARE(lib.cmd().profile().texts.lost, QStringLiteral("lib[Kelvaro]%1:%2 Disconnected=%3"));
    QVERIFY(qobject_cast<LibMitsubishi_FX_serial *>(static_cast<QObject *>(&lib)));
    // The host finds the interface through the meta-object cast.
    QCOMPARE(lib.qt_metacast("LibMitsubishi_FX_serial"), static_cast<void *>(&lib));
    QCOMPARE(lib.qt_metacast("CDriveBaseClass"), static_cast<void *>(drive));
    QVERIFY(!lib.qt_metacast("CmdMitsubishi_FX_serial"));
    // DebugCmd values outside the enumeration answer nothing.
    QVERIFY(drive->DebugCmd(EDebugCmdType(7)).isNull());
    // read-words: 32 words (64 bytes) a read request unless the profile says less.
    QCOMPARE(lib.rules().readUnits(true), 64);
    drive->SetConnectPar(QStringLiteral("read-words=8"));
    drive->SetConnectPar(QStringLiteral("read-words=33;xy=octal"));  // out of range; no Kelvaro key
    QCOMPARE(lib.rules().readUnits(true), 16);
}

// Every row is refused by the driver itself; none may reach the link (which
// would answer 9 here, no connection being open).
void tst_LibMitsubishi_FX_serial::readRefusals_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("status");

    QTest::newRow("unknown letter T5") << "T5" << int(DT_Int16) << 1 << 3;
    QTest::newRow("unknown letter before type 0") << "T5" << int(DT_None) << 1 << 3;
    QTest::newRow("1D") << "1D" << int(DT_Int16) << 1 << 3;
    QTest::newRow("type 0") << "D0" << int(DT_None) << 1 << 2;
    QTest::newRow("string on M") << "M0" << int(DT_String) << 4 << 2;
    QTest::newRow("int16 at a bit") << "D0.3" << int(DT_Int16) << 1 << 5;
    QTest::newRow("type 40") << "D0" << int(DT_Double_V4) << 1 << 2;
    QTest::newRow("type -1") << "D0" << -1 << 1 << 2;
    QTest::newRow("count 0") << "D0" << int(DT_Int16) << 0 << 4;
    QTest::newRow("count -5") << "D0" << int(DT_Int16) << -5 << 4;
    QTest::newRow("int8 count 1") << "D0" << int(DT_Int8) << 1 << 4;
    QTest::newRow("bool count 0") << "M0" << int(DT_Bool) << 0 << 4;
    QTest::newRow("XD") << "XD" << int(DT_Bool) << 1 << 5;
    QTest::newRow("X8") << "X8" << int(DT_Bool) << 1 << 5;
    QTest::newRow("M1024") << "M1024" << int(DT_Bool) << 1 << 5;
    QTest::newRow("D past D7999") << "D7999" << int(DT_Int16) << 2 << 5;
    QTest::newRow("D8255 two words") << "D8255" << int(DT_Int32) << 1 << 5;
    QTest::newRow("M1020 bits past M1023") << "M1020" << int(DT_Bool) << 5 << 5;
    QTest::newRow("X370 bits past X377") << "X370" << int(DT_Bool) << 9 << 5;
    QTest::newRow("M8250 bits past M8255") << "M8250" << int(DT_Bool) << 7 << 5;
    QTest::newRow("word from M3 not on a byte") << "M3" << int(DT_Int16) << 1 << 5;
    QTest::newRow("word from X1 not on a byte") << "X1" << int(DT_Int16) << 1 << 5;
    QTest::newRow("huge count") << "D0" << int(DT_Double) << INT_MAX << 5;
}

void tst_LibMitsubishi_FX_serial::readRefusals()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, status);
    LibMitsubishi_FX_serial lib;
    CDriveBaseClass *drive = &lib;
    CLabelVariable v = drive->ReadVariable(address, DataType(type), count);
    QCOMPARE(v.status, status);
    QCOMPARE(v.address, address);
    QCOMPARE(v.count, count);
    QCOMPARE(v.dataType, type);
    QVERIFY(!v.value.isValid());
    QVERIFY(v.timestamp.isNull());
}

void tst_LibMitsubishi_FX_serial::writeRefusals_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("list");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("status");

    const QVariant shorts = QVariant::fromValue(QList<short>{1, 2});
    const QVariant bools = QVariant::fromValue(QList<bool>{true, false, true});
    QTest::newRow("unknown letter") << "T5" << int(DT_Int16) << shorts << 1 << 3;
    QTest::newRow("type 0") << "D0" << int(DT_None) << shorts << 1 << 2;
    QTest::newRow("type 12") << "D0" << int(DT_String) << shorts << 1 << 2;
    QTest::newRow("count 0") << "D0" << int(DT_Int16) << shorts << 0 << 4;
    QTest::newRow("bool count 0") << "M0" << int(DT_Bool) << bools << 0 << 4;
    QTest::newRow("int8 count 1") << "D0" << int(DT_Int8) << QVariant::fromValue(QList<char>{1}) << 1 << 4;
    QTest::newRow("int8 odd count") << "D0" << int(DT_Int8) << QVariant::fromValue(QList<char>{1, 2, 3}) << 3 << 4;
    QTest::newRow("bad number") << "D1x" << int(DT_Int16) << shorts << 1 << 5;
    QTest::newRow("past D8255") << "D8255" << int(DT_Int16) << shorts << 2 << 5;
    QTest::newRow("word to M") << "M0" << int(DT_Int16) << shorts << 1 << 2;
    QTest::newRow("word to X") << "X0" << int(DT_UInt16) << QVariant::fromValue(QList<unsigned short>{1}) << 1 << 2;
    QTest::newRow("word to S") << "S0" << int(DT_Int16) << shorts << 1 << 2;
    QTest::newRow("bool to D") << "D0" << int(DT_Bool) << bools << 1 << 2;
    QTest::newRow("list of another type") << "D0" << int(DT_Int32) << shorts << 1 << 2;
    QTest::newRow("bools of another type") << "M0" << int(DT_Bool) << shorts << 1 << 2;
    QTest::newRow("too few elements") << "D0" << int(DT_Int16) << shorts << 3 << 4;
    QTest::newRow("too few bools") << "M0" << int(DT_Bool) << bools << 4 << 4;
    QTest::newRow("invalid value") << "D0" << int(DT_Int16) << QVariant() << 1 << 2;
    QTest::newRow("bits past M1023") << "M1022" << int(DT_Bool) << bools << 3 << 5;
    QTest::newRow("bits past Y377") << "Y376" << int(DT_Bool) << bools << 3 << 5;
}

void tst_LibMitsubishi_FX_serial::writeRefusals()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(QVariant, list);
    QFETCH(int, count);
    QFETCH(int, status);
    LibMitsubishi_FX_serial lib;
    CDriveBaseClass *drive = &lib;
    CLabelVariable in;
    in.status = 0;
    in.value = list;
    in.auxText = QStringLiteral("kept");
    CLabelVariable v = drive->WriteVariable(address, DataType(type), in, count);
    QCOMPARE(v.status, status);
    QCOMPARE(v.address, address);
    QCOMPARE(v.count, count);
    QCOMPARE(v.dataType, type);
    QCOMPARE(v.auxText, QStringLiteral("kept"));
    QCOMPARE(v.value, list);
    QVERIFY(v.timestamp.isNull());
}

// Sound requests on a driver that never connected reach the link and end with 9.
void tst_LibMitsubishi_FX_serial::unconnectedLink()
{
    LibMitsubishi_FX_serial lib;
    CDriveBaseClass *drive = &lib;
    QCOMPARE(drive->ReadVariable(QStringLiteral("D0"), DT_Int16, 1).status, 9);
    QCOMPARE(drive->ReadVariable(QStringLiteral("M3"), DT_Bool).status, 9);
    CLabelVariable in;
    in.value = QVariant::fromValue(QList<bool>{true, true});
    QCOMPARE(drive->WriteVariable(QStringLiteral("Y5"), DT_Bool, in, 2).status, 9);
    in.value = QVariant::fromValue(QList<int>{7});
    CLabelVariable w = drive->WriteVariable(QStringLiteral("D0"), DT_Int32, in, 1);
    QCOMPARE(w.status, 9);
    QCOMPARE(w.value, in.value);
}

QTEST_MAIN(tst_LibMitsubishi_FX_serial)
#include "tst_LibMitsubishi_FX_serial.moc"
