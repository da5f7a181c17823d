// Frame level of the programming-port link class: request frames byte for byte,
// answer judging with canned answers, and the character helpers.
#include "CmdMitsubishi_FX_serial.h"
#include "LibMitsubishi_FX_serial.h"

#include <QtTest>

namespace {

// STX + body + ETX + the sum digits as written in the test table.
QByteArray frame(const char *body, const char *sum)
{
    QByteArray f(1, '\x02');
    f += body;
    f += '\x03';
    f += sum;
    return f;
}

QByteArray digitsOf(const char *hex)
{
    QByteArray d;
    for (const char *p = hex; *p; ++p) {
        const char c = *p;
        d.append(char(c <= '9' ? c - '0' : c - 'A' + 10));
    }
    return d;
}

// A read answer for the data characters `data` with the sum computed here.
QByteArray answerFor(const QByteArray &data, char first = '\x02')
{
    QByteArray a(1, first);
    a += data;
    a += '\x03';
    unsigned sum = 0;
    for (int i = 1; i < a.size(); ++i)
        sum += quint8(a.at(i));
    a += QByteArray::number(sum & 0xFF, 16).rightJustified(2, '0').toUpper();
    return a;
}

} // namespace

class tst_CmdMitsubishi_FX_serial : public QObject
{
    Q_OBJECT
private slots:
    void readRequest_data();
    void readRequest();
    void forceRequest_data();
    void forceRequest();
    void writeRequest_data();
    void writeRequest();
    void builderRefusals();
    void readAnswer_data();
    void readAnswer();
    void readAnswerMissing_data();
    void readAnswerMissing();
    void writeAnswer_data();
    void writeAnswer();
    void andCheck();
    void hexCharacters();
    void badArgumentsNeverReachTheLink();

};

void tst_CmdMitsubishi_FX_serial::readRequest_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("D100 N2") << "D100" << 2 << frame("E0040C802", "E9");
    QTest::newRow("D0") << "D0" << 2 << frame("E00400002", "CE");
    QTest::newRow("D7999") << "D7999" << 2 << frame("E007E7E02", "02");
    QTest::newRow("D8000") << "D8000" << 2 << frame("E000E0002", "DF");
    QTest::newRow("D8255") << "D8255" << 2 << frame("E000FFE02", "0B");
    QTest::newRow("X17") << "X17" << 1 << frame("0008101", "5D");
    QTest::newRow("X0") << "X0" << 1 << frame("0008001", "5C");
    QTest::newRow("X377") << "X377" << 1 << frame("0009F01", "73");
    QTest::newRow("Y0") << "Y0" << 1 << frame("000A001", "65");
    QTest::newRow("Y17") << "Y17" << 1 << frame("000A101", "66");
    QTest::newRow("M100") << "M100" << 1 << frame("0010C01", "68");
    QTest::newRow("M1023") << "M1023" << 1 << frame("0017F01", "72");
    QTest::newRow("M8000 own area") << "M8000" << 1 << frame("001E001", "6A");
    QTest::newRow("M8255") << "M8255" << 1 << frame("001FF01", "81");
    QTest::newRow("S0 command 0") << "S0" << 1 << frame("0000001", "54");
    QTest::newRow("S5") << "S5" << 1 << frame("0000001", "54");
    QTest::newRow("S999") << "S999" << 1 << frame("0007C01", "6E");
    QTest::newRow("M100 N40") << "M100" << 40 << frame("0010C28", "71");
    QTest::newRow("lower case x10") << "x10" << 1 << frame("0008101", "5D");
    QTest::newRow("TS5 T contacts 00C0") << "TS5" << 1 << frame("000C001", "67");
    QTest::newRow("CS9 C contacts 01C1") << "CS9" << 1 << frame("001C101", "69");
    QTest::newRow("TN5 value E00 080A") << "TN5" << 2 << frame("E00080A02", "E3");
    QTest::newRow("CN199 value E00 0B8E") << "CN199" << 2 << frame("E000B8E02", "F9");
    QTest::newRow("CN200 32-bit E00 0C00") << "CN200" << 4 << frame("E000C0004", "DF");
}

void tst_CmdMitsubishi_FX_serial::readRequest()
{
    QFETCH(QString, address);
    QFETCH(int, bytes);
    QFETCH(QByteArray, expected);
    FxDevice dev;
    QCOMPARE(LibMitsubishi_FX_serial::parseAddress(address, &dev), 0);
    QCOMPARE(CmdMitsubishi_FX_serial::buildReadRequest(dev.wordDevice, dev.firstByte, bytes), expected);
}

