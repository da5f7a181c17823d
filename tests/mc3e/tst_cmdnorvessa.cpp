// 3E binary frames: byte-exact requests, the completeness test and the answer
// parsers, all through the static functions of CmdNorvessa.
#include "CmdNorvessa.h"
#include "McFrame.h"

#include <QtTest>

namespace {
int g_messages = 0;
void countMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
    ++g_messages;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
} // namespace

class TestCmdNorvessa : public QObject
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
    void bitNibbles();
    void disconnectedLinkSendsNothing();

};

void TestCmdNorvessa::readRequest_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("head");
    QTest::addColumn<int>("points");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("D100 one word") << 0xA8 << 100 << 1
        << hex("500000ffff03000c000a0001040000640000a80100");
    QTest::newRow("head 0x123456, upper bits dropped") << 0xA8 << 0x7F123456 << 2
        << hex("500000ffff03000c000a0001040000563412a80200");
    QTest::newRow("X1F 960 words") << 0x9C << 0x1F << 960
        << hex("500000ffff03000c000a00010400001f00009cc003");
    QTest::newRow("W0 65536 points keeps low 16 bits") << 0xB4 << 0 << 0x10000
        << hex("500000ffff03000c000a0001040000000000b40000");
}

void TestCmdNorvessa::readRequest()
{
    QFETCH(int, code);
    QFETCH(int, head);
    QFETCH(int, points);
    QFETCH(QByteArray, frame);
    const QByteArray built = CmdNorvessa::buildReadRequest(code, head, points);
    QCOMPARE(built.toHex(), frame.toHex());
    QCOMPARE(built.size(), 21);
}

void TestCmdNorvessa::wordWriteRequest_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("head");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");
    // Request data length 12 + 2n, command 1401, subcommand 0000.
    QTest::newRow("D100 = 0x1234") << 0xA8 << 100 << hex("3412")
        << hex("500000ffff03000e000a0001140000640000a80100 3412");
    QTest::newRow("D0 two words") << 0xA8 << 0 << hex("78563412")
        << hex("500000ffff030010000a0001140000000000a80200 78563412");
    QTest::newRow("M16 one word of bits") << 0x90 << 16 << hex("0580")
        << hex("500000ffff03000e000a0001140000100000900100 0580");
}

void TestCmdNorvessa::wordWriteRequest()
{
    QFETCH(int, code);
    QFETCH(int, head);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, frame);
    QCOMPARE(CmdNorvessa::buildWordWriteRequest(code, head, data).toHex(), frame.toHex());
}

void TestCmdNorvessa::bitWriteRequest_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("head");
    QTest::addColumn<QByteArray>("points");
    QTest::addColumn<QByteArray>("frame");
    // Request data length 12 + ceil(n / 2), subcommand 0001, first point in the
    // high nibble.
    QTest::newRow("M10..M14 on off on off on") << 0x90 << 10 << hex("0100010001")
        << hex("500000ffff03000f000a00011401000a0000900500 101010");
    QTest::newRow("Y2F one point on") << 0x9D << 0x2F << hex("01")
        << hex("500000ffff03000d000a00011401002f00009d0100 10");
    QTest::newRow("X0 two points off on") << 0x9C << 0 << hex("0001")
        << hex("500000ffff03000d000a0001140100000000 9c0200 01");
    QTest::newRow("M103 four points, non-zero means on") << 0x90 << 103 << hex("ff000700")
        << hex("500000ffff03000e000a0001140100670000900400 1010");
}

void TestCmdNorvessa::bitWriteRequest()
{
    QFETCH(int, code);
    QFETCH(int, head);
    QFETCH(QByteArray, points);
    QFETCH(QByteArray, frame);
    QCOMPARE(CmdNorvessa::buildBitWriteRequest(code, head, points).toHex(), frame.toHex());
}

void TestCmdNorvessa::answerMissing_data()
{
    QTest::addColumn<QByteArray>("soFar");
    QTest::addColumn<int>("missing");
    QTest::newRow("nothing") << QByteArray() << 9;
    QTest::newRow("part of the header") << hex("d00000ff") << 5;
    QTest::newRow("header announcing 4") << hex("d00000ffff030004 00") << 4;
    QTest::newRow("complete one-word answer") << hex("d00000ffff0300040000003412") << 0;
    QTest::newRow("error answer complete at 20") << hex("d00000ffff03000b0059c000ffff030001040000") << 0;
    QTest::newRow("error answer missing 4") << hex("d00000ffff03000b0059c000ffff0300") << 4;
    QTest::newRow("more than announced") << hex("d00000ffff030002000000ff") << 0;
}

void TestCmdNorvessa::answerMissing()
{
    QFETCH(QByteArray, soFar);
    QFETCH(int, missing);
    QCOMPARE(CmdNorvessa::answerMissing(soFar), missing);
}

