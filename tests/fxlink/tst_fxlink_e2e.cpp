// The Lunetta driver against the simulated PLC, over TCP and over a
// pseudo-terminal: every data type written and read back, bools on bit devices,
// requests split at the per-command limits, refused, cut, corrupted and missing
// answers, a lost link and its recovery.
#include "FxLinkTestSupport.h"
#include "LibMitsubishi_FX_links.h"
#include "PlcSimulator.h"

#include <QtTest>
#include <cstring>

using Cmd = CmdMitsubishi_FX_links;

class tst_fxlink_e2e : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void roundTrip_data();
    void roundTrip();
    void oneMemoryOneValue_data();
    void oneMemoryOneValue();
    void bools_data();
    void bools();
    void wordsOnBitDevice_data();
    void wordsOnBitDevice();
    void splitRead_data();
    void splitRead();
    void splitWrite_data();
    void splitWrite();
    void splitStopsAtFailure_data();
    void splitStopsAtFailure();
    void faults_data();
    void faults();
    void slowAnswers_data();
    void slowAnswers();
    void stations_data();
    void stations();
    void lowerCaseAddress_data();
    void lowerCaseAddress();
    void traceLines_data();
    void traceLines();
    void refusedBeforeSending_data();
    void refusedBeforeSending();
    void tcpLinkDownAndRecovery();
    void notConnected();

private:
    void addMediumRows(const char *name, const std::function<void(QTestData &)> &fill);
    LibMitsubishi_FX_links *driver(const QString &medium);
    QString peer(const QString &medium) const;  // "%1:%2" of the trace lines

    PlcSimulator *m_sim = nullptr;
    QString m_tcpEndpoint;
    QString m_ptyEndpoint;
    LibMitsubishi_FX_links *m_tcp = nullptr;
    LibMitsubishi_FX_links *m_pty = nullptr;
};

void tst_fxlink_e2e::initTestCase()
{
    registerLabelMetaTypes();
    m_sim = new PlcSimulator;
    m_sim->setStation(1);
    QString error;
    m_tcpEndpoint = m_sim->addEndpoint("fxlink", "127.0.0.1:0", &error);
    QVERIFY2(!m_tcpEndpoint.isEmpty(), qPrintable(error));
    m_ptyEndpoint = m_sim->addEndpoint("fxlink", "pty", &error);
    QVERIFY2(!m_ptyEndpoint.isEmpty(), qPrintable(error));

    m_tcp = new LibMitsubishi_FX_links;
    m_tcp->SetConnectPar("1");
    QCOMPARE(m_tcp->ConnectDrive(m_tcpEndpoint), 0);
    m_pty = new LibMitsubishi_FX_links;
    m_pty->SetConnectPar("1");
    QCOMPARE(m_pty->ConnectDrive(m_ptyEndpoint + ",9600,7,1,E"), 0);
}

void tst_fxlink_e2e::cleanupTestCase()
{
    if (m_tcp) {
        m_tcp->DestroyFree();
        delete m_tcp;
    }
    if (m_pty) {
        m_pty->DestroyFree();
        delete m_pty;
    }
    delete m_sim;
}

void tst_fxlink_e2e::init()
{
    m_sim->clearFaults();
    m_sim->clearMemory();
    m_sim->setStation(1);
    m_tcp->SetConnectPar("1");
    m_pty->SetConnectPar("1");
    m_tcp->DebugCmd(DebugStop);
    m_pty->DebugCmd(DebugStop);
}

void tst_fxlink_e2e::addMediumRows(const char *name, const std::function<void(QTestData &)> &fill)
{
    for (const char *medium : {"tcp", "pty"})
        fill(QTest::addRow("%s %s", medium, name) << QString::fromLatin1(medium));
}

LibMitsubishi_FX_links *tst_fxlink_e2e::driver(const QString &medium)
{
    return medium == "tcp" ? m_tcp : m_pty;
}

QString tst_fxlink_e2e::peer(const QString &medium) const
{
    if (medium == "tcp")
        return m_tcpEndpoint;  // "127.0.0.1:port"
    return QStringLiteral(":0");  // a serial link has no peer address
}

// ---------------------------------------------------------------- values

