// Norvessa end to end: the driver against the in-process simulator over TCP and
// over a pseudo-terminal.
#include "LibNorvessa.h"
#include "McTestSupport.h"
#include "PlcSimulator.h"

#include <QLibrary>
#include <QtTest>
#include <cstring>
#include <memory>

using namespace mctest;

class TestLibNorvessa : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void identityAndExport();
    void exampleReadFrameAndTrace();
    void roundTrip_data();
    void roundTrip();
    void areaNumbering_data();
    void areaNumbering();
    void boolRead_data();
    void boolRead();
    void boolWrite_data();
    void boolWrite();
    void largeTransfersSplit_data();
    void largeTransfersSplit();
    void endCodes_data();
    void endCodes();
    void faults_data();
    void faults();
    void lateAnswerIsNotTakenForTheNext();
    void closedConnectionAndRecovery();
    void refusals_data();
    void refusals();
    void writeToAddressZero();
    void notConnected();
    void oneMemoryOneValue();
    void encoderRefusals();
    void serialLine();
    void directDataCalls();
    void metaObjectCast();

private:
    CLabelVariable read(const QString &text, int type, int count)
    {
        return m_drv->ReadVariable(text, DataType(type), count);
    }
    CLabelVariable write(const QString &text, int type, const CLabelVariable &v, int count)
    {
        return m_drv->WriteVariable(text, DataType(type), v, count);
    }

    std::unique_ptr<PlcSimulator> m_sim;
    std::unique_ptr<LibNorvessa> m_drv;
    QString m_endpoint;
};

void TestLibNorvessa::initTestCase()
{
    registerLabelMetaTypes();
    m_sim = std::make_unique<PlcSimulator>();
    QString error;
    m_endpoint = m_sim->addEndpoint(QStringLiteral("mc3e"), QStringLiteral("127.0.0.1:0"), &error);
    QVERIFY2(!m_endpoint.isEmpty(), qPrintable(error));
    m_drv = std::make_unique<LibNorvessa>();
    QCOMPARE(m_drv->ConnectDrive(m_endpoint), 0);
}

void TestLibNorvessa::init()
{
    m_sim->clearFaults();
    m_sim->clearMemory();
    if (m_drv->cmd().Connection_status() != 0)
        QCOMPARE(m_drv->ConnectDrive(m_endpoint), 0);
}

void TestLibNorvessa::cleanupTestCase()
{
    if (m_drv)
        m_drv->DestroyFree();
    m_drv.reset();
    m_sim.reset();
}

void TestLibNorvessa::identityAndExport()
{
    const QString dir = qEnvironmentVariable("PLC_BIN_DIR", QCoreApplication::applicationDirPath());
    QLibrary lib(dir + QStringLiteral("/libLibNorvessa.so.1"));
    QVERIFY2(lib.load(), qPrintable(lib.errorString()));
    auto entry = reinterpret_cast<GetSharedLibraryFn>(lib.resolve("getSharedLibrary"));
    QVERIFY(entry);
    // Nothing but the entry is visible.
    QVERIFY(!lib.resolve("_ZN11LibNorvessaC1EP7QObject"));
    QVERIFY(!lib.resolve("_ZN11CmdNorvessa16buildReadRequestEiii"));

    CDriveBaseClass *a = entry();
    CDriveBaseClass *b = entry();
    QVERIFY(a && b && a != b);
    QCOMPARE(a->getDriveName(), QStringLiteral("Norvessa"));
    QCOMPARE(a->getversion_number(), QStringLiteral("V1.0.3 20231122"));
    QCOMPARE(a->DebugCmd(DebugBuildVersion), QStringLiteral("v1.0.4 2023-12-18 11:20:20"));
    QCOMPARE(a->DebugCmd(DebugDriveName), QStringLiteral("Norvessa"));

    // A read through the interface, by slot.
    m_sim->setWord('D', 7, 0xBEEF);
    QCOMPARE(a->ConnectDrive(m_endpoint), 0);
    CLabelVariable v = a->ReadVariable(QStringLiteral("D7"), DT_UInt16);
    QCOMPARE(v.status, 0);
    QCOMPARE(v.atUInt16(0), quint16(0xBEEF));
    QCOMPARE(v.count, 1);
    a->DestroyFree();
    b->DestroyFree();
    delete dynamic_cast<QObject *>(a);
    delete dynamic_cast<QObject *>(b);
}

