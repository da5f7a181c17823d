// 1E binary frames: byte-exact requests, the completeness test and the answer
// parsers, all through the static functions of CmdMarrowin.
#include "CmdMarrowin.h"

#include <QtTest>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
} // namespace

class TestCmdMarrowin : public QObject
{
    Q_OBJECT
private slots:
    void readRequest_data();
    void readRequest();
    void wordWriteRequest_data();
    void wordWriteRequest();
    void bitWriteRequest_data();
    void bitWriteRequest();
    void answerMissing_data();
    void answerMissing();
    void parseReadAnswer_data();
    void parseReadAnswer();
    void parseWriteAnswer_data();
    void parseWriteAnswer();
    void refusedBeforeSending();
};

void TestCmdMarrowin::readRequest_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("head");
    QTest::addColumn<int>("points");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("D100 one word") << 0x4420 << 100 << 1 << hex("01ff0a006400000020440100");
    QTest::newRow("head 0x123456") << 0x4420 << 0x123456 << 2 << hex("01ff0a005634120020440200");
    QTest::newRow("bits above 23 dropped") << 0x4420 << 0x7F000001 << 1 << hex("01ff0a000100000020440100");
    QTest::newRow("X code low byte first") << 0x5820 << 0x1F << 3 << hex("01ff0a001f00000020580300");
    QTest::newRow("256 points as 00") << 0x4D20 << 0 << 256 << hex("01ff0a0000000000204d0000");
    QTest::newRow("255 points") << 0x5920 << 16 << 255 << hex("01ff0a00100000002059ff00");
}

void TestCmdMarrowin::readRequest()
{
    QFETCH(int, code);
    QFETCH(int, head);
    QFETCH(int, points);
    QFETCH(QByteArray, frame);
    QCOMPARE(CmdMarrowin::buildReadRequest(code, head, points).toHex(), frame.toHex());
}

void TestCmdMarrowin::wordWriteRequest_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("head");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("D100 = 0x1234") << 0x4420 << 100 << hex("3412")
                                   << hex("03ff0a00640000002044 0100 3412");
    QTest::newRow("D0 two words") << 0x4420 << 0 << hex("78563412")
                                  << hex("03ff0a00000000002044 0200 78563412");
    QTest::newRow("Y20 one word of bits") << 0x5920 << 0x20 << hex("0180")
                                          << hex("03ff0a00200000002059 0100 0180");
}

void TestCmdMarrowin::wordWriteRequest()
{
    QFETCH(int, code);
    QFETCH(int, head);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, frame);
    QCOMPARE(CmdMarrowin::buildWordWriteRequest(code, head, data).toHex(), frame.toHex());
}

void TestCmdMarrowin::bitWriteRequest_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("head");
    QTest::addColumn<QByteArray>("points");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("M10..M14 on off on off on") << 0x4D20 << 10 << hex("0100010001")
        << hex("02ff0a000a000000204d 0500 101010");
    QTest::newRow("X1F one point") << 0x5820 << 0x1F << hex("01")
        << hex("02ff0a001f0000002058 0100 10");
    QTest::newRow("Y0 four points off on on off") << 0x5920 << 0 << hex("00010100")
        << hex("02ff0a00000000002059 0400 0110");
}

void TestCmdMarrowin::bitWriteRequest()
{
    QFETCH(int, code);
    QFETCH(int, head);
    QFETCH(QByteArray, points);
    QFETCH(QByteArray, frame);
    QCOMPARE(CmdMarrowin::buildBitWriteRequest(code, head, points).toHex(), frame.toHex());
}

void TestCmdMarrowin::answerMissing_data()
{
    QTest::addColumn<QByteArray>("soFar");
    QTest::addColumn<int>("normal");
    QTest::addColumn<int>("missing");
    QTest::newRow("nothing") << QByteArray() << 4 << 2;
    QTest::newRow("subheader only") << hex("81") << 4 << 1;
    QTest::newRow("read, no data yet") << hex("8100") << 4 << 2;
    QTest::newRow("read, half the data") << hex("810034") << 4 << 1;
    QTest::newRow("read complete") << hex("81003412") << 4 << 0;
    QTest::newRow("write complete") << hex("8300") << 2 << 0;
    QTest::newRow("error complete at 2") << hex("8151") << 4 << 0;
    QTest::newRow("0x5B waits for the abnormal code") << hex("815b") << 4 << 1;
    QTest::newRow("0x5B complete") << hex("815b10") << 4 << 0;
    QTest::newRow("more than wanted") << hex("8100341200") << 4 << 0;
}

