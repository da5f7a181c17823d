// plchost driving the real plug-ins against the plcsim tool: the whole chain a
// user runs (name lookup next to the runner, connection texts, values of every
// type written, read back and printed), over TCP for every plug-in that is
// built and over a pseudo-terminal for the two FX plug-ins.

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

#include <csignal>

namespace {

const QString kHost = QStringLiteral(PLCHOST_EXE);
const QString kSim = QStringLiteral(PLCSIM_EXE);
const QStringList kPlugins = QStringLiteral(PLCHOST_PLUGINS).split(QLatin1Char(','), Qt::SkipEmptyParts);
const int kStation = 3;

struct Run {
    int exitCode = -1;
    QList<QByteArray> lines;
    QByteArray err;
};

Run runHost(const QStringList &args)
{
    QProcess p;
    p.start(kHost, args);
    Run r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
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

// The line with its timestamp checked for form and then left out.
QByteArray withoutTimestamp(const QByteArray &line, bool expectTimestamp)
{
    static const QRegularExpression ts(
        QStringLiteral("\"timestamp\":\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\""));
    QString s = QString::fromUtf8(line);
    const bool has = s.contains(ts);
    if (has != expectTimestamp)
        return "timestamp " + QByteArray(expectTimestamp ? "missing" : "unexpected") + " in " + line;
    s.replace(ts, QStringLiteral("\"timestamp\":TS"));
    s.replace(QStringLiteral("\"timestamp\":null"), QStringLiteral("\"timestamp\":TS"));
    return s.toUtf8();
}

// Starts plcsim and returns its endpoint lines ("mc3e 127.0.0.1:40123"), or
// fewer when it did not come up.
QList<QByteArray> startSim(QProcess *sim, const QStringList &args, int endpoints)
{
    sim->start(kSim, args);
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (sim->waitForStarted(10000) && out.count('\n') < endpoints && t.elapsed() < 15000
           && sim->state() == QProcess::Running) {
        sim->waitForReadyRead(200);
        out += sim->readAllStandardOutput();
    }
    return out.isEmpty() ? QList<QByteArray>() : out.trimmed().split('\n');
}

// Stops a process the test started, by its checked id.
void stop(QProcess *p, int signal)
{
    if (p->state() == QProcess::NotRunning || p->processId() <= 0)
        return;
    ::kill(pid_t(p->processId()), signal);
    if (!p->waitForFinished(5000)) {
        p->kill();
        p->waitForFinished();
    }
}

QByteArray labelLine(const char *op, const QString &address, int type, int count, int status,
                     const QByteArray &value)
{
    return QByteArray("{\"op\":\"") + op + "\",\"address\":\"" + address.toUtf8() + "\",\"dataType\":"
        + QByteArray::number(type) + ",\"count\":" + QByteArray::number(count)
        + ",\"status\":" + QByteArray::number(status) + ",\"timestamp\":TS,\"value\":" + value + "}";
}

} // namespace

class TestPlcHostPlugins : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void identity_data() { rows(); }
    void identity();
    void roundTrip_data() { rows(); }
    void roundTrip();
    void refusals_data() { rows(); }
    void refusals();
    void connectFailure_data() { rows(); }
    void connectFailure();
    void traceReadable_data() { rows(); }
    void traceReadable();
    void plcRefusals_data();
    void plcRefusals();
    void pollReconnects();

private:
    void rows();
    QStringList base(const QString &plugin, const QString &connect, const QString &par) const;

    QProcess m_sim;
    QMap<QString, QString> m_endpoint;  // "fxport tcp" -> "127.0.0.1:40123"
};

