// The host runner driven as a process, against the stand-in plug-in
// (HostDouble.h describes how it answers): argument checking, the printed
// JSON of every operation, exit codes, call forms, tracing, release of the
// driver object and plug-in lookup.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kHost = QStringLiteral(PLCHOST_EXE);
const QString kDouble = QStringLiteral(HOST_DOUBLE_LIB);
const QString kNoEntry = QStringLiteral(NO_ENTRY_LIB);
const QByteArray kTs = "\"2024-02-29T23:59:58.007\"";

struct Run {
    int exitCode = -1;
    QList<QByteArray> lines;
    QByteArray err;
};

Run runHost(const QStringList &args, const QString &program = kHost, const QString &workDir = QString(),
            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        r.err = "did not run to the end";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    QByteArray out = p.readAllStandardOutput();
    if (out.endsWith('\n'))
        out.chop(1);
    if (!out.isEmpty())
        r.lines = out.split('\n');
    r.err = p.readAllStandardError();
    return r;
}

// A path of the lookup table under the names of a build whose installed names
// end in `suffix`: plc-drivers<suffix>/ and libLib<Name><suffix>.so[.1].
QString withSuffix(QString path, const QString &suffix)
{
    path.replace(QStringLiteral("/plc-drivers/"), QStringLiteral("/plc-drivers%1/").arg(suffix));
    const int lib = path.lastIndexOf(QStringLiteral("/libLib"));
    const int so = path.indexOf(QStringLiteral(".so"), lib);
    if (lib >= 0 && so > lib)
        path.insert(so, suffix);
    return path;
}

QStringList withDouble(const QStringList &ops, const QString &connect = QStringLiteral("0"))
{
    return QStringList{QStringLiteral("--plugin"), kDouble, QStringLiteral("--connect"), connect} + ops;
}

QByteArray readLine(const QByteArray &op, const QByteArray &address, int type, int count, int status,
                    const QByteArray &ts, const QByteArray &value, const QByteArray &reason = QByteArray())
{
    return "{\"op\":\"" + op + "\",\"address\":\"" + address + "\",\"dataType\":" + QByteArray::number(type)
        + ",\"count\":" + QByteArray::number(count) + ",\"status\":" + QByteArray::number(status)
        + ",\"timestamp\":" + ts + ",\"value\":" + value
        + (reason.isEmpty() ? QByteArray() : ",\"reason\":\"" + reason + "\"") + "}";
}

const QByteArray kTypeRefused = "data type not supported by this plug-in";

} // namespace

class TestPlcHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void reads_data();
    void reads();
    void writes_data();
    void writes();
    void exitCodes_data();
    void exitCodes();
    void info();
    void connectFailure();
    void unusablePlugins();
    void driverReleased();
    void connectionOps();
    void sleepRunsEventLoop();
    void trace_data();
    void trace();
    void lookup_data();
    void lookup();
};

void TestPlcHost::initTestCase()
{
    QVERIFY2(QFileInfo::exists(kHost), qPrintable(kHost));
    QVERIFY2(QFileInfo::exists(kDouble), qPrintable(kDouble));
}

