// The protocol table: every row complete and usable on its own, and the texts
// the command line, --help and the log make from it.
#include "PlcMemory.h"
#include "SimFaults.h"
#include "SimProtocolRegistry.h"

#include <QSet>
#include <QtTest>

class tst_PlcSimRegistry : public QObject
{
    Q_OBJECT

private slots:
    void rowsComplete();
    void lookUp();
    void helpTexts();
    void wrap();
};

void tst_PlcSimRegistry::rowsComplete()
{
    QSet<QString> seen;
    PlcMemory memory;
    ServeContext ctx;
    ctx.memory = &memory;
    for (const SimProtocol &p : SimProtocolRegistry::all()) {
        const QString name = QString::fromLatin1(p.name);
        QVERIFY2(!name.isEmpty() && name == name.toLower() && !name.contains(QLatin1Char('@')), p.name);
        QVERIFY2(!seen.contains(name), p.name);
        seen.insert(name);
        QVERIFY2(p.title && *p.title, p.name);
        QVERIFY2(p.create && p.logSummary && p.help, p.name);
        QVERIFY2(p.badSumHelp && *p.badSumHelp && p.nakHelp && *p.nakHelp, p.name);
        QVERIFY2(p.xyBase == 8 || p.xyBase == 16, p.name);
        QVERIFY2(p.serial.baud > 0 && p.serial.dataBits >= 5 && p.serial.dataBits <= 8, p.name);
        QVERIFY2(p.serial.parity == 'N' || p.serial.parity == 'E' || p.serial.parity == 'O', p.name);
        QVERIFY2(p.serial.stopBits == 1 || p.serial.stopBits == 2, p.name);

        std::unique_ptr<ProtocolHandler> h = p.create();
        QVERIFY2(h, p.name);
        QCOMPARE(int(h->serve(QByteArray(), ctx).kind), int(Served::NeedMore));

        // The log reads only the bytes that are there.
        for (int n = 0; n < 24; ++n)
            QVERIFY(p.logSummary(QByteArray(n, '\0'), QByteArray()).endsWith(QLatin1String(" -> no answer")));

        const QString help = p.help();
        QVERIFY2(help.startsWith(name), p.name);
        QVERIFY2(help.endsWith(QLatin1Char('\n')), p.name);
        for (const QString &line : help.split(QLatin1Char('\n')))
            QVERIFY2(line.size() <= 86, qPrintable(line));
    }
    QVERIFY(seen.size() >= 4);
}

void tst_PlcSimRegistry::lookUp()
{
    QCOMPARE(SimProtocolRegistry::names(),
             QStringList({QStringLiteral("fxport"), QStringLiteral("fxlink"), QStringLiteral("mc1e"), QStringLiteral("mc3e")}));
    QCOMPARE(ProtocolHandler::protocols(), SimProtocolRegistry::names());
    QCOMPARE(SimProtocolRegistry::nameList(), QStringLiteral("fxport, fxlink, mc1e, mc3e"));
    QVERIFY(SimProtocolRegistry::find(QStringLiteral("MC3E")));
    QCOMPARE(QLatin1String(SimProtocolRegistry::find(QStringLiteral("FxLink"))->name), QLatin1String("fxlink"));
    QVERIFY(!SimProtocolRegistry::find(QStringLiteral("mc4e")));
    QVERIFY(!SimProtocolRegistry::find(QString()));
}

void tst_PlcSimRegistry::helpTexts()
{
    QCOMPARE(SimProtocolRegistry::serialDefaultsHelp(), QStringLiteral("fxport defaults to 9600 7E1, the others to 9600 8N1"));
    QCOMPARE(SimProtocolRegistry::xyNumberingHelp(), QStringLiteral("octal numbers in fxport/fxlink, hexadecimal in mc1e/mc3e"));
    QCOMPARE(SimProtocolRegistry::badSumHelp().first(),
             QStringLiteral("fxport/fxlink: wrong sum check (ACK answers have none: unchanged)"));
    QCOMPARE(SimProtocolRegistry::nakHelp().first(), QStringLiteral("fxport NAK"));
    const QString faults = SimFault::syntaxHelp();
    const QString protocolsHelp = SimProtocolRegistry::protocolsHelp();
    for (const QString &name : SimProtocolRegistry::names()) {
        QVERIFY2(SimProtocolRegistry::titleList().contains(QLatin1Char('(') + name + QLatin1Char(')')), qPrintable(name));
        QVERIFY2(protocolsHelp.contains(name + QLatin1Char(':')), qPrintable(name));
        QVERIFY2(faults.contains(name), qPrintable(name));
    }
    QVERIFY(faults.contains(QLatin1String("  nak[:CODE]   refuse: fxport NAK; fxlink NAK with error code CODE")));
}

void tst_PlcSimRegistry::wrap()
{
    const QString indent(4, QLatin1Char(' '));
    // Units stay whole when they fit in a line; a unit too long for any line breaks between words.
    QCOMPARE(SimProtocolRegistry::wrap({"aaa bbb;", "ccc ddd;", "eee"}, 14, QStringLiteral("> "), indent),
             QStringLiteral("> aaa bbb;\n    ccc ddd;\n    eee\n"));
    QCOMPARE(SimProtocolRegistry::wrap({"aaa bbb ccc ddd eee"}, 12, QStringLiteral("> "), indent),
             QStringLiteral("> aaa bbb\n    ccc ddd\n    eee\n"));
    QCOMPARE(SimProtocolRegistry::wrap({"a", "b"}, 80, QString(), QString()), QStringLiteral("a b\n"));
}

QTEST_MAIN(tst_PlcSimRegistry)
#include "tst_plcsimregistry.moc"