void TestPlcHostPlugins::initTestCase()
{
    if (kPlugins.isEmpty())
        QSKIP("no plug-in is built yet");
    const QList<QByteArray> lines = startSim(&m_sim, {"--serve", "fxport@127.0.0.1:0", "--serve", "fxlink@127.0.0.1:0",
                                                      "--serve", "mc1e@127.0.0.1:0", "--serve", "mc3e@127.0.0.1:0",
                                                      "--serve", "fxport@pty", "--serve", "fxlink@pty", "--station",
                                                      QString::number(kStation), "--set", "TN7=1234", "--set",
                                                      "CN5=-1", "--set", "TS0=0,0,0,1", "--set", "D180=0x8028,1",
                                                      "--set", "D190=\"AB12\""}, 6);
    QCOMPARE(lines.size(), 6);
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.split(' ');
        QCOMPARE(f.size(), 2);
        const QString where = f.at(1).startsWith('/') ? QStringLiteral("pty") : QStringLiteral("tcp");
        m_endpoint.insert(QString::fromUtf8(f.at(0)) + QLatin1Char(' ') + where, QString::fromUtf8(f.at(1)));
    }
}

void TestPlcHostPlugins::cleanupTestCase()
{
    stop(&m_sim, SIGTERM);
}

void TestPlcHostPlugins::rows()
{
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QString>("connect");
    QTest::addColumn<QString>("par");
    QTest::addColumn<int>("slot");  // distinct device ranges per row: the memory is shared

    const QString station = QString::number(kStation);
    int slot = 0;
    auto add = [&](const char *plugin, const char *protocol, const char *medium, const QString &par) {
        if (!kPlugins.contains(QLatin1String(plugin)))
            return;
        QString c = m_endpoint.value(QStringLiteral("%1 %2").arg(QLatin1String(protocol), QLatin1String(medium)));
        if (QLatin1String(medium) == QLatin1String("pty"))
            c += QStringLiteral(",9600,7,1,E");
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(plugin), QLatin1String(medium))))
            << QString::fromLatin1(plugin).toLower() << c << par << slot++;
    };
    add("Kelvaro", "fxport", "tcp", QString());
    add("Kelvaro", "fxport", "pty", QString());
    add("Lunetta", "fxlink", "tcp", station);
    add("Lunetta", "fxlink", "pty", station);
    add("Marrowin", "mc1e", "tcp", QString());
    add("Norvessa", "mc3e", "tcp", QString());
}

QStringList TestPlcHostPlugins::base(const QString &plugin, const QString &connect, const QString &par) const
{
    QStringList a{"--plugin", plugin, "--connect", connect};
    if (!par.isEmpty())
        a << "--par" << par;
    return a;
}

void TestPlcHostPlugins::identity()
{
    QFETCH(QString, plugin);
    QFETCH(QString, connect);
    QFETCH(QString, par);
    static const QMap<QString, QByteArray> expected{
        {"kelvaro", R"({"op":"info","driveName":"Kelvaro","version":"V1.2.2 20230221","buildVersion":"v1.2.2 2023-12-18 11:13:48"})"},
        {"lunetta", R"({"op":"info","driveName":"Kelvaro","version":"V1.2.2 20230221","buildVersion":"v1.2.1 2023-12-18 11:20:23"})"},
        {"marrowin", R"({"op":"info","driveName":"Marrowin","version":"V1.0.0 20230221","buildVersion":"v1.0.1 2023-12-26 15:46:02"})"},
        {"norvessa", R"({"op":"info","driveName":"Norvessa","version":"V1.0.3 20231122","buildVersion":"v1.0.4 2023-12-18 11:20:20"})"},
    };
    const Run r = runHost(base(plugin, connect, par) << "info" << "disconnect");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.lines, (QList<QByteArray>{"{\"op\":\"connect\",\"result\":0}", expected.value(plugin),
                                         "{\"op\":\"disconnect\",\"result\":0}"}));
}

