// The Lunetta plug-in as a host loads it: plchost with --plugin Lunetta --par 1
// writes and reads every data type on the simulated PLC over TCP and a pty.
#include "PlcSimulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

class tst_fxlink_plchost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyType_data();
    void everyType();

private:
    PlcSimulator m_sim;
    QString m_tcp;
    QString m_pty;
    QString m_bin;
    QString m_host;
};

void tst_fxlink_plchost::initTestCase()
{
    m_bin = qEnvironmentVariable("PLC_BIN_DIR");
    if (m_bin.isEmpty())
        QSKIP("PLC_BIN_DIR not set (run through ctest)");
    // plchost-qt6 in a Qt 6 build (PLC_NAME_SUFFIX).
    m_host = m_bin + QStringLiteral("/plchost" PLC_NAME_SUFFIX);
    QVERIFY2(QFile::exists(m_host), qPrintable(m_host + QStringLiteral(" is not built next to the plug-ins")));
    m_sim.setStation(1);
    m_tcp = m_sim.addEndpoint("fxlink", "127.0.0.1:0");
    m_pty = m_sim.addEndpoint("fxlink", "pty");
    QVERIFY(!m_tcp.isEmpty());
    QVERIFY(!m_pty.isEmpty());
}

void tst_fxlink_plchost::everyType_data()
{
    QTest::addColumn<QString>("connect");
    QTest::addColumn<int>("base");  // first data register of the row
    QTest::newRow("tcp") << QString("tcp") << 100;
    QTest::newRow("pty") << QString("pty") << 200;
}

void tst_fxlink_plchost::everyType()
{
    QFETCH(QString, connect);
    QFETCH(int, base);
    const QString text = connect == "tcp" ? m_tcp : m_pty + ",9600,7,1,E";

    struct Step { QString type; QString values; int count; int regs; };
    const QList<Step> steps = {
        {"bool", "true,false,true", 3, 0},
        {"int8", "-1,2", 2, 1},
        {"uint8", "200,7", 2, 1},
        {"int16", "-1234", 1, 1},
        {"uint16", "65000", 1, 1},
        {"int32", "-123456,70000", 2, 4},
        {"uint32", "4000000000", 1, 2},
        {"float", "12.5", 1, 2},
        {"int64", "-9000000000", 1, 4},
        {"uint64", "18000000000000000000", 1, 4},
        {"double", "-1234.0625", 1, 4},
    };
    QStringList args{"--plugin", "Lunetta", "--connect", text, "--par", "1"};
    int reg = base;
    for (const Step &s : steps) {
        const QString address = s.type == "bool" ? QStringLiteral("M%1").arg(base) : QStringLiteral("D%1").arg(reg);
        reg += s.regs;
        args << "write" << address << s.type << s.values << QString::number(s.count);
        args << "read" << address << s.type << QString::number(s.count);
    }
    QProcess host;
    host.start(m_host, args);
    QVERIFY(host.waitForFinished(30000));
    const QByteArray out = host.readAllStandardOutput();
    QCOMPARE(host.exitCode(), 0);

    QList<QJsonObject> lines;
    for (const QByteArray &line : out.split('\n'))
        if (!line.trimmed().isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    QCOMPARE(lines.size(), 1 + 2 * steps.size());  // connect, then write and read per type
    QCOMPARE(lines.first().value("result").toInt(-99), 0);
    for (int i = 0; i < steps.size(); ++i) {
        const QJsonObject w = lines.at(1 + 2 * i);
        const QJsonObject r = lines.at(2 + 2 * i);
        QCOMPARE(w.value("op").toString(), QStringLiteral("write"));
        QCOMPARE(w.value("status").toInt(-1), 0);
        QCOMPARE(r.value("op").toString(), QStringLiteral("read"));
        QCOMPARE(r.value("status").toInt(-1), 0);
        // What was read back is what was written.
        QCOMPARE(QJsonDocument(r.value("value").toArray()).toJson(QJsonDocument::Compact),
                 QJsonDocument(w.value("value").toArray()).toJson(QJsonDocument::Compact));
    }
    // And it is in the PLC: the int16 went to its own register.
    QCOMPARE(m_sim.word('D', base + 2), quint16(-1234));
    QVERIFY(m_sim.bit('M', base) && !m_sim.bit('M', base + 1) && m_sim.bit('M', base + 2));
}

QTEST_GUILESS_MAIN(tst_fxlink_plchost)
#include "tst_fxlink_plchost.moc"
