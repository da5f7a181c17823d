// The value codec: byte lengths, the decoders and encoders of the three wire
// representations, and the rule that one PLC memory gives one value whichever
// representation carried it.

#include "ValueCodec.h"

#include <QtTest>
#include <cmath>
#include <cstring>
#include <limits>

Q_DECLARE_METATYPE(WireRepresentation)

namespace {

template <typename T>
QVariant L(std::initializer_list<T> items)
{
    return QVariant::fromValue(QList<T>(items));
}

template <typename T>
QString joinList(const QVariant &v, const char *name)
{
    QStringList parts;
    const QList<T> list = qvariant_cast<QList<T>>(v);
    for (const T &x : list) {
        if constexpr (std::is_same<T, char>::value)
            parts << QString::number(static_cast<int>(static_cast<signed char>(x)));
        else if constexpr (std::is_same<T, bool>::value)
            parts << (x ? QStringLiteral("1") : QStringLiteral("0"));
        else if constexpr (std::is_same<T, float>::value) {
            quint32 b;
            std::memcpy(&b, &x, sizeof b);
            parts << QString::number(static_cast<double>(x), 'g', 9) + QStringLiteral("[") + QString::number(b, 16)
                         + QStringLiteral("]");
        } else if constexpr (std::is_same<T, double>::value) {
            quint64 b;
            std::memcpy(&b, &x, sizeof b);
            parts << QString::number(x, 'g', 17) + QStringLiteral("[") + QString::number(b, 16) + QStringLiteral("]");
        } else
            parts << QString::number(x);
    }
    return QString::fromLatin1(name) + QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
}

// Exact rendering of a decoded value (element type, elements, and the bit
// patterns of floating-point elements).
QString dump(const QVariant &v)
{
    if (!v.isValid())
        return QStringLiteral("invalid");
    const int t = v.userType();
    if (t == qMetaTypeId<QList<bool>>()) return joinList<bool>(v, "bool");
    if (t == qMetaTypeId<QList<char>>()) return joinList<char>(v, "char");
    if (t == qMetaTypeId<QList<unsigned char>>()) return joinList<unsigned char>(v, "uchar");
    if (t == qMetaTypeId<QList<short>>()) return joinList<short>(v, "short");
    if (t == qMetaTypeId<QList<unsigned short>>()) return joinList<unsigned short>(v, "ushort");
    if (t == qMetaTypeId<QList<int>>()) return joinList<int>(v, "int");
    if (t == qMetaTypeId<QList<unsigned int>>()) return joinList<unsigned int>(v, "uint");
    if (t == qMetaTypeId<QList<float>>()) return joinList<float>(v, "float");
    if (t == qMetaTypeId<QList<long long>>()) return joinList<long long>(v, "ll");
    if (t == qMetaTypeId<QList<unsigned long long>>()) return joinList<unsigned long long>(v, "ull");
    if (t == qMetaTypeId<QList<double>>()) return joinList<double>(v, "double");
    if (t == qMetaTypeId<QList<QString>>())  // Latin-1 hex, so NULs and bytes above 0x7F show
        return "string:"
            + QString::fromLatin1(QStringList(qvariant_cast<QList<QString>>(v)).join('|').toLatin1().toHex(' '));
    return QStringLiteral("other:") + QString::fromLatin1(v.typeName());
}

QByteArray D(std::initializer_list<int> items)
{
    QByteArray a;
    for (int x : items)
        a.append(static_cast<char>(x));
    return a;
}

double doubleFromBits(quint64 b)
{
    double d;
    std::memcpy(&d, &b, sizeof d);
    return d;
}

CLabelVariable label(int type, const QVariant &value, int count)
{
    CLabelVariable v;
    v.dataType = type;
    v.value = value;
    v.count = count;
    v.status = 0;
    return v;
}

// Wire forms of device bytes, written out here independently of the codec.
QByteArray hexByteWire(const QByteArray &bytes)
{
    QByteArray w;
    for (char c : bytes) {
        const int b = static_cast<unsigned char>(c);
        w.append(static_cast<char>(b / 16));
        w.append(static_cast<char>(b % 16));
    }
    return w;
}

QByteArray hexWordWire(const QByteArray &bytes)
{
    QByteArray w;
    for (int i = 0; i + 1 < bytes.size(); i += 2) {
        const int word = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        for (int shift = 12; shift >= 0; shift -= 4)
            w.append(static_cast<char>((word >> shift) & 0xF));
    }
    return w;
}

QByteArray wireOf(WireRepresentation rep, const QByteArray &bytes)
{
    switch (rep) {
    case WireRepresentation::HexByte: return hexByteWire(bytes);
    case WireRepresentation::HexWord: return hexWordWire(bytes);
    case WireRepresentation::RawByte: return bytes;
    }
    return QByteArray();
}

const char *repName(WireRepresentation rep)
{
    switch (rep) {
    case WireRepresentation::HexByte: return "hex-byte";
    case WireRepresentation::HexWord: return "hex-word";
    case WireRepresentation::RawByte: return "raw-byte";
    }
    return "?";
}

const WireRepresentation kReps[] = {WireRepresentation::HexByte, WireRepresentation::HexWord,
                                    WireRepresentation::RawByte};
const int kTypes[] = {DT_Bool, DT_Int8, DT_UInt8, DT_Int16, DT_UInt16, DT_Int32,
                      DT_UInt32, DT_Float, DT_Int64, DT_UInt64, DT_Double};

// The PLC memory used by the memory-image tests: twelve words D0..D11.
//   D0        int16  -2
//   D1..D2    int32  0x12345678
//   D3..D4    float  1.5
//   D5..D8    double -2.5
//   D9        bytes  'A', 'B'
//   D10..D11  0xBEEF, 0x8001
QByteArray memoryImage()
{
    const quint16 words[] = {0xFFFE, 0x5678, 0x1234, 0x0000, 0x3FC0, 0x0000,
                             0x0000, 0x0000, 0xC004, 0x4241, 0xBEEF, 0x8001};
    QByteArray bytes;
    for (quint16 w : words) {
        bytes.append(static_cast<char>(w & 0xFF));
        bytes.append(static_cast<char>(w >> 8));
    }
    return bytes;
}

} // namespace

