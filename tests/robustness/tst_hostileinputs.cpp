// Hostile input at the host interface, through all four plug-ins: malformed
// address texts, data type codes the drivers do not transfer, counts that are
// zero, negative or far too large, and connection texts of every kind. Each
// must end in its status code with nothing sent to the PLC, and a huge count
// must be refused before anything is allocated for it.

#include "PlcSimulator.h"
#include "RobustSupport.h"

#include <QtTest>
#include <climits>

using namespace robust;

class tst_HostileInputs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void request_data();
    void request();
    void connectText_data();
    void connectText();

private:
    std::unique_ptr<PlcSimulator> m_sim;
    QStringList m_endpoints;
    std::vector<DriverPtr> m_drivers;
};

void tst_HostileInputs::initTestCase()
{
    m_sim = std::make_unique<PlcSimulator>();
    for (const PluginInfo &info : plugins()) {
        QString error;
        const QString ep = m_sim->addEndpoint(QLatin1String(info.protocol), QStringLiteral("127.0.0.1:0"), &error);
        QVERIFY2(!ep.isEmpty(), qPrintable(error));
        m_endpoints << ep;
        DriverPtr d = loadDriver(QLatin1String(info.name), &error);
        QVERIFY2(d, qPrintable(error));
        m_drivers.push_back(std::move(d));
    }
}

void tst_HostileInputs::cleanupTestCase()
{
    m_drivers.clear();
    m_sim.reset();
}

// Every driver connected, so a request that is not refused would reach the
// simulator and be counted.
void tst_HostileInputs::init()
{
    for (size_t i = 0; i < m_drivers.size(); ++i)
        QCOMPARE(m_drivers[i]->ConnectDrive(m_endpoints.at(int(i))), 0);
}

void tst_HostileInputs::request_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("status");

    const QString longDigits = QStringLiteral("D") + QString(9999, QLatin1Char('1'));
    const QString longLetters = QString(10000, QLatin1Char('Q'));
    struct R { const char *tag; QString address; int type; int count; int status; };
    const QList<R> rows = {
        // Address texts.
        {"empty", QString(), DT_Int16, 1, 3},
        {"blank", QStringLiteral(" "), DT_Int16, 1, 3},
        {"letters only", QStringLiteral("ABC"), DT_Int16, 1, 3},
        {"unknown letter", QStringLiteral("T5"), DT_Int16, 1, 3},
        {"device letter alone", QStringLiteral("D"), DT_Int16, 1, 5},
        {"letters after device", QStringLiteral("DXY"), DT_Int16, 1, 5},
        {"huge number", QStringLiteral("D99999999999999999999"), DT_Int16, 1, 5},
        {"int overflow", QStringLiteral("D4294967296"), DT_Int16, 1, 5},
        {"negative", QStringLiteral("D-1"), DT_Int16, 1, 5},
        {"plus sign", QStringLiteral("D+1"), DT_Int16, 1, 5},
        {"dot on word device", QStringLiteral("D1.5"), DT_Int16, 1, 5},
        {"dots only", QStringLiteral("..."), DT_Int16, 1, 3},
        {"trailing dot", QStringLiteral("D10."), DT_Int16, 1, 5},
        {"two dots", QStringLiteral("M1.2.3"), DT_Bool, 1, 5},
        {"bit index past 15", QStringLiteral("M0.99"), DT_Bool, 1, 5},
        {"bits of a word, INT_MAX", QStringLiteral("D1.15"), DT_Bool, INT_MAX, 5},
        {"embedded blank", QStringLiteral("D 10"), DT_Int16, 1, 5},
        {"embedded NUL", QStringLiteral("D1") + QChar(0) + QStringLiteral("0"), DT_Int16, 1, 5},
        {"fullwidth digits", QStringLiteral("D\uFF11\uFF10"), DT_Int16, 1, 5},
        {"non-ASCII letter", QStringLiteral("\u00D0100"), DT_Int16, 1, 3},
        {"CJK", QStringLiteral("\u5730\u5740"), DT_Int16, 1, 3},
        {"lone surrogate", QStringLiteral("D") + QChar(0xD800), DT_Int16, 1, 5},
        {"10000 digits", longDigits, DT_Int16, 1, 5},
        {"10000 letters", longLetters, DT_Int16, 1, 3},
        // Data type codes.
        {"type 0", QStringLiteral("D100"), 0, 1, 2},
        {"type 12 string on a bit device", QStringLiteral("M0"), 12, 4, 2},
        {"string count INT_MAX", QStringLiteral("D100"), 12, INT_MAX, 5},
        {"type 25", QStringLiteral("D100"), 25, 1, 2},
        {"type 41", QStringLiteral("D100"), 41, 1, 2},
        {"type -1", QStringLiteral("D100"), -1, 1, 2},
        {"type INT_MIN", QStringLiteral("D100"), INT_MIN, 1, 2},
        // Counts.
        {"count 0", QStringLiteral("D100"), DT_Int16, 0, 4},
        {"count -1", QStringLiteral("D100"), DT_Int16, -1, 4},
        {"count INT_MIN", QStringLiteral("D100"), DT_Int16, INT_MIN, 4},
        {"count INT_MAX", QStringLiteral("D100"), DT_Int16, INT_MAX, 5},
        {"count INT_MAX double", QStringLiteral("D100"), DT_Double, INT_MAX, 5},
        {"count INT_MAX bool", QStringLiteral("M0"), DT_Bool, INT_MAX, 5},
        {"count 1e8 bytes", QStringLiteral("D0"), DT_UInt8, 100000000, 5},
    };
    for (int p = 0; p < plugins().size(); ++p)
        for (const R &r : rows) {
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(plugins().at(p).name),
                                                                  QLatin1String(r.tag))))
                << r.address << r.type << r.count << r.status;
        }
}