void TestLibNorvessa::exampleReadFrameAndTrace()
{
    m_sim->setWord('D', 100, 0x1234);
    const QString port = m_endpoint.section(QLatin1Char(':'), 1);
    CLabelVariable v;
    QStringList lines;
    {
        MessageCapture capture;
        QCOMPARE(m_drv->DebugCmd(DebugStart), QStringLiteral("StartDebug"));
        v = read(QStringLiteral("D100"), DT_Int16, 1);
        write(QStringLiteral("D101"), DT_Int16, labelOf(QList<short>{0x5678}), 1);
        m_drv->DebugCmd(DebugStop);
        read(QStringLiteral("D100"), DT_Int16, 1);  // no trace any more
        lines = capture.lines();
    }
    QCOMPARE(v.status, 0);
    QCOMPARE(v.atInt16(0), short(0x1234));
    const QString peer = QStringLiteral("127.0.0.1:") + port;
    const QStringList want = {
        QStringLiteral("lib[Norvessa]读命令 %1 Area=D100  msg : 500000ffff03000c000a0001040000640000a80100").arg(peer),
        QStringLiteral("lib[Norvessa]响应 %1 Area=D100  msg : d00000ffff0300040000003412").arg(peer),
        QStringLiteral("lib[Norvessa]写命令 %1 Area=D101  msg : 500000ffff03000e000a0001140000650000a801007856").arg(peer),
        QStringLiteral("lib[Norvessa]响应 %1 Area=D101  msg : d00000ffff030002000000").arg(peer),
    };
    QStringList got;
    for (const QString &l : lines) {
        if (l.contains(QLatin1String("lib[Norvessa]")))
            got << QString(l).remove(QLatin1Char('"'));
    }
    QCOMPARE(got, want);
    QCOMPARE(m_sim->word('D', 101), quint16(0x5678));
}

void TestLibNorvessa::roundTrip_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("bitDevice");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    const struct { const char *text; char area; int number; bool bit; } places[] = {
        {"D200", 'D', 200, false}, {"W1A0", 'W', 0x1A0, false}, {"R3000", 'R', 3000, false},
        {"M320", 'M', 320, true},  {"Y40", 'Y', 0x40, true},
    };
    for (const auto &p : places) {
        for (int type = DT_Int8; type <= DT_Double; ++type) {
            const int count = (type == DT_Int8 || type == DT_UInt8) ? 6 : 3;
            QTest::addRow("%s type %d", p.text, type)
                << QString::fromLatin1(p.text) << p.area << p.number << p.bit << type << count;
        }
    }
    QTest::addRow("M320 bools") << QStringLiteral("M320") << 'M' << 320 << true << int(DT_Bool) << 21;
    QTest::addRow("X1F bools") << QStringLiteral("X1F") << 'X' << 0x1F << true << int(DT_Bool) << 1;
    QTest::addRow("Y7.5 bools") << QStringLiteral("Y7.5") << 'Y' << 0x7 << true << int(DT_Bool) << 9;
}

void TestLibNorvessa::roundTrip()
{
    QFETCH(QString, address);
    QFETCH(char, area);
    QFETCH(int, number);
    QFETCH(bool, bitDevice);
    QFETCH(int, type);
    QFETCH(int, count);

    const CLabelVariable value = sampleLabel(type, count, number % 7 + 1);
    const CLabelVariable w = write(address, type, value, count);
    QCOMPARE(w.status, 0);
    QVERIFY(w.timestamp.isValid());
    QCOMPARE(w.address, address);
    QCOMPARE(w.count, count);
    QCOMPARE(w.dataType, type);

    CLabelVariable r = read(address, type, count);
    QCOMPARE(r.status, 0);
    QVERIFY(r.timestamp.isValid());
    QCOMPARE(r.address, address);
    QCOMPARE(r.count, count);
    QCOMPARE(r.dataType, type);
    QCOMPARE(describe(r, type, count), describe(value, type, count));

    if (type != DT_Bool) {
        // What the PLC holds is the values' device bytes.
        const QByteArray expected = deviceBytes(value, type, count);
        QCOMPARE(simBytes(*m_sim, area, number, expected.size(), bitDevice).toHex(), expected.toHex());
    } else {
        const int first = number + qMax(0, m_drv->getbit(address));
        for (int i = 0; i < count; ++i)
            QCOMPARE(m_sim->bit(area, first + i), value.value.value<QList<bool>>().at(i));
    }
}