class TestValueCodec : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerLabelMetaTypes(); }

    void getBytelen_data();
    void getBytelen();
    void typeTables();
    void decoders_data();
    void decoders();
    void rawByteDoubleIsLittleEndian();
    void oneMemoryImage_data();
    void oneMemoryImage();
    void oneMemoryImageSlices_data();
    void oneMemoryImageSlices();
    void deviceBytes_data();
    void deviceBytes();
    void encoderWire_data();
    void encoderWire();
    void roundTrip_data();
    void roundTrip();
    void encoderRefusals_data();
    void encoderRefusals();
    void shortInputsReadZero_data();
    void shortInputsReadZero();
};

void TestValueCodec::getBytelen_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("bytes");

    QTest::newRow("bool 10") << int(DT_Bool) << 10 << 2;
    QTest::newRow("bool 17") << int(DT_Bool) << 17 << 3;
    QTest::newRow("bool 16") << int(DT_Bool) << 16 << 2;
    QTest::newRow("bool 8") << int(DT_Bool) << 8 << 1;
    QTest::newRow("bool 1") << int(DT_Bool) << 1 << 1;
    QTest::newRow("bool 0") << int(DT_Bool) << 0 << 0;
    QTest::newRow("bool -5") << int(DT_Bool) << -5 << 0;
    QTest::newRow("int8 3") << int(DT_Int8) << 3 << 2;
    QTest::newRow("int8 1") << int(DT_Int8) << 1 << 0;
    QTest::newRow("int8 4") << int(DT_Int8) << 4 << 4;
    QTest::newRow("uint8 5") << int(DT_UInt8) << 5 << 4;
    QTest::newRow("int16 3") << int(DT_Int16) << 3 << 6;
    QTest::newRow("uint16 1") << int(DT_UInt16) << 1 << 2;
    QTest::newRow("int32 2") << int(DT_Int32) << 2 << 8;
    QTest::newRow("uint32 2") << int(DT_UInt32) << 2 << 8;
    QTest::newRow("float 3") << int(DT_Float) << 3 << 12;
    QTest::newRow("int64 1") << int(DT_Int64) << 1 << 8;
    QTest::newRow("uint64 3") << int(DT_UInt64) << 3 << 24;
    QTest::newRow("double 2") << int(DT_Double) << 2 << 16;
    QTest::newRow("double -1") << int(DT_Double) << -1 << 0;
    QTest::newRow("string 4 characters") << int(DT_String) << 4 << 4;
    QTest::newRow("string 5 characters: 3 words") << int(DT_String) << 5 << 6;
    QTest::newRow("string count overflowing") << int(DT_String) << std::numeric_limits<int>::max() << 0;
    QTest::newRow("none") << int(DT_None) << 4 << 0;
    QTest::newRow("int16 variant") << int(DT_Int16_V1) << 4 << 0;
    QTest::newRow("double variant") << int(DT_Double_V4) << 4 << 0;
    QTest::newRow("code 41") << 41 << 4 << 0;
    QTest::newRow("code -1") << -1 << 4 << 0;
    QTest::newRow("bool max count") << int(DT_Bool) << std::numeric_limits<int>::max() << 268435456;
    QTest::newRow("int16 count overflowing") << int(DT_Int16) << 1073741824 << 0;
    QTest::newRow("double count overflowing") << int(DT_Double) << std::numeric_limits<int>::max() << 0;
}

void TestValueCodec::getBytelen()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, bytes);
    QCOMPARE(CValueCodec::getBytelen(type, count), bytes);
}

void TestValueCodec::typeTables()
{
    const int widths[] = {0, 1, 1, 2, 2, 4, 4, 4, 8, 8, 8};
    for (int i = 0; i < 11; ++i) {
        QVERIFY(CValueCodec::hasDecoder(kTypes[i]));
        QCOMPARE(CValueCodec::elementWidth(kTypes[i]), widths[i]);
    }
    QVERIFY(CValueCodec::hasDecoder(DT_String));
    QCOMPARE(CValueCodec::elementWidth(DT_String), 1);
    for (int t : {0, 13, 25, 40, 41, -1}) {
        QVERIFY(!CValueCodec::hasDecoder(t));
        QCOMPARE(CValueCodec::elementWidth(t), 0);
        const CValueCodec c(WireRepresentation::RawByte);
        QVERIFY(!c.decode(t, D({1, 2, 3, 4}), 1).isValid());
    }
    QCOMPARE(CValueCodec(WireRepresentation::HexWord).representation(), WireRepresentation::HexWord);
}

