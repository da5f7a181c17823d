// The Kelvaro plug-in end to end: loaded from its shared library, driven through
// CDriveBaseClass against the simulator over TCP and over a pseudo-terminal.
// Every value is checked both ways: through the plug-in and in the simulator's
// memory, so the byte order on the device side is pinned down independently.
#include "CDriveBaseClass.h"
#include "CLabelVariable.h"
#include "PlcMemory.h"
#include "PlcSimulator.h"

#include <QLibrary>
#include <QtTest>

#include <functional>

namespace {

using Seed = QPair<QString, int>;  // "D100" = word value, "M3" = bit value

struct Captured {
    QtMsgType type;
    QString text;
};
QList<Captured> g_messages;
QtMessageHandler g_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    g_messages.append({type, msg});
    if (g_previous && type != QtDebugMsg)
        g_previous(type, ctx, msg);
}

template <typename T>
bool sameList(const QVariant &a, const QVariant &b, QString *why)
{
    const int id = qMetaTypeId<QList<T>>();
    if (a.userType() != id || b.userType() != id) {
        *why = QStringLiteral("list types %1 / %2, expected %3").arg(a.userType()).arg(b.userType()).arg(id);
        return false;
    }
    const QList<T> la = qvariant_cast<QList<T>>(a);
    const QList<T> lb = qvariant_cast<QList<T>>(b);
    if (la != lb) {
        QStringList sa, sb;
        for (const T &v : la)
            sa << QString::number(double(v), 'g', 17);
        for (const T &v : lb)
            sb << QString::number(double(v), 'g', 17);
        *why = QStringLiteral("got {%1}, expected {%2}").arg(sa.join(','), sb.join(','));
        return false;
    }
    return true;
}

bool sameValue(int type, const QVariant &a, const QVariant &b, QString *why)
{
    switch (type) {
    case DT_Bool: return sameList<bool>(a, b, why);
    case DT_Int8: return sameList<char>(a, b, why);
    case DT_UInt8: return sameList<unsigned char>(a, b, why);
    case DT_Int16: return sameList<short>(a, b, why);
    case DT_UInt16: return sameList<unsigned short>(a, b, why);
    case DT_Int32: return sameList<int>(a, b, why);
    case DT_UInt32: return sameList<unsigned int>(a, b, why);
    case DT_Float: return sameList<float>(a, b, why);
    case DT_Int64: return sameList<long long>(a, b, why);
    case DT_UInt64: return sameList<unsigned long long>(a, b, why);
    case DT_Double: return sameList<double>(a, b, why);
    default: *why = QStringLiteral("no list type"); return false;
    }
}

QList<bool> bits(const char *pattern)
{
    QList<bool> out;
    for (const char *p = pattern; *p; ++p)
        out << (*p == '1');
    return out;
}

template <typename T>
QVariant listOf(std::initializer_list<T> values)
{
    return QVariant::fromValue(QList<T>(values));
}

// "X17" -> ('X', 15): the simulator numbers X and Y devices plainly.
QPair<char, int> simDevice(const QString &address)
{
    int nameLength = 0;
    const char area = PlcMemory::areaNamed(address, &nameLength);
    const QString digits = address.mid(nameLength);
    const int n = (area == 'X' || area == 'Y') ? digits.toInt(nullptr, 8) : digits.toInt();
    return qMakePair(area, n);
}

const QStringList kTransports = {QStringLiteral("tcp"), QStringLiteral("pty")};

} // namespace

class tst_KelvaroEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void pluginExportsOnlyTheEntry();
    void writeReadEveryType_data();
    void writeReadEveryType();
    void readSeededMemory_data();
    void readSeededMemory();
    void largeTransfersSplit_data();
    void largeTransfersSplit();
    void failedChunkEndsTheTransfer_data();
    void failedChunkEndsTheTransfer();
    void forcedBitsStopAtFirstFailure_data();
    void forcedBitsStopAtFirstFailure();
    void faults_data();
    void faults();
    void answerInTwoPieces_data();
    void answerInTwoPieces();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void connectionClosedByPlc();
    void plcGoesAwayAndComesBack();
    void traceLines_data();
    void traceLines();

private:
    CDriveBaseClass *newDriver();
    CDriveBaseClass *driver(const QString &transport);
    QString connectText(const QString &transport) const;
    void seed(const QList<Seed> &seeds);
    static void addTransportRows(const char *name, const std::function<void(QTestData &)> &fill);

    PlcSimulator m_sim;
    QLibrary m_plugin;
    GetSharedLibraryFn m_entry = nullptr;
    QString m_tcp;
    QString m_pty;
    CDriveBaseClass *m_tcpDriver = nullptr;
    CDriveBaseClass *m_ptyDriver = nullptr;
    QList<CDriveBaseClass *> m_drivers;
};