void TestLibNorvessa::areaNumbering_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("bitDevice");
    QTest::newRow("X1F hexadecimal") << "X1F" << 'X' << 0x1F << true;
    QTest::newRow("x1f lower case") << "x1f" << 'X' << 0x1F << true;
    QTest::newRow("Y2A") << "Y2A" << 'Y' << 0x2A << true;
    QTest::newRow("Y1FF0 last word") << "Y1FF0" << 'Y' << 0x1FF0 << true;
    QTest::newRow("M100 decimal") << "M100" << 'M' << 100 << true;
    QTest::newRow("m16368 last word") << "m16368" << 'M' << 16368 << true;
    QTest::newRow("D100") << "D100" << 'D' << 100 << false;
    QTest::newRow("d12287 last") << "d12287" << 'D' << 12287 << false;
    QTest::newRow("W1D link register") << "W1D" << 'W' << 0x1D << false;
    QTest::newRow("w1fff last") << "w1fff" << 'W' << 0x1FFF << false;
    QTest::newRow("R100 decimal") << "R100" << 'R' << 100 << false;
    QTest::newRow("R32767 last") << "R32767" << 'R' << 32767 << false;
}

void TestLibNorvessa::areaNumbering()
{
    QFETCH(QString, address);
    QFETCH(char, area);
    QFETCH(int, number);
    QFETCH(bool, bitDevice);
    setSimBytes(*m_sim, area, number, QByteArray::fromHex("a55a"), bitDevice);
    // The neighbours hold something else, so an off-by-one shows.
    if (number > 0)
        setSimBytes(*m_sim, area, number - (bitDevice ? 16 : 1), QByteArray::fromHex("1111"), bitDevice);
    CLabelVariable r = read(address, DT_UInt16, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.atUInt16(0), quint16(0x5AA5));

    CLabelVariable w = write(address, DT_UInt16, labelOf(QList<unsigned short>{0x0FF0}), 1);
    QCOMPARE(w.status, 0);
    QCOMPARE(simBytes(*m_sim, area, number, 2, bitDevice).toHex(), QByteArray("f00f"));
}

void TestLibNorvessa::boolRead_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("requests");
    QTest::newRow("M100.3 x16 is M103..M118") << "M100.3" << 'M' << 103 << 16 << 1;
    QTest::newRow("M100.3 x1") << "M100.3" << 'M' << 103 << 1 << 1;
    QTest::newRow("X10.2 x1 is X12") << "X10.2" << 'X' << 0x12 << 1 << 1;
    QTest::newRow("Y1F x20 across words") << "Y1F" << 'Y' << 0x1F << 20 << 1;
    QTest::newRow("M0.15 x2") << "M0.15" << 'M' << 15 << 2 << 1;
    QTest::newRow("M0 x8") << "M0" << 'M' << 0 << 8 << 1;
    QTest::newRow("M1.7 x15353 fills one request") << "M1.7" << 'M' << 8 << 15353 << 1;
    QTest::newRow("M1.7 x15354 needs two") << "M1.7" << 'M' << 8 << 15354 << 2;
}

void TestLibNorvessa::boolRead()
{
    QFETCH(QString, address);
    QFETCH(char, area);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(int, requests);
    Q_UNUSED(requests);
    // A pattern that differs at every position around the wanted bits.
    for (int i = qMax(0, first - 20); i < first + count + 20; ++i)
        m_sim->setBit(area, i, ((i * 5 + 3) % 7) < 3);
    const int before = m_sim->requestCount();
    CLabelVariable r = read(address, DT_Bool, count);
    QCOMPARE(r.status, 0);
    QString want;
    for (int i = 0; i < count; ++i)
        want += m_sim->bit(area, first + i) ? QLatin1String("1 ") : QLatin1String("0 ");
    QCOMPARE(describe(r, DT_Bool, count), want.trimmed());
    // Word units from the named device: 960 words (15360 devices) a request.
    QCOMPARE(m_sim->requestCount() - before, requests);
}

