#pragma once
// End-to-end tests shared by the MC protocol plug-ins: the driver against the
// in-process simulator over TCP and a pseudo-terminal. Each test program holds
// one McEndToEnd<Lib...> with its plug-in's profile, forwards its test slots to
// it and supplies the data rows that differ between the plug-ins (QFETCH works
// in any function the running test calls).

#include "McTestSupport.h"
#include "PlcMemory.h"
#include "PlcSimulator.h"

#include <QLibrary>
#include <QUdpSocket>
#include <QtTest>
#include <cstring>
#include <memory>

namespace mctest {

struct McPluginProfile {
    QString protocol;      // simulator protocol name
    QString name;          // drive name: "lib[<name>]" prefixes the trace lines
    QString version;       // getversion_number
    QString buildVersion;  // DebugBuildVersion answer
    // Frames of "read D100 as one Int16" and "write 0x5678 to D101", in hex.
    QString readFrame, readAnswer, writeFrame, writeAnswer;
    int readWords;         // words per read request
    int writeBits;         // points per bit-unit write request
};

// The columns of the profiles test, and its rows on X/Y numbering, which both
// MC plug-ins share (QTest::newRow belongs to the running _data function).
inline void addProfileColumnsAndXyRows()
{
    QTest::addColumn<QString>("par");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("ignored");
    QTest::addColumn<QString>("frame");  // the first request in hex, when checked
    QTest::newRow("X20 hexadecimal is 32") << "" << "X20" << int(DT_Bool) << 1 << 32 << 1 << 0 << "" << "";
    QTest::newRow("xy=octal: X20 is 16") << "xy=octal" << "X20" << int(DT_Bool) << 1 << 16 << 1 << 0 << "" << "";
    QTest::newRow("xy=octal: Y17 is 15") << " xy = octal ;" << "Y17" << int(DT_Bool) << 1 << 15 << 1 << 0 << "" << "";
    QTest::newRow("xy=octal: X8 refused") << "xy=octal" << "X8" << int(DT_Bool) << 1 << -1 << 0 << 5 << "" << "";
    QTest::newRow("xy=hex") << "xy=hex" << "Y1F" << int(DT_Bool) << 1 << 31 << 1 << 0 << "" << "";
    QTest::newRow("bad xy value") << "xy=dec" << "X20" << int(DT_Bool) << 1 << 32 << 1 << 0 << "xy=dec" << "";
    QTest::newRow("transport=udp taken") << "transport=udp" << "X20" << int(DT_Bool) << 1 << 32 << 1 << 0 << "" << "";
    QTest::newRow("bad transport value") << "transport=sctp" << "X20" << int(DT_Bool) << 1 << 32 << 1 << 0 << "transport=sctp" << "";
    QTest::newRow("plc=q is hexadecimal") << "xy=octal;plc=q" << "X20" << int(DT_Bool) << 1 << 32 << 1 << 0 << "" << "";
}

template <class Lib>
class McEndToEnd
{
public:
    explicit McEndToEnd(const McPluginProfile &profile) : P(profile) {}

    void initTestCase()
    {
        registerLabelMetaTypes();
        m_sim = std::make_unique<PlcSimulator>();
        QString error;
        m_endpoint = m_sim->addEndpoint(P.protocol, QStringLiteral("127.0.0.1:0"), &error);
        QVERIFY2(!m_endpoint.isEmpty(), qPrintable(error));
        m_drv = std::make_unique<Lib>();
        QCOMPARE(m_drv->ConnectDrive(m_endpoint), 0);
    }

    void init()
    {
        m_sim->clearFaults();
        m_sim->clearMemory();
        if (!m_udpEndpoint.isEmpty())  // back to TCP after a row over UDP
            useTransport(QString(), m_endpoint);
        if (!m_drv->cmd().isOpen())
            QCOMPARE(m_drv->ConnectDrive(m_endpoint), 0);
    }