void TestPlcHostPlugins::roundTrip()
{
    QFETCH(QString, plugin);
    QFETCH(QString, connect);
    QFETCH(QString, par);
    QFETCH(int, slot);

    struct Case {
        const char *type;
        int code;
        const char *values;
        int count;
        QByteArray printed;
    };
    const QList<Case> cases{
        {"int8", 2, "-128,127", 2, "[-128,127]"},
        {"uint8", 3, "255,1", 2, "[255,1]"},
        {"int16", 4, "-32768,32767,0", 3, "[-32768,32767,0]"},
        {"uint16", 5, "65535,1", 2, "[65535,1]"},
        {"int32", 6, "-2147483648,2147483647", 2, "[-2147483648,2147483647]"},
        {"uint32", 7, "4294967295", 1, "[4294967295]"},
        {"float", 8, "-0,1.5,nan,-inf,3.4028235e38", 5, "[-0,1.5,\"nan\",\"-inf\",3.4028235e+38]"},
        {"int64", 9, "-9223372036854775808,9223372036854775807", 2, "[-9223372036854775808,9223372036854775807]"},
        {"uint64", 10, "18446744073709551615", 1, "[18446744073709551615]"},
        {"double", 11, "0.1,-1e-300,inf", 3, "[0.1,-1e-300,\"inf\"]"},
        {"string", 12, "LOT-0815", 20, "[\"LOT-0815\"]"},  // 20 characters: 10 words, "LO" first
    };
    QStringList args = base(plugin, connect, par);
    QList<QByteArray> expected{"{\"op\":\"connect\",\"result\":0}"};
    const int wordBase = 2000 + 200 * slot;
    for (int i = 0; i < cases.size(); ++i) {
        const Case &c = cases.at(i);
        const QString address = QStringLiteral("D%1").arg(wordBase + 16 * i);
        args << "write" << address << c.type << c.values << QString::number(c.count) << "read" << address << c.type
             << QString::number(c.count);
        expected << labelLine("write", address, c.code, c.count, 0, c.printed)
                 << labelLine("read", address, c.code, c.count, 0, c.printed);
    }
    const QString bits = QStringLiteral("M%1").arg(600 + 40 * slot);
    args << "write" << bits << "bool" << "true,false,true,true,false,false,true" << "read" << bits << "bool" << "7";
    expected << labelLine("write", bits, 1, 7, 0, "[true,false,true,true,false,false,true]")
             << labelLine("read", bits, 1, 7, 0, "[true,false,true,true,false,false,true]");

    // Timer and counter devices: one memory answers every protocol alike.
    const QString tn = QStringLiteral("TN%1").arg(20 + slot);
    args << "read" << "TN7" << "int16" << "1" << "read" << "CN5" << "uint16" << "1" << "read" << "TS0" << "bool" << "4"
         << "write" << tn << "int16" << "-5" << "1" << "read" << tn << "int16" << "1";
    expected << labelLine("read", "TN7", 4, 1, 0, "[1234]") << labelLine("read", "CN5", 5, 1, 0, "[65535]")
             << labelLine("read", "TS0", 1, 4, 0, "[false,false,false,true]") << labelLine("write", tn, 4, 1, 0, "[-5]")
             << labelLine("read", tn, 4, 1, 0, "[-5]");
    // The same memory's text and bits as every plug-in sees them: the string
    // above as a word ("L" low, "O" high), a plcsim text preset, bits across D180/D181.
    const QString text = QStringLiteral("D%1").arg(wordBase + 16 * 10);
    args << "read" << text << "int16" << "1" << "read" << "D190" << "string" << "4" << "read" << "D180.15" << "bool"
         << "2";
    expected << labelLine("read", text, 4, 1, 0, "[20300]") << labelLine("read", "D190", 12, 4, 0, "[\"AB12\"]")
             << labelLine("read", "D180.15", 1, 2, 0, "[true,true]");

    const Run r = runHost(args);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(r.lines.size(), expected.size());
    QCOMPARE(r.lines.at(0), expected.at(0));
    for (int i = 1; i < expected.size(); ++i)
        QCOMPARE(withoutTimestamp(r.lines.at(i), true), expected.at(i));
}