void tst_fxlink_e2e::roundTrip_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("values");

    struct Row { const char *name; const char *address; int type; QVariant values; };
    const QList<Row> rows = {
        {"bool", "M200", DT_Bool, QVariant::fromValue(QList<bool>{true, false, true, true, false})},
        {"int8", "D300", DT_Int8, QVariant::fromValue(QList<char>{char(-1), 2, char(-128), 127})},
        {"uint8", "D302", DT_UInt8, QVariant::fromValue(QList<unsigned char>{0xAB, 0x01})},
        {"int16", "D310", DT_Int16, QVariant::fromValue(QList<short>{-2, 32767, -32768})},
        {"uint16", "D320", DT_UInt16, QVariant::fromValue(QList<unsigned short>{65535, 1})},
        {"int32", "D330", DT_Int32, QVariant::fromValue(QList<int>{-100000, 0x12345678})},
        {"uint32", "D340", DT_UInt32, QVariant::fromValue(QList<unsigned int>{0xDEADBEEFu})},
        {"float", "D350", DT_Float, QVariant::fromValue(QList<float>{1.5f, -3.25e7f})},
        {"int64", "D360", DT_Int64, QVariant::fromValue(QList<long long>{-1234567890123LL, 0x0102030405060708LL})},
        {"uint64", "D380", DT_UInt64, QVariant::fromValue(QList<unsigned long long>{0xFEDCBA9876543210ULL})},
        {"double", "D390", DT_Double, QVariant::fromValue(QList<double>{3.141592653589793, -1e300})},
        {"int16 at D9999", "D9999", DT_Int16, QVariant::fromValue(QList<short>{-7})},
        {"uint16 on Y (octal 17)", "Y17", DT_UInt16, QVariant::fromValue(QList<unsigned short>{0xA55A})},
        {"int16 TN254 (TN254)", "TN254", DT_Int16, QVariant::fromValue(QList<short>{-5, 300})},
        {"int32 CN198 over two 16-bit counters", "cn198", DT_Int32, QVariant::fromValue(QList<int>{-70000})},
    };
    for (const Row &r : rows)
        addMediumRows(r.name, [&](QTestData &d) {
            d << QString::fromLatin1(r.address) << r.type << r.values;
        });
}

void tst_fxlink_e2e::roundTrip()
{
    QFETCH(QString, medium);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(QVariant, values);
    const QStringList expected = valueText(values, type);
    const int count = expected.size();
    QVERIFY(count > 0);
    LibMitsubishi_FX_links *drv = driver(medium);

    const CLabelVariable w = drv->WriteVariable(address, DataType(type), labelOf(values, type, count), count);
    QCOMPARE(w.status, 0);
    QCOMPARE(w.address, address);
    QCOMPARE(w.count, count);
    QCOMPARE(w.dataType, type);
    QVERIFY(w.timestamp.isValid());

    const CLabelVariable r = drv->ReadVariable(address, DataType(type), count);
    QCOMPARE(r.status, 0);
    QVERIFY(r.timestamp.isValid());
    QCOMPARE(r.address, address);
    QCOMPARE(r.count, count);
    QCOMPARE(r.dataType, type);
    QCOMPARE(valueText(r.value, type), expected);
}

void tst_fxlink_e2e::oneMemoryOneValue_data()
{
    QTest::addColumn<QString>("medium");
    addMediumRows("float", [](QTestData &) {});
}

void tst_fxlink_e2e::oneMemoryOneValue()
{
    QFETCH(QString, medium);
    LibMitsubishi_FX_links *drv = driver(medium);

    // A float written through the plug-in lies in D10/D11 as its IEEE bits, low
    // word first.
    const float f = -123.456f;
    quint32 fbits;
    std::memcpy(&fbits, &f, 4);
    CLabelVariable w = drv->WriteVariable("D10", DT_Float, labelOf(QVariant::fromValue(QList<float>{f}), DT_Float, 1), 1);
    QCOMPARE(w.status, 0);
    QCOMPARE(m_sim->word('D', 10), quint16(fbits & 0xFFFF));
    QCOMPARE(m_sim->word('D', 11), quint16(fbits >> 16));

    // A double put into D20..D23 by the PLC reads back as that double.
    const double d = 6.02214076e23;
    quint64 dbits;
    std::memcpy(&dbits, &d, 8);
    for (int i = 0; i < 4; ++i)
        m_sim->setWord('D', 20 + i, quint16(dbits >> (16 * i)));
    CLabelVariable r = drv->ReadVariable("D20", DT_Double, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<double>>(), QList<double>{d});

    // The same two words read as one 32-bit integer and as two 16-bit ones.
    m_sim->setWord('D', 30, 0x5678);
    m_sim->setWord('D', 31, 0x1234);
    r = drv->ReadVariable("D30", DT_Int32, 1);
    QCOMPARE(r.value.value<QList<int>>(), QList<int>{0x12345678});
    r = drv->ReadVariable("D30", DT_UInt16, 2);
    QCOMPARE(r.value.value<QList<unsigned short>>(), (QList<unsigned short>{0x5678, 0x1234}));
    // 8-bit elements: the low byte of each word first.
    r = drv->ReadVariable("D30", DT_UInt8, 4);
    QCOMPARE(r.value.value<QList<unsigned char>>(), (QList<unsigned char>{0x78, 0x56, 0x34, 0x12}));
    // Bits of a data register: bit 0 first.
    r = drv->ReadVariable("D30", DT_Bool, 4);
    QCOMPARE(r.value.value<QList<bool>>(), (QList<bool>{false, false, false, true}));
}