void TestLibNorvessa::boolWrite_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::newRow("M100.3 x5 writes M103..M107") << "M100.3" << 'M' << 103 << 5;
    QTest::newRow("X0 x1") << "X0" << 'X' << 0 << 1;
    QTest::newRow("Y1E x3 odd") << "Y1E" << 'Y' << 0x1E << 3;
    QTest::newRow("M7 x16") << "M7" << 'M' << 7 << 16;
    QTest::newRow("M0.15 x2") << "M0.15" << 'M' << 15 << 2;
    QTest::newRow("M50 x2001 splits") << "M50" << 'M' << 50 << 2001;
}

void TestLibNorvessa::boolWrite()
{
    QFETCH(QString, address);
    QFETCH(char, area);
    QFETCH(int, first);
    QFETCH(int, count);
    // Neighbours on both sides set, so a write that spills over shows.
    for (int i = qMax(0, first - 16); i < first + count + 16; ++i)
        m_sim->setBit(area, i, true);
    const CLabelVariable value = sampleLabel(DT_Bool, count, 2);
    const int before = m_sim->requestCount();
    CLabelVariable w = write(address, DT_Bool, value, count);
    QCOMPARE(w.status, 0);
    QCOMPARE(m_sim->requestCount() - before, (count + 959) / 960);
    const QList<bool> bits = value.value.value<QList<bool>>();
    for (int i = 0; i < count; ++i)
        QCOMPARE(m_sim->bit(area, first + i), bits.at(i));
    for (int i = qMax(0, first - 16); i < first; ++i)
        QVERIFY2(m_sim->bit(area, i), qPrintable(QString::number(i)));
    for (int i = first + count; i < first + count + 16; ++i)
        QVERIFY2(m_sim->bit(area, i), qPrintable(QString::number(i)));
}

void TestLibNorvessa::largeTransfersSplit_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("bitDevice");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("requests");
    QTest::newRow("2000 words D") << "D1000" << 'D' << 1000 << false << int(DT_Int16) << 2000 << 3;
    QTest::newRow("960 words in one") << "D0" << 'D' << 0 << false << int(DT_UInt16) << 960 << 1;
    QTest::newRow("961 words in two") << "R5" << 'R' << 5 << false << int(DT_UInt16) << 961 << 2;
    QTest::newRow("500 doubles = 2000 words") << "D4000" << 'D' << 4000 << false << int(DT_Double) << 500 << 3;
    QTest::newRow("1000 words of M") << "M0" << 'M' << 0 << true << int(DT_UInt16) << 1000 << 2;
}

void TestLibNorvessa::largeTransfersSplit()
{
    QFETCH(QString, address);
    QFETCH(char, area);
    QFETCH(int, number);
    QFETCH(bool, bitDevice);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, requests);
    const CLabelVariable value = sampleLabel(type, count, 3);
    int before = m_sim->requestCount();
    QCOMPARE(write(address, type, value, count).status, 0);
    QCOMPARE(m_sim->requestCount() - before, requests);
    const QByteArray expected = deviceBytes(value, type, count);
    QCOMPARE(simBytes(*m_sim, area, number, expected.size(), bitDevice), expected);

    before = m_sim->requestCount();
    CLabelVariable r = read(address, type, count);
    QCOMPARE(r.status, 0);
    QCOMPARE(m_sim->requestCount() - before, requests);
    QCOMPARE(describe(r, type, count), describe(value, type, count));
}

void TestLibNorvessa::endCodes_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<int>("status");
    // The simulated PLC refuses devices past its ranges with end code C056.
    QTest::newRow("read past D12287") << "D12287" << int(DT_Int32) << 1 << false << 7;
    QTest::newRow("write past D12287") << "D12287" << int(DT_Int32) << 1 << true << 7;
    QTest::newRow("read W2000") << "W2000" << int(DT_Int16) << 1 << false << 7;
    QTest::newRow("bit write past X1FFF") << "X1FFF" << int(DT_Bool) << 2 << true << 7;
    QTest::newRow("second piece refused") << "D11500" << int(DT_Int16) << 1000 << false << 7;
}

void TestLibNorvessa::endCodes()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(bool, isWrite);
    QFETCH(int, status);
    CLabelVariable r = isWrite ? write(address, type, sampleLabel(type, count), count)
                                     : read(address, type, count);
    QCOMPARE(r.status, status);
    if (!isWrite) {
        QVERIFY(!r.value.isValid());
        QVERIFY(r.timestamp.isNull());
    }
    QCOMPARE(r.address, address);
    QCOMPARE(r.count, count);
}