void TestPlcHost::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    const QString d = kDouble;
    auto ops = [&](const QStringList &o) { return withDouble(o); };
    QTest::newRow("no arguments") << QStringList() << QByteArray("--plugin is required");
    QTest::newRow("no plugin") << QStringList{"--connect", "0", "info"} << QByteArray("--plugin is required");
    QTest::newRow("no connect") << QStringList{"--plugin", d, "read", "D0", "int16"}
                                << QByteArray("--connect is required");
    QTest::newRow("connect without value") << QStringList{"--plugin", d, "--connect"} << QByteArray("needs a value");
    QTest::newRow("no operation") << ops({}) << QByteArray("no operation");
    QTest::newRow("plugin twice") << QStringList{"--plugin", d, "--plugin", d, "--connect", "0", "info"}
                                  << QByteArray("given twice");
    QTest::newRow("unknown option") << QStringList{"--plugin", d, "--connect", "0", "--verbose", "info"}
                                    << QByteArray("unknown option");
    QTest::newRow("unknown operation") << ops({"info", "peek"}) << QByteArray("unknown operation");
    QTest::newRow("read without type") << ops({"read", "D0"}) << QByteArray("read D0: missing TYPE\n");
    QTest::newRow("read without anything") << ops({"read"}) << QByteArray("read: missing ADDRESS and TYPE\n");
    QTest::newRow("type is an operation") << ops({"read", "D0", "info"}) << QByteArray("read D0: missing TYPE\n");
    QTest::newRow("more values than COUNT") << ops({"write", "D0", "int16", "1,2,3", "2"}) << QByteArray("COUNT 2");
    QTest::newRow("fewer values than COUNT") << ops({"write", "D100", "int16", "1,2", "3"}) << QByteArray("COUNT 3");
    QTest::newRow("interval alone") << ops({"--interval", "5", "info"}) << QByteArray("--interval needs --repeat");
    QTest::newRow("repeat not a number") << ops({"info", "--repeat", "x"}) << QByteArray("--repeat");
    QTest::newRow("read bad type") << ops({"read", "D0", "int17"}) << QByteArray("unknown type");
    QTest::newRow("read type with blank") << ops({"read", "D0", " 4"}) << QByteArray("unknown type");
    QTest::newRow("read bad count") << ops({"read", "D0", "int16", "two"}) << QByteArray("COUNT");
    QTest::newRow("read count too big") << ops({"read", "D0", "int16", "2147483648"}) << QByteArray("COUNT");
    QTest::newRow("write without values") << ops({"write", "D0", "int16"}) << QByteArray("write D0: missing VALUES");
    QTest::newRow("int8 below") << ops({"write", "D0", "int8", "-129"}) << QByteArray("int8");
    QTest::newRow("int8 above") << ops({"write", "D0", "int8", "128"}) << QByteArray("int8");
    QTest::newRow("uint8 above") << ops({"write", "D0", "uint8", "256"}) << QByteArray("uint8");
    QTest::newRow("uint8 negative") << ops({"write", "D0", "uint8", "-1"}) << QByteArray("uint8");
    QTest::newRow("int16 above") << ops({"write", "D0", "int16", "1,32768"}) << QByteArray("\"32768\"");
    QTest::newRow("uint16 negative") << ops({"write", "D0", "uint16", "-1"}) << QByteArray("uint16");
    QTest::newRow("int32 above") << ops({"write", "D0", "int32", "2147483648"}) << QByteArray("int32");
    QTest::newRow("uint32 above") << ops({"write", "D0", "uint32", "4294967296"}) << QByteArray("uint32");
    QTest::newRow("int64 above") << ops({"write", "D0", "int64", "9223372036854775808"}) << QByteArray("int64");
    QTest::newRow("uint64 above") << ops({"write", "D0", "uint64", "18446744073709551616"})
                                  << QByteArray("uint64");
    QTest::newRow("uint64 negative") << ops({"write", "D0", "uint64", "-1"}) << QByteArray("uint64");
    QTest::newRow("int hex") << ops({"write", "D0", "int16", "0x10"}) << QByteArray("int16");
    QTest::newRow("int fraction") << ops({"write", "D0", "int32", "1.5"}) << QByteArray("int32");
    QTest::newRow("empty element") << ops({"write", "D0", "int32", "1,,2"}) << QByteArray("int32");
    QTest::newRow("bool two") << ops({"write", "M0", "bool", "2"}) << QByteArray("bool");
    QTest::newRow("bool yes") << ops({"write", "M0", "bool", "true,yes"}) << QByteArray("bool");
    QTest::newRow("float overflow") << ops({"write", "D0", "float", "1e39"}) << QByteArray("float");
    QTest::newRow("double overflow") << ops({"write", "D0", "double", "1e309"}) << QByteArray("double");
    QTest::newRow("double junk") << ops({"write", "D0", "double", "1.5x"}) << QByteArray("double");
    QTest::newRow("write bad count") << ops({"write", "D0", "int16", "1", "x"}) << QByteArray("COUNT");
    QTest::newRow("sleep negative") << ops({"sleep", "-1"}) << QByteArray("sleep");
    QTest::newRow("sleep text") << ops({"sleep", "soon"}) << QByteArray("sleep");
    QTest::newRow("connect op without text") << ops({"info", "connect"}) << QByteArray("missing");
    // The bad value comes after good operations: still nothing may run.
    QTest::newRow("late error") << ops({"info", "read", "min", "int16", "write", "D0", "int16", "x"})
                                << QByteArray("int16");
    QTest::newRow("unknown plug-in name")
        << QStringList{"--plugin", "Florinda", "--connect", "0", "info"} << QByteArray("unknown plug-in");
    QTest::newRow("missing plug-in file")
        << QStringList{"--plugin", "/nonexistent/libLibKelvaro.so.1", "--connect", "0", "info"}
        << QByteArray("does not exist");
}

