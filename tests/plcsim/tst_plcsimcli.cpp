// The plcsim command-line tool: endpoint lines, serving, --verbose, --station,
// --fault, usage errors and a clean stop on SIGTERM and SIGINT.
#include "SimTestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>

using namespace simtest;

class tst_PlcSimCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void serveTcpAndPty();
    void stationAndFaultOptions();
    void sigintStopsCleanly();
    void presetMemoryAndLink();
    void help();
    void usageErrors_data();
    void usageErrors();
    void unopenableEndpoint();

private:
    QString start(QProcess *p, const QStringList &args, int lines, QStringList *out);
    static QString signal(QProcess *p, int sig);
    QString m_binary;
};

void tst_PlcSimCli::initTestCase()
{
    QString dir = qEnvironmentVariable("PLC_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    m_binary = dir + QStringLiteral("/plcsim" PLC_NAME_SUFFIX);
    QVERIFY2(QFileInfo(m_binary).isExecutable(), qPrintable(m_binary));
}

// Empty when the simulator runs and printed its endpoint lines; otherwise why not.
QString tst_PlcSimCli::start(QProcess *p, const QStringList &args, int lines, QStringList *out)
{
    p->start(m_binary, args);
    if (!p->waitForStarted(5000))
        return QStringLiteral("plcsim did not start: ") + p->errorString();
    while (out->size() < lines) {
        if (!p->canReadLine() && !p->waitForReadyRead(5000))
            return QStringLiteral("plcsim printed no endpoint line: ") + p->errorString() + QLatin1Char(' ')
                + QString::fromLocal8Bit(p->readAllStandardError());
        while (p->canReadLine() && out->size() < lines)
            out->append(QString::fromLocal8Bit(p->readLine()).trimmed());
    }
    return QString();
}

// Signals the child only through a process id checked to be a real one: kill()
// with 0 or -1 would reach the whole process group or every process.
QString tst_PlcSimCli::signal(QProcess *p, int sig)
{
    const qint64 pid = p->processId();
    if (pid <= 0)
        return QStringLiteral("no child process to signal (id %1): %2").arg(pid).arg(p->errorString());
    if (::kill(pid_t(pid), sig) != 0)
        return QStringLiteral("kill failed: ") + QString::fromLocal8Bit(strerror(errno));
    return QString();
}

void tst_PlcSimCli::serveTcpAndPty()
{
    QProcess p;
    QStringList lines;
    const QString why = start(&p, {"--serve", "mc3e@127.0.0.1:0", "--serve", "fxport@pty", "--verbose"}, 2, &lines);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QCOMPARE(lines.size(), 2);
    QVERIFY2(QRegularExpression(QStringLiteral("^mc3e 127\\.0\\.0\\.1:[1-9][0-9]*$")).match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
    QVERIFY2(QRegularExpression(QStringLiteral("^fxport /dev/pts/[0-9]+$")).match(lines.at(1)).hasMatch(), qPrintable(lines.at(1)));

    // Write D10 over 3E, read it back over the programming port: one memory.
    TcpClient tcp;
    QVERIFY(tcp.connectTo(lines.at(0).section(QLatin1Char(' '), 1)));
    QCOMPARE(tcp.exchange(hex("500000FFFF03000E00 0A00 0114 0000 0A0000 A8 0100 CDAB"), 11),
             hex("D00000FFFF0300 0200 0000"));
    PtyClient pty;
    QVERIFY(pty.open(lines.at(1).section(QLatin1Char(' '), 1)));
    QCOMPARE(pty.exchange(ascii("<STX>E00401402<ETX>D3"), 8), ascii("<STX>CDAB<ETX>0D"));

    QCOMPARE(signal(&p, SIGTERM), QString());
    QVERIFY2(p.waitForFinished(5000), qPrintable(p.errorString()));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    // --verbose: each request and answer in hexadecimal on stderr.
    const QString log = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(log.contains(QLatin1String("<- 50 00 00 FF FF 03 00 0E 00 0A 00 01 14")), qPrintable(log));
    QVERIFY2(log.contains(QLatin1String("-> D0 00 00 FF FF 03 00 02 00 00 00")), qPrintable(log));
    QVERIFY2(log.contains(QLatin1String("-> 02 43 44 41 42 03 30 44")), qPrintable(log));
}

void tst_PlcSimCli::stationAndFaultOptions()
{
    QProcess p;
    QStringList lines;
    const QString why = start(&p, {"--serve", "fxlink@127.0.0.1:0", "--serve", "fxlink@127.0.0.1:0", "--station",
                                   "26", "--fault", "nak:06@2"}, 2, &lines);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QVERIFY(lines.at(0) != lines.at(1));
    TcpClient a;
    QVERIFY(a.connectTo(lines.at(0).section(QLatin1Char(' '), 1)));
    TcpClient b;
    QVERIFY(b.connectTo(lines.at(1).section(QLatin1Char(' '), 1)));
    // station 1A (26), D0100, 1 word: request 1 normal, request 2 refused with 06
    QCOMPARE(a.exchange(ascii("<ENQ>1AFFWR0D0100013D"), 12), ascii("<STX>1AFF0000<ETX>C1"));
    QCOMPARE(b.exchange(ascii("<ENQ>1AFFWR0D0100013D"), 7), ascii("<NAK>1AFF06"));
    // station 00 is not this PLC
    a.send(ascii("<ENQ>00FFWR0D0100012B"));
    QCOMPARE(a.readFor(300), QByteArray());
    p.terminate();
    QVERIFY2(p.waitForFinished(5000), qPrintable(p.errorString()));
    QCOMPARE(p.exitCode(), 0);
}

void tst_PlcSimCli::sigintStopsCleanly()
{
    QProcess p;
    QStringList lines;
    const QString why = start(&p, {"--serve", "mc1e@127.0.0.1:0"}, 1, &lines);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    TcpClient c;
    QVERIFY(c.connectTo(lines.at(0).section(QLatin1Char(' '), 1)));
    QCOMPARE(signal(&p, SIGINT), QString());
    QVERIFY2(p.waitForFinished(5000), qPrintable(p.errorString()));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(c.waitForDisconnect(3000));
}

void tst_PlcSimCli::presetMemoryAndLink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("plc")), load = dir.filePath(QStringLiteral("in.mem")),
                  dump = dir.filePath(QStringLiteral("out.mem"));
    QFile in(load);
    QVERIFY(in.open(QIODevice::WriteOnly));
    in.write("# preset\n--set D30=0x7FFF\n\nD21=-1\nD60=\"x\\\"y\\\\\"\nD70=\"a,b#\"\n");
    in.close();
    QProcess p;
    QStringList lines;
    const QString why = start(&p, {"--serve", "mc3e@127.0.0.1:0", "--serve", "fxport@pty:" + link, "--set",
                                   "D20=1,2", "--load", load, "--set", "M5=1", "--set", "D50=\"AB1\"", "--dump", dump,
                                   "--verbose"},
                              2, &lines);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QCOMPARE(lines.at(1), "fxport " + link);
    PtyClient pty;
    QVERIFY(pty.open(link));
    QCOMPARE(pty.exchange(ascii("<ENQ>"), 1), ascii("<ACK>"));
    // D20..D21 as set and loaded (the file's D21 after --set D20=1,2), M0..M15 as one word.
    TcpClient tcp;
    QVERIFY(tcp.connectTo(lines.at(0).section(QLatin1Char(' '), 1)));
    QCOMPARE(tcp.exchange(hex("500000FFFF03000C00 0A00 0104 0000 140000 A8 0200"), 15),
             hex("D00000FFFF0300 0600 0000 0100 FFFF"));
    QCOMPARE(tcp.exchange(hex("500000FFFF03000C00 0A00 0104 0000 000000 90 0100"), 13),
             hex("D00000FFFF0300 0400 0000 2000"));
    QCOMPARE(tcp.exchange(hex("500000FFFF03000E00 0A00 0114 0000 280000 A8 0100 0500"), 11),
             hex("D00000FFFF0300 0200 0000"));
    QCOMPARE(signal(&p, SIGTERM), QString());
    QVERIFY2(p.waitForFinished(5000), qPrintable(p.errorString()));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    QFile out(dump);
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QByteArray dumped = out.readAll();
    // Texts two characters a word, low byte first: "AB1" is 0x4241, 0x0031; x"y\ and "a,b#" whole.
    QVERIFY2(dumped.endsWith("\nM5=1\nD20=1,65535\nD30=32767\nD40=5\nD50=16961,49\nD60=8824,23673\n"
                             "D70=11361,9058\n"),
             dumped.constData());
    // --verbose: times, connects and a decoded line per request.
    const QString log = QString::fromLocal8Bit(p.readAllStandardError());
    for (const char *needle : {" ms  plcsim 127.0.0.1:", " connected\n",
                               "request 1: read words D20 points 2 -> end code 0000",
                               "request 3: write words D40 points 1 -> end code 0000", " disconnected\n"})
        QVERIFY2(log.contains(QLatin1String(needle)), qPrintable(log));
}