void TestLibNorvessa::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("written");
    QTest::newRow("noanswer read") << "noanswer" << false << 8 << false;
    QTest::newRow("noanswer write") << "noanswer" << true << 8 << true;
    QTest::newRow("nak read") << "nak" << false << 7 << false;
    QTest::newRow("nak:C051 write leaves memory") << "nak:C051" << true << 7 << false;
    QTest::newRow("truncate read") << "truncate" << false << 7 << false;
    QTest::newRow("truncate write") << "truncate" << true << 7 << true;
    QTest::newRow("garbage read") << "garbage" << false << 7 << false;
    QTest::newRow("garbage write") << "garbage" << true << 7 << true;
    QTest::newRow("badsum read") << "badsum" << false << 7 << false;
    QTest::newRow("badsum write") << "badsum" << true << 7 << true;
    // A pause inside the answer shorter than the read time-out is waited for;
    // a long one leaves the answer cut.
    QTest::newRow("split:5 read") << "split:5" << false << 0 << false;
    QTest::newRow("split:5 write") << "split:5" << true << 0 << true;
    QTest::newRow("split:300 read") << "split:300" << false << 7 << false;
    QTest::newRow("late:20 read") << "late:20" << false << 0 << false;
    QTest::newRow("every 2nd request of a split read") << "noanswer@2" << false << 8 << false;
}

void TestLibNorvessa::faults()
{
    QFETCH(QString, fault);
    QFETCH(bool, isWrite);
    QFETCH(int, status);
    QFETCH(bool, written);
    const bool split = fault.contains(QLatin1Char('@'));
    const int count = split ? 1500 : 2;
    for (int i = 0; i < count; ++i)
        m_sim->setWord('D', 300 + i, quint16(0x1111 * (i % 15 + 1)));
    // Counting starts from this request for @N faults.
    QString error;
    if (split) {
        // The next request is the first of the read: make it request 1 of 2.
        const int n = m_sim->requestCount();
        fault = QStringLiteral("noanswer@%1").arg(n + 2);
        Q_UNUSED(n);
    }
    QVERIFY2(m_sim->addFault(fault, &error), qPrintable(error));

    const CLabelVariable value = labelOf(QList<short>{0x0102, 0x0304});
    CLabelVariable r = isWrite ? write(QStringLiteral("D300"), DT_Int16, value, 2)
                                     : read(QStringLiteral("D300"), DT_Int16, count);
    QCOMPARE(r.status, status);
    if (!isWrite && status != 0) {
        QVERIFY(!r.value.isValid());
        QVERIFY(r.timestamp.isNull());
    }
    if (!isWrite && status == 0) {
        QCOMPARE(r.atInt16(0), short(0x1111));
        QCOMPARE(r.atInt16(1), short(0x2222));
    }
    if (isWrite)
        QCOMPARE(m_sim->word('D', 300) == 0x0102, written);

    // The rest of a long-split answer is still on its way; it must not land in
    // the middle of the next test's exchange.
    if (fault.startsWith(QLatin1String("split:300")))
        QTest::qWait(400);
    // The link is usable again at once.
    m_sim->clearFaults();
    CLabelVariable again = read(QStringLiteral("D301"), DT_Int16, 1);
    QCOMPARE(again.status, 0);
    QCOMPARE(again.atInt16(0), short(isWrite && written ? 0x0304 : 0x2222));
}

void TestLibNorvessa::lateAnswerIsNotTakenForTheNext()
{
    m_sim->setWord('D', 10, 0x0A0A);
    m_sim->setWord('D', 11, 0x0B0B);
    QVERIFY(m_sim->addFault(QStringLiteral("late:800")));
    QCOMPARE(read(QStringLiteral("D10"), DT_Int16, 1).status, 8);
    m_sim->clearFaults();
    QTest::qWait(400);  // the late answer arrives meanwhile
    CLabelVariable r = read(QStringLiteral("D11"), DT_Int16, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.atInt16(0), short(0x0B0B));
}