void TestPlcHostPlugins::refusals()
{
    QFETCH(QString, plugin);
    QFETCH(QString, connect);
    QFETCH(QString, par);
    // An unknown device letter and DataType 0 (2) are refused, so are (5) a
    // bit of a word and a text too long or not Latin-1; the runner still runs
    // everything and exits with 1.
    const Run r = runHost(base(plugin, connect, par) << "read" << "T5" << "int16" << "read" << "D100" << "0"
                                                     << "read" << "D100" << "int16" << "write" << "D180.3" << "bool"
                                                     << "true" << "write" << "D170" << "string" << "TOO-LONG" << "4"
                                                     << "write" << "D170" << "string" << QString::fromUtf8("\u20AC") << "4");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.lines.size(), 7);
    auto statusOf = [](const QByteArray &line) {
        const int at = line.indexOf("\"status\":");
        return at < 0 ? -100 : line.mid(at + 9, line.indexOf(',', at) - at - 9).toInt();
    };
    // Refused either by the driver (3) or, where the driver sends any letter
    // on, by the PLC (7); never a success.
    const int unknownArea = statusOf(r.lines.at(1));
    QVERIFY2(unknownArea == 3 || unknownArea == 7, r.lines.at(1).constData());
    QVERIFY(r.lines.at(1).contains("\"value\":null,\"reason\":\""));
    QCOMPARE(statusOf(r.lines.at(2)), 2);
    QVERIFY(r.lines.at(2).endsWith("\"reason\":\"data type not supported by this plug-in\"}"));
    QVERIFY(r.lines.at(2).contains("\"dataType\":0,"));
    QCOMPARE(statusOf(r.lines.at(3)), 0);
    QCOMPARE(statusOf(r.lines.at(4)), 5);
    QVERIFY(r.lines.at(4).endsWith("cannot be written on its own, write the word D180 instead\"}"));
    QCOMPARE(statusOf(r.lines.at(5)), 5);
    QVERIFY(r.lines.at(5).endsWith("\"reason\":\"the text has 8 characters, more than the tag's 4 (COUNT)\"}"));
    QCOMPARE(statusOf(r.lines.at(6)), 5);
    QVERIFY2(r.lines.at(6).contains("(U+20AC) is not Latin-1"), r.lines.at(6).constData());
}

void TestPlcHostPlugins::connectFailure()
{
    QFETCH(QString, plugin);
    QFETCH(QString, connect);
    QFETCH(QString, par);
    QString unreachable;
    if (connect.contains(QLatin1Char(','))) {
        unreachable = QStringLiteral("/dev/plchost-no-such-port,9600,7,1,E");
    } else {
        QTcpServer s;  // a port that was free a moment ago and is closed now
        QVERIFY(s.listen(QHostAddress::LocalHost));
        unreachable = QStringLiteral("127.0.0.1:%1").arg(s.serverPort());
    }
    for (const QString &text : {unreachable, QStringLiteral("no-separator")}) {
        const Run r = runHost(base(plugin, text, par) << "read" << "D100" << "int16");
        QCOMPARE(r.exitCode, 3);
        QCOMPARE(r.lines.size(), 1);
        QVERIFY2(r.lines.at(0).startsWith("{\"op\":\"connect\",\"result\":-"), r.lines.at(0).constData());
        const QByteArray why = text != unreachable ? "the connection text has no"
                               : text.contains(',') ? "serial port /dev/plchost-no-such-port does not exist"
                                                    : "connection refused";
        QVERIFY2(r.lines.at(0).contains(",\"reason\":\"" + why) && r.err.contains(why), r.lines.at(0).constData());
    }
}