void tst_fxlink_e2e::bools_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("address");
    QTest::addColumn<char>("area");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("viaPlugin");  // written through the plug-in (inputs: by the PLC)

    struct Row { const char *name; const char *address; char area; int number; int count; bool write; };
    const QList<Row> rows = {
        {"M0 x16", "M0", 'M', 0, 16, true},
        {"M0 x17", "M0", 'M', 0, 17, true},
        {"M5 x17 unaligned", "M5", 'M', 5, 17, true},
        {"M8000 x3", "M8000", 'M', 8000, 3, true},
        {"S20 x33", "S20", 'S', 20, 33, true},
        {"Y7 x17 octal", "Y7", 'Y', 7, 17, true},
        {"X13 x20 octal input", "X13", 'X', 013, 20, false},
    };
    for (const Row &r : rows)
        addMediumRows(r.name, [&](QTestData &d) {
            d << QString::fromLatin1(r.address) << r.area << r.number << r.count << r.write;
        });
}

void tst_fxlink_e2e::bools()
{
    QFETCH(QString, medium);
    QFETCH(QString, address);
    QFETCH(char, area);
    QFETCH(int, number);
    QFETCH(int, count);
    QFETCH(bool, viaPlugin);
    LibMitsubishi_FX_links *drv = driver(medium);

    QList<bool> bits;
    for (int i = 0; i < count; ++i)
        bits << (i % 3 == 0 || i == count - 1);
    // Neighbours that must stay as they are.
    if (number > 0)
        m_sim->setBit(area, number - 1, true);
    m_sim->setBit(area, number + count, true);

    if (viaPlugin) {
        const CLabelVariable w = drv->WriteVariable(address, DT_Bool,
                                                    labelOf(QVariant::fromValue(bits), DT_Bool, count), count);
        QCOMPARE(w.status, 0);
    } else {
        for (int i = 0; i < count; ++i)
            m_sim->setBit(area, number + i, bits.at(i));
    }
    for (int i = 0; i < count; ++i)
        QVERIFY2(m_sim->bit(area, number + i) == bits.at(i), qPrintable(QString::number(i)));
    if (number > 0)
        QVERIFY(m_sim->bit(area, number - 1));
    QVERIFY(m_sim->bit(area, number + count));

    const CLabelVariable r = drv->ReadVariable(address, DT_Bool, count);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<bool>>(), bits);
}

void tst_fxlink_e2e::wordsOnBitDevice_data()
{
    QTest::addColumn<QString>("medium");
    addMediumRows("M16", [](QTestData &) {});
}

void tst_fxlink_e2e::wordsOnBitDevice()
{
    QFETCH(QString, medium);
    LibMitsubishi_FX_links *drv = driver(medium);
    // 16 points a word, the head device in bit 0.
    const QList<unsigned short> words{0x8001, 0x00FF};
    CLabelVariable w = drv->WriteVariable("M16", DT_UInt16, labelOf(QVariant::fromValue(words), DT_UInt16, 2), 2);
    QCOMPARE(w.status, 0);
    QVERIFY(m_sim->bit('M', 16));
    for (int i = 17; i < 31; ++i)
        QVERIFY(!m_sim->bit('M', i));
    QVERIFY(m_sim->bit('M', 31));
    for (int i = 32; i < 40; ++i)
        QVERIFY(m_sim->bit('M', i));
    for (int i = 40; i < 48; ++i)
        QVERIFY(!m_sim->bit('M', i));
    CLabelVariable r = drv->ReadVariable("M16", DT_UInt16, 2);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<unsigned short>>(), words);
}

// ---------------------------------------------------------------- splitting

void tst_fxlink_e2e::splitRead_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("requests");
    struct Row { const char *name; const char *address; int type; int count; int requests; };
    const QList<Row> rows = {
        {"D0 int16 x64", "D0", DT_Int16, 64, 1},
        {"D0 int16 x65", "D0", DT_Int16, 65, 2},
        {"D0 int16 x200", "D0", DT_Int16, 200, 4},
        {"D1000 double x40", "D1000", DT_Double, 40, 3},
        {"M0 bool x1000", "M0", DT_Bool, 1000, 2},
        {"X0 uint16 x40", "X0", DT_UInt16, 40, 2},
    };
    for (const Row &r : rows)
        addMediumRows(r.name, [&](QTestData &d) { d << QString::fromLatin1(r.address) << r.type << r.count << r.requests; });
}