    void cleanupTestCase()
    {
        if (m_drv)
            m_drv->DestroyFree();
        m_drv.reset();
        m_sim.reset();
    }

    void identityAndExport()
    {
        const QString dir = qEnvironmentVariable("PLC_BIN_DIR", QCoreApplication::applicationDirPath());
        QLibrary lib(dir + QStringLiteral("/libLib%1" PLC_NAME_SUFFIX ".so.1").arg(P.name));
        QVERIFY2(lib.load(), qPrintable(lib.errorString()));
        auto entry = reinterpret_cast<GetSharedLibraryFn>(lib.resolve("getSharedLibrary"));
        QVERIFY(entry);
        // Nothing but the entry is visible.
        const QByteArray n = P.name.toLatin1();
        QVERIFY(!lib.resolve("_ZN11Lib" + n + "C1EP7QObject"));
        QVERIFY(!lib.resolve("_ZN11Cmd" + n + "16buildReadRequestEiii"));
        QVERIFY(!lib.resolve("_ZN13CMcDriverBase9Read_dataEii8DataTypei7QString"));

        CDriveBaseClass *a = entry();
        CDriveBaseClass *b = entry();
        QVERIFY(a && b && a != b);
        QCOMPARE(a->getDriveName(), P.name);
        QCOMPARE(a->getversion_number(), P.version);
        QCOMPARE(a->DebugCmd(DebugBuildVersion), P.buildVersion);
        QCOMPARE(a->DebugCmd(DebugDriveName), P.name);

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

    void exampleReadFrameAndTrace()
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
        const QString prefix = QStringLiteral("lib[%1]").arg(P.name);
        const QStringList want = {
            prefix + QStringLiteral("读命令 %1 Area=D100  msg : %2").arg(peer, P.readFrame),
            prefix + QStringLiteral("响应 %1 Area=D100  msg : %2").arg(peer, P.readAnswer),
            prefix + QStringLiteral("写命令 %1 Area=D101  msg : %2").arg(peer, P.writeFrame),
            prefix + QStringLiteral("响应 %1 Area=D101  msg : %2").arg(peer, P.writeAnswer),
        };
        QStringList got;
        for (const QString &l : lines) {
            if (l.contains(prefix))
                got << QString(l).remove(QLatin1Char('"'));
        }
        QCOMPARE(got, want);
        QCOMPARE(m_sim->word('D', 101), quint16(0x5678));
    }

    void roundTrip()
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

    void areaNumbering()
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

        // Timer and counter contacts and coils are read only: nothing is sent.
        const QString name = address.left(2).toUpper();
        const bool readOnly = name == "TS" || name == "TC" || name == "CS" || name == "CC" || name == "SS" || name == "SC";
        const int before = m_sim->requestCount();
        CLabelVariable w = write(address, DT_UInt16, labelOf(QList<unsigned short>{0x0FF0}), 1);
        QCOMPARE(w.status, readOnly ? 3 : 0);
        QCOMPARE(m_sim->requestCount() - before, readOnly ? 0 : 1);
        QCOMPARE(simBytes(*m_sim, area, number, 2, bitDevice).toHex(), QByteArray(readOnly ? "a55a" : "f00f"));
    }