void TestValueCodec::decoders_data()
{
    QTest::addColumn<WireRepresentation>("rep");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("bitOffset");
    QTest::addColumn<QVariant>("expected");

    const auto HB = WireRepresentation::HexByte;
    const auto HW = WireRepresentation::HexWord;
    const auto RB = WireRepresentation::RawByte;
    const auto c = [](int x) { return static_cast<char>(static_cast<signed char>(x)); };

    // Hex-byte: every byte two digits, high digit first; least significant byte first.
    QTest::newRow("HB int16 [3,4,1,2]") << HB << int(DT_Int16) << D({3, 4, 1, 2}) << 1 << 0 << L<short>({0x1234});
    QTest::newRow("HB int16 [3,4] reads 0x0034") << HB << int(DT_Int16) << D({3, 4}) << 1 << 0 << L<short>({0x34});
    QTest::newRow("HB int16 negative") << HB << int(DT_Int16) << D({15, 14, 15, 15}) << 1 << 0 << L<short>({-2});
    QTest::newRow("HB uint16") << HB << int(DT_UInt16) << D({15, 14, 15, 15, 0, 1, 0, 0}) << 2 << 0
                               << L<unsigned short>({65534, 1});
    QTest::newRow("HB int32") << HB << int(DT_Int32) << D({7, 8, 5, 6, 3, 4, 1, 2}) << 1 << 0
                              << L<int>({0x12345678});
    QTest::newRow("HB uint32") << HB << int(DT_UInt32) << D({15, 15, 15, 15, 15, 15, 15, 15}) << 1 << 0
                               << L<unsigned>({0xFFFFFFFFu});
    QTest::newRow("HB float 1.0") << HB << int(DT_Float) << D({0, 0, 0, 0, 8, 0, 3, 15}) << 1 << 0
                                  << L<float>({1.0f});
    QTest::newRow("HB double 1.0") << HB << int(DT_Double) << D({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 15, 0, 3, 15})
                                   << 1 << 0 << L<double>({1.0});
    QTest::newRow("HB int64") << HB << int(DT_Int64)
                              << D({8, 8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1}) << 1 << 0
                              << L<long long>({0x1122334455667788LL});
    QTest::newRow("HB uint64 all ones") << HB << int(DT_UInt64) << QByteArray(16, '\x0F') << 1 << 0
                                        << L<unsigned long long>({0xFFFFFFFFFFFFFFFFULL});
    QTest::newRow("HB int8") << HB << int(DT_Int8) << D({15, 12, 0, 5}) << 2 << 0 << L<char>({c(-4), c(5)});
    QTest::newRow("HB uint8") << HB << int(DT_UInt8) << D({15, 12, 0, 5}) << 2 << 0
                              << L<unsigned char>({252, 5});
    QTest::newRow("HB bool M8 byte 0x03") << HB << int(DT_Bool) << D({0, 3}) << 8 << 0
                                          << L<bool>({true, true, false, false, false, false, false, false});
    QTest::newRow("HB bool offset 1 across bytes") << HB << int(DT_Bool) << D({8, 0, 0, 1}) << 9 << 1
                                                   << L<bool>({false, false, false, false, false, false, true,
                                                               true, false});
    QTest::newRow("HB odd trailing digit dropped") << HB << int(DT_UInt8) << D({1, 2, 3}) << 2 << 0
                                                   << L<unsigned char>({0x12, 0});

    // Hex-word: every word four digits, most significant first; low word first.
    QTest::newRow("HW int16 [1,2,3,4]") << HW << int(DT_Int16) << D({1, 2, 3, 4}) << 1 << 0 << L<short>({0x1234});
    QTest::newRow("HW uint16 two words") << HW << int(DT_UInt16) << D({15, 15, 15, 14, 0, 0, 0, 1}) << 2 << 0
                                         << L<unsigned short>({65534, 1});
    QTest::newRow("HW int32 [5,6,7,8,1,2,3,4]") << HW << int(DT_Int32) << D({5, 6, 7, 8, 1, 2, 3, 4}) << 1 << 0
                                                << L<int>({0x12345678});
    QTest::newRow("HW uint32") << HW << int(DT_UInt32) << D({0, 0, 0, 1, 8, 0, 0, 0}) << 1 << 0
                               << L<unsigned>({0x80000001u});
    QTest::newRow("HW float 1.0 from words") << HW << int(DT_Float) << D({0, 0, 0, 0, 3, 15, 8, 0}) << 1 << 0
                                             << L<float>({1.0f});
    QTest::newRow("HW double 1.0 from words") << HW << int(DT_Double)
                                              << D({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 15, 15, 0}) << 1 << 0
                                              << L<double>({1.0});
    QTest::newRow("HW int64 from words") << HW << int(DT_Int64)
                                         << D({7, 7, 8, 8, 5, 5, 6, 6, 3, 3, 4, 4, 1, 1, 2, 2}) << 1 << 0
                                         << L<long long>({0x1122334455667788LL});
    QTest::newRow("HW uint64 from words") << HW << int(DT_UInt64)
                                          << D({0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0}) << 1 << 0
                                          << L<unsigned long long>({0x8000000000000001ULL});
    QTest::newRow("HW int8 low byte first") << HW << int(DT_Int8) << D({1, 2, 15, 14}) << 2 << 0
                                            << L<char>({c(-2), c(0x12)});
    QTest::newRow("HW uint8 three of two words") << HW << int(DT_UInt8) << D({1, 2, 3, 4, 5, 6, 7, 8}) << 3 << 0
                                                 << L<unsigned char>({0x34, 0x12, 0x78});
    QTest::newRow("HW bool word 0x0001") << HW << int(DT_Bool) << D({0, 0, 0, 1}) << 3 << 0
                                         << L<bool>({true, false, false});
    QTest::newRow("HW bool bit 12 of word") << HW << int(DT_Bool) << D({1, 0, 0, 0}) << 4 << 11
                                            << L<bool>({false, true, false, false});
    QTest::newRow("HW incomplete word dropped") << HW << int(DT_Int16) << D({1, 2, 3, 4, 5, 6}) << 2 << 0
                                                << L<short>({0x1234, 0});

    // Raw-byte: the device bytes themselves.
    QTest::newRow("RB int32 78 56 34 12") << RB << int(DT_Int32) << D({0x78, 0x56, 0x34, 0x12}) << 1 << 0
                                          << L<int>({0x12345678});
    QTest::newRow("RB int16") << RB << int(DT_Int16) << D({0xFE, 0xFF, 0x34, 0x12}) << 2 << 0
                              << L<short>({-2, 0x1234});
    QTest::newRow("RB float 1.0") << RB << int(DT_Float) << D({0, 0, 0x80, 0x3F}) << 1 << 0 << L<float>({1.0f});
    QTest::newRow("RB double 1.0 little-endian") << RB << int(DT_Double) << D({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}) << 1
                                                 << 0 << L<double>({1.0});
    QTest::newRow("RB int64") << RB << int(DT_Int64) << D({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) << 1
                              << 0 << L<long long>({-1});
    QTest::newRow("RB uint64") << RB << int(DT_UInt64) << D({1, 0, 0, 0, 0, 0, 0, 0x80}) << 1 << 0
                               << L<unsigned long long>({0x8000000000000001ULL});
    QTest::newRow("RB int8") << RB << int(DT_Int8) << D({0x80, 0x7F, 0xFF}) << 3 << 0
                             << L<char>({c(-128), c(127), c(-1)});
    QTest::newRow("RB uint8") << RB << int(DT_UInt8) << D({0x80, 0x7F}) << 2 << 0 << L<unsigned char>({128, 127});
    QTest::newRow("RB bool off 2 on 0xFF") << RB << int(DT_Bool) << D({0xFF}) << 6 << 2
                                           << L<bool>({true, true, true, true, true, true});
    QTest::newRow("RB bool off 9") << RB << int(DT_Bool) << D({0x00, 0x02}) << 2 << 9 << L<bool>({true, false});
    QTest::newRow("RB bool negative offset is 0") << RB << int(DT_Bool) << D({0x01}) << 2 << -5
                                                  << L<bool>({true, false});
    QTest::newRow("RB bool beyond data false") << RB << int(DT_Bool) << D({0xFF}) << 10 << 4
                                               << L<bool>({true, true, true, true, false, false, false, false, false,
                                                           false});

    // Text: two characters a word, the first in the low byte, up to count or the first NUL.
    QTest::newRow("HW string 12AB") << HW << int(DT_String) << D({3, 2, 3, 1, 4, 2, 4, 1}) << 4 << 0
                                    << L<QString>({QStringLiteral("12AB")});
    QTest::newRow("RB string odd count") << RB << int(DT_String) << D({0x31, 0x32, 0x41, 0x42}) << 3 << 0
                                         << L<QString>({QStringLiteral("12A")});
    QTest::newRow("RB string ends at NUL") << RB << int(DT_String) << D({0x41, 0x00, 0x42, 0x43}) << 4 << 0
                                           << L<QString>({QStringLiteral("A")});
    QTest::newRow("RB string Latin-1 bytes") << RB << int(DT_String) << D({0xE9, 0xFF, 0x80, 0x7F}) << 4 << 0
                                             << L<QString>({QString::fromLatin1("\xE9\xFF\x80\x7F")});
    QTest::newRow("RB string count beyond data") << RB << int(DT_String) << D({0x41, 0x42}) << 6 << 0
                                                 << L<QString>({QStringLiteral("AB")});

    // Counts and missing data.
    for (WireRepresentation rep : kReps) {
        QTest::addRow("%s count 0", repName(rep)) << rep << int(DT_Int32) << QByteArray(16, '\x01') << 0 << 0
                                                  << L<int>({});
        QTest::addRow("%s count -3", repName(rep)) << rep << int(DT_Double) << QByteArray(16, '\x01') << -3 << 0
                                                   << L<double>({});
        QTest::addRow("%s bool count 0", repName(rep)) << rep << int(DT_Bool) << QByteArray(16, '\x01') << 0 << 0
                                                       << L<bool>({});
        QTest::addRow("%s empty data", repName(rep)) << rep << int(DT_UInt16) << QByteArray() << 3 << 0
                                                     << L<unsigned short>({0, 0, 0});
        QTest::addRow("%s empty data bool", repName(rep)) << rep << int(DT_Bool) << QByteArray() << 3 << 0
                                                          << L<bool>({false, false, false});
    }
    QTest::newRow("RB int32 count beyond data") << RB << int(DT_Int32) << D({1, 0, 0, 0, 2, 0}) << 3 << 0
                                                << L<int>({1, 2, 0});
    QTest::newRow("HB float count beyond data") << HB << int(DT_Float) << D({0, 0, 0, 0, 8, 0, 3, 15, 1}) << 2 << 0
                                                << L<float>({1.0f, 0.0f});

    // Digit values above 15 (characters a parser did not convert) keep to their four bits.
    QTest::newRow("HB digit 0x30 as low digit") << HB << int(DT_UInt8) << D({0x00, 0x30}) << 1 << 0
                                                << L<unsigned char>({0x00});
    QTest::newRow("HB characters '3' '4'") << HB << int(DT_UInt8) << D({'3', '4'}) << 1 << 0
                                           << L<unsigned char>({0x34});
    QTest::newRow("HB digit 0xFF high") << HB << int(DT_UInt16) << D({0xF1, 0x02, 0x00, 0x00}) << 1 << 0
                                        << L<unsigned short>({0x12});
    QTest::newRow("HW digit 0x10 last") << HW << int(DT_UInt16) << D({0, 0, 0, 0x10}) << 1 << 0
                                        << L<unsigned short>({0});
    QTest::newRow("HW characters '1' '2' '3' '4'") << HW << int(DT_UInt16) << D({'1', '2', '3', '4'}) << 1 << 0
                                                   << L<unsigned short>({0x1234});
    QTest::newRow("HW digit 0xE5 first") << HW << int(DT_UInt16) << D({0xE5, 0, 0, 0}) << 1 << 0
                                         << L<unsigned short>({0x5000});
}

void TestValueCodec::decoders()
{
    QFETCH(WireRepresentation, rep);
    QFETCH(int, type);
    QFETCH(QByteArray, wire);
    QFETCH(int, count);
    QFETCH(int, bitOffset);
    QFETCH(QVariant, expected);

    const CValueCodec codec(rep);
    QCOMPARE(dump(codec.decode(type, wire, count, bitOffset)), dump(expected));

    // The named decoder gives the same as the dispatch.
    QVariant named;
    switch (type) {
    case DT_Bool: named = codec.set_variant_bool(bitOffset, wire, count); break;
    case DT_Int8: named = codec.set_variant_Int8(wire, count); break;
    case DT_UInt8: named = codec.set_variant_UInt8(wire, count); break;
    case DT_Int16: named = codec.set_variant_Int16(wire, count); break;
    case DT_UInt16: named = codec.set_variant_UInt16(wire, count); break;
    case DT_Int32: named = codec.set_variant_Int32(wire, count); break;
    case DT_UInt32: named = codec.set_variant_UInt32(wire, count); break;
    case DT_Float: named = codec.set_variant_fload(wire, count); break;
    case DT_Int64: named = codec.set_variant_Int64(wire, count); break;
    case DT_UInt64: named = codec.set_variant_UInt64(wire, count); break;
    case DT_Double: named = codec.set_variant_double(wire, count); break;
    case DT_String: named = codec.set_variant_string(wire, count); break;
    }
    QCOMPARE(dump(named), dump(expected));
}

void TestValueCodec::rawByteDoubleIsLittleEndian()
{
    // Most significant byte first would read these bytes as 1.0; in device
    // order (least significant first) they are a different, tiny number.
    const CValueCodec codec(WireRepresentation::RawByte);
    const QVariant v = codec.set_variant_double(D({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), 1);
    QCOMPARE(dump(v), dump(L<double>({doubleFromBits(0x000000000000F03FULL)})));
    QVERIFY(qvariant_cast<QList<double>>(v).at(0) != 1.0);
}

void TestValueCodec::oneMemoryImage_data()
{
    QTest::addColumn<int>("type");
    for (int t : kTypes)
        QTest::addRow("type %d", t) << t;
}

void TestValueCodec::oneMemoryImage()
{
    QFETCH(int, type);

    // The whole image read as one run of elements of the type must give the same
    // list through all three representations, and that list must be the
    // little-endian reading of the device bytes.
    const QByteArray bytes = memoryImage();
    const int width = CValueCodec::elementWidth(type);
    const int count = width ? bytes.size() / width : bytes.size() * 8;

    QString reference;
    {
        QList<unsigned long long> raw;
        for (int k = 0; k < count; ++k) {
            unsigned long long v = 0;
            for (int i = 0; i < qMax(width, 1); ++i)
                v |= static_cast<unsigned long long>(static_cast<unsigned char>(bytes[k * width + i])) << (8 * i);
            raw << v;
        }
        QVariant expected;
        switch (type) {
        case DT_Bool: {
            QList<bool> l;
            for (int b = 0; b < count; ++b)
                l << (((static_cast<unsigned char>(bytes[b / 8]) >> (b % 8)) & 1) != 0);
            expected = QVariant::fromValue(l);
            break;
        }
        case DT_Int8: { QList<char> l; for (auto v : raw) l << static_cast<char>(v); expected = QVariant::fromValue(l); break; }
        case DT_UInt8: { QList<unsigned char> l; for (auto v : raw) l << static_cast<unsigned char>(v); expected = QVariant::fromValue(l); break; }
        case DT_Int16: { QList<short> l; for (auto v : raw) l << static_cast<short>(v); expected = QVariant::fromValue(l); break; }
        case DT_UInt16: { QList<unsigned short> l; for (auto v : raw) l << static_cast<unsigned short>(v); expected = QVariant::fromValue(l); break; }
        case DT_Int32: { QList<int> l; for (auto v : raw) l << static_cast<int>(v); expected = QVariant::fromValue(l); break; }
        case DT_UInt32: { QList<unsigned> l; for (auto v : raw) l << static_cast<unsigned>(v); expected = QVariant::fromValue(l); break; }
        case DT_Float: {
            QList<float> l;
            for (auto v : raw) { const quint32 b = static_cast<quint32>(v); float f; std::memcpy(&f, &b, 4); l << f; }
            expected = QVariant::fromValue(l);
            break;
        }
        case DT_Int64: { QList<long long> l; for (auto v : raw) l << static_cast<long long>(v); expected = QVariant::fromValue(l); break; }
        case DT_UInt64: { QList<unsigned long long> l; for (auto v : raw) l << v; expected = QVariant::fromValue(l); break; }
        case DT_Double: { QList<double> l; for (auto v : raw) l << doubleFromBits(v); expected = QVariant::fromValue(l); break; }
        }
        reference = dump(expected);
    }
    for (WireRepresentation rep : kReps) {
        const CValueCodec codec(rep);
        const QVariant got = codec.decode(type, wireOf(rep, bytes), count, 0);
        QVERIFY2(dump(got) == reference, qPrintable(QStringLiteral("%1: %2 != %3")
                                                        .arg(QString::fromLatin1(repName(rep)), dump(got), reference)));
    }
}

void TestValueCodec::oneMemoryImageSlices_data()
{
    QTest::addColumn<int>("firstWord");
    QTest::addColumn<int>("words");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("bitOffset");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("D0 int16") << 0 << 1 << int(DT_Int16) << 1 << 0 << L<short>({-2});
    QTest::newRow("D0 uint16") << 0 << 1 << int(DT_UInt16) << 1 << 0 << L<unsigned short>({65534});
    QTest::newRow("D1 int32") << 1 << 2 << int(DT_Int32) << 1 << 0 << L<int>({0x12345678});
    QTest::newRow("D1 int16 x2") << 1 << 2 << int(DT_Int16) << 2 << 0 << L<short>({0x5678, 0x1234});
    QTest::newRow("D3 float") << 3 << 2 << int(DT_Float) << 1 << 0 << L<float>({1.5f});
    QTest::newRow("D3 uint32 of the float") << 3 << 2 << int(DT_UInt32) << 1 << 0 << L<unsigned>({0x3FC00000u});
    QTest::newRow("D5 double") << 5 << 4 << int(DT_Double) << 1 << 0 << L<double>({-2.5});
    QTest::newRow("D5 int64 of the double") << 5 << 4 << int(DT_UInt64) << 1 << 0
                                            << L<unsigned long long>({0xC004000000000000ULL});
    QTest::newRow("D9 int8") << 9 << 1 << int(DT_Int8) << 2 << 0 << L<char>({'A', 'B'});
    QTest::newRow("D9 bits") << 9 << 1 << int(DT_Bool) << 16 << 0
                             << L<bool>({true, false, false, false, false, false, true, false,
                                         false, true, false, false, false, false, true, false});
    QTest::newRow("D10 bits from 3") << 10 << 2 << int(DT_Bool) << 6 << 3
                                     << L<bool>({true, false, true, true, true, false});
    QTest::newRow("D10 int32") << 10 << 2 << int(DT_Int32) << 1 << 0 << L<int>({static_cast<int>(0x8001BEEFu)});
    QTest::newRow("D11 bit 15") << 11 << 1 << int(DT_Bool) << 1 << 15 << L<bool>({true});
}

void TestValueCodec::oneMemoryImageSlices()
{
    QFETCH(int, firstWord);
    QFETCH(int, words);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, bitOffset);
    QFETCH(QVariant, expected);

    const QByteArray bytes = memoryImage().mid(2 * firstWord, 2 * words);
    for (WireRepresentation rep : kReps) {
        const CValueCodec codec(rep);
        const QVariant got = codec.decode(type, wireOf(rep, bytes), count, bitOffset);
        QVERIFY2(dump(got) == dump(expected),
                 qPrintable(QStringLiteral("%1: %2").arg(QString::fromLatin1(repName(rep)), dump(got))));
    }
}

void TestValueCodec::deviceBytes_data()
{
    QTest::addColumn<WireRepresentation>("rep");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("backToWire");

    const auto HB = WireRepresentation::HexByte;
    const auto HW = WireRepresentation::HexWord;
    const auto RB = WireRepresentation::RawByte;
    QTest::newRow("HB two bytes") << HB << D({1, 2, 10, 11}) << D({0x12, 0xAB}) << D({1, 2, 10, 11});
    QTest::newRow("HB odd digit dropped") << HB << D({1, 2, 3}) << D({0x12}) << D({1, 2});
    QTest::newRow("HB empty") << HB << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("HW one word") << HW << D({1, 2, 3, 4}) << D({0x34, 0x12}) << D({1, 2, 3, 4});
    QTest::newRow("HW partial word dropped") << HW << D({1, 2, 3, 4, 5, 6, 7}) << D({0x34, 0x12})
                                             << D({1, 2, 3, 4});
    QTest::newRow("HW empty") << HW << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("RB unchanged") << RB << D({0, 0xFF, 7}) << D({0, 0xFF, 7}) << D({0, 0xFF, 7});
}

void TestValueCodec::deviceBytes()
{
    QFETCH(WireRepresentation, rep);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, backToWire);

    const CValueCodec codec(rep);
    QCOMPARE(codec.toDeviceBytes(wire), bytes);
    QCOMPARE(codec.fromDeviceBytes(bytes), backToWire);
}