void TestPlcHost::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    const Run r = runHost(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.lines.isEmpty(), r.lines.value(0).constData());
    QVERIFY2(r.err.contains(message), r.err.constData());
    // The stand-in announces its loading on stderr: it must not have been loaded.
    QVERIFY2(!r.err.contains("HostDouble"), r.err.constData());
}

void TestPlcHost::reads_data()
{
    QTest::addColumn<QStringList>("op");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("exitCode");

    auto row = [](const char *name, const QStringList &op, const QByteArray &expected, int exitCode = 0) {
        QTest::newRow(name) << op << expected << exitCode;
    };
    row("bool min, short form", {"read", "min", "bool"}, readLine("read", "min@r2", 1, 1, 0, kTs, "[false]"));
    row("bool seq", {"read", "seq", "BOOL", "3"}, readLine("read", "seq@r3", 1, 3, 0, kTs, "[true,false,true]"));
    row("int8 extremes", {"read", "special", "int8", "3"},
        readLine("read", "special@r3", 2, 3, 0, kTs, "[0,-128,127]"));
    row("uint8 extremes", {"read", "special", "uint8", "3"},
        readLine("read", "special@r3", 3, 3, 0, kTs, "[0,0,255]"));
    row("int16 extremes", {"read", "special", "int16", "3"},
        readLine("read", "special@r3", 4, 3, 0, kTs, "[0,-32768,32767]"));
    row("uint16 extremes", {"read", "special", "uint16", "3"},
        readLine("read", "special@r3", 5, 3, 0, kTs, "[0,0,65535]"));
    row("int32 extremes", {"read", "special", "int32", "3"},
        readLine("read", "special@r3", 6, 3, 0, kTs, "[0,-2147483648,2147483647]"));
    row("uint32 extremes", {"read", "special", "uint32", "3"},
        readLine("read", "special@r3", 7, 3, 0, kTs, "[0,0,4294967295]"));
    row("int64 min", {"read", "min", "int64"},
        readLine("read", "min@r2", 9, 1, 0, kTs, "[-9223372036854775808]"));
    row("int64 max", {"read", "max", "Int64", "1"},
        readLine("read", "max@r3", 9, 1, 0, kTs, "[9223372036854775807]"));
    row("uint64 max", {"read", "max", "uint64"},
        readLine("read", "max@r2", 10, 1, 0, kTs, "[18446744073709551615]"));
    row("int16 seq by code", {"read", "seq", "4", "4"}, readLine("read", "seq@r3", 4, 4, 0, kTs, "[0,1,2,3]"));
    row("float specials", {"read", "special", "float", "8"},
        readLine("read", "special@r3", 8, 8, 0, kTs,
                 "[\"nan\",\"inf\",\"-inf\",-0,0.1,3.4028235e+38,1e-45,0.33333334]"));
    row("float lowest", {"read", "min", "float"}, readLine("read", "min@r2", 8, 1, 0, kTs, "[-3.4028235e+38]"));
    row("double specials", {"read", "special", "double", "8"},
        readLine("read", "special@r3", 11, 8, 0, kTs,
                 "[\"nan\",\"inf\",\"-inf\",-0,0.1,1.7976931348623157e+308,5e-324,0.3333333333333333]"));
    row("strings escaped", {"read", "text", "string", "4"},
        readLine("read", "text@r3", 12, 4, 0, kTs,
                 "[\"q\\\"b\\\\s/\\n\\r\\t\\b\\f\\u0001\\u001f\",\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\",null,"
                 "\"\\ud800\"]"));
    row("invalid value", {"read", "invalid", "int16"}, readLine("read", "invalid@r2", 4, 1, 0, kTs, "null"));
    row("list of another type", {"read", "wrongtype", "int16"},
        readLine("read", "wrongtype@r2", 4, 1, 0, kTs, "[\"held\"]"));
    row("not a list", {"read", "notalist", "int32"}, readLine("read", "notalist@r2", 6, 1, 0, kTs, "null"));
    row("refused status", {"read", "status=7", "int16", "2"},
        readLine("read", "status=7@r3", 4, 2, 7, "null", "null", "answer rejected (a refusal, a garbled or a cut answer)"),
        1);
    row("type 0", {"read", "min", "0"}, readLine("read", "min@r2", 0, 1, 2, "null", "null", kTypeRefused), 1);
    row("type 41", {"read", "min", "41", "2"}, readLine("read", "min@r3", 41, 2, 2, "null", "null", kTypeRefused), 1);
    row("type -1, count -5", {"read", "min", "-1", "-5"},
        readLine("read", "min@r3", -1, -5, 2, "null", "null", kTypeRefused), 1);
    row("count 0", {"read", "seq", "int16", "0"}, readLine("read", "seq@r3", 4, 0, 0, kTs, "[]"));
    row("address escaped", {"read", "a\"b\\c\t", "int16"},
        readLine("read", "a\\\"b\\\\c\\t@r2", 4, 1, 3, "null", "null", "device area not known to this plug-in"), 1);
}

