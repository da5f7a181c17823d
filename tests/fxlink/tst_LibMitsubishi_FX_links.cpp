// The Lunetta driver class without a PLC: identity, station number, address
// texts, sizes, the refusals that come before anything is sent, and the plug-in
// library's single export.
#include "FxLinkTestSupport.h"
#include "LibMitsubishi_FX_links.h"

#include <QLibrary>
#include <QtTest>

class tst_LibMitsubishi_FX_links : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerLabelMetaTypes(); }
    void identity();
    void stationNumber_data();
    void stationNumber();
    void parseAddress_data();
    void parseAddress();
    void getAddr_data();
    void getAddr();
    void deviceNumberText_data();
    void deviceNumberText();
    void wordsFor_data();
    void wordsFor();
    void writeRefusals_data();
    void writeRefusals();
    void pluginLibrary();
};

void tst_LibMitsubishi_FX_links::identity()
{
    LibMitsubishi_FX_links drv;
    QCOMPARE(drv.getDriveName(), QStringLiteral("Kelvaro"));
    QCOMPARE(drv.DebugCmd(DebugDriveName), QStringLiteral("Kelvaro"));
    QCOMPARE(drv.getversion_number(), QStringLiteral("V1.2.2 20230221"));
    QCOMPARE(drv.DebugCmd(DebugBuildVersion), QStringLiteral("v1.2.1 2023-12-18 11:20:23"));
    QCOMPARE(drv.station(), 0);
    CDriveBaseClass *base = &drv;
    QCOMPARE(static_cast<void *>(qobject_cast<LibMitsubishi_FX_links *>(&drv)), static_cast<void *>(&drv));
    QCOMPARE(static_cast<void *>(drv.qt_metacast("CDriveBaseClass")), static_cast<void *>(base));
}

void tst_LibMitsubishi_FX_links::stationNumber_data()
{
    QTest::addColumn<QString>("par");
    QTest::addColumn<int>("station");
    QTest::newRow("12") << "12" << 12;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("257") << "257" << 257;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("hex text") << "0x1A" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("trailing letters") << "12a" << 0;
}

void tst_LibMitsubishi_FX_links::stationNumber()
{
    QFETCH(QString, par);
    QFETCH(int, station);
    LibMitsubishi_FX_links drv;
    drv.SetConnectPar("99");
    drv.SetConnectPar(par);
    QCOMPARE(drv.station(), station);
}

void tst_LibMitsubishi_FX_links::parseAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("status");
    QTest::addColumn<char>("letter");
    QTest::addColumn<int>("number");
    QTest::newRow("D100") << "D100" << 0 << 'D' << 100;
    QTest::newRow("d100") << "d100" << 0 << 'D' << 100;
    QTest::newRow("D8000") << "D8000" << 0 << 'D' << 8000;
    QTest::newRow("D0100") << "D0100" << 0 << 'D' << 100;
    QTest::newRow("D alone has no number") << "D" << 5 << 'D' << 0;
    QTest::newRow("M8") << "M8" << 0 << 'M' << 8;
    QTest::newRow("s9999") << "s9999" << 0 << 'S' << 9999;
    QTest::newRow("X17 octal") << "X17" << 0 << 'X' << 15;
    QTest::newRow("y7777") << "y7777" << 0 << 'Y' << 4095;
    QTest::newRow("empty") << "" << 3 << char(0) << 0;
    QTest::newRow("R100") << "R100" << 3 << char(0) << 0;
    QTest::newRow("T5") << "T5" << 3 << char(0) << 0;
    QTest::newRow("TN5 is TN") << "TN5" << 0 << 'T' << 5;
    QTest::newRow("cs255") << "cs255" << 0 << 'C' << 255;
    QTest::newRow("CN199") << "CN199" << 0 << 'C' << 199;
    QTest::newRow("CN255 32-bit") << "CN255" << 0 << 'C' << 255;
    QTest::newRow("CN256") << "CN256" << 5 << 'C' << 0;
    QTest::newRow("TS256") << "TS256" << 5 << 'T' << 0;
    QTest::newRow("TN0005 too long") << "TN0005" << 5 << 'T' << 0;
    QTest::newRow("digit first") << "1D00" << 3 << char(0) << 0;
    QTest::newRow("blank first") << " D100" << 3 << char(0) << 0;
    QTest::newRow("non-Latin letter") << QString::fromUtf8("Ｄ100") << 3 << char(0) << 0;
    QTest::newRow("D12345 too long") << "D12345" << 5 << 'D' << 0;
    QTest::newRow("D00100 too long") << "D00100" << 5 << 'D' << 0;
    QTest::newRow("D1A") << "D1A" << 5 << 'D' << 0;
    QTest::newRow("D-1") << "D-1" << 5 << 'D' << 0;
    QTest::newRow("D 10") << "D 10" << 5 << 'D' << 0;
    QTest::newRow("M100.3") << "M100.3" << 5 << 'M' << 0;
    QTest::newRow("D100.5 bit of a word") << "D100.5" << 0 << 'D' << 100;
    QTest::newRow("D100.16 bit too high") << "D100.16" << 5 << 'D' << 0;
    QTest::newRow("X8") << "X8" << 5 << 'X' << 0;
    QTest::newRow("Y19") << "Y19" << 5 << 'Y' << 0;
    QTest::newRow("full-width digit") << QString::fromUtf8("D１") << 5 << 'D' << 0;
}