    void boolRead()
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
        QCOMPARE(m_sim->requestCount() - before, requests);
    }

    void boolWrite()
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
        QCOMPARE(m_sim->requestCount() - before, (count + P.writeBits - 1) / P.writeBits);
        const QList<bool> bits = value.value.value<QList<bool>>();
        for (int i = 0; i < count; ++i)
            QCOMPARE(m_sim->bit(area, first + i), bits.at(i));
        for (int i = qMax(0, first - 16); i < first; ++i)
            QVERIFY2(m_sim->bit(area, i), qPrintable(QString::number(i)));
        for (int i = first + count; i < first + count + 16; ++i)
            QVERIFY2(m_sim->bit(area, i), qPrintable(QString::number(i)));
    }

    void largeTransfersSplit()
    {
        QFETCH(QString, address);
        QFETCH(char, area);
        QFETCH(int, number);
        QFETCH(bool, bitDevice);
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(int, writeRequests);
        QFETCH(int, readRequests);
        const CLabelVariable value = sampleLabel(type, count, 3);
        int before = m_sim->requestCount();
        QCOMPARE(write(address, type, value, count).status, 0);
        QCOMPARE(m_sim->requestCount() - before, writeRequests);
        const QByteArray expected = deviceBytes(value, type, count);
        QCOMPARE(simBytes(*m_sim, area, number, expected.size(), bitDevice), expected);

        before = m_sim->requestCount();
        CLabelVariable r = read(address, type, count);
        QCOMPARE(r.status, 0);
        QCOMPARE(m_sim->requestCount() - before, readRequests);
        QCOMPARE(describe(r, type, count), describe(value, type, count));
    }

    // SetConnectPar profiles: read limits and X/Y numbering, applied from the
    // next request; what is not taken is named in one warning line.
    void profiles()
    {
        QFETCH(QString, par);
        QFETCH(QString, address);
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(int, device);
        QFETCH(int, requests);
        QFETCH(int, status);
        QFETCH(QString, ignored);
        QFETCH(QString, frame);
        QStringList warnings;
        QStringList sent;
        {
            MessageCapture capture;
            m_drv->SetConnectPar(par);
            warnings = capture.lines().filter(QStringLiteral("lib[%1]SetConnectPar").arg(P.name));
        }
        if (device >= 0)
            m_sim->setBit(address.at(0).toLatin1(), device, true);
        const int before = m_sim->requestCount();
        CLabelVariable r;
        {
            MessageCapture capture;
            m_drv->DebugCmd(DebugStart);
            r = read(address, type, count);
            m_drv->DebugCmd(DebugStop);
            sent = capture.lines().filter(QStringLiteral("读命令"));
        }
        m_drv->SetConnectPar(QString());
        if (!frame.isEmpty())
            QVERIFY2(!sent.isEmpty() && sent.first().remove(QLatin1Char('"')).endsWith(QStringLiteral("msg : ") + frame),
                     qPrintable(sent.value(0)));
        QCOMPARE(r.status, status);
        QCOMPARE(m_sim->requestCount() - before, requests);
        if (device >= 0)
            QCOMPARE(r.value.value<QList<bool>>(), QList<bool>{true});
        QCOMPARE(warnings.size(), ignored.isEmpty() ? 0 : 1);
        if (!ignored.isEmpty())
            QVERIFY2(warnings.first().endsWith(ignored + QLatin1Char('"')), qPrintable(warnings.first()));
    }

    void endCodes()
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

    // A fault "udp F" runs the row over UDP with fault F.
    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(bool, isWrite);
        QFETCH(int, status);
        QFETCH(bool, written);
        const bool udp = fault.startsWith(QLatin1String("udp "));
        if (udp) {
            fault = fault.mid(4);
            useTransport(QStringLiteral("transport=udp"), udpEndpoint());
        }
        const bool split = fault.contains(QLatin1Char('@'));
        const int count = split ? P.readWords + 40 : 2;
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

    void lateAnswerIsNotTakenForTheNext()
    {
        m_sim->setWord('D', 10, 0x0A0A);
        m_sim->setWord('D', 11, 0x0B0B);
        // Later than the PLC's monitoring timer; the next read follows at once.
        QVERIFY(m_sim->addFault(QStringLiteral("late:3000")));
        QCOMPARE(read(QStringLiteral("D10"), DT_Int16, 1).status, 8);
        m_sim->clearFaults();
        CLabelVariable r = read(QStringLiteral("D11"), DT_Int16, 1);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.atInt16(0), short(0x0B0B));
    }

    void closedConnectionAndRecovery()
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

    void refusals()
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

    void writeToAddressZero()
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

    void notConnected()
    {
        Lib fresh;
        CLabelVariable r = fresh.ReadVariable(QStringLiteral("D0"), DT_Int16, 1);
        QCOMPARE(r.status, 9);
        QVERIFY(r.timestamp.isNull());
        QCOMPARE(fresh.WriteVariable(QStringLiteral("D0"), DT_Int16, labelOf(QList<short>{1}), 1).status, 9);
        QCOMPARE(fresh.WriteVariable(QStringLiteral("M0"), DT_Bool, labelOf(QList<bool>{true}), 1).status, 9);
        // The short forms go through the same path with count 1.
        QCOMPARE(fresh.ReadVariable(QStringLiteral("D0"), DT_Int16).status, 9);
        QCOMPARE(fresh.ReadVariable(QStringLiteral("Q0"), DT_Int16).status, 3);
        // Over UDP nothing is sent by a connect: a port where nothing listens is a time-out.
        fresh.SetConnectPar(QStringLiteral("transport=udp"));
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress(QHostAddress::LocalHost), 0));
        const QString silent = QStringLiteral("127.0.0.1:%1").arg(probe.localPort());
        probe.close();
        QCOMPARE(fresh.ConnectDrive(silent), 0);
        QCOMPARE(fresh.ReadVariable(QStringLiteral("D0"), DT_Int16, 1).status, 8);
    }

    void oneMemoryOneValue()
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
        QCOMPARE(write(QStringLiteral("D10"), DT_UInt32, labelOf(QList<unsigned int>{0x12345678u}), 1).status, 0);
        QCOMPARE(m_sim->word('D', 10), quint16(0x5678));
        QCOMPARE(m_sim->word('D', 11), quint16(0x1234));
    }

    void encoderRefusals()
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

    void serialLine()
    {
        QString error;
        const QString pty = m_sim->addEndpoint(P.protocol, QStringLiteral("pty"), &error);
        if (pty.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no pseudo-terminal: ") + error));
        Lib drv;
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
        QCOMPARE(drv.WriteVariable(QStringLiteral("D0"), DT_UInt16, big, 1200).status, 0);
        r = drv.ReadVariable(QStringLiteral("D0"), DT_UInt16, 1200);
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

    void directDataCalls()
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

    void metaObjectCast()
    {
        QObject *o = m_drv.get();
        QCOMPARE(QString::fromLatin1(o->metaObject()->className()), QStringLiteral("Lib") + P.name);
        QVERIFY(o->qt_metacast((QStringLiteral("Lib") + P.name).toLatin1().constData())
                == static_cast<void *>(m_drv.get()));
        QVERIFY(o->qt_metacast("CDriveBaseClass")
                == static_cast<void *>(static_cast<CDriveBaseClass *>(m_drv.get())));
        QVERIFY(!o->qt_metacast("NoSuchClass"));
        QCOMPARE(QString::fromLatin1(m_drv->cmd().metaObject()->className()), QStringLiteral("Cmd") + P.name);
    }

private:
    // The UDP endpoint as a plug-in opens it (without "udp:").
    QString udpEndpoint()
    {
        if (m_udpEndpoint.isEmpty())
            m_udpEndpoint = m_sim->addEndpoint(P.protocol, QStringLiteral("udp:127.0.0.1:0")).mid(4);
        return m_udpEndpoint;
    }
    void useTransport(const QString &par, const QString &endpoint)
    {
        m_drv->SetConnectPar(par);
        QCOMPARE(m_drv->ConnectDrive(endpoint), 0);
    }

    CLabelVariable read(const QString &text, int type, int count)
    {
        return m_drv->ReadVariable(text, DataType(type), count);
    }
    CLabelVariable write(const QString &text, int type, const CLabelVariable &v, int count)
    {
        return m_drv->WriteVariable(text, DataType(type), v, count);
    }

    McPluginProfile P;
    std::unique_ptr<PlcSimulator> m_sim;
    std::unique_ptr<Lib> m_drv;
    QString m_endpoint;
    QString m_udpEndpoint;  // made by the first row that runs over UDP
};

} // namespace mctest