void TestPlcHostPlugins::traceReadable()
{
    QFETCH(QString, plugin);
    QFETCH(QString, connect);
    QFETCH(QString, par);
    const Run r = runHost(base(plugin, connect, par) << "read" << "D100" << "int16" << "--trace");
    QCOMPARE(r.exitCode, 0);
    // Time, plug-in, address, direction, spaced hex; characters for the ASCII ones.
    const bool ascii = plugin == QLatin1String("kelvaro") || plugin == QLatin1String("lunetta");
    const QString hexBytes = QStringLiteral("(?:[0-9A-F]{2} )*[0-9A-F]{2}");
    for (const char *dir : {"->", "<-"}) {
        const QRegularExpression line(QStringLiteral("(^|\n) +\\d+ ms  \\w+  D100  %1  %2%3\n")
                                          .arg(QRegularExpression::escape(QLatin1String(dir)), hexBytes,
                                               ascii ? QStringLiteral("  <(STX|ENQ)>[0-9A-F]+.*") : QString()));
        QVERIFY2(line.match(QString::fromUtf8(r.err)).hasMatch(), r.err.constData());
    }
}

void TestPlcHostPlugins::plcRefusals_data()
{
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("simArgs");  // plcsim arguments besides --serve
    QTest::addColumn<QString>("par");
    QTest::addColumn<QString>("op");       // run `reads` times; the last line is judged
    QTest::addColumn<QByteArray>("reason");  // status 0: what the line holds
    QTest::addColumn<int>("reads");  // the last one gives the reason
    QTest::addColumn<int>("status");
    const QString d100 = QStringLiteral("read D100 int16");
    QTest::newRow("Kelvaro NAK") << "Kelvaro" << "fxport" << "--fault nak" << "" << d100
                                 << QByteArray("PLC refused the request (NAK)") << 1 << 7;
    QTest::newRow("Lunetta NAK 06") << "Lunetta" << "fxlink" << "--fault nak:06" << "" << d100
                                    << QByteArray("PLC refused the request: NAK error code 06 (character area error)")
                                    << 1 << 7;
    QTest::newRow("Marrowin 58") << "Marrowin" << "mc1e" << "--fault nak:58" << "" << d100
                                 << QByteArray("PLC refused the request: completion code 58 (device out of range)")
                                 << 1 << 7;
    QTest::newRow("Norvessa C056") << "Norvessa" << "mc3e" << "--fault nak:C056" << "" << d100
                                   << QByteArray("PLC refused the request: end code C056 (device out of range)")
                                   << 1 << 7;
    QTest::newRow("Norvessa noise") << "Norvessa" << "mc3e" << "--fault garbage" << "" << d100
                                    << QByteArray("answer not understood (first byte FF") << 1 << 7;
    QTest::newRow("Kelvaro silent") << "Kelvaro" << "fxport" << "--fault noanswer" << "" << d100
                                    << QByteArray("PLC held back after 2 requests without an answer; next try in") << 3 << 8;
    // An FX3U refuses word-unit heads of bit devices off a multiple of 16.
    QTest::newRow("Marrowin FX3U M5 without plc=") << "Marrowin" << "mc1e" << "--model fx3u" << "" << "read M5 bool 20"
        << QByteArray("PLC refused the request: completion code 58 (device out of range); "
                      "FX3U-class interfaces need --par plc=fx3u") << 1 << 7;
    QTest::newRow("Marrowin FX3U M5 with plc=fx3u") << "Marrowin" << "mc1e" << "--model fx3u" << "plc=fx3u"
                                                     << "read M5 bool 20" << QByteArray("\"value\":[false,") << 1 << 0;
    QTest::newRow("Marrowin FX3U CN200 int32 x3") << "Marrowin" << "mc1e" << "--model fx3u --set CN200=70000,-1"
                                                   << "plc=fx3u" << "read CN200 int32 3" << QByteArray("\"value\":[70000,-1,0]") << 1 << 0;
    // read-words lets 40 counters into one piece: they still go 32 a request.
    QTest::newRow("Marrowin FX3U CN200 x40") << "Marrowin" << "mc1e" << "--model fx3u --set CN239=9"
        << "plc=fx3u;read-words=256" << "read CN200 int32 40" << QByteArray(",0,9]") << 1 << 0;
    QTest::newRow("Lunetta FX3U CN200 32-bit") << "Lunetta" << "fxlink" << "--model fx3u" << ""
        << "write CN200 int32 70000,-2,3 3 read CN200 int32 3" << QByteArray("\"value\":[70000,-2,3]") << 1 << 0;
}