void tst_KelvaroEndToEnd::addTransportRows(const char *name, const std::function<void(QTestData &)> &fill)
{
    for (const QString &t : kTransports) {
        QTestData &row = QTest::newRow(qPrintable(t + QLatin1Char(' ') + QLatin1String(name)));
        row << t;
        fill(row);
    }
}

CDriveBaseClass *tst_KelvaroEndToEnd::newDriver()
{
    CDriveBaseClass *d = m_entry();
    m_drivers << d;
    return d;
}

CDriveBaseClass *tst_KelvaroEndToEnd::driver(const QString &transport)
{
    return transport == QLatin1String("tcp") ? m_tcpDriver : m_ptyDriver;
}

QString tst_KelvaroEndToEnd::connectText(const QString &transport) const
{
    return transport == QLatin1String("tcp") ? m_tcp : m_pty + QStringLiteral(",9600,7,1,E");
}

void tst_KelvaroEndToEnd::seed(const QList<Seed> &seeds)
{
    for (const Seed &s : seeds) {
        const QPair<char, int> dev = simDevice(s.first);
        if (PlcMemory::isWordArea(dev.first))
            m_sim.setWord(dev.first, dev.second, quint16(s.second));
        else
            m_sim.setBit(dev.first, dev.second, s.second != 0);
    }
}

void tst_KelvaroEndToEnd::initTestCase()
{
    registerLabelMetaTypes();
    QString dir = qEnvironmentVariable("PLC_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    m_plugin.setFileName(dir + QStringLiteral("/libLibKelvaro" PLC_NAME_SUFFIX ".so.1"));
    QVERIFY2(m_plugin.load(), qPrintable(m_plugin.errorString()));
    m_entry = reinterpret_cast<GetSharedLibraryFn>(m_plugin.resolve("getSharedLibrary"));
    QVERIFY(m_entry);

    QString error;
    m_tcp = m_sim.addEndpoint(QStringLiteral("fxport"), QStringLiteral("127.0.0.1:0"), &error);
    QVERIFY2(!m_tcp.isEmpty(), qPrintable(error));
    m_pty = m_sim.addEndpoint(QStringLiteral("fxport"), QStringLiteral("pty"), &error);
    QVERIFY2(!m_pty.isEmpty(), qPrintable(error));

    m_tcpDriver = newDriver();
    m_ptyDriver = newDriver();
    QCOMPARE(m_tcpDriver->ConnectDrive(connectText(QStringLiteral("tcp"))), 0);
    QCOMPARE(m_ptyDriver->ConnectDrive(connectText(QStringLiteral("pty"))), 0);
    QCOMPARE(m_tcpDriver->getDriveName(), QStringLiteral("Kelvaro"));
}

void tst_KelvaroEndToEnd::cleanupTestCase()
{
    for (CDriveBaseClass *d : m_drivers) {
        d->DisConnectDrive();
        d->DestroyFree();
        // The host frees the object through its QObject side.
        delete dynamic_cast<QObject *>(d);
    }
    m_drivers.clear();
}

void tst_KelvaroEndToEnd::init()
{
    m_sim.clearFaults();
    m_sim.clearMemory();
    // A fresh connection: no test starts on a PLC an earlier one made silent.
    QCOMPARE(m_tcpDriver->ConnectDrive(connectText(QStringLiteral("tcp"))), 0);
    QCOMPARE(m_ptyDriver->ConnectDrive(connectText(QStringLiteral("pty"))), 0);
}

void tst_KelvaroEndToEnd::pluginExportsOnlyTheEntry()
{
    // Class members stay inside the plug-in; only the entry is visible.
    QVERIFY(!m_plugin.resolve("_ZN23CmdMitsubishi_FX_serial16buildReadRequestEbii"));
    QVERIFY(!m_plugin.resolve("_ZN23LibMitsubishi_FX_serial12parseAddressERK7QStringP8FxDevice"));
    QVERIFY(!m_plugin.resolve("_ZN14CLabelVariableC1Ev"));
    CDriveBaseClass *a = newDriver();
    CDriveBaseClass *b = newDriver();
    QVERIFY(a != b);
    QCOMPARE(a->getversion_number(), QStringLiteral("V1.2.2 20230221"));
    QCOMPARE(a->DebugCmd(DebugBuildVersion), QStringLiteral("v1.2.2 2023-12-18 11:13:48"));
}

void tst_KelvaroEndToEnd::writeReadEveryType_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVariant>("list");
    QTest::addColumn<QVariantList>("memory");  // device words (D) or bits from the address on

    auto row = [](const char *name, const char *address, int type, int count, const QVariant &list,
                  const QVariantList &memory) {
        addTransportRows(name, [=](QTestData &r) {
            r << QString::fromLatin1(address) << type << count << list << memory;
        });
    };
    auto bitMemory = [](const char *pattern) {
        QVariantList v;
        for (bool b : bits(pattern))
            v << b;
        return v;
    };

    row("bool M3 x10", "M3", DT_Bool, 10, QVariant::fromValue(bits("1011001011")), bitMemory("1011001011"));
    row("bool Y5 x5 octal", "Y5", DT_Bool, 5, QVariant::fromValue(bits("10110")), bitMemory("10110"));
    row("bool X16 x4 octal", "X16", DT_Bool, 4, QVariant::fromValue(bits("1101")), bitMemory("1101"));
    row("bool M8000 x3", "M8000", DT_Bool, 3, QVariant::fromValue(bits("011")), bitMemory("011"));
    row("bool S10 x3", "S10", DT_Bool, 3, QVariant::fromValue(bits("101")), bitMemory("101"));
    row("bool M0 x1", "M0", DT_Bool, 1, QVariant::fromValue(bits("1")), bitMemory("1"));
    row("int8 D10", "D10", DT_Int8, 4, listOf<char>({char(-1), 2, char(-128), 127}),
        QVariantList{0x02FF, 0x7F80});
    row("uint8 D11", "D11", DT_UInt8, 2, listOf<unsigned char>({0xAB, 0xCD}), QVariantList{0xCDAB});
    row("int16 D100", "D100", DT_Int16, 2, listOf<short>({0x1234, -2}), QVariantList{0x1234, 0xFFFE});
    row("uint16 D8000", "D8000", DT_UInt16, 2, listOf<unsigned short>({0xBEEF, 1}), QVariantList{0xBEEF, 1});
    row("int32 D0", "D0", DT_Int32, 1, listOf<int>({0x12345678}), QVariantList{0x5678, 0x1234});
    row("uint32 D8254", "D8254", DT_UInt32, 1, listOf<unsigned int>({0xDEADBEEFu}), QVariantList{0xBEEF, 0xDEAD});
    row("float D200", "D200", DT_Float, 2, listOf<float>({1.0f, -2.5f}), QVariantList{0, 0x3F80, 0, 0xC020});
    row("int64 D300", "D300", DT_Int64, 1, listOf<long long>({-2}), QVariantList{0xFFFE, 0xFFFF, 0xFFFF, 0xFFFF});
    row("uint64 D7996", "D7996", DT_UInt64, 1, listOf<unsigned long long>({0x0123456789ABCDEFull}),
        QVariantList{0xCDEF, 0x89AB, 0x4567, 0x0123});
    row("double D400", "D400", DT_Double, 1, listOf<double>({1.0}), QVariantList{0, 0, 0, 0x3FF0});
    row("int16 TN5", "TN5", DT_Int16, 2, listOf<short>({-3, 7}), QVariantList{0xFFFD, 7});
    row("uint16 CN199", "CN199", DT_UInt16, 1, listOf<unsigned short>({0xCAFE}), QVariantList{0xCAFE});
    // A 32-bit counter: the low word in CN200, the high word apart from CN201.
    row("int32 CN200 x2", "CN200", DT_Int32, 2, listOf<int>({0x12345678, -1}), QVariantList{0x5678, 0xFFFF});
}