void tst_fxlink_e2e::splitRead()
{
    QFETCH(QString, medium);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, requests);
    LibMitsubishi_FX_links *drv = driver(medium);

    const FxLinkDevice dev = LibMitsubishi_FX_links::parseAddress(address);
    const int words = int(LibMitsubishi_FX_links::wordsFor(type, count));
    // Distinct words everywhere, so a chunk at the wrong place shows.
    for (int i = 0; i < words; ++i) {
        const quint16 v = quint16(0x1000 + i * 37);
        if (dev.bitDevice()) {
            for (int b = 0; b < 16; ++b)
                m_sim->setBit(dev.letter, dev.number + 16 * i + b, (v >> b) & 1);
        } else {
            m_sim->setWord(dev.letter, dev.number + i, v);
        }
    }
    const int before = m_sim->requestCount();
    const CLabelVariable r = drv->ReadVariable(address, DataType(type), count);
    QCOMPARE(r.status, 0);
    QCOMPARE(m_sim->requestCount() - before, requests);

    const QStringList got = valueText(r.value, type);
    QCOMPARE(got.size(), count);
    if (type == DT_Bool) {
        for (int k = 0; k < count; ++k)
            QCOMPARE(got.at(k), QString(((0x1000 + (k / 16) * 37) >> (k % 16)) & 1 ? "1" : "0"));
    } else if (type == DT_Double) {
        for (int k = 0; k < count; ++k) {
            quint64 bits = 0;
            for (int j = 0; j < 4; ++j)
                bits |= quint64(quint16(0x1000 + (4 * k + j) * 37)) << (16 * j);
            QCOMPARE(got.at(k), QString::number(bits, 16));
        }
    } else {
        for (int k = 0; k < count; ++k)
            QCOMPARE(got.at(k), QString::number(quint16(0x1000 + k * 37)
                                                - (type == DT_Int16 && quint16(0x1000 + k * 37) > 0x7FFF ? 65536 : 0)));
    }
}

void tst_fxlink_e2e::splitWrite_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("requests");
    struct Row { const char *name; const char *address; int type; int count; int requests; };
    const QList<Row> rows = {
        {"D0 int16 x150", "D0", DT_Int16, 150, 3},
        {"D2000 uint32 x40", "D2000", DT_UInt32, 40, 2},
        {"M0 uint16 x25", "M0", DT_UInt16, 25, 3},
        {"Y0 bool x400", "Y0", DT_Bool, 400, 3},
        {"M100 bool x160", "M100", DT_Bool, 160, 1},
        {"M100 bool x161", "M100", DT_Bool, 161, 2},
    };
    for (const Row &r : rows)
        addMediumRows(r.name, [&](QTestData &d) { d << QString::fromLatin1(r.address) << r.type << r.count << r.requests; });
}

void tst_fxlink_e2e::splitWrite()
{
    QFETCH(QString, medium);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, requests);
    LibMitsubishi_FX_links *drv = driver(medium);
    const FxLinkDevice dev = LibMitsubishi_FX_links::parseAddress(address);

    QVariant list;
    if (type == DT_Bool) {
        QList<bool> bits;
        for (int i = 0; i < count; ++i)
            bits << ((i * 7) % 5 < 2);
        list = QVariant::fromValue(bits);
    } else if (type == DT_UInt32) {
        QList<unsigned int> v;
        for (int i = 0; i < count; ++i)
            v << 0x10002u * unsigned(i + 1);
        list = QVariant::fromValue(v);
    } else if (type == DT_UInt16) {
        QList<unsigned short> v;
        for (int i = 0; i < count; ++i)
            v << quint16(0x8421 * (i + 1));
        list = QVariant::fromValue(v);
    } else {
        QList<short> v;
        for (int i = 0; i < count; ++i)
            v << short(i * 100 - 5000);
        list = QVariant::fromValue(v);
    }
    const int before = m_sim->requestCount();
    const CLabelVariable w = drv->WriteVariable(address, DataType(type), labelOf(list, type, count), count);
    QCOMPARE(w.status, 0);
    QCOMPARE(m_sim->requestCount() - before, requests);

    // The PLC's memory holds every element where it belongs.
    if (type == DT_Bool) {
        const QList<bool> bits = list.value<QList<bool>>();
        for (int i = 0; i < count; ++i)
            QVERIFY2(m_sim->bit(dev.letter, dev.number + i) == bits.at(i), qPrintable(QString::number(i)));
    } else if (type == DT_UInt32) {
        const QList<unsigned int> v = list.value<QList<unsigned int>>();
        for (int i = 0; i < count; ++i) {
            QCOMPARE(m_sim->word('D', dev.number + 2 * i), quint16(v.at(i)));
            QCOMPARE(m_sim->word('D', dev.number + 2 * i + 1), quint16(v.at(i) >> 16));
        }
    } else if (dev.bitDevice()) {
        const QList<unsigned short> v = list.value<QList<unsigned short>>();
        for (int i = 0; i < count; ++i)
            for (int b = 0; b < 16; ++b)
                QCOMPARE(m_sim->bit(dev.letter, dev.number + 16 * i + b), bool((v.at(i) >> b) & 1));
    } else {
        const QList<short> v = list.value<QList<short>>();
        for (int i = 0; i < count; ++i)
            QCOMPARE(m_sim->word('D', dev.number + i), quint16(v.at(i)));
    }
    const CLabelVariable r = drv->ReadVariable(address, DataType(type), count);
    QCOMPARE(r.status, 0);
    QCOMPARE(valueText(r.value, type), valueText(list, type));
}

