// The runner's command-line reading in process: which list type each DataType
// code gets, how COUNT is told from the next operation, and the option forms.

#include "CLabelVariable.h"
#include "ConnectionChecks.h"
#include "HostCommandLine.h"
#include <QtTest>
#include <cmath>

class TestHostCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerLabelMetaTypes(); }
    void listTypes_data();
    void listTypes();
    void typeText_data();
    void typeText();
    void countOrNextOperation();
    void optionForms();
    void realTexts();
    void connectionTexts_data();
    void connectionTexts();
};

void TestHostCommandLine::listTypes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("metaType");  // 0: no value
    QTest::newRow("bool") << 1 << qMetaTypeId<QList<bool>>();
    QTest::newRow("int8") << 2 << qMetaTypeId<QList<char>>();
    QTest::newRow("uint8") << 3 << qMetaTypeId<QList<unsigned char>>();
    QTest::newRow("int16") << 4 << qMetaTypeId<QList<short>>();
    QTest::newRow("uint16") << 5 << qMetaTypeId<QList<unsigned short>>();
    QTest::newRow("int32") << 6 << qMetaTypeId<QList<int>>();
    QTest::newRow("uint32") << 7 << qMetaTypeId<QList<unsigned int>>();
    QTest::newRow("float") << 8 << qMetaTypeId<QList<float>>();
    QTest::newRow("int64") << 9 << qMetaTypeId<QList<long long>>();
    QTest::newRow("uint64") << 10 << qMetaTypeId<QList<unsigned long long>>();
    QTest::newRow("double") << 11 << qMetaTypeId<QList<double>>();
    QTest::newRow("string") << 12 << qMetaTypeId<QList<QString>>();
    QTest::newRow("13 short") << 13 << qMetaTypeId<QList<short>>();
    QTest::newRow("16 ushort") << 16 << qMetaTypeId<QList<unsigned short>>();
    QTest::newRow("20 int") << 20 << qMetaTypeId<QList<int>>();
    QTest::newRow("21 uint") << 21 << qMetaTypeId<QList<unsigned int>>();
    QTest::newRow("25 none") << 25 << 0;
    QTest::newRow("32 none") << 32 << 0;
    QTest::newRow("33 float") << 33 << qMetaTypeId<QList<float>>();
    QTest::newRow("40 double") << 40 << qMetaTypeId<QList<double>>();
    QTest::newRow("0 none") << 0 << 0;
    QTest::newRow("41 none") << 41 << 0;
    QTest::newRow("-1 none") << -1 << 0;
}

void TestHostCommandLine::listTypes()
{
    QFETCH(int, code);
    QFETCH(int, metaType);
    QVariant v;
    int n = 0;
    QString error;
    QVERIFY(parseValueList(code, QStringLiteral("1,0"), &v, &n, &error));
    // A string tag holds one string: the text is one value, commas and all.
    QCOMPARE(n, code == 12 ? 1 : 2);
    if (metaType == 0) {
        QVERIFY(!v.isValid());
        return;
    }
    QCOMPARE(v.userType(), metaType);
    // The value a driver's accessor sees.
    CLabelVariable label;
    label.value = v;
    label.dataType = code;
    label.count = 2;
    if (code == 12) {
        QCOMPARE(label.atQString(0), QStringLiteral("1,0"));
        label.atQString(1);
        QCOMPARE(label.accessStatus, 10);
    } else if (code == 1) {
        QCOMPARE(label.atbool(0), true);
        QCOMPARE(label.atbool(1), false);
    }
}

void TestHostCommandLine::typeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("code");
    QTest::newRow("bool") << "bool" << true << 1;
    QTest::newRow("UInt16") << "UInt16" << true << 5;
    QTest::newRow("FLOAT") << "FLOAT" << true << 8;
    QTest::newRow("string") << "String" << true << 12;
    QTest::newRow("code 40") << "40" << true << 40;
    QTest::newRow("code -1") << "-1" << true << -1;
    QTest::newRow("code 999") << "999" << true << 999;
    QTest::newRow("int") << "int" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("hex") << "0x4" << false << 0;
}

void TestHostCommandLine::typeText()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, code);
    int got = 0;
    QCOMPARE(parseTypeText(text, &got), ok);
    if (ok)
        QCOMPARE(got, code);
}

void TestHostCommandLine::countOrNextOperation()
{
    HostCommandLine cmd;
    QString error;
    // Options between the operations end neither an operation nor its COUNT.
    const QStringList args{"read", "D0", "int16", "--plugin", "p", "read", "D1", "int16", "-3", "--repeat", "0",
                           "write", "D2", "int32", "1,2", "--connect", "c", "write", "D3", "int16", "9", "0", "info",
                           "--interval", "200"};
    QVERIFY2(parseHostCommandLine(args, &cmd, &error), qPrintable(error));
    QCOMPARE(cmd.operations.size(), 5);
    QCOMPARE(cmd.operations.at(0).hasCount, false);
    QCOMPARE(cmd.operations.at(0).count, 1);
    QCOMPARE(cmd.operations.at(1).hasCount, true);
    QCOMPARE(cmd.operations.at(1).count, -3);
    QCOMPARE(cmd.operations.at(2).hasCount, false);
    QCOMPARE(cmd.operations.at(2).count, 2);
    QCOMPARE(cmd.operations.at(2).valueCount, 2);
    QCOMPARE(cmd.operations.at(3).hasCount, true);
    QCOMPARE(cmd.operations.at(3).count, 0);
    QCOMPARE(cmd.operations.at(4).kind, HostOperation::Info);
    QVERIFY(cmd.polling);
    QCOMPARE(cmd.repeat, 0);
    QCOMPARE(cmd.intervalMs, 200);
}