void tst_KelvaroEndToEnd::writeReadEveryType()
{
    QFETCH(QString, transport);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(QVariant, list);
    QFETCH(QVariantList, memory);
    CDriveBaseClass *d = driver(transport);

    CLabelVariable in;
    in.value = list;
    const QDateTime before = QDateTime::currentDateTime();
    const CLabelVariable w = d->WriteVariable(address, DataType(type), in, count);
    QCOMPARE(w.status, 0);
    QVERIFY(w.timestamp >= before.addSecs(-1));
    QCOMPARE(w.address, address);
    QCOMPARE(w.count, count);
    QCOMPARE(w.dataType, type);

    const QPair<char, int> dev = simDevice(address);
    for (int i = 0; i < memory.size(); ++i) {
        if (PlcMemory::isWordArea(dev.first))
            QCOMPARE(int(m_sim.word(dev.first, dev.second + i)), memory.at(i).toInt());
        else
            QCOMPARE(m_sim.bit(dev.first, dev.second + i), memory.at(i).toBool());
    }
    // Neighbours stay untouched.
    if (PlcMemory::isWordArea(dev.first)) {
        QCOMPARE(int(m_sim.word(dev.first, dev.second + memory.size())), 0);
    } else {
        QCOMPARE(m_sim.bit(dev.first, dev.second + memory.size()), false);
        if (dev.second > 0)
            QCOMPARE(m_sim.bit(dev.first, dev.second - 1), false);
    }

    const CLabelVariable r = d->ReadVariable(address, DataType(type), count);
    QCOMPARE(r.status, 0);
    QVERIFY(!r.timestamp.isNull());
    QCOMPARE(r.address, address);
    QCOMPARE(r.count, count);
    QString why;
    QVERIFY2(sameValue(type, r.value, list, &why), qPrintable(why));
}