void tst_LibMitsubishi_FX_links::parseAddress()
{
    QFETCH(QString, address);
    QFETCH(int, status);
    QFETCH(char, letter);
    QFETCH(int, number);
    const FxLinkDevice dev = LibMitsubishi_FX_links::parseAddress(address);
    QCOMPARE(dev.status, status);
    if (status != 3)
        QCOMPARE(dev.letter, letter);
    if (status == 0)
        QCOMPARE(dev.number, number);
    QCOMPARE(LibMitsubishi_FX_links::getArea(address), status == 3 ? 0 : int(letter));
}

void tst_LibMitsubishi_FX_links::getAddr_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("number");
    QTest::newRow("D100") << "D100" << "0100";
    QTest::newRow("D8000") << "D8000" << "8000";
    QTest::newRow("X17") << "X17" << "0017";
    QTest::newRow("M8") << "M8" << "0008";
    QTest::newRow("D12345") << "D12345" << "12345";
    QTest::newRow("D") << "D" << "0000";
    QTest::newRow("d100") << "d100" << "0100";
    QTest::newRow("empty") << "" << "0000";
}

void tst_LibMitsubishi_FX_links::getAddr()
{
    QFETCH(QString, address);
    QFETCH(QString, number);
    QCOMPARE(LibMitsubishi_FX_links::getAddr(address), number);
}

void tst_LibMitsubishi_FX_links::deviceNumberText_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("D0") << 'D' << 0 << "0000";
    QTest::newRow("D9999") << 'D' << 9999 << "9999";
    QTest::newRow("D10000") << 'D' << 10000 << "";
    QTest::newRow("M123") << 'M' << 123 << "0123";
    QTest::newRow("X8 is X10") << 'X' << 8 << "0010";
    QTest::newRow("Y4095 is Y7777") << 'Y' << 4095 << "7777";
    QTest::newRow("Y4096") << 'Y' << 4096 << "";
    QTest::newRow("negative") << 'D' << -1 << "";
}

void tst_LibMitsubishi_FX_links::deviceNumberText()
{
    QFETCH(char, letter);
    QFETCH(int, number);
    QFETCH(QString, text);
    QCOMPARE(LibMitsubishi_FX_links::deviceNumberText(letter, number), text);
}

void tst_LibMitsubishi_FX_links::wordsFor_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("words");
    QTest::newRow("bool 16") << int(DT_Bool) << 16 << 1;
    QTest::newRow("bool 17") << int(DT_Bool) << 17 << 2;
    QTest::newRow("bool 1") << int(DT_Bool) << 1 << 1;
    QTest::newRow("int8 1") << int(DT_Int8) << 1 << 0;
    QTest::newRow("uint8 3") << int(DT_UInt8) << 3 << 1;
    QTest::newRow("int16 2") << int(DT_Int16) << 2 << 2;
    QTest::newRow("int32 3") << int(DT_Int32) << 3 << 6;
    QTest::newRow("float 2") << int(DT_Float) << 2 << 4;
    QTest::newRow("double 1") << int(DT_Double) << 1 << 4;
    QTest::newRow("uint64 2") << int(DT_UInt64) << 2 << 8;
    QTest::newRow("string 5: three words") << int(DT_String) << 5 << 3;
    QTest::newRow("none") << int(DT_None) << 4 << 0;
    QTest::newRow("count 0") << int(DT_Int16) << 0 << 0;
    QTest::newRow("count -1") << int(DT_Int16) << -1 << 0;
}

void tst_LibMitsubishi_FX_links::wordsFor()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, words);
    QCOMPARE(LibMitsubishi_FX_links::wordsFor(type, count), qint64(words));
}