void TestLibNorvessa::closedConnectionAndRecovery()
{
    m_sim->setWord('D', 1, 42);
    QVERIFY(m_sim->addFault(QStringLiteral("close")));
    CLabelVariable r = read(QStringLiteral("D1"), DT_Int16, 1);
    QVERIFY2(r.status == 8 || r.status == 9, qPrintable(QString::number(r.status)));
    m_sim->clearFaults();
    QTest::qWait(50);
    // Nothing reconnects by itself.
    QCOMPARE(read(QStringLiteral("D1"), DT_Int16, 1).status, 9);
    QCOMPARE(write(QStringLiteral("D1"), DT_Int16, labelOf(QList<short>{1}), 1).status, 9);
    QCOMPARE(m_drv->ConnectDrive(m_endpoint), 0);
    CLabelVariable again = read(QStringLiteral("D1"), DT_Int16, 1);
    QCOMPARE(again.status, 0);
    QCOMPARE(again.atInt16(0), short(42));
}

void TestLibNorvessa::refusals_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("readStatus");
    QTest::addColumn<int>("writeStatus");
    QTest::newRow("T5 unknown area") << "T5" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("empty text") << "" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("letter not first") << "1D" << int(DT_Int16) << 1 << 3 << 3;
    QTest::newRow("count 0") << "D100" << int(DT_Int16) << 0 << 4 << 4;
    QTest::newRow("count -1") << "D100" << int(DT_Int16) << -1 << 4 << 4;
    QTest::newRow("D-1") << "D-1" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("D1x") << "D1x" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("D empty number") << "D" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("D100.5") << "D100.5" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("D100.5 bool") << "D100.5" << int(DT_Bool) << 1 << 5 << 5;
    QTest::newRow("M100.16") << "M100.16" << int(DT_Bool) << 1 << 5 << 5;
    QTest::newRow("M100.3 as Int16") << "M100.3" << int(DT_Int16) << 1 << 5 << 5;
    QTest::newRow("type 0") << "D100" << int(DT_None) << 1 << 2 << 2;
    QTest::newRow("type 12") << "D100" << int(DT_String) << 1 << 2 << 2;
    QTest::newRow("type 40") << "D100" << int(DT_Double_V4) << 1 << 2 << 2;
    QTest::newRow("Int8 count 1") << "D100" << int(DT_Int8) << 1 << 4 << 4;
    QTest::newRow("Int8 odd count written") << "D100" << int(DT_Int8) << 3 << -1 << 4;
    QTest::newRow("past 24-bit numbers") << "D16777215" << int(DT_Int32) << 1 << 5 << 5;
    QTest::newRow("too many bytes") << "D0" << int(DT_Double) << 100000 << 5 << 5;
    QTest::newRow("bools to a data register") << "D100" << int(DT_Bool) << 3 << -1 << 2;
    QTest::newRow("order: area before count") << "T5" << int(DT_Int16) << 0 << 3 << 3;
    QTest::newRow("order: count before number") << "D-1" << int(DT_Int16) << 0 << 4 << 4;
    QTest::newRow("order: number before type") << "D-1" << int(DT_None) << 1 << 5 << 5;
}

void TestLibNorvessa::refusals()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, readStatus);
    QFETCH(int, writeStatus);
    const int before = m_sim->requestCount();
    if (readStatus >= 0) {
        const QDateTime start = QDateTime::currentDateTime();
        CLabelVariable r = read(address, type, count);
        QCOMPARE(r.status, readStatus);
        QVERIFY(!r.value.isValid());
        // A refused read carries the time of the call.
        QVERIFY(r.timestamp.isValid());
        QVERIFY(r.timestamp >= start.addSecs(-1));
        QCOMPARE(r.address, address);
        QCOMPARE(r.count, count);
        QCOMPARE(r.dataType, type);
    }
    CLabelVariable given = labelOf(QList<short>{1, 2, 3});
    const QDateTime stamp = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6));
    given.timestamp = stamp;
    const CLabelVariable w = write(address, type, given, count);
    QCOMPARE(w.status, writeStatus);
    QCOMPARE(w.timestamp, stamp);
    QCOMPARE(w.value.value<QList<short>>(), (QList<short>{1, 2, 3}));
    QCOMPARE(w.address, address);
    QCOMPARE(w.count, count);
    QCOMPARE(w.dataType, type);
    QCOMPARE(m_sim->requestCount(), before);
}