void tst_KelvaroEndToEnd::readSeededMemory_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QList<Seed>>("seeds");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVariant>("expected");

    auto row = [](const char *name, const QList<Seed> &seeds, const char *address, int type, int count,
                  const QVariant &expected) {
        addTransportRows(name, [=](QTestData &r) {
            r << seeds << QString::fromLatin1(address) << type << count << expected;
        });
    };
    const QList<Seed> m3to10 = {{"M2", 1}, {"M3", 1}, {"M5", 1}, {"M8", 1}, {"M10", 1}, {"M11", 1}};
    row("M3 x8 is M3..M10", m3to10, "M3", DT_Bool, 8, QVariant::fromValue(bits("10100101")));
    row("M5 x20 across bytes", {{"M5", 1}, {"M12", 1}, {"M16", 1}, {"M24", 1}},
        "M5", DT_Bool, 20, QVariant::fromValue(bits("10000001000100000001")));
    row("X17 is input 15", {{"X17", 1}}, "X17", DT_Bool, 1, QVariant::fromValue(bits("1")));
    row("X16 x4 octal run", {{"X17", 1}, {"X20", 1}}, "X16", DT_Bool, 4, QVariant::fromValue(bits("0110")));
    row("x10 lower case", {{"X10", 1}, {"X12", 1}}, "x10", DT_Bool, 8, QVariant::fromValue(bits("10100000")));
    row("Y0 as word", {{"Y0", 1}, {"Y17", 1}}, "Y0", DT_UInt16, 1, listOf<unsigned short>({0x8001}));
    row("M16 as word", {{"M17", 1}, {"M31", 1}}, "M16", DT_Int16, 1, listOf<short>({short(0x8002)}));
    row("M8000 is not M0", {{"M8000", 1}, {"M1", 1}}, "M8000", DT_Bool, 2, QVariant::fromValue(bits("10")));
    row("M0 is not M8000", {{"M8000", 1}, {"M1", 1}}, "M0", DT_Bool, 2, QVariant::fromValue(bits("01")));
    row("M8255", {{"M8255", 1}}, "M8255", DT_Bool, 1, QVariant::fromValue(bits("1")));
    row("S5", {{"S5", 1}}, "S5", DT_Bool, 1, QVariant::fromValue(bits("1")));
    row("TS8 contacts", {{"TS9", 1}, {"S9", 1}}, "TS8", DT_Bool, 3, QVariant::fromValue(bits("010")));
    row("CS0 contacts as word", {{"CS1", 1}, {"CS15", 1}}, "CS0", DT_UInt16, 1, listOf<unsigned short>({0x8002}));
    row("S0 bytes", {{"S0", 1}, {"S9", 1}}, "S0", DT_UInt8, 2, listOf<unsigned char>({0x01, 0x02}));
    row("D8000", {{"D8000", 0xBEEF}}, "D8000", DT_UInt16, 1, listOf<unsigned short>({0xBEEF}));
    row("D8255", {{"D8255", 0x8000}}, "D8255", DT_Int16, 1, listOf<short>({-32768}));
    row("D100 x2", {{"D100", 0x1234}, {"D101", 0x5678}}, "D100", DT_Int16, 2, listOf<short>({0x1234, 0x5678}));
    row("D0 as bits", {{"D0", 0x0105}}, "D0", DT_Bool, 10, QVariant::fromValue(bits("1010000010")));
    row("int8 count 3 reads 2", {{"D0", 0x0201}}, "D0", DT_Int8, 3, listOf<char>({1, 2}));
}

void tst_KelvaroEndToEnd::readSeededMemory()
{
    QFETCH(QString, transport);
    QFETCH(QList<Seed>, seeds);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(QVariant, expected);
    seed(seeds);
    const CLabelVariable r = driver(transport)->ReadVariable(address, DataType(type), count);
    QCOMPARE(r.status, 0);
    QString why;
    QVERIFY2(sameValue(type, r.value, expected, &why), qPrintable(why));
}

void tst_KelvaroEndToEnd::largeTransfersSplit_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("readRequests");
    QTest::addColumn<int>("writeRequests");

    auto row = [](const char *name, const char *address, int type, int count, int reads, int writes) {
        addTransportRows(name, [=](QTestData &r) { r << QString::fromLatin1(address) << type << count << reads << writes; });
    };
    row("300 words", "D1000", DT_UInt16, 300, 10, 10);           // 600 bytes
    row("64 bytes in one", "D0", DT_Int32, 16, 1, 1);             // exactly one request
    row("65 bytes in two", "D0", DT_UInt8, 66, 2, 2);
    row("doubles to D7999", "D7900", DT_Double, 25, 4, 4);        // 200 bytes, ends at D7999
    row("1000 bits from M20", "M20", DT_Bool, 1000, 2, 1000);     // 126 bytes; forces one by one
    row("32-bit counters never split", "CN200", DT_Int32, 56, 56, 4);  // read-words=3: 4 of 6 bytes a read
}