void TestCmdMarrowin::answerMissing()
{
    QFETCH(QByteArray, soFar);
    QFETCH(int, normal);
    QFETCH(int, missing);
    QCOMPARE(CmdMarrowin::answerMissing(soFar, normal), missing);
}

void TestCmdMarrowin::parseReadAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("D100") << hex("81003412") << 1 << 0 << hex("3412");
    QTest::newRow("two words") << hex("8100341278 56") << 2 << 0 << hex("34127856");
    QTest::newRow("four bytes for one word") << hex("810034127856") << 1 << -1 << QByteArray();
    QTest::newRow("short data") << hex("81003412") << 2 << -1 << QByteArray();
    QTest::newRow("no data") << hex("8100") << 1 << -1 << QByteArray();
    QTest::newRow("completion code 51") << hex("8151") << 1 << -1 << QByteArray();
    QTest::newRow("completion code 5B") << hex("815b10") << 1 << -1 << QByteArray();
    QTest::newRow("wrong subheader") << hex("80003412") << 1 << -1 << QByteArray();
    QTest::newRow("write answer") << hex("83003412") << 1 << -1 << QByteArray();
    QTest::newRow("single byte") << hex("81") << 1 << -1 << QByteArray();
    QTest::newRow("empty") << QByteArray() << 1 << -1 << QByteArray();
    QTest::newRow("garbage") << hex("ffa5ffa5") << 1 << -1 << QByteArray();
}

void TestCmdMarrowin::parseReadAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, points);
    QFETCH(int, result);
    QFETCH(QByteArray, data);
    QByteArray out("pre");
    QCOMPARE(CmdMarrowin::parseReadAnswer(answer, points, &out), result);
    QCOMPARE(out.toHex(), (QByteArray("pre") + data).toHex());
}

void TestCmdMarrowin::parseWriteAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("subheader");
    QTest::addColumn<int>("result");
    QTest::newRow("word write accepted") << hex("8300") << 3 << 0;
    QTest::newRow("bit write accepted") << hex("8200") << 2 << 0;
    QTest::newRow("answer to the other write") << hex("8200") << 3 << -1;
    QTest::newRow("completion code 56") << hex("8356") << 3 << -1;
    QTest::newRow("completion code 5B") << hex("835b10") << 3 << -1;
    QTest::newRow("answer bit missing") << hex("0300") << 3 << -1;
    QTest::newRow("trailing byte") << hex("830000") << 3 << -1;
    QTest::newRow("single byte") << hex("83") << 3 << -1;
    QTest::newRow("empty") << QByteArray() << 3 << -1;
}

void TestCmdMarrowin::parseWriteAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, subheader);
    QFETCH(int, result);
    QCOMPARE(CmdMarrowin::parseWriteAnswer(answer, subheader), result);
}

void TestCmdMarrowin::refusedBeforeSending()
{
    CmdMarrowin link;
    QByteArray out;
    QCOMPARE(link.read_cmd(0x4420, 0, 2, QStringLiteral("D0"), &out), -3);
    QCOMPARE(link.write_cmd(0x4420, 0, QStringLiteral("D0"), hex("0100")), -3);
    QCOMPARE(link.write_bit_cmd(0x4D20, 0, QStringLiteral("M0"), hex("01")), -3);
    // The point field cannot carry these: refused without asking the link.
    QCOMPARE(link.read_cmd(0x4420, 0, 514, QStringLiteral("D0"), &out), -1);
    QCOMPARE(link.write_cmd(0x4420, 0, QStringLiteral("D0"), QByteArray(514, 0)), -1);
    QCOMPARE(link.write_bit_cmd(0x4D20, 0, QStringLiteral("M0"), QByteArray(257, 1)), -1);
    QCOMPARE(link.write_cmd(0x4420, 0, QStringLiteral("D0"), hex("010203")), -1);
    QVERIFY(out.isEmpty());
}

QTEST_GUILESS_MAIN(TestCmdMarrowin)
#include "tst_cmdmarrowin.moc"