void tst_fxlink_e2e::splitStopsAtFailure_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<bool>("write");
    addMediumRows("read", [](QTestData &d) { d << false; });
    addMediumRows("write", [](QTestData &d) { d << true; });
}

void tst_fxlink_e2e::splitStopsAtFailure()
{
    QFETCH(QString, medium);
    QFETCH(bool, write);
    LibMitsubishi_FX_links *drv = driver(medium);
    // The second of four requests is refused by the PLC.
    const int before = m_sim->requestCount();
    QVERIFY(m_sim->addFault(QStringLiteral("nak:06@%1").arg(before + 2)));
    MessageCapture capture;
    CLabelVariable r;
    if (write) {
        QList<short> v;
        for (int i = 0; i < 200; ++i)
            v << short(i + 1);
        r = drv->WriteVariable("D0", DT_Int16, labelOf(QVariant::fromValue(v), DT_Int16, 200), 200);
        QVERIFY(!r.timestamp.isValid());
        QCOMPARE(m_sim->word('D', 63), quint16(64));  // the first request went through
        QCOMPARE(m_sim->word('D', 64), quint16(0));   // the refused one changed nothing
        QCOMPARE(m_sim->word('D', 128), quint16(0));  // and nothing after it was sent
    } else {
        r = drv->ReadVariable("D0", DT_Int16, 200);
        QVERIFY(!r.value.isValid());
        QVERIFY(!r.timestamp.isValid());
    }
    QCOMPARE(r.status, 7);
    QCOMPARE(m_sim->requestCount() - before, 2);
    QCOMPARE(MessageCapture::of(QtWarningMsg).size(), 1);
}

// ---------------------------------------------------------------- faults

void tst_fxlink_e2e::faults_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("warning");  // template; empty: any rejection line

    const QString empty = QString::fromUtf8("lib[Lunetta]返回的报文长度为0 %1 Area=%2 len=%3 msg : %4");
    const QString length = QString::fromUtf8("lib[Lunetta]报文返回长度错误 %1 Area=%2 len=%3 msg : %4");
    const QString check = QString::fromUtf8("lib[Lunetta]报文校验错误 %1 Area=%2 len=%3 msg : %4");
    const QString nak = QString::fromUtf8("lib[Lunetta]写命令被拒绝 %1 Area=%2 len=%3 code=%5 msg : %4");

    struct Row { const char *name; const char *fault; bool write; int status; QString warning; };
    const QList<Row> rows = {
        {"read NAK 06", "nak:06", false, 7, length},
        {"read NAK 02", "nak", false, 7, length},
        {"read truncated", "truncate", false, 7, length},
        {"read bad sum", "badsum", false, 7, check},
        {"read garbage", "garbage", false, 7, QString()},
        {"read no answer", "noanswer", false, 8, empty},
        {"write NAK 06", "nak:06", true, 7, nak},
        {"write NAK 07", "nak:07", true, 7, nak},
        {"write truncated", "truncate", true, 7, length},
        {"write garbage", "garbage", true, 7, QString()},
        {"write no answer", "noanswer", true, 8, empty},
    };
    for (const Row &r : rows)
        addMediumRows(r.name, [&](QTestData &d) {
            d << QString::fromLatin1(r.fault) << r.write << r.status << r.warning;
        });
}

void tst_fxlink_e2e::faults()
{
    QFETCH(QString, medium);
    QFETCH(QString, fault);
    QFETCH(bool, write);
    QFETCH(int, status);
    QFETCH(QString, warning);
    LibMitsubishi_FX_links *drv = driver(medium);
    QVERIFY(m_sim->addFault(fault));
    m_sim->setWord('D', 100, 0x1234);

    MessageCapture capture;
    CLabelVariable r;
    QByteArray request;
    if (write) {
        r = drv->WriteVariable("D100", DT_UInt16, labelOf(QVariant::fromValue(QList<unsigned short>{0xBEEF}), DT_UInt16, 1), 1);
        request = Cmd::buildWordWriteRequest(1, "D0100", "BEEF");
        if (fault.startsWith("nak"))
            QCOMPARE(m_sim->word('D', 100), quint16(0x1234));  // refused: nothing written
    } else {
        r = drv->ReadVariable("D100", DT_UInt16, 1);
        request = Cmd::buildReadRequest(1, "D0100", 1);
        QVERIFY(!r.value.isValid());
    }
    QCOMPARE(r.status, status);
    QVERIFY(!r.timestamp.isValid());
    QCOMPARE(r.address, QStringLiteral("D100"));

    const QStringList warnings = MessageCapture::of(QtWarningMsg);
    QCOMPARE(warnings.size(), 1);
    if (!warning.isEmpty()) {
        QString expected = warning;
        if (fault.startsWith("nak") && write)
            expected = expected.replace("%5", fault.mid(4));
        expected = expected.arg(peer(medium), QStringLiteral("D100"), "1", QString::fromLatin1(request.toHex()));
        QCOMPARE(warnings.first(), expected);
    } else {
        QVERIFY(warnings.first().startsWith(QString::fromUtf8("lib[Lunetta]报文")));
    }
    // No trace lines without the trace flag.
    QVERIFY(MessageCapture::of(QtDebugMsg).isEmpty());

    // The link is fine afterwards: the next exchange works.
    m_sim->clearFaults();
    r = drv->ReadVariable("D100", DT_UInt16, 1);
    QCOMPARE(r.status, 0);
}