void tst_KelvaroEndToEnd::largeTransfersSplit()
{
    QFETCH(QString, transport);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, readRequests);
    QFETCH(int, writeRequests);
    CDriveBaseClass *d = driver(transport);

    CLabelVariable in;
    const bool bits = type == DT_Bool;
    if (bits) {
        QList<bool> l;
        for (int i = 0; i < count; ++i)
            l << (i % 3 == 0 || i % 7 == 0);
        in.value = QVariant::fromValue(l);
    } else if (type == DT_UInt16) {
        QList<unsigned short> l;
        for (int i = 0; i < count; ++i)
            l << quint16(0x1000 + i * 7);
        in.value = QVariant::fromValue(l);
    } else if (type == DT_Int32) {
        QList<int> l;
        for (int i = 0; i < count; ++i)
            l << (i * 0x01010101 + 3);
        in.value = QVariant::fromValue(l);
    } else if (type == DT_UInt8) {
        QList<unsigned char> l;
        for (int i = 0; i < count; ++i)
            l << quint8(i * 5 + 1);
        in.value = QVariant::fromValue(l);
    } else {
        QList<double> l;
        for (int i = 0; i < count; ++i)
            l << (i * 1.25 - 7.0);
        in.value = QVariant::fromValue(l);
    }

    int before = m_sim.requestCount();
    const CLabelVariable w = d->WriteVariable(address, DataType(type), in, count);
    QCOMPARE(w.status, 0);
    QCOMPARE(m_sim.requestCount() - before, writeRequests);

    const bool counters = address.startsWith(QLatin1String("CN"));
    d->SetConnectPar(QLatin1String(counters ? "read-words=3" : "read-words=32"));
    before = m_sim.requestCount();
    const CLabelVariable r = d->ReadVariable(address, DataType(type), count);
    d->SetConnectPar(QStringLiteral("read-words=32"));
    QCOMPARE(r.status, 0);
    QCOMPARE(m_sim.requestCount() - before, readRequests);
    QString why;
    QVERIFY2(sameValue(type, r.value, in.value, &why), qPrintable(why));

    if (type == DT_UInt16) {
        QCOMPARE(int(m_sim.word('D', 1000)), 0x1000);
        QCOMPARE(int(m_sim.word('D', 1299)), 0x1000 + 299 * 7);
        QCOMPARE(int(m_sim.word('D', 1300)), 0);
    }
    if (bits) {
        QCOMPARE(m_sim.bit('M', 20), true);
        QCOMPARE(m_sim.bit('M', 19), false);
        QCOMPARE(m_sim.bit('M', 1019), (999 % 3 == 0 || 999 % 7 == 0));
    }
}

void tst_KelvaroEndToEnd::failedChunkEndsTheTransfer_data()
{
    QTest::addColumn<QString>("transport");
    addTransportRows("300 words", [](QTestData &) {});
}

// The second of ten requests is refused: the write stops there (one chunk of 32
// words landed) and reports 7; a read likewise fails as a whole.
void tst_KelvaroEndToEnd::failedChunkEndsTheTransfer()
{
    QFETCH(QString, transport);
    CDriveBaseClass *d = driver(transport);
    QList<unsigned short> l;
    for (int i = 0; i < 300; ++i)
        l << quint16(i + 1);
    CLabelVariable in;
    in.value = QVariant::fromValue(l);

    int before = m_sim.requestCount();
    QVERIFY(m_sim.addFault(QStringLiteral("nak@%1").arg(before + 2)));
    const CLabelVariable w = d->WriteVariable(QStringLiteral("D0"), DT_UInt16, in, 300);
    QCOMPARE(w.status, 7);
    QVERIFY(w.timestamp.isNull());
    QCOMPARE(m_sim.requestCount() - before, 2);
    QCOMPARE(int(m_sim.word('D', 31)), 32);
    QCOMPARE(int(m_sim.word('D', 32)), 0);
    m_sim.clearFaults();

    before = m_sim.requestCount();
    QVERIFY(m_sim.addFault(QStringLiteral("badsum@%1").arg(before + 3)));
    const CLabelVariable r = d->ReadVariable(QStringLiteral("D0"), DT_UInt16, 300);
    QCOMPARE(r.status, 7);
    QVERIFY(!r.value.isValid());
    QCOMPARE(m_sim.requestCount() - before, 3);
}

void tst_KelvaroEndToEnd::forcedBitsStopAtFirstFailure_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    addTransportRows("nak", [](QTestData &r) { r << QStringLiteral("nak") << 7; });
    addTransportRows("noanswer", [](QTestData &r) { r << QStringLiteral("noanswer") << 8; });
}