void tst_CmdMitsubishi_FX_serial::forceRequest_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("Y5 on") << "Y5" << true << frame("70505", "04");
    QTest::newRow("Y17 on: output 15") << "Y17" << true << frame("70F05", "15");
    QTest::newRow("X0 off") << "X0" << false << frame("80004", "FF");
    QTest::newRow("X377 on") << "X377" << true << frame("7FF04", "2A");
    QTest::newRow("M300 whole address") << "M300" << true << frame("72C09", "18");
    QTest::newRow("M100 off") << "M100" << false << frame("86408", "0D");
    QTest::newRow("M8000 on") << "M8000" << true << frame("7000F", "10");
    QTest::newRow("M8255 off") << "M8255" << false << frame("8FF0F", "3D");
    QTest::newRow("S5 on") << "S5" << true << frame("70500", "FF");
    QTest::newRow("S999 on") << "S999" << true << frame("7E703", "19");
}

void tst_CmdMitsubishi_FX_serial::forceRequest()
{
    QFETCH(QString, address);
    QFETCH(bool, on);
    QFETCH(QByteArray, expected);
    FxDevice dev;
    QCOMPARE(LibMitsubishi_FX_serial::parseAddress(address, &dev), 0);
    QVERIFY(!dev.wordDevice);
    QCOMPARE(CmdMitsubishi_FX_serial::buildForceRequest(on, dev.bitBase + dev.index), expected);
}

void tst_CmdMitsubishi_FX_serial::writeRequest_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("D0 Int32 0x12345678") << "D0" << digitsOf("78563412")
                                        << frame("E1040000478563412", "75");
    QTest::newRow("D1 200") << "D1" << digitsOf("C800") << frame("E10400202C800", "AC");
    QTest::newRow("D8000 1") << "D8000" << digitsOf("0100") << frame("E100E00020100", "A1");
}

void tst_CmdMitsubishi_FX_serial::writeRequest()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, digits);
    QFETCH(QByteArray, expected);
    FxDevice dev;
    QCOMPARE(LibMitsubishi_FX_serial::parseAddress(address, &dev), 0);
    QVERIFY(dev.wordDevice);
    QCOMPARE(CmdMitsubishi_FX_serial::buildWriteRequest(true, dev.firstByte, digits), expected);
}

void tst_CmdMitsubishi_FX_serial::builderRefusals()
{
    using C = CmdMitsubishi_FX_serial;
    QVERIFY(C::buildReadRequest(true, 0x4000, 0).isEmpty());
    QVERIFY(C::buildReadRequest(true, 0x4000, 256).isEmpty());
    QVERIFY(C::buildReadRequest(false, -1, 1).isEmpty());
    QVERIFY(C::buildReadRequest(false, 0x10000, 1).isEmpty());
    QCOMPARE(C::buildReadRequest(false, 0xFFFF, 255).size(), 11);
    QVERIFY(C::buildWriteRequest(true, 0x4000, QByteArray()).isEmpty());
    QVERIFY(C::buildWriteRequest(true, 0x4000, digitsOf("123")).isEmpty());
    QVERIFY(C::buildWriteRequest(true, 0x4000, QByteArray("\x01\x10", 2)).isEmpty());
    QVERIFY(C::buildWriteRequest(true, 0x4000, QByteArray(512, 1)).isEmpty());
    QCOMPARE(C::buildWriteRequest(true, 0x4000, QByteArray(510, 1)).size(), 13 + 510);
    QVERIFY(C::buildForceRequest(true, -1).isEmpty());
    QVERIFY(C::buildForceRequest(true, 0x10000).isEmpty());

    // The longest write frame (255 bytes) carries the sum over all its bytes
    // after STX, the data included.
    const QByteArray big = C::buildWriteRequest(true, 0x4000, QByteArray(510, 15));
    unsigned sum = 0;
    for (int i = 1; i < big.size() - 2; ++i)
        sum += quint8(big.at(i));
    QCOMPARE(big.right(2), QByteArray::number(sum & 0xFF, 16).rightJustified(2, '0').toUpper());
}