void TestPlcHost::reads()
{
    QFETCH(QStringList, op);
    QFETCH(QByteArray, expected);
    QFETCH(int, exitCode);
    const Run r = runHost(withDouble(op));
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.lines.size(), 2);
    QCOMPARE(r.lines.at(0), QByteArray("{\"op\":\"connect\",\"result\":0}"));
    QCOMPARE(r.lines.at(1), expected);
}

void TestPlcHost::writes_data()
{
    QTest::addColumn<QStringList>("op");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("exitCode");

    auto row = [](const char *name, const QStringList &op, const QByteArray &expected, int exitCode = 0) {
        QTest::newRow(name) << op << expected << exitCode;
    };
    // The stand-in's address tells the call form, the host's value's status,
    // count and dataType, and the count and type arguments.
    row("one value: short form", {"write", "D0", "int16", "5"},
        readLine("write", "D0@w3 ls=1 lc=1 lt=4 c=- t=4", 4, 1, 0, kTs, "[5]"));
    row("two values: long form", {"write", "D0", "int16", "1,-2"},
        readLine("write", "D0@w4 ls=1 lc=2 lt=4 c=2 t=4", 4, 2, 0, kTs, "[1,-2]"));
    row("one value with count 0", {"write", "D0", "int16", "7", "0"},
        readLine("write", "D0@w4 ls=1 lc=0 lt=4 c=0 t=4", 4, 0, 0, kTs, "[7]"));
    row("one value with count 1", {"write", "D0", "int16", "7", "1"},
        readLine("write", "D0@w4 ls=1 lc=1 lt=4 c=1 t=4", 4, 1, 0, kTs, "[7]"));
    row("bools", {"write", "M0", "bool", "true,false,1,0,TRUE"},
        readLine("write", "M0@w4 ls=1 lc=5 lt=1 c=5 t=1", 1, 5, 0, kTs, "[true,false,true,false,true]"));
    row("int8", {"write", "D0", "int8", "-128,127,0"},
        readLine("write", "D0@w4 ls=1 lc=3 lt=2 c=3 t=2", 2, 3, 0, kTs, "[-128,127,0]"));
    row("uint8", {"write", "D0", "uint8", "0,255"},
        readLine("write", "D0@w4 ls=1 lc=2 lt=3 c=2 t=3", 3, 2, 0, kTs, "[0,255]"));
    row("uint16", {"write", "D0", "uint16", "65535"},
        readLine("write", "D0@w3 ls=1 lc=1 lt=5 c=- t=5", 5, 1, 0, kTs, "[65535]"));
    row("int32", {"write", "D0", "int32", "-2147483648,2147483647"},
        readLine("write", "D0@w4 ls=1 lc=2 lt=6 c=2 t=6", 6, 2, 0, kTs, "[-2147483648,2147483647]"));
    row("uint32", {"write", "D0", "uint32", "4294967295"},
        readLine("write", "D0@w3 ls=1 lc=1 lt=7 c=- t=7", 7, 1, 0, kTs, "[4294967295]"));
    row("int64", {"write", "D0", "int64", "-9223372036854775808,9223372036854775807"},
        readLine("write", "D0@w4 ls=1 lc=2 lt=9 c=2 t=9", 9, 2, 0, kTs,
                 "[-9223372036854775808,9223372036854775807]"));
    row("uint64", {"write", "D0", "uint64", "18446744073709551615,+1"},
        readLine("write", "D0@w4 ls=1 lc=2 lt=10 c=2 t=10", 10, 2, 0, kTs, "[18446744073709551615,1]"));
    row("float", {"write", "D0", "float", "1.5,nan,-inf,3.4028235e38,0.1"},
        readLine("write", "D0@w4 ls=1 lc=5 lt=8 c=5 t=8", 8, 5, 0, kTs,
                 "[1.5,\"nan\",\"-inf\",3.4028235e+38,0.1]"));
    row("double", {"write", "D0", "Double", "0.1,1e-300,-0,inf"},
        readLine("write", "D0@w4 ls=1 lc=4 lt=11 c=4 t=11", 11, 4, 0, kTs, "[0.1,1e-300,-0,\"inf\"]"));
    // A string is one value, commas and all; COUNT is the tag's length (default: the text's).
    row("string", {"write", "D0", "string", "a,b\"c"},
        readLine("write", "D0@w4 ls=1 lc=5 lt=12 c=5 t=12", 12, 5, 0, kTs, "[\"a,b\\\"c\"]"));
    row("string with tag length", {"write", "D0", "string", "LOT-0815", "20"},
        readLine("write", "D0@w4 ls=1 lc=20 lt=12 c=20 t=12", 12, 20, 0, kTs, "[\"LOT-0815\"]"));
    row("code 13 holds shorts", {"write", "D0", "13", "-5"},
        readLine("write", "D0@w3 ls=1 lc=1 lt=13 c=- t=13", 13, 1, 0, kTs, "[-5]"));
    row("code 38 holds doubles", {"write", "D0", "38", "2.5,3"},
        readLine("write", "D0@w4 ls=1 lc=2 lt=38 c=2 t=38", 38, 2, 0, kTs, "[2.5,3]"));
    row("code 0: no value", {"write", "D0", "0", "anything"},
        readLine("write", "D0@w3 ls=1 lc=1 lt=0 c=- t=0", 0, 1, 0, kTs, "null"));
    row("code 41: no value", {"write", "D0", "41", "1,2"},
        readLine("write", "D0@w4 ls=1 lc=2 lt=41 c=2 t=41", 41, 2, 0, kTs, "null"));
    row("refused", {"write", "status=5", "int16", "1"},
        readLine("write", "status=5@w3 ls=1 lc=1 lt=4 c=- t=4", 4, 1, 5, "null", "[1]",
                 "address not valid for this plug-in (device number, bit index or range)"), 1);
}