void tst_KelvaroEndToEnd::forcedBitsStopAtFirstFailure()
{
    QFETCH(QString, transport);
    QFETCH(QString, fault);
    QFETCH(int, status);
    CDriveBaseClass *d = driver(transport);
    CLabelVariable in;
    in.value = QVariant::fromValue(bits("11111"));
    const int before = m_sim.requestCount();
    QVERIFY(m_sim.addFault(QStringLiteral("%1@%2").arg(fault).arg(before + 3)));
    const CLabelVariable w = d->WriteVariable(QStringLiteral("Y6"), DT_Bool, in, 5);
    QCOMPARE(w.status, status);
    QCOMPARE(m_sim.requestCount() - before, 3);
    // Y6, Y7 forced; Y10 was the failing one (a NAK leaves it, a lost answer
    // does not); Y11, Y12 never sent.
    QCOMPARE(m_sim.bit('Y', 6), true);
    QCOMPARE(m_sim.bit('Y', 7), true);
    QCOMPARE(m_sim.bit('Y', 8), fault != QLatin1String("nak"));
    QCOMPARE(m_sim.bit('Y', 9), false);
    QCOMPARE(m_sim.bit('Y', 10), false);
}

void tst_KelvaroEndToEnd::faults_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");

    struct Case { const char *op; const char *fault; int status; };
    const Case cases[] = {
        {"read", "noanswer", 8}, {"read", "nak", 7}, {"read", "truncate", 7},
        {"read", "badsum", 7}, {"read", "garbage", 7},
        {"write", "noanswer", 8}, {"write", "nak", 7}, {"write", "garbage", 7},
        // an ACK has no sum to spoil and no half to cut: it arrives as it is
        // (badsum) or not at all (truncate)
        {"write", "badsum", 0}, {"write", "truncate", 8},
        {"force", "noanswer", 8}, {"force", "nak", 7}, {"force", "garbage", 7},
    };
    for (const Case &c : cases) {
        const QByteArray name = QByteArray(c.op) + ' ' + c.fault;
        addTransportRows(name.constData(), [c](QTestData &r) {
            r << QString::fromLatin1(c.op) << QString::fromLatin1(c.fault) << c.status;
        });
    }
}

void tst_KelvaroEndToEnd::faults()
{
    QFETCH(QString, transport);
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(int, status);
    CDriveBaseClass *d = driver(transport);
    m_sim.setWord('D', 20, 0x4321);
    QVERIFY(m_sim.addFault(fault));

    auto run = [&]() -> CLabelVariable {
        CLabelVariable in;
        if (operation == QLatin1String("read"))
            return d->ReadVariable(QStringLiteral("D20"), DT_UInt16, 1);
        if (operation == QLatin1String("write")) {
            in.value = listOf<unsigned short>({0x1111});
            return d->WriteVariable(QStringLiteral("D21"), DT_UInt16, in, 1);
        }
        in.value = QVariant::fromValue(bits("1"));
        return d->WriteVariable(QStringLiteral("M7"), DT_Bool, in, 1);
    };
    const int before = m_sim.requestCount();
    const CLabelVariable failed = run();
    QCOMPARE(failed.status, status);
    QCOMPARE(m_sim.requestCount() - before, 1);
    if (status != 0) {
        QVERIFY(failed.timestamp.isNull());
        if (operation == QLatin1String("read"))
            QVERIFY(!failed.value.isValid());
    }
    if (fault == QLatin1String("nak")) {
        QCOMPARE(int(m_sim.word('D', 21)), 0);
        QCOMPARE(m_sim.bit('M', 7), false);
    }

    // The link is still good for the next request.
    m_sim.clearFaults();
    const CLabelVariable next = run();
    QCOMPARE(next.status, 0);
    const CLabelVariable check = d->ReadVariable(QStringLiteral("D20"), DT_UInt16, 2);
    QCOMPARE(check.status, 0);
    QString why;
    const QVariant expected = operation == QLatin1String("write")
                                  ? listOf<unsigned short>({0x4321, 0x1111})
                                  : listOf<unsigned short>({0x4321, 0});
    QVERIFY2(sameValue(DT_UInt16, check.value, expected, &why), qPrintable(why));
}

void tst_KelvaroEndToEnd::answerInTwoPieces_data()
{
    QTest::addColumn<QString>("transport");
    addTransportRows("pause 35 ms", [](QTestData &) {});
}

// The simulator sends the first half of the answer, pauses, then the rest (as
// a gateway or a slow line may): the answer is collected whole, not judged cut.
void tst_KelvaroEndToEnd::answerInTwoPieces()
{
    QFETCH(QString, transport);
    CDriveBaseClass *d = driver(transport);
    m_sim.setWord('D', 40, 0xA55A);
    QVERIFY(m_sim.addFault(QStringLiteral("split:35")));
    const CLabelVariable r = d->ReadVariable(QStringLiteral("D40"), DT_UInt16, 1);
    QCOMPARE(r.status, 0);
    QString why;
    QVERIFY2(sameValue(DT_UInt16, r.value, listOf<unsigned short>({0xA55A}), &why), qPrintable(why));
}