void TestValueCodec::encoderWire_data()
{
    QTest::addColumn<WireRepresentation>("rep");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("list");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("wire");

    const auto HB = WireRepresentation::HexByte;
    const auto HW = WireRepresentation::HexWord;
    const auto RB = WireRepresentation::RawByte;
    QTest::newRow("HB int16 0x1234") << HB << int(DT_Int16) << L<short>({0x1234}) << 1 << D({3, 4, 1, 2});
    QTest::newRow("HW int16 0x1234") << HW << int(DT_Int16) << L<short>({0x1234}) << 1 << D({1, 2, 3, 4});
    QTest::newRow("RB int16 0x1234") << RB << int(DT_Int16) << L<short>({0x1234}) << 1 << D({0x34, 0x12});
    QTest::newRow("HB uint16 first of two") << HB << int(DT_UInt16) << L<unsigned short>({0xABCD, 1}) << 1
                                            << D({12, 13, 10, 11});
    QTest::newRow("HB int32") << HB << int(DT_Int32) << L<int>({0x12345678}) << 1 << D({7, 8, 5, 6, 3, 4, 1, 2});
    QTest::newRow("HW int32") << HW << int(DT_Int32) << L<int>({0x12345678}) << 1 << D({5, 6, 7, 8, 1, 2, 3, 4});
    QTest::newRow("HB float 1.0") << HB << int(DT_Float) << L<float>({1.0f}) << 1 << D({0, 0, 0, 0, 8, 0, 3, 15});
    QTest::newRow("HW float 1.0") << HW << int(DT_Float) << L<float>({1.0f}) << 1 << D({0, 0, 0, 0, 3, 15, 8, 0});
    QTest::newRow("RB double 1.0") << RB << int(DT_Double) << L<double>({1.0}) << 1
                                   << D({0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
    QTest::newRow("RB uint64") << RB << int(DT_UInt64) << L<unsigned long long>({0x0102030405060708ULL}) << 1
                               << D({8, 7, 6, 5, 4, 3, 2, 1});
    QTest::newRow("HB int8 -4") << HB << int(DT_Int8) << L<char>({static_cast<char>(-4)}) << 1 << D({15, 12});
    QTest::newRow("HW uint8 odd count padded") << HW << int(DT_UInt8) << L<unsigned char>({0x34, 0x12, 0x56}) << 3
                                               << D({1, 2, 3, 4, 0, 0, 5, 6});
    QTest::newRow("RB uint8 two of three") << RB << int(DT_UInt8) << L<unsigned char>({1, 2, 3}) << 2 << D({1, 2});
    for (WireRepresentation rep : kReps)
        QTest::addRow("%s bool", repName(rep)) << rep << int(DT_Bool) << L<bool>({true, false, true}) << 3
                                               << D({1, 0, 1});
    // Text: Latin-1 bytes, low byte first, NUL padded to ceil(count / 2) words.
    QTest::newRow("HW string 12AB") << HW << int(DT_String) << L<QString>({QStringLiteral("12AB")}) << 4
                                    << D({3, 2, 3, 1, 4, 2, 4, 1});
    QTest::newRow("HW string odd count padded") << HW << int(DT_String) << L<QString>({QStringLiteral("ABC")}) << 3
                                                << D({4, 2, 4, 1, 0, 0, 4, 3});
    QTest::newRow("RB string NUL inside kept") << RB << int(DT_String)
                                               << L<QString>({QStringLiteral("A") + QChar(0) + QStringLiteral("B")})
                                               << 3 << D({0x41, 0, 0x42, 0});
    QTest::newRow("RB string shorter than the tag") << RB << int(DT_String) << L<QString>({QStringLiteral("AB")}) << 6
                                                    << D({0x41, 0x42, 0, 0, 0, 0});
    QTest::newRow("RB string Latin-1") << RB << int(DT_String) << L<QString>({QString::fromLatin1("\xE9\xFF")}) << 2
                                       << D({0xE9, 0xFF});
    // A QVector holds the same list (with Qt 6 it is the same type as QList).
    QTest::newRow("RB int16 vector") << RB << int(DT_Int16) << QVariant::fromValue(QVector<short>{0x1234}) << 1
                                     << D({0x34, 0x12});
    QTest::newRow("RB bool vector") << RB << int(DT_Bool) << QVariant::fromValue(QVector<bool>{false, true}) << 2
                                    << D({0, 1});
}

void TestValueCodec::encoderWire()
{
    QFETCH(WireRepresentation, rep);
    QFETCH(int, type);
    QFETCH(QVariant, list);
    QFETCH(int, count);
    QFETCH(QByteArray, wire);

    const CValueCodec codec(rep);
    QByteArray out("pre");
    QCOMPARE(codec.encode(type, label(type, list, count), count, &out), int(EncodeOk));
    QCOMPARE(out, QByteArray("pre") + wire);
}

void TestValueCodec::roundTrip_data()
{
    QTest::addColumn<WireRepresentation>("rep");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("list");

    const auto c = [](int x) { return static_cast<char>(static_cast<signed char>(x)); };
    const QVariant lists[] = {
        L<bool>({true, false, false, true, true, true, false, true, false, true}),
        L<char>({c(-128), c(127), c(0), c(-1), c(0x41)}),
        L<unsigned char>({0, 255, 128, 1}),
        L<short>({-32768, 32767, 0, -1, 0x1234}),
        L<unsigned short>({0, 65535, 0x8000, 0x00FF}),
        L<int>({std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), 0, -1, 0x12345678}),
        L<unsigned>({0u, 0xFFFFFFFFu, 0x80000000u, 0x0000FFFFu}),
        L<float>({1.5f, -0.0f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min(),
                  std::numeric_limits<float>::quiet_NaN(), 3.4e38f}),
        L<long long>({std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max(), -1,
                      0x0102030405060708LL}),
        L<unsigned long long>({0ULL, 0xFFFFFFFFFFFFFFFFULL, 0x8000000000000001ULL}),
        L<double>({-2.5, 1e-310, -std::numeric_limits<double>::infinity(), 0.1,
                   std::numeric_limits<double>::quiet_NaN(), 1.7976931348623157e308}),
    };
    for (WireRepresentation rep : kReps)
        for (int i = 0; i < 11; ++i)
            QTest::addRow("%s type %d", repName(rep), kTypes[i]) << rep << kTypes[i] << lists[i];
}

void TestValueCodec::roundTrip()
{
    QFETCH(WireRepresentation, rep);
    QFETCH(int, type);
    QFETCH(QVariant, list);

    const CValueCodec codec(rep);
    const int n = qvariant_cast<QVariantList>(list).size();
    QVERIFY(n > 0);
    QByteArray wire;
    QCOMPARE(codec.encode(type, label(type, list, n), n, &wire), int(EncodeOk));

    if (type == DT_Bool) {
        // Bits go out one byte each; the protocol packs them its own way.
        QCOMPARE(wire.size(), n);
        QByteArray packed((n + 7) / 8, '\0');
        for (int i = 0; i < n; ++i)
            if (wire[i])
                packed[i / 8] = static_cast<char>(packed[i / 8] | (1 << (i % 8)));
        const QVariant back = codec.decode(type, codec.fromDeviceBytes(packed), n, 0);
        QCOMPARE(dump(back), dump(list));
        return;
    }
    const int width = CValueCodec::elementWidth(type);
    const int deviceBytes = n * width;
    const int expectedSize = rep == WireRepresentation::RawByte   ? deviceBytes
                             : rep == WireRepresentation::HexByte ? 2 * deviceBytes
                                                                  : 4 * ((deviceBytes + 1) / 2);
    QCOMPARE(wire.size(), expectedSize);
    for (char d : wire)
        QVERIFY(rep == WireRepresentation::RawByte || (d >= 0 && d <= 15));
    QCOMPARE(dump(codec.decode(type, wire, n, 0)), dump(list));

    // One memory: the device bytes behind the wire are the same whichever
    // representation carried them.
    QCOMPARE(codec.toDeviceBytes(wire).left(deviceBytes),
             CValueCodec(WireRepresentation::RawByte).toDeviceBytes([&] {
                 QByteArray raw;
                 CValueCodec(WireRepresentation::RawByte).encode(type, label(type, list, n), n, &raw);
                 return raw;
             }()));
}

void TestValueCodec::encoderRefusals_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("list");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("result");

    QTest::newRow("int16 given int list") << int(DT_Int16) << L<int>({1, 2}) << 1 << int(EncodeWrongType);
    QTest::newRow("int16 given int vector") << int(DT_Int16) << QVariant::fromValue(QVector<int>{1, 2}) << 1
                                            << int(EncodeWrongType);
    QTest::newRow("uint16 given short list") << int(DT_UInt16) << L<short>({1}) << 1 << int(EncodeWrongType);
    QTest::newRow("int8 given uchar list") << int(DT_Int8) << L<unsigned char>({1, 2}) << 2 << int(EncodeWrongType);
    QTest::newRow("float given double list") << int(DT_Float) << L<double>({1}) << 1 << int(EncodeWrongType);
    QTest::newRow("double given float list") << int(DT_Double) << L<float>({1}) << 1 << int(EncodeWrongType);
    QTest::newRow("bool given int list") << int(DT_Bool) << L<int>({1}) << 1 << int(EncodeWrongType);
    QTest::newRow("int64 given variant list") << int(DT_Int64) << QVariant(QVariantList{1}) << 1
                                              << int(EncodeWrongType);
    QTest::newRow("int32 given plain int") << int(DT_Int32) << QVariant(5) << 1 << int(EncodeWrongType);
    QTest::newRow("uint64 invalid value") << int(DT_UInt64) << QVariant() << 1 << int(EncodeWrongType);
    QTest::newRow("wrong type even for count 0") << int(DT_Int32) << L<short>({}) << 0 << int(EncodeWrongType);
    QTest::newRow("string given short list") << int(DT_String) << L<short>({0x4142}) << 2 << int(EncodeWrongType);
    QTest::newRow("string longer than the tag") << int(DT_String) << L<QString>({QStringLiteral("ABC")}) << 2
                                                << int(EncodeBadText);
    QTest::newRow("string above U+00FF") << int(DT_String) << L<QString>({QString::fromUtf8("A\u20AC")}) << 4
                                         << int(EncodeBadText);
    QTest::newRow("string huge tag") << int(DT_String) << L<QString>({QStringLiteral("A")})
                                     << std::numeric_limits<int>::max() << int(EncodeBadText);
    QTest::newRow("string empty list") << int(DT_String) << L<QString>({}) << 2 << int(EncodeTooFew);
    QTest::newRow("code 13") << int(DT_Int16_V1) << L<short>({1}) << 1 << int(EncodeWrongType);
    QTest::newRow("code 0") << int(DT_None) << L<short>({1}) << 1 << int(EncodeWrongType);
    QTest::newRow("int16 too few") << int(DT_Int16) << L<short>({1, 2}) << 3 << int(EncodeTooFew);
    QTest::newRow("bool too few") << int(DT_Bool) << L<bool>({true}) << 2 << int(EncodeTooFew);
    QTest::newRow("double empty list") << int(DT_Double) << L<double>({}) << 1 << int(EncodeTooFew);
    QTest::newRow("uint8 huge count") << int(DT_UInt8) << L<unsigned char>({1}) << std::numeric_limits<int>::max()
                                      << int(EncodeTooFew);
    QTest::newRow("count 0 ok, nothing appended") << int(DT_Int32) << L<int>({1}) << 0 << int(EncodeOk);
    QTest::newRow("negative count ok, nothing appended") << int(DT_Float) << L<float>({1}) << -2 << int(EncodeOk);
    QTest::newRow("empty list count 0") << int(DT_Bool) << L<bool>({}) << 0 << int(EncodeOk);
}