void TestPlcHost::writes()
{
    reads();
}

void TestPlcHost::exitCodes_data()
{
    QTest::addColumn<QStringList>("ops");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("all good") << QStringList{"read", "min", "int16", "write", "D0", "int16", "1", "info"} << 4 << 0;
    QTest::newRow("info only") << QStringList{"info"} << 2 << 0;
    QTest::newRow("bad read first, then good") << QStringList{"read", "status=8", "int16", "read", "min", "int16"}
                                               << 3 << 1;
    QTest::newRow("good, then bad write") << QStringList{"read", "min", "int16", "write", "status=9", "int16", "1"}
                                          << 3 << 1;
    // A failed connect operation is reported, not counted as a read or write.
    QTest::newRow("connect op failing") << QStringList{"connect", "-1", "read", "min", "int16"} << 3 << 0;
    QTest::newRow("three rounds") << QStringList{"--repeat", "3", "--interval", "0", "read", "min", "int16"} << 4 << 0;
    // Status 9 makes the next round connect again first: connect, read, connect, read.
    QTest::newRow("reconnect after 9") << QStringList{"read", "status=9", "int16", "--repeat", "2", "--interval", "0"}
                                       << 4 << 1;
}

void TestPlcHost::exitCodes()
{
    QFETCH(QStringList, ops);
    QFETCH(int, lines);
    QFETCH(int, exitCode);
    const Run r = runHost(withDouble(ops));
    QCOMPARE(r.lines.size(), lines);
    QCOMPARE(r.exitCode, exitCode);
    const bool reconnects = ops.contains("status=9") && ops.contains("--repeat");
    QCOMPARE(r.lines.count("{\"op\":\"connect\",\"result\":0}"), reconnects ? 2 : 1);
}