void tst_fxlink_e2e::slowAnswers_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("words");
    QTest::addColumn<int>("status");
    // An answer in two halves: a long answer is given the time it needs on a
    // 9600 baud line, a short one is not waited for much beyond that.
    addMediumRows("64 words, pause 150 ms", [](QTestData &d) { d << "split:150" << false << 64 << 0; });
    addMediumRows("1 word, pause 400 ms", [](QTestData &d) { d << "split:400" << false << 1 << 7; });
    addMediumRows("write, pause 20 ms", [](QTestData &d) { d << "split:20" << true << 1 << 0; });
    addMediumRows("write, pause 400 ms", [](QTestData &d) { d << "split:400" << true << 1 << 7; });
}

void tst_fxlink_e2e::slowAnswers()
{
    QFETCH(QString, medium);
    QFETCH(QString, fault);
    QFETCH(bool, write);
    QFETCH(int, words);
    QFETCH(int, status);
    LibMitsubishi_FX_links *drv = driver(medium);
    for (int i = 0; i < words; ++i)
        m_sim->setWord('D', 600 + i, quint16(i * 3));
    QVERIFY(m_sim->addFault(fault));
    MessageCapture capture;
    CLabelVariable r;
    if (write)
        r = drv->WriteVariable("D600", DT_Int16, labelOf(QVariant::fromValue(QList<short>{5}), DT_Int16, 1), 1);
    else
        r = drv->ReadVariable("D600", DT_Int16, words);
    QCOMPARE(r.status, status);
    if (status == 0) {
        QVERIFY(MessageCapture::of(QtWarningMsg).isEmpty());
        if (!write)
            QCOMPARE(r.value.value<QList<short>>().value(words - 1), short((words - 1) * 3));
    } else {
        const QStringList warnings = MessageCapture::of(QtWarningMsg);
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().startsWith(QString::fromUtf8("lib[Lunetta]报文返回长度错误 ")));
    }
    // The late half is not taken for the answer of the next request.
    m_sim->clearFaults();
    QTest::qWait(450);
    m_sim->setWord('D', 600, 0x7777);
    r = drv->ReadVariable("D600", DT_UInt16, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<unsigned short>>(), QList<unsigned short>{0x7777});
}

void tst_fxlink_e2e::stations_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("par");
    QTest::addColumn<int>("plcStation");
    QTest::addColumn<int>("status");
    addMediumRows("0", [](QTestData &d) { d << "0" << 0 << 0; });
    addMediumRows("26", [](QTestData &d) { d << "26" << 26 << 0; });
    addMediumRows("257 as 01", [](QTestData &d) { d << "257" << 1 << 0; });
    addMediumRows("not a number is 0", [](QTestData &d) { d << "abc" << 0 << 0; });
    addMediumRows("other station: silence", [](QTestData &d) { d << "3" << 1 << 8; });
}

void tst_fxlink_e2e::stations()
{
    QFETCH(QString, medium);
    QFETCH(QString, par);
    QFETCH(int, plcStation);
    QFETCH(int, status);
    LibMitsubishi_FX_links *drv = driver(medium);
    m_sim->setStation(plcStation);
    m_sim->setWord('D', 7, 4242);
    drv->SetConnectPar(par);
    MessageCapture capture;
    const CLabelVariable r = drv->ReadVariable("D7", DT_Int16, 1);
    QCOMPARE(r.status, status);
    if (status == 0) {
        QCOMPARE(r.value.value<QList<short>>(), QList<short>{4242});
        const CLabelVariable w = drv->WriteVariable("D8", DT_Int16, labelOf(QVariant::fromValue(QList<short>{-9}), DT_Int16, 1), 1);
        QCOMPARE(w.status, 0);
        QCOMPARE(m_sim->word('D', 8), quint16(0xFFF7));
    } else {
        QCOMPARE(MessageCapture::of(QtWarningMsg).size(), 1);
    }
}

void tst_fxlink_e2e::lowerCaseAddress_data()
{
    QTest::addColumn<QString>("medium");
    addMediumRows("d5", [](QTestData &) {});
}

