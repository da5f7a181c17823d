// ASCII hexadecimal helpers of the two FX protocols.

#include "HexDigits.h"

#include <QtTest>

using namespace HexDigits;

class TestHexDigits : public QObject
{
    Q_OBJECT

private slots:
    void digitToChar_data();
    void digitToChar();
    void charToDigit_data();
    void charToDigit();
    void allDigitsRoundTrip();
    void byteSum_data();
    void byteSum();
    void hexNumber_data();
    void hexNumber();
    void parseHex_data();
    void parseHex();
};

void TestHexDigits::digitToChar_data()
{
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("c");
    QTest::newRow("0") << 0 << int('0');
    QTest::newRow("9") << 9 << int('9');
    QTest::newRow("10") << 10 << int('A');
    QTest::newRow("15") << 15 << int('F');
    QTest::newRow("16 unchanged") << 16 << 16;
    QTest::newRow("0x41 unchanged") << 0x41 << 0x41;
    QTest::newRow("0xFFFF unchanged") << 0xFFFF << 0xFFFF;
}

void TestHexDigits::digitToChar()
{
    QFETCH(int, v);
    QFETCH(int, c);
    QCOMPARE(int(GetHexconversionchar(static_cast<unsigned short>(v))), c);
}

void TestHexDigits::charToDigit_data()
{
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("v");
    QTest::addColumn<bool>("upperHex");
    QTest::newRow("'0'") << int('0') << 0 << true;
    QTest::newRow("'9'") << int('9') << 9 << true;
    QTest::newRow("'A'") << int('A') << 10 << true;
    QTest::newRow("'F'") << int('F') << 15 << true;
    QTest::newRow("'a' unchanged") << int('a') << int('a') << false;
    QTest::newRow("'f' unchanged") << int('f') << int('f') << false;
    QTest::newRow("'G' unchanged") << int('G') << int('G') << false;
    QTest::newRow("'/' unchanged") << int('/') << int('/') << false;
    QTest::newRow("':' unchanged") << int(':') << int(':') << false;
    QTest::newRow("'@' unchanged") << int('@') << int('@') << false;
    QTest::newRow("NUL unchanged") << 0 << 0 << false;
    QTest::newRow("ETX unchanged") << 3 << 3 << false;
}

void TestHexDigits::charToDigit()
{
    QFETCH(int, c);
    QFETCH(int, v);
    QFETCH(bool, upperHex);
    QCOMPARE(int(GetcharconversionHex(static_cast<unsigned short>(c))), v);
    QCOMPARE(isUpperHexChar(static_cast<char>(c)), upperHex);
}

void TestHexDigits::allDigitsRoundTrip()
{
    for (unsigned short v = 0; v < 16; ++v) {
        const unsigned short c = GetHexconversionchar(v);
        QVERIFY(isUpperHexChar(static_cast<char>(c)));
        QCOMPARE(GetcharconversionHex(c), v);
    }
    int upper = 0;
    for (int c = -128; c < 128; ++c)
        upper += isUpperHexChar(static_cast<char>(c)) ? 1 : 0;
    QCOMPARE(upper, 16);
}

void TestHexDigits::byteSum_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("sum");

    // STX "E00" ... ETX style: the sum runs over the characters after STX up to and including ETX.
    const QByteArray f = QByteArray("\x02" "E00" "\x03", 5);
    QTest::newRow("after STX to end") << f << 1 << 5 << (0x45 + 0x30 + 0x30 + 0x03);
    QTest::newRow("empty range") << f << 2 << 2 << 0;
    QTest::newRow("reversed range") << f << 4 << 1 << 0;
    QTest::newRow("range beyond end") << f << 3 << 50 << (0x30 + 0x03);
    QTest::newRow("negative start") << f << -10 << 2 << (0x02 + 0x45);
    QTest::newRow("bytes are unsigned") << QByteArray("\xFF\xFF", 2) << 0 << 2 << 0x1FE;
    QTest::newRow("empty frame") << QByteArray() << 0 << 10 << 0;
    QTest::newRow("wraps to 16 bits") << QByteArray(300, '\xFF') << 0 << 300 << ((300 * 255) & 0xFFFF);
}

void TestHexDigits::byteSum()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, sum);
    QCOMPARE(int(HexDigits::byteSum(frame, from, to)), sum);
}

void TestHexDigits::hexNumber_data()
{
    QTest::addColumn<uint>("v");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("byteText");

    QTest::newRow("0x1A2B, 4") << 0x1A2Bu << 4 << QByteArray("1A2B") << QByteArray("2B");
    QTest::newRow("0x5, 2") << 0x5u << 2 << QByteArray("05") << QByteArray("05");
    QTest::newRow("cut to digits") << 0x12345u << 4 << QByteArray("2345") << QByteArray("45");
    QTest::newRow("max, 8") << 0xFFFFFFFFu << 8 << QByteArray("FFFFFFFF") << QByteArray("FF");
    QTest::newRow("10 digits") << 0xABCDEF01u << 10 << QByteArray("00ABCDEF01") << QByteArray("01");
    QTest::newRow("zero digits") << 0x12u << 0 << QByteArray() << QByteArray("12");
    QTest::newRow("negative digits") << 0x12u << -3 << QByteArray() << QByteArray("12");
}

void TestHexDigits::hexNumber()
{
    QFETCH(uint, v);
    QFETCH(int, digits);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, byteText);
    QCOMPARE(HexDigits::hexNumber(v, digits), text);
    QCOMPARE(HexDigits::hexByte(v), byteText);
}

void TestHexDigits::parseHex_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("len");
    QTest::addColumn<int>("value");

    QTest::newRow("two digits") << QByteArray("\x02" "1F" "\x03", 4) << 1 << 2 << 0x1F;
    QTest::newRow("four digits") << QByteArray("AB12") << 0 << 4 << 0xAB12;
    QTest::newRow("one digit") << QByteArray("AB12") << 3 << 1 << 2;
    QTest::newRow("lowercase refused") << QByteArray("ab") << 0 << 2 << -1;
    QTest::newRow("non-hex refused") << QByteArray("1G") << 0 << 2 << -1;
    QTest::newRow("control char refused") << QByteArray("1\x03", 2) << 0 << 2 << -1;
    QTest::newRow("missing characters") << QByteArray("12") << 1 << 2 << -1;
    QTest::newRow("start beyond end") << QByteArray("12") << 5 << 1 << -1;
    QTest::newRow("negative start") << QByteArray("12") << -1 << 2 << -1;
    QTest::newRow("zero length") << QByteArray("12") << 0 << 0 << -1;
    QTest::newRow("empty text") << QByteArray() << 0 << 2 << -1;
    QTest::newRow("huge length") << QByteArray("12") << 1 << 2147483647 << -1;
    QTest::newRow("largest int") << QByteArray("7FFFFFFF") << 0 << 8 << 2147483647;
    QTest::newRow("beyond int refused") << QByteArray("80000000") << 0 << 8 << -1;
}

void TestHexDigits::parseHex()
{
    QFETCH(QByteArray, text);
    QFETCH(int, pos);
    QFETCH(int, len);
    QFETCH(int, value);
    QCOMPARE(HexDigits::parseHex(text, pos, len), value);
}

QTEST_APPLESS_MAIN(TestHexDigits)
#include "tst_hexdigits.moc"