void TestLibNorvessa::writeToAddressZero()
{
    QCOMPARE(write(QStringLiteral("D0"), DT_Int16, labelOf(QList<short>{-7}), 1).status, 0);
    QCOMPARE(m_sim->word('D', 0), quint16(0xFFF9));
    QCOMPARE(write(QStringLiteral("M0"), DT_Bool, labelOf(QList<bool>{true}), 1).status, 0);
    QVERIFY(m_sim->bit('M', 0));
    QCOMPARE(write(QStringLiteral("X0"), DT_UInt16, labelOf(QList<unsigned short>{0x8001}), 1).status, 0);
    QVERIFY(m_sim->bit('X', 0) && m_sim->bit('X', 15) && !m_sim->bit('X', 1));
    CLabelVariable r = read(QStringLiteral("D0"), DT_Int16, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.atInt16(0), short(-7));
}

void TestLibNorvessa::notConnected()
{
    LibNorvessa fresh;
    CLabelVariable r = fresh.ReadVariable(QStringLiteral("D0"), DT_Int16, 1);
    QCOMPARE(r.status, 9);
    QVERIFY(r.timestamp.isNull());
    QCOMPARE(fresh.WriteVariable(QStringLiteral("D0"), DT_Int16, labelOf(QList<short>{1}), 1).status, 9);
    QCOMPARE(fresh.WriteVariable(QStringLiteral("M0"), DT_Bool, labelOf(QList<bool>{true}), 1).status, 9);
    // The short forms go through the same path with count 1.
    QCOMPARE(fresh.ReadVariable(QStringLiteral("D0"), DT_Int16).status, 9);
    QCOMPARE(fresh.ReadVariable(QStringLiteral("Q0"), DT_Int16).status, 3);
}

void TestLibNorvessa::oneMemoryOneValue()
{
    // A double written through the plug-in is its IEEE bits, least significant
    // byte first, in consecutive words.
    const double pi = 3.141592653589793;
    QCOMPARE(write(QStringLiteral("D500"), DT_Double, labelOf(QList<double>{pi}), 1).status, 0);
    quint64 bits;
    std::memcpy(&bits, &pi, 8);
    for (int w = 0; w < 4; ++w)
        QCOMPARE(m_sim->word('D', 500 + w), quint16(bits >> (16 * w)));

    // And the other way round: words put into the PLC read back as that double.
    const double e = -2.718281828459045e-200;
    std::memcpy(&bits, &e, 8);
    for (int w = 0; w < 4; ++w)
        m_sim->setWord('D', 600 + w, quint16(bits >> (16 * w)));
    CLabelVariable r = read(QStringLiteral("D600"), DT_Double, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.atDouble(0), e);

    // A 32-bit value takes the low word first.
    QCOMPARE(write(QStringLiteral("R10"), DT_UInt32, labelOf(QList<unsigned int>{0x12345678u}), 1).status, 0);
    QCOMPARE(m_sim->word('R', 10), quint16(0x5678));
    QCOMPARE(m_sim->word('R', 11), quint16(0x1234));
}

void TestLibNorvessa::encoderRefusals()
{
    const int before = m_sim->requestCount();
    // A list of another element type, and too few elements: nothing is sent.
    QCOMPARE(write(QStringLiteral("D0"), DT_Int16, labelOf(QList<float>{1.0f}), 1).status, 2);
    QCOMPARE(write(QStringLiteral("D0"), DT_Int16, labelOf(QList<short>{1, 2}), 3).status, 4);
    QCOMPARE(write(QStringLiteral("M0"), DT_Bool, labelOf(QList<bool>{true}), 2).status, 4);
    QCOMPARE(write(QStringLiteral("D0"), DT_Int16, CLabelVariable(), 1).status, 2);
    QCOMPARE(m_sim->requestCount(), before);
    QCOMPARE(m_sim->word('D', 0), quint16(0));
}