void tst_LibMitsubishi_FX_links::writeRefusals_data()
{
    // Refusals that need no PLC: an unconnected link would answer 9 otherwise.
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("values");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("status");
    QTest::newRow("list of another type") << "D0" << int(DT_Int16)
                                          << QVariant::fromValue(QList<int>{1}) << 1 << 2;
    QTest::newRow("no list at all") << "D0" << int(DT_Int16) << QVariant(5) << 1 << 2;
    QTest::newRow("too few elements") << "D0" << int(DT_Int16)
                                      << QVariant::fromValue(QList<short>{1, 2}) << 3 << 4;
    QTest::newRow("too few bools") << "M0" << int(DT_Bool)
                                   << QVariant::fromValue(QList<bool>{true}) << 2 << 4;
    QTest::newRow("odd int8 count") << "D0" << int(DT_Int8)
                                    << QVariant::fromValue(QList<char>{1, 2, 3}) << 3 << 4;
    QTest::newRow("bool on a data register") << "D0" << int(DT_Bool)
                                             << QVariant::fromValue(QList<bool>{true}) << 1 << 2;
    QTest::newRow("bools past M9999") << "M9999" << int(DT_Bool)
                                      << QVariant::fromValue(QList<bool>{true, true}) << 2 << 5;
    QTest::newRow("bools past Y7777") << "Y7777" << int(DT_Bool)
                                      << QVariant::fromValue(QList<bool>{true, true}) << 2 << 5;
    QTest::newRow("word on M9999") << "M9999" << int(DT_UInt16)
                                   << QVariant::fromValue(QList<unsigned short>{1}) << 1 << 5;
    QTest::newRow("bool to TS read only") << "TS5" << int(DT_Bool)
                                          << QVariant::fromValue(QList<bool>{true}) << 1 << 3;
    QTest::newRow("word to CS read only") << "CS0" << int(DT_UInt16)
                                          << QVariant::fromValue(QList<unsigned short>{1}) << 1 << 3;
    QTest::newRow("bool to a bit of a data register") << "D0.3" << int(DT_Bool)
                                                      << QVariant::fromValue(QList<bool>{true}) << 1 << 5;
}

void tst_LibMitsubishi_FX_links::writeRefusals()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(QVariant, values);
    QFETCH(int, count);
    QFETCH(int, status);
    LibMitsubishi_FX_links drv;
    CLabelVariable value = labelOf(values, type, count);
    value.status = 42;
    const CLabelVariable r = drv.WriteVariable(address, DataType(type), value, count);
    QCOMPARE(r.status, status);
    QCOMPARE(r.address, address);
    QCOMPARE(r.count, count);
    QCOMPARE(r.dataType, type);
    // The same write of a fitting list gets as far as the (missing) link.
    if (status == 2 && type != DT_Bool) {
        const CLabelVariable ok = drv.WriteVariable(address, DataType(type),
                                                    labelOf(QVariant::fromValue(QList<short>{1}), type, 1), 1);
        QCOMPARE(ok.status, 9);
    }
}

void tst_LibMitsubishi_FX_links::pluginLibrary()
{
    const QString dir = qEnvironmentVariable("PLC_BIN_DIR");
    if (dir.isEmpty())
        QSKIP("PLC_BIN_DIR not set (run through ctest)");
    QLibrary lib(dir + "/libLibLunetta" PLC_NAME_SUFFIX ".so.1");
    QVERIFY2(lib.load(), qPrintable(lib.errorString()));
    auto entry = reinterpret_cast<GetSharedLibraryFn>(lib.resolve("getSharedLibrary"));
    QVERIFY(entry);
    CDriveBaseClass *a = entry();
    CDriveBaseClass *b = entry();
    QVERIFY(a && b && a != b);
    QCOMPARE(a->getDriveName(), QStringLiteral("Kelvaro"));
    QCOMPARE(a->DebugCmd(DebugBuildVersion), QStringLiteral("v1.2.1 2023-12-18 11:20:23"));
    a->SetConnectPar("26");
    const CLabelVariable r = a->ReadVariable("D0", DT_Int16);  // short form: count 1
    QCOMPARE(r.status, 9);
    QCOMPARE(r.count, 1);
    QCOMPARE(a->ConnectDrive("nothing"), -4);
    QCOMPARE(a->DestroyFree(), 1);
    // Nothing but the entry point is visible.
    QVERIFY(!lib.resolve("_ZN22LibMitsubishi_FX_links12parseAddressERK7QString"));
    QVERIFY(!lib.resolve("_ZN22CmdMitsubishi_FX_links16buildReadRequestEiRK10QByteArrayi"));
    QVERIFY(!lib.resolve("_Z14plcWarningLineRK7QString"));
    delete dynamic_cast<QObject *>(a);
    delete dynamic_cast<QObject *>(b);
}

QTEST_GUILESS_MAIN(tst_LibMitsubishi_FX_links)
#include "tst_LibMitsubishi_FX_links.moc"