void tst_KelvaroEndToEnd::refusalsSendNothing_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("status");

    auto row = [](const char *name, const char *op, const char *address, int type, int count, int status) {
        addTransportRows(name, [=](QTestData &r) {
            r << QString::fromLatin1(op) << QString::fromLatin1(address) << type << count << status;
        });
    };
    row("read unknown letter", "read", "T5", DT_Int16, 1, 3);
    row("read letter not first", "read", "1D", DT_Int16, 1, 3);
    row("read type 0", "read", "D0", DT_None, 1, 2);
    row("read string on M", "read", "M0", DT_String, 4, 2);
    row("read string past D7999", "read", "D7998", DT_String, 5, 5);
    row("read string CN200: 32-bit counter", "read", "CN200", DT_String, 4, 2);
    row("read bits past D7999", "read", "D7999.15", DT_Bool, 2, 5);
    row("read count 0", "read", "D0", DT_Int16, 0, 4);
    row("read int8 count 1", "read", "D0", DT_Int8, 1, 4);
    row("read XD", "read", "XD", DT_Bool, 1, 5);
    row("read X9", "read", "X9", DT_Bool, 1, 5);
    row("read M1024", "read", "M1024", DT_Bool, 1, 5);
    row("read D8256", "read", "D8256", DT_Int16, 1, 5);
    row("read past D7999", "read", "D7990", DT_Int16, 11, 5);
    row("write unknown letter", "write", "T5", DT_Int16, 1, 3);
    row("write type 0", "write", "D0", DT_None, 1, 2);
    row("write count 0", "write", "D0", DT_Int16, 0, 4);
    row("write word to M", "write", "M0", DT_Int16, 1, 2);
    row("write word to Y", "write", "Y0", DT_Int16, 1, 2);
    row("write too few elements", "write", "D0", DT_Int16, 5, 4);
    row("write odd int8 count", "write", "D0", DT_Int8, 3, 4);
    row("write wrong list type", "write", "D0", DT_Int32, 1, 2);
    row("write TS contacts read only", "write", "TS5", DT_Bool, 1, 3);
    row("write bool to a bit of a word", "write", "D200.3", DT_Bool, 1, 5);
    row("write CS bad number still read only", "write", "CS999", DT_Int16, 1, 3);
    row("read CN200 int16: 32-bit counter", "read", "CN200", DT_Int16, 1, 2);
    row("read CN255 int32 x2 past the end", "read", "CN255", DT_Int32, 2, 5);
    row("read TN256", "read", "TN256", DT_Int16, 1, 5);
}

void tst_KelvaroEndToEnd::refusalsSendNothing()
{
    QFETCH(QString, transport);
    QFETCH(QString, operation);
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, status);
    CDriveBaseClass *d = driver(transport);
    const int before = m_sim.requestCount();
    CLabelVariable v;
    if (operation == QLatin1String("read")) {
        v = d->ReadVariable(address, DataType(type), count);
    } else {
        CLabelVariable in;
        in.value = listOf<short>({1, 2});
        v = d->WriteVariable(address, DataType(type), in, count);
    }
    QCOMPARE(v.status, status);
    QCOMPARE(v.address, address);
    QCOMPARE(v.count, count);
    QCOMPARE(v.dataType, type);
    // Let a stray request reach the simulator before counting.
    QTest::qWait(20);
    QCOMPARE(m_sim.requestCount(), before);
}

// The PLC side closes the TCP connection instead of answering: the request gets
// no answer, the connection is gone, and later requests are refused by the link
// until the host connects again.
void tst_KelvaroEndToEnd::connectionClosedByPlc()
{
    CDriveBaseClass *d = newDriver();
    QCOMPARE(d->ConnectDrive(m_tcp), 0);
    m_sim.setWord('D', 5, 77);
    QCOMPARE(d->ReadVariable(QStringLiteral("D5"), DT_Int16, 1).status, 0);

    g_messages.clear();
    g_previous = qInstallMessageHandler(capture);
    QVERIFY(m_sim.addFault(QStringLiteral("close")));
    const int first = d->ReadVariable(QStringLiteral("D5"), DT_Int16, 1).status;
    QTest::qWait(50);
    const int second = d->ReadVariable(QStringLiteral("D5"), DT_Int16, 1).status;
    qInstallMessageHandler(g_previous);
    QCOMPARE(first, 8);
    QCOMPARE(second, 9);
    const QString port = m_tcp.mid(m_tcp.lastIndexOf(QLatin1Char(':')) + 1);
    bool noticed = false;
    for (const Captured &c : g_messages)
        noticed |= c.type == QtWarningMsg
                   && c.text == QStringLiteral("\"lib[Kelvaro]127.0.0.1:%1 Disconnected=1\"").arg(port);
    QVERIFY2(noticed, "no disconnection notice");

    m_sim.clearFaults();
    QCOMPARE(d->ConnectDrive(m_tcp), 0);
    const CLabelVariable again = d->ReadVariable(QStringLiteral("D5"), DT_Int16, 1);
    QCOMPARE(again.status, 0);
    QString why;
    QVERIFY2(sameValue(DT_Int16, again.value, listOf<short>({77}), &why), qPrintable(why));
}