void tst_PlcSimCli::help()
{
    QProcess p;
    p.start(m_binary, {"--help"});
    QVERIFY2(p.waitForFinished(5000), qPrintable(p.errorString()));
    QCOMPARE(p.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(p.readAllStandardOutput());
    for (const char *needle : {"--serve PROTOCOL@ENDPOINT", "--station", "--fault", "--verbose", "KIND[:ARG][@N]",
                               "noanswer", "late:MS", "split:MS", "truncate", "garbage", "badsum", "nak[:CODE]",
                               "close", "pty", "0x4000", "0x01E0", "7E1"})
        QVERIFY2(text.contains(QLatin1String(needle)), needle);
}

void tst_PlcSimCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("nothing to serve") << QStringList();
    QTest::newRow("unknown option") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--bogus"};
    QTest::newRow("unknown protocol") << QStringList{"--serve", "mc2e@127.0.0.1:0"};
    QTest::newRow("no @") << QStringList{"--serve", "mc3e"};
    QTest::newRow("--serve without value") << QStringList{"--serve"};
    QTest::newRow("bad fault") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--fault", "late"};
    QTest::newRow("bad station") << QStringList{"--serve", "fxlink@127.0.0.1:0", "--station", "300"};
    QTest::newRow("set out of range") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--set", "D12287=1,2"};
    QTest::newRow("set bit not 0/1") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--set", "M0=2"};
    QTest::newRow("set word too big") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--set", "D0=65536"};
    QTest::newRow("set CN199 is 16-bit") << QStringList{"--serve", "mc1e@127.0.0.1:0", "--set", "CN199=65536"};
    QTest::newRow("set CN200 past 32 bits") << QStringList{"--serve", "mc1e@127.0.0.1:0", "--set", "CN200=0x100000000"};
    QTest::newRow("unknown model") << QStringList{"--serve", "mc1e@127.0.0.1:0", "--model", "fx5"};
    QTest::newRow("set text on a bit device") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--set", "M0=\"AB\""};
    QTest::newRow("set text not closed") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--set", "D0=\"AB"};
    QTest::newRow("set text unknown escape") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--set", "D0=\"\\n\""};
    QTest::newRow("set text not Latin-1") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--set",
                                                         QString::fromUtf8("D0=\"\u20AC\"")};
    QTest::newRow("set text past the area") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--set", "D12287=\"ABC\""};
    QTest::newRow("load missing") << QStringList{"--serve", "mc3e@127.0.0.1:0", "--load", "/nonexistent/plc.mem"};
    QTest::newRow("pty without link") << QStringList{"--serve", "fxport@pty:"};
}

void tst_PlcSimCli::usageErrors()
{
    QFETCH(QStringList, args);
    QProcess p;
    p.start(m_binary, args);
    QVERIFY2(p.waitForFinished(5000), qPrintable(p.errorString()));
    QCOMPARE(p.exitCode(), 2);
    QCOMPARE(p.readAllStandardOutput(), QByteArray());
    QVERIFY(!p.readAllStandardError().isEmpty());
}

void tst_PlcSimCli::unopenableEndpoint()
{
    QProcess p;
    p.start(m_binary, {"--serve", "mc3e@127.0.0.1:0", "--serve", "mc3e@/dev/nonexistent-plcsim-port"});
    QVERIFY2(p.waitForFinished(5000), qPrintable(p.errorString()));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(p.readAllStandardOutput(), QByteArray());   // no endpoint line before all are up
}

QTEST_MAIN(tst_PlcSimCli)
#include "tst_plcsimcli.moc"