void tst_fxlink_e2e::lowerCaseAddress()
{
    QFETCH(QString, medium);
    LibMitsubishi_FX_links *drv = driver(medium);
    // The PLC knows only upper-case device letters; a lower-case address still
    // names the device.
    m_sim->setWord('D', 5, 77);
    CLabelVariable r = drv->ReadVariable("d5", DT_UInt16, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.address, QStringLiteral("d5"));
    QCOMPARE(r.value.value<QList<unsigned short>>(), QList<unsigned short>{77});
    r = drv->WriteVariable("m3", DT_Bool, labelOf(QVariant::fromValue(QList<bool>{true}), DT_Bool, 1), 1);
    QCOMPARE(r.status, 0);
    QVERIFY(m_sim->bit('M', 3));
}

void tst_fxlink_e2e::traceLines_data()
{
    QTest::addColumn<QString>("medium");
    addMediumRows("D100", [](QTestData &) {});
}

void tst_fxlink_e2e::traceLines()
{
    QFETCH(QString, medium);
    LibMitsubishi_FX_links *drv = driver(medium);
    m_sim->setWord('D', 100, 0x00FF);
    QCOMPARE(drv->DebugCmd(DebugStart), QStringLiteral("StartDebug"));
    {
        MessageCapture capture;
        CLabelVariable r = drv->ReadVariable("D100", DT_Int16, 1);
        QCOMPARE(r.status, 0);
        const QByteArray request = QByteArray(1, '\x05') + "01FFWR0D0100012C";
        QByteArray answer = QByteArray(1, '\x02') + "01FF00FF\x03";
        unsigned sum = 0;
        for (int i = 1; i < answer.size(); ++i)
            sum += uchar(answer.at(i));
        answer += QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0');
        QCOMPARE(MessageCapture::of(QtDebugMsg),
                 (QStringList{QString::fromUtf8("lib[Lunetta]读命令 %1 Area=D100 len=1 msg : %2")
                                  .arg(peer(medium), QString::fromLatin1(request.toHex())),
                              QString::fromUtf8("lib[Lunetta]响应%1 Area=D100 len=1 msg : %2")
                                  .arg(peer(medium), QString::fromLatin1(answer.toHex()))}));
        QVERIFY(MessageCapture::of(QtWarningMsg).isEmpty());

        MessageCapture::clear();
        r = drv->WriteVariable("M9", DT_Bool, labelOf(QVariant::fromValue(QList<bool>{true, false}), DT_Bool, 2), 2);
        QCOMPARE(r.status, 0);
        const QByteArray bw = Cmd::buildBitWriteRequest(1, "M0009", "10");
        QCOMPARE(MessageCapture::of(QtDebugMsg),
                 (QStringList{QString::fromUtf8("lib[Lunetta]写命令 %1 Area=M9 len=2 msg : %2")
                                  .arg(peer(medium), QString::fromLatin1(bw.toHex())),
                              QString::fromUtf8("lib[Lunetta]响应%1 Area=M9 len=2 msg : %2")
                                  .arg(peer(medium), QString::fromLatin1(QByteArray("\x06" "01FF").toHex()))}));
    }
    QCOMPARE(drv->DebugCmd(DebugStop), QStringLiteral("StopDebug"));
    MessageCapture capture;
    QCOMPARE(drv->ReadVariable("D100", DT_Int16, 1).status, 0);
    QVERIFY(MessageCapture::of(QtDebugMsg).isEmpty());
}

void tst_fxlink_e2e::refusedBeforeSending_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("readStatus");
    QTest::addColumn<int>("writeStatus");
    struct Row { const char *name; const char *address; int type; int count; int read; int write; };
    const QList<Row> rows = {
        {"empty address", "", DT_Int16, 1, 3, 3},
        {"unknown letter", "R100", DT_Int16, 1, 3, 3},
        {"letter not first", "1D00", DT_Int16, 1, 3, 3},
        {"DT_None", "D100", DT_None, 1, 2, 2},
        {"string on M", "M100", DT_String, 4, 2, 2},
        {"string past D9999", "D9998", DT_String, 5, 5, 5},
        {"int16 at a bit of a word", "D100.3", DT_Int16, 1, 5, 5},
        {"bits past D9999", "D9999.15", DT_Bool, 2, 5, 5},
        {"type 40", "D100", 40, 1, 2, 2},
        {"negative type", "D100", -1, 1, 2, 2},
        {"five digits", "D12345", DT_Int16, 1, 5, 5},
        {"digits with a letter", "D1A", DT_Int16, 1, 5, 5},
        {"bit index", "M100.3", DT_Bool, 1, 5, 5},
        {"X with 8", "X18", DT_Bool, 1, 5, 5},
        {"count 0", "D100", DT_Int16, 0, 4, 4},
        {"count -5", "D100", DT_Int16, -5, 4, 4},
        {"one int8: no whole word", "D100", DT_Int8, 1, 4, 4},
        {"past D9999", "D9999", DT_Int32, 1, 5, 5},
        {"past M9999 in words", "M9990", DT_UInt16, 1, 5, 5},
        {"past X7777", "X7770", DT_Bool, 9, 5, 5},
        {"huge count", "D0", DT_Double, 0x7FFFFFFF, 5, 5},
    };
    for (const Row &r : rows)
        addMediumRows(r.name, [&](QTestData &d) {
            d << QString::fromLatin1(r.address) << r.type << r.count << r.read << r.write;
        });
}

