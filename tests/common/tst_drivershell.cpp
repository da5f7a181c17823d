// The driver shell shared by the four plug-ins: identity texts, the debug
// command, the connection text, connect/disconnect choice, the short forms of
// read and write, release, and the helpers of the read and write flows.

#include "LinkTestPeers.h"
#include "ShellTestDriver.h"

#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <cstring>

namespace {

// The host passes plain ints, values outside the enumeration included; the
// value is converted at the call, never stored in or loaded from an enum object.
#define commandCode(value) static_cast<EDebugCmdType>(value)

// Keeps the strings of a data row alive for the DriverIdentity pointers.
struct IdentityTexts {
    QByteArray name, version, versionTemplate, date, time;
    DriverIdentity identity() const
    {
        return {name.constData(), version.constData(), versionTemplate.constData(),
                date.constData(), time.constData()};
    }
};


int unusedLoopbackPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const int port = server.serverPort();
    server.close();
    return port;
}

} // namespace

class TestDriverShell : public QObject
{
    Q_OBJECT

private slots:
    void identityTexts_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("versionTemplate");
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QString>("buildVersion");
        QTest::newRow("Kelvaro") << QByteArray("Kelvaro") << QByteArray("V1.2.2 20230221")
                                 << QByteArray("v1.2.2 %1 %2") << QByteArray("Dec 18 2023")
                                 << QByteArray("11:13:48") << "v1.2.2 2023-12-18 11:13:48";
        QTest::newRow("Lunetta") << QByteArray("Kelvaro") << QByteArray("V1.2.2 20230221")
                                 << QByteArray("v1.2.1 %1 %2") << QByteArray("Dec 18 2023")
                                 << QByteArray("11:20:23") << "v1.2.1 2023-12-18 11:20:23";
        QTest::newRow("Marrowin") << QByteArray("Marrowin") << QByteArray("V1.0.0 20230221")
                                  << QByteArray("v1.0.1 %1 %2") << QByteArray("Dec 26 2023")
                                  << QByteArray("15:46:02") << "v1.0.1 2023-12-26 15:46:02";
        QTest::newRow("Norvessa") << QByteArray("Norvessa") << QByteArray("V1.0.3 20231122")
                                  << QByteArray("v1.0.4 %1 %2") << QByteArray("Dec 18 2023")
                                  << QByteArray("11:20:20") << "v1.0.4 2023-12-18 11:20:20";
        // Compiler date stamps pad a one-digit day with a blank.
        QTest::newRow("padded day") << QByteArray("Kelvaro") << QByteArray("V1.2.2 20230221")
                                    << QByteArray("v1.2.2 %1 %2") << QByteArray("Dec  8 2023")
                                    << QByteArray("09:05:01") << "v1.2.2 2023-12-08 09:05:01";
        QTest::newRow("padded day, May") << QByteArray("Marrowin") << QByteArray("V1.0.0 20230221")
                                         << QByteArray("v1.0.1 %1 %2") << QByteArray("May  1 2024")
                                         << QByteArray("00:00:00") << "v1.0.1 2024-05-01 00:00:00";
    }
    void identityTexts()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, versionTemplate);
        QFETCH(QByteArray, date);
        QFETCH(QByteArray, time);
        QFETCH(QString, buildVersion);
        const IdentityTexts texts{name, version, versionTemplate, date, time};
        ShellTestDriver driver(texts.identity());
        CDriveBaseClass *host = &driver;
        QCOMPARE(host->getDriveName(), QString::fromLatin1(name));
        QCOMPARE(host->getversion_number(), QString::fromLatin1(version));
        QCOMPARE(host->DebugCmd(DebugDriveName), QString::fromLatin1(name));
        QCOMPARE(host->DebugCmd(DebugBuildVersion), buildVersion);
        QCOMPARE(host->DebugCmd(DebugBuildVersion), buildVersion);  // same text every time
        QVERIFY(!driver.cmd().traceOn());
    }

    void debugCommands()
    {
        ShellTestDriver driver;
        CDriveBaseClass *host = &driver;
        QVERIFY(!driver.cmd().traceOn());
        QCOMPARE(host->DebugCmd(DebugStart), QStringLiteral("StartDebug"));
        QVERIFY(driver.cmd().traceOn());
        QCOMPARE(host->DebugCmd(DebugStart), QStringLiteral("StartDebug"));
        QVERIFY(driver.cmd().traceOn());

        // Unknown commands answer nothing and change nothing.
        for (int value : {4, 7, -1, 1000}) {
            const QString answer = host->DebugCmd(commandCode(value));
            QVERIFY2(answer.isNull(), qPrintable(QString::number(value)));
            QVERIFY(driver.cmd().traceOn());
        }

        QCOMPARE(host->DebugCmd(DebugStop), QStringLiteral("StopDebug"));
        QVERIFY(!driver.cmd().traceOn());
        QCOMPARE(host->DebugCmd(DebugStop), QStringLiteral("StopDebug"));
        QVERIFY(!driver.cmd().traceOn());
        QVERIFY(host->DebugCmd(commandCode(7)).isNull());
        QVERIFY(!driver.cmd().traceOn());
        QCOMPARE(host->DebugCmd(commandCode(0)), QStringLiteral("StartDebug"));
    }

    void connectionTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("linkCalled");
        QTest::addColumn<QString>("portName");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<QString>("parity");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("tcpPort");

        const QString none;
        // Neither form.
        QTest::newRow("empty") << "" << -4 << false << none << 0 << 0 << 0 << none << none << 0;
        QTest::newRow("bare port") << "ttyS1" << -4 << false << none << 0 << 0 << 0 << none << none << 0;
        QTest::newRow("blanks") << "ttyS1 9600 7 1 E" << -4 << false << none << 0 << 0 << 0 << none
                                << none << 0;
        // Serial form, incomplete: stored, link untouched.
        QTest::newRow("no port name") << ",9600,8,1,N" << -1 << false << "" << 9600 << 8 << 1 << "N"
                                       << none << 0;
        QTest::newRow("baud 0") << "ttyS1,0,8,1,N" << -1 << false << "ttyS1" << 0 << 8 << 1 << "N"
                                << none << 0;
        QTest::newRow("baud not a number") << "ttyS1,96OO,8,1,N" << -1 << false << "ttyS1" << 0 << 8
                                           << 1 << "N" << none << 0;
        QTest::newRow("data bits 0") << "ttyS1,9600,0,1,N" << -1 << false << "ttyS1" << 9600 << 0
                                     << 1 << "N" << none << 0;
        QTest::newRow("stop bits x") << "ttyS1,9600,8,x,N" << -1 << false << "ttyS1" << 9600 << 8
                                     << 0 << "N" << none << 0;
        QTest::newRow("one comma") << "ttyS1," << -1 << false << "ttyS1" << 0 << 0 << 0 << "" << none
                                   << 0;
        // Serial form handed to the link (the port does not exist here: -1 from the link).
        QTest::newRow("typical") << "ttyPLC9,9600,7,1,E" << -1 << true << "ttyPLC9" << 9600 << 7 << 1
                                 << "E" << none << 0;
        QTest::newRow("repeat last field") << "ttyPLC9,9600" << -1 << true << "ttyPLC9" << 9600 << 9600
                                           << 9600 << "9600" << none << 0;
        QTest::newRow("parity repeats stop bits") << "ttyPLC9,19200,8,2" << -1 << true << "ttyPLC9"
                                                  << 19200 << 8 << 2 << "2" << none << 0;
        QTest::newRow("sixth field ignored") << "ttyPLC9,9600,7,1,E,junk" << -1 << true << "ttyPLC9"
                                             << 9600 << 7 << 1 << "E" << none << 0;
        QTest::newRow("colon in serial form") << "ttyPLC9,9600,8,1,N:1" << -1 << true << "ttyPLC9"
                                              << 9600 << 8 << 1 << "N:1" << none << 0;
        // TCP form.
        QTest::newRow("no port") << "192.168.1.5:" << -1 << false << none << 0 << 0 << 0 << none
                                 << "192.168.1.5" << 0;
        QTest::newRow("semicolon only") << "192.168.1.5;5000" << -1 << false << none << 0 << 0 << 0
                                        << none << "192.168.1.5;5000" << 0;
        QTest::newRow("no host") << ":5000" << -1 << false << none << 0 << 0 << 0 << none << "" << 5000;
        QTest::newRow("second colon") << "192.168.1.5:5000:1" << -1 << false << none << 0 << 0 << 0
                                      << none << "192.168.1.5" << 0;
        QTest::newRow("host name") << "plc.local:5000" << -1 << true << none << 0 << 0 << 0 << none
                                   << "plc.local" << 5000;
        QTest::newRow("bad address") << "300.1.1.1:5000" << -1 << true << none << 0 << 0 << 0 << none
                                     << "300.1.1.1" << 5000;
    }
    void connectionTexts()
    {
        QFETCH(QString, text);
        QFETCH(int, result);
        QFETCH(bool, linkCalled);
        QFETCH(QString, portName);
        QFETCH(int, baud);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QFETCH(QString, parity);
        QFETCH(QString, host);
        QFETCH(int, tcpPort);

        ShellTestDriver driver;
        CDriveBaseClass *host_ = &driver;
        QCOMPARE(host_->ConnectDrive(text), result);
        QCOMPARE(driver.portName(), portName);
        QCOMPARE(driver.baudRate(), baud);
        QCOMPARE(driver.dataBits(), dataBits);
        QCOMPARE(driver.stopBits(), stopBits);
        QCOMPARE(driver.parity(), parity);
        QCOMPARE(driver.hostAddress(), host);
        QCOMPARE(driver.tcpPort(), tcpPort);
        QCOMPARE(driver.cmd().hasMedium(), linkCalled && result == 0);

        // The side-effect-free parse says the same.
        const ConnectText parsed = CDriverShell::parseConnectText(text);
        QCOMPARE(parsed.form == ConnectText::Neither, result == -4);
        if (parsed.form == ConnectText::Serial) {
            QCOMPARE(parsed.portName, portName);
            QCOMPARE(parsed.baudRate, baud);
            QCOMPARE(parsed.dataBits, dataBits);
            QCOMPARE(parsed.stopBits, stopBits);
            QCOMPARE(parsed.parity, parity);
        } else if (parsed.form == ConnectText::Tcp) {
            QCOMPARE(parsed.hostAddress, host);
            QCOMPARE(parsed.tcpPort, tcpPort);
        }
        QCOMPARE(parsed.complete, linkCalled);
    }

    void settingsOfTheOtherFormStay()
    {
        ShellTestDriver driver;
        QCOMPARE(driver.ConnectDrive(QStringLiteral("ttyS1,0,7,1,E")), -1);
        QCOMPARE(driver.ConnectDrive(QStringLiteral("10.0.0.1;x")), -1);
        QCOMPARE(driver.portName(), QStringLiteral("ttyS1"));
        QCOMPARE(driver.dataBits(), 7);
        QCOMPARE(driver.parity(), QStringLiteral("E"));
        QCOMPARE(driver.hostAddress(), QStringLiteral("10.0.0.1;x"));
        QCOMPARE(driver.tcpPort(), 0);
        QCOMPARE(driver.ConnectDrive(QStringLiteral(":502")), -1);
        QCOMPARE(driver.ConnectDrive(QStringLiteral(",1,2,3,4")), -1);
        QCOMPARE(driver.tcpPort(), 502);
        QCOMPARE(driver.hostAddress(), QString());
        QCOMPARE(driver.portName(), QString());
        QCOMPARE(driver.baudRate(), 1);
        QCOMPARE(driver.parity(), QStringLiteral("4"));
        // A text of neither form stores nothing.
        QCOMPARE(driver.ConnectDrive(QStringLiteral("nothing")), -4);
        QCOMPARE(driver.tcpPort(), 502);
        QCOMPARE(driver.baudRate(), 1);
    }

    void tcpConnectThroughTheLink()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        ShellTestDriver driver;
        const QString text = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
        QCOMPARE(driver.ConnectDrive(text), 0);
        QCOMPARE(driver.hostAddress(), QStringLiteral("127.0.0.1"));
        QCOMPARE(driver.tcpPort(), int(server.serverPort()));
        QVERIFY(driver.cmd().isOpen());
        QVERIFY(server.waitForNewConnection(1000));

        QCOMPARE(driver.DisConnectDrive(), 0);
        QVERIFY(!driver.cmd().isOpen());
        QCOMPARE(driver.tcpPort(), int(server.serverPort()));  // settings are kept

        // Refused: the link's -3 comes back unchanged.
        const int dead = unusedLoopbackPort();
        QCOMPARE(driver.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(dead)), -3);
        QCOMPARE(driver.tcpPort(), dead);
    }

    void disconnectChoice()
    {
        // Nothing configured: 1, the link is not touched.
        {
            ShellTestDriver driver;
            QCOMPARE(driver.DisConnectDrive(), 1);
            QVERIFY(!driver.cmd().hasMedium());
            // Incomplete serial settings do not count as configured.
            QCOMPARE(driver.ConnectDrive(QStringLiteral("ttyS1,9600,8,0,N")), -1);
            QCOMPARE(driver.DisConnectDrive(), 1);
        }
        PtyPair pty;
        QVERIFY(pty.isValid());
        // Serial only.
        {
            ShellTestDriver driver;
            QCOMPARE(driver.ConnectDrive(pty.slaveName() + QStringLiteral(",9600,8,1,N")), 0);
            QVERIFY(driver.cmd().isOpen());
            QCOMPARE(driver.DisConnectDrive(), 0);
            QVERIFY(!driver.cmd().isOpen());
            QCOMPARE(driver.DisConnectDrive(), 1);
        }
        // TCP first, then serial: the serial line replaced the connection.
        {
            QTcpServer server;
            QVERIFY(server.listen(QHostAddress::LocalHost, 0));
            ShellTestDriver driver;
            QCOMPARE(driver.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())), 0);
            QCOMPARE(driver.ConnectDrive(pty.slaveName() + QStringLiteral(",9600,8,1,N")), 0);
            QVERIFY(server.waitForNewConnection(1000));
            QTcpSocket *peer = server.nextPendingConnection();
            QVERIFY(peer->waitForDisconnected(1000));  // the connection was dropped
            QVERIFY(driver.cmd().isOpen());
            QCOMPARE(driver.DisConnectDrive(), 0);
            QCOMPARE(driver.DisConnectDrive(), 1);
        }
    }

    void shortFormsDelegateWithCountOne()
    {
        ShellTestDriver driver;
        CDriveBaseClass *host = &driver;
        CLabelVariable shortRead = host->ReadVariable(QStringLiteral("D100"), DT_Int16);
        CLabelVariable longRead = host->ReadVariable(QStringLiteral("D100"), DT_Int16, 1);
        QCOMPARE(driver.calls().size(), 2);
        QCOMPARE(driver.calls().at(0).write, false);
        QCOMPARE(driver.calls().at(0).address, QStringLiteral("D100"));
        QCOMPARE(driver.calls().at(0).type, int(DT_Int16));
        QCOMPARE(driver.calls().at(0).count, 1);
        QCOMPARE(shortRead.count, longRead.count);
        QCOMPARE(shortRead.address, longRead.address);
        QCOMPARE(shortRead.dataType, longRead.dataType);
        QCOMPARE(shortRead.status, longRead.status);
        QCOMPARE(shortRead.auxCode, longRead.auxCode);
        QCOMPARE(shortRead.value.value<QList<short>>(), longRead.value.value<QList<short>>());

        CLabelVariable value;
        value.value = QVariant::fromValue(QList<unsigned short>{200});
        value.dataType = DT_UInt16;
        CLabelVariable shortWrite = host->WriteVariable(QStringLiteral("M8000.3"), DT_Bool, value);
        QCOMPARE(driver.calls().size(), 3);
        const RecordedCall &write = driver.calls().at(2);
        QCOMPARE(write.write, true);
        QCOMPARE(write.address, QStringLiteral("M8000.3"));
        QCOMPARE(write.type, int(DT_Bool));
        QCOMPARE(write.count, 1);
        QCOMPARE(write.value.value.value<QList<unsigned short>>(), QList<unsigned short>{200});
        QCOMPARE(shortWrite.auxCode, 1);
        QCOMPARE(shortWrite.count, 1);
    }

    void setConnectParStoresLatin1()
    {
        ShellTestDriver driver;
        CDriveBaseClass *host = &driver;
        QVERIFY(driver.connectPar().isEmpty());
        host->SetConnectPar(QStringLiteral("12"));
        QCOMPARE(driver.connectPar(), QByteArray("12"));
        host->SetConnectPar(QString::fromUtf8("st\xc3\xa9"));
        QCOMPARE(driver.connectPar(), QByteArray("st\xe9"));
        host->SetConnectPar(QString());
        QVERIFY(driver.connectPar().isEmpty());
        // Neither connects nor touches the link.
        QVERIFY(!driver.cmd().hasMedium());
        QCOMPARE(driver.portName(), QString());
    }

    void destroyFreeReleasesAndStaysUsable()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        ShellTestDriver driver;
        CDriveBaseClass *host = &driver;
        QCOMPARE(host->DestroyFree(), 1);
        const QString text = pty.slaveName() + QStringLiteral(",9600,8,1,N");
        QCOMPARE(host->ConnectDrive(text), 0);
        QCOMPARE(host->DestroyFree(), 0);
        QVERIFY(!driver.cmd().hasMedium());
        QCOMPARE(host->DestroyFree(), 1);
        QCOMPARE(driver.baudRate(), 9600);  // settings survive
        QCOMPARE(host->ConnectDrive(text), 0);
        QVERIFY(driver.cmd().isOpen());
    }

    void interfaceCast()
    {
        ShellTestDriver driver;
        QObject *object = &driver;
        CDriveBaseClass *expected = &driver;
        QCOMPARE(qobject_cast<CDriveBaseClass *>(object), expected);
        QCOMPARE(object->qt_metacast("CDriveBaseClass"), static_cast<void *>(expected));
        QCOMPARE(object->qt_metacast("ShellTestDriver"), static_cast<void *>(&driver));
        QCOMPARE(object->qt_metacast("CDriverShell"), static_cast<void *>(static_cast<CDriverShell *>(&driver)));
        QCOMPARE(object->qt_metacast("QObject"), static_cast<void *>(object));
        QCOMPARE(object->qt_metacast("CLinkTransport"), static_cast<void *>(nullptr));
        QVERIFY(!qobject_cast<CDriveBaseClass *>(&driver.cmd()));
        // The interface part is a distinct base: its address differs from the QObject's.
        QVERIFY(static_cast<void *>(expected) != static_cast<void *>(object));
    }

    void statusForLinkResult_data()
    {
        QTest::addColumn<int>("linkResult");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("status");
        QTest::newRow("0") << 0 << 1 << 0;
        QTest::newRow("-1") << -1 << 1 << 7;
        QTest::newRow("-2") << -2 << 1 << 8;
        QTest::newRow("-3") << -3 << 1 << 9;
        QTest::newRow("busy") << int(CLinkTransport::Busy) << 1 << 6;
        QTest::newRow("1 keeps") << 1 << 1 << 1;
        QTest::newRow("-4 keeps") << -4 << 3 << 3;
        QTest::newRow("7 keeps") << 7 << 5 << 5;
    }
    void statusForLinkResult()
    {
        QFETCH(int, linkResult);
        QFETCH(int, current);
        QFETCH(int, status);
        QCOMPARE(CDriverShell::statusForLinkResult(linkResult, current), status);
    }

    void forEachChunk_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("maxPerRequest");
        QTest::addColumn<int>("failAtOffset");  // -1: every piece succeeds
        QTest::addColumn<QList<int>>("pieces");  // offset, length pairs
        QTest::addColumn<int>("result");
        QTest::newRow("nothing") << 0 << 64 << -1 << QList<int>{} << 0;
        QTest::newRow("negative") << -5 << 64 << -1 << QList<int>{} << 0;
        QTest::newRow("one piece") << 10 << 64 << -1 << QList<int>{0, 10} << 0;
        QTest::newRow("exact") << 128 << 64 << -1 << QList<int>{0, 64, 64, 64} << 0;
        QTest::newRow("rest") << 10 << 4 << -1 << QList<int>{0, 4, 4, 4, 8, 2} << 0;
        QTest::newRow("stops at failure") << 10 << 4 << 4 << QList<int>{0, 4, 4, 4} << -2;
        QTest::newRow("first fails") << 10 << 4 << 0 << QList<int>{0, 4} << -2;
        QTest::newRow("no piece size") << 10 << 0 << -1 << QList<int>{} << -1;
        QTest::newRow("negative piece size") << 10 << -3 << -1 << QList<int>{} << -1;
    }
    void forEachChunk()
    {
        QFETCH(int, total);
        QFETCH(int, maxPerRequest);
        QFETCH(int, failAtOffset);
        QFETCH(QList<int>, pieces);
        QFETCH(int, result);
        QList<int> seen;
        const int got = CDriverShell::forEachChunk(total, maxPerRequest, [&](int offset, int length) {
            seen << offset << length;
            return offset == failAtOffset ? -2 : 0;
        });
        QCOMPARE(got, result);
        QCOMPARE(seen, pieces);
    }

    void maxTransferBytes()
    {
        QCOMPARE(CDriverShell::MaxTransferBytes, 128 * 1024);
    }
};

QTEST_GUILESS_MAIN(TestDriverShell)
#include "tst_drivershell.moc"