void TestHostCommandLine::optionForms()
{
    HostCommandLine cmd;
    QString error;
    QVERIFY(parseHostCommandLine({"--plugin=a/b.so", "--connect=h:1", "--par", "-2", "--trace", "info"}, &cmd,
                                 &error));
    QCOMPARE(cmd.plugin, QStringLiteral("a/b.so"));
    QCOMPARE(cmd.connectText, QStringLiteral("h:1"));
    QVERIFY(cmd.hasPar);
    QCOMPARE(cmd.par, QStringLiteral("-2"));
    QVERIFY(cmd.trace);
    // An empty connection text is passed on as it is (the driver answers -4).
    QVERIFY(parseHostCommandLine({"--plugin", "p", "--connect", "", "info"}, &cmd, &error));
    QCOMPARE(cmd.connectText, QString(""));
    QVERIFY(parseHostCommandLine({"--help"}, &cmd, &error));
    QVERIFY(cmd.help);
    QVERIFY(!parseHostCommandLine({"--plugin", "p", "--connect", "c", "--trace=1", "info"}, &cmd, &error));
    QVERIFY(parseHostCommandLine({"--plugin", "p", "info", "--trace=raw"}, &cmd, &error));
    QVERIFY(cmd.trace && cmd.rawTrace && !cmd.hasConnect && !cmd.needsConnection() && !cmd.polling);
}

void TestHostCommandLine::realTexts()
{
    QVariant v;
    int n = 0;
    QString error;
    QVERIFY(parseValueList(8, QStringLiteral("0.1,-0,NaN,-inf,1e-45"), &v, &n, &error));
    const QList<float> f = v.value<QList<float>>();
    QCOMPARE(f.size(), 5);
    QCOMPARE(f.at(0), 0.1f);
    QVERIFY(std::signbit(f.at(1)));
    QVERIFY(std::isnan(f.at(2)));
    QVERIFY(std::isinf(f.at(3)) && f.at(3) < 0);
    QVERIFY(f.at(4) > 0);
    QVERIFY(!parseValueList(8, QStringLiteral(" 1"), &v, &n, &error));
    QVERIFY(!parseValueList(11, QStringLiteral("1,2,"), &v, &n, &error));
    QVERIFY(parseValueList(8, QStringLiteral("-3.40282356e38"), &v, &n, &error));
    QCOMPARE(v.value<QList<float>>().value(0), -std::numeric_limits<float>::max());
    QVERIFY(!parseValueList(8, QStringLiteral("3.4028236e38"), &v, &n, &error));
    QVERIFY(parseValueList(11, QStringLiteral("1.7976931348623157e308"), &v, &n, &error));
    QCOMPARE(v.value<QList<double>>().value(0), 1.7976931348623157e308);
}

void TestHostCommandLine::connectionTexts_data()
{
    // result 0: the warnings before connecting (empty: none); otherwise the
    // reason for that connect result.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("par");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("expected");
    QTest::newRow("7E1") << "/dev/ttyS0,9600,7,1,E" << "3" << 0 << "";
    QTest::newRow("Even is no parity") << "/dev/ttyS0,9600,7,1,Even" << "" << 0
                                       << "parity \"Even\" gives no parity (the plug-in takes the first of N, E, O "
                                          "found in it): write E for even parity";
    QTest::newRow("short text repeats") << "/dev/ttyS0,9600" << "" << 0
                                        << "the missing ones repeat the last: baud 9600, data bits 9600";
    QTest::newRow("baud left unset") << "/dev/ttyS0,14400,8,1,N" << "" << 0 << "baud rate 14400 is not one";
    QTest::newRow("par read as 0") << "127.0.0.1:5000" << "abc" << 0
                                   << "--par \"abc\" is not a decimal number: Lunetta uses station 0";
    QTest::newRow("par cut to 8 bits") << "127.0.0.1:5000" << "257" << 0 << "Lunetta sends station 1";
    QTest::newRow("port above 65535") << "127.0.0.1:70000" << "" << 0 << "only its low 16 bits (4464)";
    QTest::newRow("host name") << "plc.local:5000" << "" << 0 << "\"plc.local\" is not a numeric address";
    QTest::newRow("not a tty") << "/dev/null,9600,7,1,E" << "" << -1 << "/dev/null is not a tty";
    QTest::newRow("no such port") << "ttyPLCHOST9,9600,7,1,E" << "" << -1
                                  << "serial port /dev/ttyPLCHOST9 does not exist";
    QTest::newRow("baud not a number") << "/dev/ttyS0,96x0,7,1,E" << "" << -1 << "baud rate \"96x0\" is not a number";
    QTest::newRow("address not numeric") << "localhost:5000" << "" << -1 << "address \"localhost\" is not numeric";
    QTest::newRow("port missing") << "127.0.0.1:" << "" << -1 << "port missing";
    QTest::newRow("no separator") << "COM1" << "" << -4 << "the connection text has no \",\"";
}

void TestHostCommandLine::connectionTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, par);
    QFETCH(int, result);
    QFETCH(QString, expected);
    const QString got = result == 0
        ? connectionWarnings(text, QStringLiteral("libLibLunetta.so.1"), !par.isEmpty(), par).join(QLatin1Char('\n'))
        : connectFailureReason(result, text);
    QVERIFY2(expected.isEmpty() ? got.isEmpty() : got.contains(expected), qPrintable(got));
}

QTEST_GUILESS_MAIN(TestHostCommandLine)
#include "tst_hostcommandline.moc"