void TestCmdNorvessa::parseReadAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("D100 one word") << hex("d00000ffff0300040000003412") << 1 << 0 << hex("3412");
    QTest::newRow("two words") << hex("d00000ffff030006000000341278 56") << 2 << 0 << hex("34127856");
    QTest::newRow("wrong subheader, right length") << hex("ff0000ffff0300040000003412") << 1 << 0
                                                   << hex("3412");
    QTest::newRow("short: one word for two") << hex("d00000ffff0300040000003412") << 2 << -1
                                             << QByteArray();
    QTest::newRow("no data at all") << hex("d00000ffff030002000000") << 1 << -1 << QByteArray();
    QTest::newRow("length field says 6, 4 follow") << hex("d00000ffff0300060000003412") << 2 << -1
                                                   << QByteArray();
    QTest::newRow("trailing byte") << hex("d00000ffff030004000000341200") << 1 << -1 << QByteArray();
    QTest::newRow("error end code") << hex("d00000ffff03000b0056c000ffff030001040000") << 1 << -1
                                    << QByteArray();
    QTest::newRow("end code non-zero with data length") << hex("d00000ffff0300040051c03412") << 1
                                                        << -1 << QByteArray();
    QTest::newRow("empty") << QByteArray() << 1 << -1 << QByteArray();
    QTest::newRow("one byte") << hex("d0") << 1 << -1 << QByteArray();
    QTest::newRow("header only") << hex("d00000ffff03000400") << 1 << -1 << QByteArray();
    QTest::newRow("ten bytes") << hex("d00000ffff0300040000") << 1 << -1 << QByteArray();
    QTest::newRow("garbage of the right size") << hex("ffa5ffa5ffa5ffa5ffa5ffa5ff") << 1 << -1
                                               << QByteArray();
}

void TestCmdNorvessa::parseReadAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, points);
    QFETCH(int, result);
    QFETCH(QByteArray, data);
    QByteArray out("pre");
    QCOMPARE(CmdNorvessa::parseReadAnswer(answer, points, &out), result);
    QCOMPARE(out.toHex(), (QByteArray("pre") + data).toHex());
}

void TestCmdNorvessa::parseWriteAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("accepted") << hex("d00000ffff030002000000") << 0;
    QTest::newRow("refused C05C") << hex("d00000ffff03000b005cc000ffff030001140100") << -1;
    QTest::newRow("cut") << hex("d00000ffff0300020000") << -1;
    QTest::newRow("length one too large") << hex("d00000ffff030003000000") << -1;
    QTest::newRow("data after end code") << hex("d00000ffff0300040000003412") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("single byte") << hex("d0") << -1;
}

void TestCmdNorvessa::parseWriteAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    QCOMPARE(CmdNorvessa::parseWriteAnswer(answer), result);
}

void TestCmdNorvessa::bitNibbles()
{
    QCOMPARE(McFrame::packBitNibbles(hex("0100010001")).toHex(), QByteArray("101010"));
    QCOMPARE(McFrame::packBitNibbles(hex("01010101")).toHex(), QByteArray("1111"));
    QCOMPARE(McFrame::packBitNibbles(QByteArray()).toHex(), QByteArray());
    QCOMPARE(McFrame::unpackBitNibbles(hex("1001"), 3).toHex(), QByteArray("010000"));
    QCOMPARE(McFrame::unpackBitNibbles(hex("10"), 4).toHex(), QByteArray("01000000"));
    QCOMPARE(McFrame::unpackBitNibbles(hex("10"), -1).size(), 0);
    QCOMPARE(McFrame::readLe(hex("0102"), 0, 2), qint64(0x0201));
    QCOMPARE(McFrame::readLe(hex("0102"), 1, 2), qint64(-1));
    QCOMPARE(McFrame::readLe(hex("0102"), -1, 1), qint64(-1));
}

void TestCmdNorvessa::disconnectedLinkSendsNothing()
{
    // A link that never connected reports -3 for every frame operation, before
    // any trace line.
    CmdNorvessa link;
    link.setTrace(true);
    QByteArray out;
    g_messages = 0;
    const QtMessageHandler previous = qInstallMessageHandler(countMessage);
    const int read = link.read_cmd(0xA8, 100, 2, QStringLiteral("D100"), &out);
    const int words = link.write_cmd(0xA8, 100, QStringLiteral("D100"), hex("3412"));
    const int bits = link.write_bit_cmd(0x90, 100, QStringLiteral("M100"), hex("01"));
    qInstallMessageHandler(previous);
    QCOMPARE(read, -3);
    QCOMPARE(words, -3);
    QCOMPARE(bits, -3);
    QCOMPARE(g_messages, 0);
    QVERIFY(out.isEmpty());
    // Data that no request can carry is refused before the link is asked.
    QCOMPARE(link.write_cmd(0xA8, 100, QStringLiteral("D100"), hex("34")), -1);
    QCOMPARE(link.write_cmd(0xA8, 100, QStringLiteral("D100"), QByteArray()), -1);
    QCOMPARE(link.write_bit_cmd(0x90, 100, QStringLiteral("M100"), QByteArray()), -1);
}

QTEST_GUILESS_MAIN(TestCmdNorvessa)
#include "tst_cmdnorvessa.moc"