void tst_CmdMitsubishi_FX_serial::readAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("digits");

    const QByteArray good = answerFor("3412");
    QTest::newRow("sound") << good << 2 << 0 << digitsOf("3412");
    QTest::newRow("sound, sum digits") << frame("3412", "CD") << 2 << 0 << digitsOf("3412");
    QTest::newRow("STX with parity bit") << answerFor("3412", '\x82') << 2 << 0 << digitsOf("3412");
    QTest::newRow("all digits") << answerFor("0123456789ABCDEF") << 8 << 0
                                << digitsOf("0123456789ABCDEF");
    QTest::newRow("empty") << QByteArray() << 2 << -2 << QByteArray();
    QTest::newRow("NAK") << QByteArray(1, '\x15') << 2 << -1 << QByteArray();
    QTest::newRow("STX only") << QByteArray(1, '\x02') << 2 << -1 << QByteArray();
    QTest::newRow("cut in the data") << good.left(3) << 2 << -1 << QByteArray();
    QTest::newRow("cut before the sum") << good.left(6) << 2 << -1 << QByteArray();
    QTest::newRow("cut in the sum") << good.left(7) << 2 << -1 << QByteArray();
    QTest::newRow("trailing byte") << good + 'X' << 2 << -1 << QByteArray();
    QTest::newRow("fewer data digits") << answerFor("34") << 2 << -1 << QByteArray();
    QTest::newRow("more data digits") << answerFor("341256") << 2 << -1 << QByteArray();
    QTest::newRow("bad sum") << frame("3412", "CE") << 2 << -1 << QByteArray();
    QTest::newRow("lower-case sum") << frame("34AB", "ed") << 2 << -1 << QByteArray();
    QTest::newRow("lower-case data") << answerFor("34ab") << 2 << -1 << QByteArray();
    QTest::newRow("non-hex data") << answerFor("34G2") << 2 << -1 << QByteArray();
    QTest::newRow("no ETX") << QByteArray("\x02" "3412CD") << 2 << -1 << QByteArray();
    QTest::newRow("ETX with parity bit") << QByteArray("\x02" "3412\x83" "CD") << 2 << -1 << QByteArray();
    QTest::newRow("not STX") << answerFor("3412", 'A') << 2 << -1 << QByteArray();
    QTest::newRow("ACK") << QByteArray(1, '\x06') << 2 << -1 << QByteArray();
    QTest::newRow("count past the field") << answerFor(QByteArray(512, '0')) << 256 << -1 << QByteArray();
    QTest::newRow("huge count") << good << INT_MAX << -1 << QByteArray();
    QTest::newRow("negative count") << good << -1 << -1 << QByteArray();
}

void tst_CmdMitsubishi_FX_serial::readAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, bytes);
    QFETCH(int, result);
    QFETCH(QByteArray, digits);
    QByteArray out("\x07", 1);  // earlier content stays in front
    QCOMPARE(CmdMitsubishi_FX_serial::parseReadAnswer(answer, bytes, &out), result);
    QCOMPARE(out, QByteArray("\x07", 1) + digits);
}

void tst_CmdMitsubishi_FX_serial::readAnswerMissing_data()
{
    QTest::addColumn<QByteArray>("soFar");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("missing");

    const QByteArray good = answerFor("3412");
    QTest::newRow("nothing yet") << QByteArray() << 2 << 8;
    QTest::newRow("STX") << good.left(1) << 2 << 7;
    QTest::newRow("STX with parity bit") << QByteArray("\x82" "34") << 2 << 5;
    QTest::newRow("half the data") << good.left(3) << 2 << 5;
    QTest::newRow("up to ETX") << good.left(6) << 2 << 2;
    QTest::newRow("one sum digit") << good.left(7) << 2 << 1;
    QTest::newRow("complete") << good << 2 << 0;
    QTest::newRow("more than complete") << good + "00" << 2 << 0;
    QTest::newRow("NAK judged at once") << QByteArray(1, '\x15') << 2 << 0;
    QTest::newRow("garbage judged at once") << QByteArray("zz") << 2 << 0;
    QTest::newRow("early ETX") << QByteArray("\x02" "34\x03") << 2 << 0;
    QTest::newRow("non-digit in data") << QByteArray("\x02" "3g") << 2 << 0;
    QTest::newRow("no ETX after data") << QByteArray("\x02" "3412C") << 2 << 0;
    QTest::newRow("64 bytes, STX") << QByteArray(1, '\x02') << 64 << 131;
    QTest::newRow("255 bytes, nothing yet") << QByteArray() << 255 << 514;
    QTest::newRow("huge count judged at once") << QByteArray(1, '\x02') << INT_MAX << 0;
    QTest::newRow("negative count judged at once") << QByteArray(1, '\x02') << -3 << 0;
}

void tst_CmdMitsubishi_FX_serial::readAnswerMissing()
{
    QFETCH(QByteArray, soFar);
    QFETCH(int, bytes);
    QFETCH(int, missing);
    QCOMPARE(CmdMitsubishi_FX_serial::readAnswerMissing(soFar, bytes), missing);
}