void tst_HostileInputs::request()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, status);
    const QString plugin = QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char('/'), 0, 0);
    int index = 0;
    while (QLatin1String(plugins().at(index).name) != plugin)
        ++index;
    CDriveBaseClass *d = m_drivers[size_t(index)].get();

    const qint64 rssBefore = residentKb();
    const int sent = m_sim->requestCount();

    const CLabelVariable r = d->ReadVariable(address, DataType(type), count);
    QCOMPARE(r.status, status);
    QCOMPARE(m_sim->requestCount(), sent);
    QCOMPARE(r.address, address);
    QCOMPARE(r.count, count);
    QCOMPARE(r.dataType, type);

    // The host's value holds two elements whatever count it claims.
    CLabelVariable value;
    value.value = type == DT_Bool ? QVariant::fromValue(QList<bool>{true, false})
                : type == DT_Double ? QVariant::fromValue(QList<double>{1.5, 2.5})
                : type == DT_UInt8 ? QVariant::fromValue(QList<unsigned char>{1, 2})
                                   : QVariant::fromValue(QList<short>{1, 2});
    const CLabelVariable w = d->WriteVariable(address, DataType(type), value, count);
    QCOMPARE(w.status, status);
    QCOMPARE(m_sim->requestCount(), sent);

    // A refused huge count allocated nothing worth speaking of.
    const qint64 grown = residentKb() - rssBefore;
    QVERIFY2(grown < 64 * 1024, qPrintable(QStringLiteral("RSS grew by %1 kB").arg(grown)));
}

void tst_HostileInputs::connectText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refusedByParsing");  // -4 / -1 without trying to open anything
    struct R { const char *tag; QString text; bool parse; };
    const QList<R> rows = {
        {"empty", QString(), true},
        {"word", QStringLiteral("garbage"), true},
        {"colon only", QStringLiteral(":"), true},
        {"host only", QStringLiteral("127.0.0.1:"), true},
        {"port only", QStringLiteral(":502"), true},
        {"port not a number", QStringLiteral("127.0.0.1:http"), true},
        {"port 0", QStringLiteral("127.0.0.1:0"), true},
        {"semicolon", QStringLiteral(";"), true},
        {"commas only", QStringLiteral(",,,,"), true},
        {"serial without baud", QStringLiteral("/dev/null,,8,1,N"), true},
        {"serial baud letters", QStringLiteral("/dev/null,fast,8,1,N"), true},
        {"10000 characters", QString(10000, QLatin1Char('x')), true},
        {"negative port", QStringLiteral("127.0.0.1:-1"), false},
        {"port past 65535", QStringLiteral("127.0.0.1:70000"), false},
        {"port far past", QStringLiteral("127.0.0.1:4294967297"), true},
        {"closed port", QStringLiteral("127.0.0.1:1"), false},
        {"bad host", QStringLiteral("999.1.1.1:5000"), false},
        {"non-ASCII host", QStringLiteral("\u00E9\u00E9:5000"), false},
        {"host of 10000", QString(10000, QLatin1Char('h')) + QStringLiteral(":5000"), false},
        {"missing device", QStringLiteral("/nonexistent/tty,9600,8,1,N"), false},
        {"not a tty", QStringLiteral("/dev/null,9600,8,1,N"), false},
        {"negative baud", QStringLiteral("/dev/null,-9600,8,1,N"), false},
        {"odd data bits", QStringLiteral("/nonexistent/tty,9600,3,9,Q"), false},
    };
    for (int p = 0; p < plugins().size(); ++p)
        for (const R &r : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(plugins().at(p).name),
                                                                  QLatin1String(r.tag))))
                << r.text << r.parse;
}

void tst_HostileInputs::connectText()
{
    QFETCH(QString, text);
    QFETCH(bool, refusedByParsing);
    const QString plugin = QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char('/'), 0, 0);
    int index = 0;
    while (QLatin1String(plugins().at(index).name) != plugin)
        ++index;
    CDriveBaseClass *d = m_drivers[size_t(index)].get();
    // From a disconnected driver: a refused text must not bring a link back.
    d->DisConnectDrive();
    const int sent = m_sim->requestCount();

    QElapsedTimer timer;
    timer.start();
    const int rc = d->ConnectDrive(text);
    QVERIFY2(timer.elapsed() < 10000, "ConnectDrive hung");
    QVERIFY2(rc != 0, qPrintable(QStringLiteral("ConnectDrive returned 0")));
    if (refusedByParsing)
        QVERIFY2(rc == -1 || rc == -4, qPrintable(QString::number(rc)));

    // Whatever the link is now, a request neither succeeds nor reaches the PLC.
    const CLabelVariable r = d->ReadVariable(QStringLiteral("D100"), DT_Int16, 1);
    QVERIFY2(r.status != 0, qPrintable(QString::number(r.status)));
    CLabelVariable value;
    value.value = QVariant::fromValue(QList<short>{7});
    const CLabelVariable w = d->WriteVariable(QStringLiteral("D100"), DT_Int16, value, 1);
    QVERIFY2(w.status != 0, qPrintable(QString::number(w.status)));
    QCOMPARE(m_sim->requestCount(), sent);
    d->DisConnectDrive();
}

QTEST_MAIN(tst_HostileInputs)
#include "tst_hostileinputs.moc"