void TestPlcHost::info()
{
    const Run r = runHost(QStringList{"--plugin", kDouble, "--connect", "0", "--par", "12", "info"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.lines.size(), 2);
    const QByteArray path = QFileInfo(kDouble).absoluteFilePath().toUtf8();
    QCOMPARE(r.lines.at(1), QByteArray("{\"op\":\"info\",\"driveName\":\"HostDouble\",\"version\":\"V9.9.9 par=12\","
                                       "\"buildVersion\":\"" + path + "\"}"));
    const Run noPar = runHost(withDouble({"info"}));
    QVERIFY(noPar.lines.value(1).contains("\"version\":\"V9.9.9 par=<none>\""));
    // Without --connect info runs alone: no ConnectDrive, no connect line.
    const Run alone = runHost({"info", "--plugin", kDouble});
    QCOMPARE(alone.exitCode, 0);
    QCOMPARE(alone.lines, QList<QByteArray>{noPar.lines.value(1)});
    QCOMPARE(runHost({"--version"}).lines, QList<QByteArray>{"plchost " PLCHOST_VERSION " (Qt " QT_VERSION_STR ")"});
}

void TestPlcHost::connectFailure()
{
    const Run r = runHost(withDouble({"info", "read", "min", "int16"}, QStringLiteral("-4")));
    QCOMPARE(r.exitCode, 3);
    const QByteArray why = R"(the connection text has no \",\" (serial: PORT,BAUD,DATA,STOP,PARITY) and no \":\" (TCP: ADDRESS:PORT))";
    QCOMPARE(r.lines, QList<QByteArray>{"{\"op\":\"connect\",\"result\":-4,\"reason\":\"" + why + "\"}"});
    QVERIFY2(r.err.contains("plchost: connect: the connection text has no"), r.err.constData());
    // Released even though nothing else ran.
    QVERIFY2(r.err.contains("HostDouble: DestroyFree\nHostDouble: destroyed"), r.err.constData());

    const Run text = runHost(withDouble({"info"}, QStringLiteral("127.0.0.1:1")));
    QCOMPARE(text.exitCode, 0);  // the stand-in accepts any non-number text
    QCOMPARE(text.lines.value(0), QByteArray("{\"op\":\"connect\",\"result\":0}"));
}

void TestPlcHost::unusablePlugins()
{
    // A file that is no library, a library without the entry, an entry that
    // answers no object: usage errors, nothing printed on stdout.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString junk = dir.filePath(QStringLiteral("libLibKelvaro.so.1"));
    {
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not an ELF file\n");
    }
    Run r = runHost({"--plugin", junk, "--connect", "0", "info"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.lines.isEmpty());
    QVERIFY2(r.err.contains("cannot load"), r.err.constData());

    r = runHost({"--plugin", kNoEntry, "--connect", "0", "info"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.lines.isEmpty());
    QVERIFY2(r.err.contains("exports no getSharedLibrary"), r.err.constData());

    // A library that links the other Qt major version's Qt Core (a plug-in of
    // the other build): refused before it is loaded.
    const int otherMajor = QT_VERSION_MAJOR == 5 ? 6 : 5;
    const QByteArray otherCore =
        "libQt" + QByteArray::number(otherMajor) + "Core.so." + QByteArray::number(otherMajor);
    const QString foreign = dir.filePath(QStringLiteral("foreign.so"));
    {
        QFile f(foreign);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\x7f" "ELF" + QByteArray(100, '\0') + otherCore + QByteArray(1, '\0'));
    }
    r = runHost({"--plugin", foreign, "--connect", "0", "info"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.lines.isEmpty());
    QVERIFY2(r.err.contains("was built with Qt " + QByteArray::number(otherMajor) + " (it needs " + otherCore
                            + ")"),
             r.err.constData());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOSTDOUBLE_NO_DRIVER"), QStringLiteral("1"));
    r = runHost(withDouble({"info"}), kHost, QString(), env);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.lines.isEmpty());
    QVERIFY2(r.err.contains("returned no driver"), r.err.constData());
}

void TestPlcHost::driverReleased()
{
    const Run r = runHost(withDouble({"read", "min", "int16"}));
    QCOMPARE(r.exitCode, 0);
    // DestroyFree first, then the object itself is deleted, exactly once each.
    QCOMPARE(r.err.count("HostDouble: DestroyFree"), 1);
    QCOMPARE(r.err.count("HostDouble: destroyed"), 1);
    QVERIFY(r.err.indexOf("DestroyFree") < r.err.indexOf("destroyed"));
    QVERIFY(r.err.indexOf("loaded") < r.err.indexOf("DestroyFree"));
}

void TestPlcHost::connectionOps()
{
    const Run r = runHost(withDouble({"disconnect", "disconnect", "connect", "5", "connect", "x", "disconnect",
                                      "sleep", "0"}));
    QCOMPARE(r.exitCode, 0);
    const QList<QByteArray> expected{
        "{\"op\":\"connect\",\"result\":0}",   "{\"op\":\"disconnect\",\"result\":0}",
        "{\"op\":\"disconnect\",\"result\":1,\"reason\":\"nothing to close: not connected\"}",
        "{\"op\":\"connect\",\"result\":5,\"reason\":\"connection failed (result 5)\"}",
        "{\"op\":\"connect\",\"result\":0}",   "{\"op\":\"disconnect\",\"result\":0}",
        "{\"op\":\"sleep\"}"};
    QCOMPARE(r.lines, expected);
}

void TestPlcHost::sleepRunsEventLoop()
{
    // The stand-in queues a zero timer in ConnectDrive: only a running event
    // loop delivers it.
    const Run without = runHost(withDouble({"read", "events", "bool"}));
    QVERIFY(without.lines.value(1).endsWith("\"value\":[false]}"));
    const Run with = runHost(withDouble({"sleep", "20", "read", "events", "bool"}));
    QCOMPARE(with.lines.value(1), QByteArray("{\"op\":\"sleep\"}"));
    QVERIFY2(with.lines.value(2).endsWith("\"value\":[true]}"), with.lines.value(2).constData());
}

void TestPlcHost::trace_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("connectLine");  // empty: no trace line at all
    QTest::newRow("off") << QString() << QByteArray();
    QTest::newRow("readable") << "--trace" << QByteArray(" ms  HostDouble  connect 0\n");
    QTest::newRow("raw") << "--trace=raw" << QByteArray("\"lib[HostDouble]connect 0\"\n");
}

void TestPlcHost::trace()
{
    QFETCH(QString, option);
    QFETCH(QByteArray, connectLine);
    QStringList args{"--plugin", kDouble, "--connect", "0", "read", "min", "int16"};
    if (!option.isEmpty())
        args << option;  // after the operations: options stand anywhere
    const Run r = runHost(args);
    QCOMPARE(r.exitCode, 0);
    // Tracing starts before the connection is made; lines go to stderr only.
    QCOMPARE(r.err.contains("connect 0"), !connectLine.isEmpty());
    QCOMPARE(r.err.contains("read min"), !connectLine.isEmpty());
    if (!connectLine.isEmpty())
        QVERIFY2(r.err.contains(connectLine), r.err.constData());
    QCOMPARE(r.lines.size(), 2);
}

void TestPlcHost::lookup_data()
{
    QTest::addColumn<QStringList>("files");  // copies of the stand-in, relative to the tree root
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QString>("expected");  // file that must be loaded; empty: usage error

    // The build's own names: libLib<Name>.so.1 in plc-drivers, in a Qt 6 build
    // libLib<Name>-qt6.so.1 in plc-drivers-qt6 (PLC_NAME_SUFFIX).
    const auto ours = [](QStringList files) {
        for (QString &f : files)
            f = withSuffix(f, QStringLiteral(PLC_NAME_SUFFIX));
        return files;
    };
    const auto our = [&ours](const QString &file) { return ours({file}).constFirst(); };
    QTest::newRow("next to runner first")
        << ours({"bin/libLibKelvaro.so.1", "lib/plc-drivers/libLibKelvaro.so.1", "lib/libLibKelvaro.so.1"})
        << "Kelvaro" << our("bin/libLibKelvaro.so.1");
    QTest::newRow("name in any case") << ours({"bin/libLibMarrowin.so.1"}) << "mARROWIN"
                                      << our("bin/libLibMarrowin.so.1");
    QTest::newRow(".so.1 before .so") << ours({"bin/libLibNorvessa.so", "bin/libLibNorvessa.so.1"})
                                      << "norvessa" << our("bin/libLibNorvessa.so.1");
    QTest::newRow("plain .so next to runner before install tree")
        << ours({"bin/libLibNorvessa.so", "lib/plc-drivers/libLibNorvessa.so.1"}) << "Norvessa"
        << our("bin/libLibNorvessa.so");
    QTest::newRow("plc-drivers before lib")
        << ours({"lib/plc-drivers/libLibLunetta.so.1", "lib/libLibLunetta.so.1"}) << "LUNETTA"
        << our("lib/plc-drivers/libLibLunetta.so.1");
    QTest::newRow("lib last") << ours({"lib/libLibLunetta.so"}) << "lunetta" << our("lib/libLibLunetta.so");
    QTest::newRow("other plug-in only") << ours({"bin/libLibKelvaro.so.1"}) << "Marrowin" << QString();
    // A Qt 5 and a Qt 6 build installed side by side: each runner finds the
    // plug-ins of its own build only.
    const QString other = QStringLiteral(PLC_NAME_SUFFIX).isEmpty() ? QStringLiteral("-qt6") : QString();
    const auto theirs = [&other](QStringList files) {
        for (QString &f : files)
            f = withSuffix(f, other);
        return files;
    };
    QTest::newRow("other Qt build's plug-ins only")
        << theirs({"bin/libLibKelvaro.so.1", "lib/plc-drivers/libLibKelvaro.so.1", "lib/libLibKelvaro.so"})
        << "Kelvaro" << QString();
    QTest::newRow("own build next to the other one")
        << theirs({"bin/libLibKelvaro.so.1", "lib/plc-drivers/libLibKelvaro.so.1"})
               + ours({"lib/plc-drivers/libLibKelvaro.so.1"})
        << "kelvaro" << our("lib/plc-drivers/libLibKelvaro.so.1");
    QTest::newRow("relative path") << QStringList{"elsewhere/driver.so"} << "elsewhere/driver.so"
                                   << "elsewhere/driver.so";
    QTest::newRow("bare file name in working directory") << QStringList{"driver.so"} << "driver.so"
                                                         << "driver.so";
}

void TestPlcHost::lookup()
{
    QFETCH(QStringList, files);
    QFETCH(QString, plugin);
    QFETCH(QString, expected);

    QTemporaryDir tree;
    QVERIFY(tree.isValid());
    const QDir root(tree.path());
    QVERIFY(root.mkpath(QStringLiteral("bin")));
    const QString host = root.filePath(QStringLiteral("bin/plchost"));
    QVERIFY(QFile::copy(kHost, host));
    for (const QString &f : files) {
        QVERIFY(root.mkpath(QFileInfo(root.filePath(f)).path()));
        QVERIFY(QFile::copy(kDouble, root.filePath(f)));
    }

    // Run from the tree root so relative paths resolve against it.
    const Run r = runHost({"--plugin", plugin, "--connect", "0", "info"}, host, root.path());
    if (expected.isEmpty()) {
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("not found"), r.err.constData());
        QVERIFY(r.lines.isEmpty());
        return;
    }
    QCOMPARE(r.exitCode, 0);
    const QByteArray loaded = QFileInfo(root.filePath(expected)).canonicalFilePath().toUtf8();
    QVERIFY2(r.lines.value(1).contains("\"buildVersion\":\"" + loaded + "\""), r.lines.value(1).constData());
}

QTEST_GUILESS_MAIN(TestPlcHost)
#include "tst_plchost.moc"