void tst_fxlink_e2e::refusedBeforeSending()
{
    QFETCH(QString, medium);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, readStatus);
    QFETCH(int, writeStatus);
    LibMitsubishi_FX_links *drv = driver(medium);
    const int before = m_sim->requestCount();
    const QDateTime start = QDateTime::currentDateTime();

    const CLabelVariable r = drv->ReadVariable(address, DataType(type), count);
    QCOMPARE(r.status, readStatus);
    QVERIFY(!r.value.isValid());
    QVERIFY(r.timestamp >= start);
    QCOMPARE(r.address, address);
    QCOMPARE(r.count, count);
    QCOMPARE(r.dataType, type);

    QList<short> v{1, 2, 3};
    const CLabelVariable w = drv->WriteVariable(address, DataType(type), labelOf(QVariant::fromValue(v), DT_Int16, 3), count);
    QCOMPARE(w.status, writeStatus);
    QCOMPARE(w.address, address);
    QCOMPARE(m_sim->requestCount(), before);
}

// ---------------------------------------------------------------- link state

void tst_fxlink_e2e::tcpLinkDownAndRecovery()
{
    LibMitsubishi_FX_links drv;
    drv.SetConnectPar("1");
    QCOMPARE(drv.ConnectDrive(m_tcpEndpoint), 0);
    m_sim->setWord('D', 0, 11);
    QCOMPARE(drv.ReadVariable("D0", DT_Int16, 1).status, 0);

    // The PLC drops the connection instead of answering.
    QVERIFY(m_sim->addFault("close"));
    {
        MessageCapture capture;
        CLabelVariable r = drv.ReadVariable("D0", DT_Int16, 1);
        QCOMPARE(r.status, 8);
        const QStringList warnings = MessageCapture::of(QtWarningMsg);
        QVERIFY(warnings.contains(QString::fromUtf8("lib[Lunetta]返回的报文长度为0 %1 Area=D0 len=1 msg : %2")
                                      .arg(m_tcpEndpoint, QString::fromLatin1(Cmd::buildReadRequest(1, "D0000", 1).toHex()))));
        QTRY_VERIFY(MessageCapture::of(QtWarningMsg).contains(
            QStringLiteral("lib[bLunetta]%1 Disconnected=1").arg(m_tcpEndpoint)));
    }
    m_sim->clearFaults();

    // Nothing reconnects by itself: not connected, nothing sent.
    const int before = m_sim->requestCount();
    QCOMPARE(drv.ReadVariable("D0", DT_Int16, 1).status, 9);
    QCOMPARE(drv.WriteVariable("D0", DT_Int16, labelOf(QVariant::fromValue(QList<short>{1}), DT_Int16, 1), 1).status, 9);
    QCOMPARE(m_sim->requestCount(), before);

    // The host reconnects.
    QCOMPARE(drv.ConnectDrive(m_tcpEndpoint), 0);
    CLabelVariable r = drv.ReadVariable("D0", DT_Int16, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<short>>(), QList<short>{11});

    // The PLC goes away and comes back on the same port.
    m_sim->stopEndpoint(m_tcpEndpoint);
    {
        MessageCapture capture;
        r = drv.ReadVariable("D0", DT_Int16, 1);
        QVERIFY(r.status == 8 || r.status == 9);
    }
    QVERIFY(m_sim->restartEndpoint(m_tcpEndpoint));
    QCOMPARE(drv.ConnectDrive(m_tcpEndpoint), 0);
    QCOMPARE(drv.ReadVariable("D0", DT_Int16, 1).status, 0);
    drv.DestroyFree();

    // The shared TCP driver of the other tests lost its connection too.
    QCOMPARE(m_tcp->ConnectDrive(m_tcpEndpoint), 0);
}

void tst_fxlink_e2e::notConnected()
{
    LibMitsubishi_FX_links drv;
    const int before = m_sim->requestCount();
    MessageCapture capture;
    CLabelVariable r = drv.ReadVariable("D0", DT_Int16, 1);
    QCOMPARE(r.status, 9);
    QVERIFY(!r.timestamp.isValid());
    r = drv.WriteVariable("D0", DT_Int16, labelOf(QVariant::fromValue(QList<short>{5}), DT_Int16, 1), 1);
    QCOMPARE(r.status, 9);
    QCOMPARE(m_sim->requestCount(), before);
    QVERIFY(MessageCapture::of(QtWarningMsg).isEmpty());
}

QTEST_GUILESS_MAIN(tst_fxlink_e2e)
#include "tst_fxlink_e2e.moc"