void tst_KelvaroEndToEnd::plcGoesAwayAndComesBack()
{
    QString error;
    const QString ep = m_sim.addEndpoint(QStringLiteral("fxport"), QStringLiteral("127.0.0.1:0"), &error);
    QVERIFY2(!ep.isEmpty(), qPrintable(error));
    CDriveBaseClass *d = newDriver();
    QCOMPARE(d->ConnectDrive(ep), 0);
    QCOMPARE(d->ReadVariable(QStringLiteral("M0"), DT_Bool, 1).status, 0);

    m_sim.stopEndpoint(ep);
    QTest::qWait(100);  // the socket learns of the close from the event loop
    const int before = m_sim.requestCount();
    QCOMPARE(d->ReadVariable(QStringLiteral("M0"), DT_Bool, 1).status, 9);
    CLabelVariable in;
    in.value = QVariant::fromValue(bits("1"));
    QCOMPARE(d->WriteVariable(QStringLiteral("M0"), DT_Bool, in).status, 9);
    QCOMPARE(m_sim.requestCount(), before);

    QVERIFY(m_sim.restartEndpoint(ep));
    QCOMPARE(d->ConnectDrive(ep), 0);
    QCOMPARE(d->WriteVariable(QStringLiteral("M0"), DT_Bool, in).status, 0);
    QCOMPARE(m_sim.bit('M', 0), true);
}

void tst_KelvaroEndToEnd::traceLines_data()
{
    QTest::addColumn<QString>("transport");
    addTransportRows("frames", [](QTestData &) {});
}

void tst_KelvaroEndToEnd::traceLines()
{
    QFETCH(QString, transport);
    CDriveBaseClass *d = driver(transport);
    const QString peer = transport == QLatin1String("tcp")
                             ? QStringLiteral("127.0.0.1:") + m_tcp.mid(m_tcp.lastIndexOf(QLatin1Char(':')) + 1)
                             : QStringLiteral(":0");
    m_sim.setWord('D', 100, 0x1234);
    m_sim.setWord('D', 101, 0x5678);

    g_messages.clear();
    g_previous = qInstallMessageHandler(capture);
    // Without the trace flag nothing is written.
    d->ReadVariable(QStringLiteral("D100"), DT_Int16, 2);
    const int silent = g_messages.size();

    QCOMPARE(d->DebugCmd(DebugStart), QStringLiteral("StartDebug"));
    const CLabelVariable r = d->ReadVariable(QStringLiteral("D100"), DT_Int16, 2);
    CLabelVariable in;
    in.value = listOf<short>({1});
    const CLabelVariable w = d->WriteVariable(QStringLiteral("D0"), DT_Int16, in, 1);
    in.value = QVariant::fromValue(bits("1"));
    const CLabelVariable f = d->WriteVariable(QStringLiteral("Y5"), DT_Bool, in, 1);
    QVERIFY(m_sim.addFault(QStringLiteral("noanswer")));
    const CLabelVariable lost = d->ReadVariable(QStringLiteral("D100"), DT_Int16, 2);
    m_sim.clearFaults();
    QCOMPARE(d->DebugCmd(DebugStop), QStringLiteral("StopDebug"));
    d->ReadVariable(QStringLiteral("D100"), DT_Int16, 2);
    qInstallMessageHandler(g_previous);

    QCOMPARE(silent, 0);
    QCOMPARE(r.status, 0);
    QCOMPARE(w.status, 0);
    QCOMPARE(f.status, 0);
    QCOMPARE(lost.status, 8);

    // The lines go out as quoted strings (a QString streamed into the debug log).
    const QString q = QStringLiteral("\"");
    const QStringList expected = {
        q + QStringLiteral("lib[Kelvaro]读命令 %1 Area=D100  msg : 02453030343043383034034542").arg(peer) + q,
        q + QStringLiteral("lib[Kelvaro]响应 %1 Area=D100  msg : 023334313237383536034137").arg(peer) + q,
        q + QStringLiteral("lib[Kelvaro]写命令 %1 Area=D0  msg : 0245313034303030303230313030033930").arg(peer) + q,
        q + QStringLiteral("lib[Kelvaro]响应 %1 Area=D0  msg : 06").arg(peer) + q,
        q + QStringLiteral("lib[Kelvaro]写命令 %1 Area=Y5  msg : 023730353035033034").arg(peer) + q,
        q + QStringLiteral("lib[Kelvaro]响应 %1 Area=Y5  msg : 06").arg(peer) + q,
        q + QStringLiteral("lib[Kelvaro]读命令 %1 Area=D100  msg : 02453030343043383034034542").arg(peer) + q,
        q + QStringLiteral("lib[Kelvaro]响应 %1 Area=D100  msg : ").arg(peer) + q,
    };
    QStringList got;
    for (const Captured &c : g_messages) {
        QCOMPARE(int(c.type), int(QtDebugMsg));
        got << c.text;
    }
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(tst_KelvaroEndToEnd)
#include "tst_KelvaroEndToEnd.moc"