void tst_CmdMitsubishi_FX_serial::writeAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("missing");
    QTest::addColumn<int>("result");

    QTest::newRow("ACK") << QByteArray(1, '\x06') << 0 << 0;
    QTest::newRow("NAK") << QByteArray(1, '\x15') << 0 << -1;
    QTest::newRow("empty") << QByteArray() << 1 << -2;
    QTest::newRow("ACK twice") << QByteArray(2, '\x06') << 0 << -1;
    QTest::newRow("ACK with top bit") << QByteArray(1, '\x86') << 0 << -1;
    QTest::newRow("STX") << QByteArray(1, '\x02') << 0 << -1;
}

void tst_CmdMitsubishi_FX_serial::writeAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, missing);
    QFETCH(int, result);
    QCOMPARE(CmdMitsubishi_FX_serial::writeAnswerMissing(answer), missing);
    QCOMPARE(CmdMitsubishi_FX_serial::parseWriteAnswer(answer), result);
}

void tst_CmdMitsubishi_FX_serial::andCheck()
{
    using C = CmdMitsubishi_FX_serial;
    const QByteArray f = frame("E0040C802", "");
    QCOMPARE(int(C::And_Check(f, f.size())), 0x1E9);
    QCOMPARE(int(C::And_Check(f, 1)), 0);
    QCOMPARE(int(C::And_Check(f, 0)), 0);
    QCOMPARE(int(C::And_Check(f, -5)), 0);
    QCOMPARE(int(C::And_Check(f, 2)), int('E'));
    // Positions past the frame count as nothing.
    QCOMPARE(int(C::And_Check(f, f.size() + 100)), 0x1E9);
    QCOMPARE(int(C::And_Check(QByteArray(300, char(0xFF)), 300)), (299 * 0xFF) & 0xFFFF);
}

void tst_CmdMitsubishi_FX_serial::hexCharacters()
{
    using C = CmdMitsubishi_FX_serial;
    const char chars[] = "0123456789ABCDEF";
    for (unsigned short v = 0; v < 16; ++v) {
        QCOMPARE(C::GetHexconversionchar(v), (unsigned short)chars[v]);
        QCOMPARE(C::GetcharconversionHex((unsigned short)chars[v]), v);
    }
    QCOMPARE(C::GetHexconversionchar(16), (unsigned short)16);
    QCOMPARE(C::GetHexconversionchar(0x41), (unsigned short)0x41);
    QCOMPARE(C::GetcharconversionHex('a'), (unsigned short)'a');
    QCOMPARE(C::GetcharconversionHex('G'), (unsigned short)'G');
    QCOMPARE(C::GetcharconversionHex(0x130), (unsigned short)0x130);
}

// On a link that never connected, a request that gets as far as the link ends
// with -3; malformed arguments must be turned away before that (result 1).
void tst_CmdMitsubishi_FX_serial::badArgumentsNeverReachTheLink()
{
    CmdMitsubishi_FX_serial cmd;
    const int word = LibMitsubishi_FX_serial::AreaD;
    const int bits = LibMitsubishi_FX_serial::AreaM;
    QByteArray out;
    QCOMPARE(cmd.read_cmd(word, 0x4000, 0, "D0", &out), 1);
    QCOMPARE(cmd.read_cmd(word, 0x4000, 256, "D0", &out), 1);
    QCOMPARE(cmd.read_cmd(bits, 0x10000, 1, "M0", &out), 1);
    QCOMPARE(cmd.read_cmd(word, 0x4000, 1, "D0", nullptr), 1);
    QCOMPARE(cmd.read_cmd(word, 0x4000, 1, "D0", &out), -3);
    QVERIFY(out.isEmpty());

    QCOMPARE(cmd.write_cmd(word, 0x4000, 1, "D0", digitsOf("123")), 1);
    QCOMPARE(cmd.write_cmd(word, 0x4000, INT_MAX, "D0", digitsOf("12")), 1);
    QCOMPARE(cmd.write_cmd(word, 0x4000, 1, "D0", QByteArray("\x01\x10", 2)), 1);
    QCOMPARE(cmd.write_cmd(word, 0x4000, 1, "D0", digitsOf("12")), -3);
    QCOMPARE(cmd.write_cmd(bits, 0x0800, 1, "M0", QByteArray()), 1);
    QCOMPARE(cmd.write_cmd(bits, 0x0800, 1, "M0", QByteArray(1, '\x01')), 1);
    QCOMPARE(cmd.write_cmd(bits, 0x0800, 1, "M0", QByteArray(1, '9')), 1);
    QCOMPARE(cmd.write_cmd(bits, 0x10000, 1, "M0", QByteArray(1, '7')), 1);
    QCOMPARE(cmd.write_cmd(bits, 0x0800, 1, "M0", QByteArray(1, '8')), -3);
}

QTEST_MAIN(tst_CmdMitsubishi_FX_serial)
#include "tst_CmdMitsubishi_FX_serial.moc"