void TestLibNorvessa::serialLine()
{
    QString error;
    const QString pty = m_sim->addEndpoint(QStringLiteral("mc3e"), QStringLiteral("pty"), &error);
    if (pty.isEmpty())
        QSKIP(qPrintable(QStringLiteral("no pseudo-terminal: ") + error));
    LibNorvessa drv;
    QCOMPARE(drv.ConnectDrive(pty + QStringLiteral(",9600,8,1,N")), 0);

    const CLabelVariable value = sampleLabel(DT_Int32, 4);
    QCOMPARE(drv.WriteVariable(QStringLiteral("D20"), DT_Int32, value, 4).status, 0);
    CLabelVariable r = drv.ReadVariable(QStringLiteral("D20"), DT_Int32, 4);
    QCOMPARE(r.status, 0);
    QCOMPARE(describe(r, DT_Int32, 4), describe(value, DT_Int32, 4));

    const CLabelVariable bits = sampleLabel(DT_Bool, 7);
    QCOMPARE(drv.WriteVariable(QStringLiteral("M30.2"), DT_Bool, bits, 7).status, 0);
    r = drv.ReadVariable(QStringLiteral("M30.2"), DT_Bool, 7);
    QCOMPARE(r.status, 0);
    QCOMPARE(describe(r, DT_Bool, 7), describe(bits, DT_Bool, 7));

    // A read that splits, over the line.
    const CLabelVariable big = sampleLabel(DT_UInt16, 1200);
    QCOMPARE(drv.WriteVariable(QStringLiteral("R0"), DT_UInt16, big, 1200).status, 0);
    r = drv.ReadVariable(QStringLiteral("R0"), DT_UInt16, 1200);
    QCOMPARE(r.status, 0);
    QCOMPARE(describe(r, DT_UInt16, 1200), describe(big, DT_UInt16, 1200));

    // A silent line is "no answer".
    QVERIFY(m_sim->addFault(QStringLiteral("noanswer")));
    QCOMPARE(drv.ReadVariable(QStringLiteral("D20"), DT_Int16, 1).status, 8);
    m_sim->clearFaults();
    QCOMPARE(drv.ReadVariable(QStringLiteral("D20"), DT_Int16, 1).status, 0);
    drv.DisConnectDrive();
    drv.DestroyFree();
}

void TestLibNorvessa::directDataCalls()
{
    // Read_data and Write_data check what they are given as well: an unknown
    // device code, a device number outside the frames, a malformed bit index.
    const int before = m_sim->requestCount();
    const int code = m_drv->getArea(QStringLiteral("D0"));
    QCOMPARE(m_drv->Read_data(0x12, 0, DT_Int16, 1, QStringLiteral("D0")).status, 3);
    QCOMPARE(m_drv->Read_data(code, -5, DT_Int16, 1, QStringLiteral("D0")).status, 5);
    QCOMPARE(m_drv->Read_data(code, 0x1000000, DT_Int16, 1, QStringLiteral("D0")).status, 5);
    QCOMPARE(m_drv->Read_data(code, 0, DT_Int16, 1, QStringLiteral("D0.99")).status, 5);
    QCOMPARE(m_drv->Read_data(code, 0, DataType(-3), 1, QStringLiteral("D0")).status, 2);
    const CLabelVariable v = labelOf(QList<short>{5});
    QCOMPARE(m_drv->Write_data(v, 0, 0, DT_Int16, 1, QStringLiteral("D0")).status, 3);
    QCOMPARE(m_drv->Write_data(v, code, -1, DT_Int16, 1, QStringLiteral("D0")).status, 5);
    QCOMPARE(m_drv->Write_data(v, code, 0, DT_Int16, 0, QStringLiteral("D0")).status, 4);
    QCOMPARE(m_sim->requestCount(), before);
    // And do the work when all is well.
    QCOMPARE(m_drv->Write_data(v, code, 3, DT_Int16, 1, QStringLiteral("D3")).status, 0);
    CLabelVariable r = m_drv->Read_data(code, 3, DT_Int16, 1, QStringLiteral("D3"));
    QCOMPARE(r.status, 0);
    QCOMPARE(r.atInt16(0), short(5));
}

void TestLibNorvessa::metaObjectCast()
{
    QObject *o = m_drv.get();
    QCOMPARE(o->metaObject()->className(), "LibNorvessa");
    QVERIFY(o->qt_metacast("LibNorvessa") == static_cast<void *>(m_drv.get()));
    QVERIFY(o->qt_metacast("CDriveBaseClass")
            == static_cast<void *>(static_cast<CDriveBaseClass *>(m_drv.get())));
    QVERIFY(!o->qt_metacast("NoSuchClass"));
    QCOMPARE(m_drv->cmd().metaObject()->className(), "CmdNorvessa");
}

QTEST_GUILESS_MAIN(TestLibNorvessa)
#include "tst_libnorvessa.moc"