void TestValueCodec::encoderRefusals()
{
    QFETCH(int, type);
    QFETCH(QVariant, list);
    QFETCH(int, count);
    QFETCH(int, result);

    for (WireRepresentation rep : kReps) {
        const CValueCodec codec(rep);
        QByteArray out("xy");
        QCOMPARE(codec.encode(type, label(type, list, count), count, &out), result);
        QCOMPARE(out, QByteArray("xy"));
        // A missing output buffer is no reason to crash.
        QCOMPARE(codec.encode(type, label(type, list, count), count, nullptr), result);
    }
}

void TestValueCodec::shortInputsReadZero_data()
{
    QTest::addColumn<WireRepresentation>("rep");
    QTest::addColumn<int>("type");
    for (WireRepresentation rep : kReps)
        for (int t : kTypes)
            QTest::addRow("%s type %d", repName(rep), t) << rep << t;
}

void TestValueCodec::shortInputsReadZero()
{
    QFETCH(WireRepresentation, rep);
    QFETCH(int, type);

    // Every short or odd input decodes exactly as the same input padded with
    // zeros to full length: missing data reads 0 and nothing past the end is
    // touched (the padding only follows the complete units of the input).
    const CValueCodec codec(rep);
    const int unit = rep == WireRepresentation::HexByte ? 2 : rep == WireRepresentation::HexWord ? 4 : 1;
    quint32 seed = 12345;
    for (int len = 0; len <= 19; ++len) {
        QByteArray wire;
        for (int i = 0; i < len; ++i) {
            seed = seed * 1103515245u + 12345u;
            wire.append(static_cast<char>(rep == WireRepresentation::RawByte ? (seed >> 16) & 0xFF : (seed >> 16) & 0x0F));
        }
        for (int count : {0, 1, 2, 3, 5}) {
            for (int offset : {0, 3}) {
                QByteArray padded = wire.left(len - len % unit);
                padded.append(QByteArray(64 * unit, '\0'));
                const QVariant a = codec.decode(type, wire, count, offset);
                const QVariant b = codec.decode(type, padded, count, offset);
                QVERIFY2(dump(a) == dump(b), qPrintable(QStringLiteral("len %1 count %2: %3 != %4")
                                                            .arg(len).arg(count).arg(dump(a), dump(b))));
                QCOMPARE(qvariant_cast<QVariantList>(a).size(), count);
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestValueCodec)
#include "tst_valuecodec.moc"