void TestPlcHostPlugins::plcRefusals()
{
    QFETCH(QString, plugin);
    QFETCH(QString, protocol);
    QFETCH(QString, simArgs);
    QFETCH(QString, par);
    QFETCH(QString, op);
    QFETCH(QByteArray, reason);
    QFETCH(int, reads);
    QFETCH(int, status);
    if (!kPlugins.contains(plugin))
        QSKIP("plug-in not built");
    QProcess sim;
    const QList<QByteArray> lines =
        startSim(&sim, QStringList{"--serve", protocol + "@127.0.0.1:0"} + simArgs.split(QLatin1Char(' ')), 1);
    QCOMPARE(lines.size(), 1);
    QStringList ops;
    for (int i = 0; i < reads; ++i)
        ops << op.split(QLatin1Char(' '));
    const Run r = runHost(base(plugin, QString::fromUtf8(lines.at(0).split(' ').value(1)), par) << ops);
    stop(&sim, SIGTERM);
    QCOMPARE(r.exitCode, status == 0 ? 0 : 1);
    const QByteArray last = r.lines.value(r.lines.size() - 1);
    QVERIFY2(last.contains(QByteArray("\"status\":") + QByteArray::number(status) + ','), last.constData());
    if (status == 0) {
        QVERIFY2(last.contains(reason), last.constData());
        return;
    }
    QVERIFY2(last.contains(",\"reason\":\"" + reason), last.constData());
    QVERIFY2(r.err.contains("plchost: read " + op.section(QLatin1Char(' '), 1, 1).toUtf8() + ": " + reason),
             r.err.constData());
}

void TestPlcHostPlugins::pollReconnects()
{
    // A PLC that goes away and comes back on the same port: the poll goes on
    // by itself with status 0 once it is back.
    const QString plugin = kPlugins.contains(QLatin1String("Norvessa")) ? QStringLiteral("Norvessa")
                                                                        : QStringLiteral("Marrowin");
    if (!kPlugins.contains(plugin))
        QSKIP("no MC plug-in built");
    const QString serve = (plugin == QLatin1String("Norvessa") ? "mc3e@127.0.0.1:" : "mc1e@127.0.0.1:");
    QProcess sim;
    const QList<QByteArray> first = startSim(&sim, {"--serve", serve + "0"}, 1);
    QCOMPARE(first.size(), 1);
    const QString endpoint = QString::fromUtf8(first.at(0).split(' ').value(1));
    QProcess host;
    host.start(kHost, base(plugin, endpoint, QString()) << "--repeat" << "0" << "--interval" << "200" << "read"
                                                        << "D100" << "int16");
    QVERIFY(host.waitForStarted(10000));
    QByteArray out;
    auto waitFor = [&](const QByteArray &what, int from) {
        QElapsedTimer t;
        t.start();
        while (out.indexOf(what, from) < 0 && t.elapsed() < 15000 && host.state() == QProcess::Running) {
            host.waitForReadyRead(100);
            out += host.readAllStandardOutput();
        }
        return out.indexOf(what, from);
    };
    QVERIFY2(waitFor("\"status\":0,", 0) >= 0, out + host.readAllStandardError());
    stop(&sim, SIGKILL);
    const int lost = waitFor("\"status\":9,", 0);
    QVERIFY2(lost >= 0, out.constData());
    QVERIFY(waitFor("connection refused", lost) >= 0);
    const QList<QByteArray> again = startSim(&sim, {"--serve", serve + endpoint.section(':', -1)}, 1);
    QCOMPARE(again.size(), 1);
    const int back = waitFor("{\"op\":\"connect\",\"result\":0}", lost);
    QVERIFY2(back >= 0 && waitFor("\"status\":0,", back) > back, out.constData());
    stop(&host, SIGINT);
    stop(&sim, SIGTERM);
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestPlcHostPlugins)
#include "tst_plchostplugins.moc"
