// The value container: accessors and their status codes, the element-wise
// operators for every element type, and the comparison rules.

#include "CLabelVariable.h"
#include "QtCompat.h"

#include <QtTest>
#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(CLabelVariable)

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
        if constexpr (std::is_same<T, char>::value || std::is_same<T, signed char>::value)
            parts << QString::number(static_cast<int>(static_cast<signed char>(x)));
        else if constexpr (std::is_same<T, bool>::value)
            parts << (x ? QStringLiteral("true") : QStringLiteral("false"));
        else if constexpr (std::is_same<T, float>::value)
            parts << QString::number(static_cast<double>(x), 'g', 9);
        else if constexpr (std::is_same<T, double>::value)
            parts << QString::number(x, 'g', 17);
        else if constexpr (std::is_same<T, QString>::value)
            parts << QLatin1Char('"') + x + QLatin1Char('"');
        else
            parts << QString::number(x);
    }
    return QString::fromLatin1(name) + QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
}

// A readable, exact rendering of a value: element type and elements.
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
    if (t == qMetaTypeId<QList<QString>>()) return joinList<QString>(v, "string");
    return QStringLiteral("other:") + QString::fromLatin1(v.typeName());
}

CLabelVariable make(int type, const QVariant &value, int count, int status = 0,
                    const QString &address = QStringLiteral("D100"), const QString &auxText = QString())
{
    CLabelVariable v;
    v.dataType = type;
    v.value = value;
    v.count = count;
    v.status = status;
    v.address = address;
    v.auxText = auxText;
    return v;
}

CLabelVariable apply(CLabelVariable &l, const CLabelVariable &r, const QString &op)
{
    if (op == QLatin1String("+")) return l + r;
    if (op == QLatin1String("-")) return l - r;
    if (op == QLatin1String("*")) return l * r;
    return l / r;
}

// Calls the accessor named `which` and renders its result as a variant.
QVariant callAt(CLabelVariable &v, const QString &which, int i)
{
    if (which == QLatin1String("atbool")) return v.atbool(i);
    if (which == QLatin1String("atchar")) return static_cast<int>(static_cast<signed char>(v.atchar(i)));
    if (which == QLatin1String("atInt8")) return static_cast<int>(static_cast<signed char>(v.atInt8(i)));
    if (which == QLatin1String("atUInt8")) return static_cast<uint>(v.atUInt8(i));
    if (which == QLatin1String("atInt16")) return static_cast<int>(v.atInt16(i));
    if (which == QLatin1String("atUInt16")) return static_cast<uint>(v.atUInt16(i));
    if (which == QLatin1String("atInt32")) return v.atInt32(i);
    if (which == QLatin1String("atUInt32")) return v.atUInt32(i);
    if (which == QLatin1String("atFloat")) return v.atFloat(i);
    if (which == QLatin1String("atInt64")) return v.atInt64(i);
    if (which == QLatin1String("atUInt64")) return v.atUInt64(i);
    if (which == QLatin1String("atDouble")) return v.atDouble(i);
    if (which == QLatin1String("atQString")) return v.atQString(i);
    return QVariant();
}

const char *const kAccessors[] = {"atbool", "atchar", "atInt8", "atUInt8", "atInt16", "atUInt16", "atInt32",
                                  "atUInt32", "atFloat", "atInt64", "atUInt64", "atDouble", "atQString"};

} // namespace

class TestCLabelVariable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerLabelMetaTypes(); }

    void metaTypesRegistered();
    void defaultConstructed();
    void copyKeepsAllFields();
    void accessors_data();
    void accessors();
    void atInt8EqualsAtchar();
    void listOfOtherElementTypeIsRefused();
    void vectorAndStringListRead();
    void arithmetic_data();
    void arithmetic();
    void int8DividesSigned_data();
    void int8DividesSigned();
    void resultMetadata_data();
    void resultMetadata();
    void mismatchedLists_data();
    void mismatchedLists();
    void codesWithoutStorage_data();
    void codesWithoutStorage();
    void equality_data();
    void equality();
};

void TestCLabelVariable::metaTypesRegistered()
{
    registerLabelMetaTypes(); // a second call must be harmless
    QCOMPARE(QtCompat::metaTypeIdOfName("QList<short>"), qMetaTypeId<QList<short>>());
    QCOMPARE(QtCompat::metaTypeIdOfName("QList<double>"), qMetaTypeId<QList<double>>());
    QVERIFY(QtCompat::metaTypeIdOfName("QList<QString>") != QMetaType::UnknownType);
    QVERIFY(QtCompat::metaTypeIdOfName("QList<bool>") != QMetaType::UnknownType);
    QVERIFY(QtCompat::metaTypeIdOfName("QList<char>") != QMetaType::UnknownType);
    QVERIFY(qMetaTypeId<QList<char>>() != qMetaTypeId<QList<unsigned char>>());
    // The value holds the list under its own meta-type, not as a variant list.
    const QVariant v = QVariant::fromValue(QList<int>{1});
    QCOMPARE(v.userType(), qMetaTypeId<QList<int>>());
}

void TestCLabelVariable::defaultConstructed()
{
    CLabelVariable v;
    QCOMPARE(v.status, 1);
    QCOMPARE(v.accessStatus, 1);
    QVERIFY(!v.value.isValid());
    QVERIFY(v.timestamp.isNull());
    QVERIFY(v.address.isNull());
    QCOMPARE(v.count, 0);
    QCOMPARE(v.dataType, 0);
    QCOMPARE(v.auxCode, 0);
    QVERIFY(v.auxText.isNull());
    for (const char *name : kAccessors) {
        CLabelVariable w;
        const QVariant r = callAt(w, QLatin1String(name), 0);
        QVERIFY2(w.accessStatus == 11, name);
        if (r.userType() == QMetaType::QString)
            QVERIFY2(r.toString().isNull(), name);
        else
            QVERIFY2(r.toDouble() == 0.0 && !r.toBool(), name);
    }
}

void TestCLabelVariable::copyKeepsAllFields()
{
    CLabelVariable a = make(DT_Int16, L<short>({5, 6}), 2, 7, QStringLiteral("D9"), QStringLiteral("aux"));
    a.accessStatus = 10;
    a.auxCode = 42;
    a.timestamp = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
    CLabelVariable b(a);
    CLabelVariable c;
    c = a;
    for (CLabelVariable *x : {&b, &c}) {
        QCOMPARE(x->status, 7);
        QCOMPARE(x->accessStatus, 10);
        QCOMPARE(dump(x->value), QStringLiteral("short{5,6}"));
        QCOMPARE(x->timestamp, a.timestamp);
        QCOMPARE(x->address, QStringLiteral("D9"));
        QCOMPARE(x->count, 2);
        QCOMPARE(x->dataType, int(DT_Int16));
        QCOMPARE(x->auxCode, 42);
        QCOMPARE(x->auxText, QStringLiteral("aux"));
    }
}

void TestCLabelVariable::accessors_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("accessor");
    QTest::addColumn<int>("index");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<int>("accessStatus");

    const QVariant s = L<short>({5, 6});
    QTest::newRow("short 0") << s << "atInt16" << 0 << QVariant(5) << 0;
    QTest::newRow("short 1") << s << "atInt16" << 1 << QVariant(6) << 0;
    QTest::newRow("short past end") << s << "atInt16" << 2 << QVariant(0) << 10;
    QTest::newRow("short negative") << s << "atInt16" << -1 << QVariant(0) << 10;
    QTest::newRow("short as int32") << s << "atInt32" << 0 << QVariant(0) << 11;
    QTest::newRow("short as uint16") << s << "atUInt16" << 0 << QVariant(0u) << 11;

    QTest::newRow("bool") << L<bool>({false, true}) << "atbool" << 1 << QVariant(true) << 0;
    QTest::newRow("bool past end") << L<bool>({true}) << "atbool" << 1 << QVariant(false) << 10;
    QTest::newRow("char") << L<char>({'a', static_cast<char>(0xFC)}) << "atchar" << 1 << QVariant(-4) << 0;
    QTest::newRow("int8") << L<char>({'a', static_cast<char>(0x80)}) << "atInt8" << 1 << QVariant(-128) << 0;
    QTest::newRow("int8 of uchar list") << L<unsigned char>({1}) << "atInt8" << 0 << QVariant(0) << 11;
    QTest::newRow("uint8") << L<unsigned char>({0, 255}) << "atUInt8" << 1 << QVariant(255u) << 0;
    QTest::newRow("uint8 of char list") << L<char>({1}) << "atUInt8" << 0 << QVariant(0u) << 11;
    QTest::newRow("uint16") << L<unsigned short>({65535}) << "atUInt16" << 0 << QVariant(65535u) << 0;
    QTest::newRow("int32") << L<int>({std::numeric_limits<int>::min()}) << "atInt32" << 0
                           << QVariant(std::numeric_limits<int>::min()) << 0;
    QTest::newRow("int32 huge index") << L<int>({1}) << "atInt32" << std::numeric_limits<int>::max()
                                      << QVariant(0) << 10;
    QTest::newRow("int32 most negative index") << L<int>({1}) << "atInt32" << std::numeric_limits<int>::min()
                                               << QVariant(0) << 10;
    QTest::newRow("uint32") << L<unsigned int>({1, 4000000000u}) << "atUInt32" << 1 << QVariant(4000000000u) << 0;
    QTest::newRow("uint32 of int list") << L<int>({1}) << "atUInt32" << 0 << QVariant(0u) << 11;
    QTest::newRow("float") << L<float>({1.5f}) << "atFloat" << 0 << QVariant(1.5f) << 0;
    QTest::newRow("float of double list") << L<double>({1.5}) << "atFloat" << 0 << QVariant(0.0f) << 11;
    QTest::newRow("int64") << L<long long>({-5000000000LL}) << "atInt64" << 0 << QVariant(-5000000000LL) << 0;
    QTest::newRow("uint64") << L<unsigned long long>({18446744073709551615ULL}) << "atUInt64" << 0
                            << QVariant(18446744073709551615ULL) << 0;
    QTest::newRow("double") << L<double>({0.1, -2.25}) << "atDouble" << 1 << QVariant(-2.25) << 0;
    QTest::newRow("double empty list") << L<double>({}) << "atDouble" << 0 << QVariant(0.0) << 10;
    QTest::newRow("string") << L<QString>({QStringLiteral("x"), QStringLiteral("yz")}) << "atQString" << 1
                            << QVariant(QStringLiteral("yz")) << 0;
    QTest::newRow("string past end") << L<QString>({}) << "atQString" << 0 << QVariant(QString()) << 10;
    QTest::newRow("plain int is no list") << QVariant(5) << "atInt32" << 0 << QVariant(0) << 11;
    QTest::newRow("variant list is no list") << QVariant(QVariantList{1, 2}) << "atInt32" << 0 << QVariant(0) << 11;
    QTest::newRow("invalid value") << QVariant() << "atDouble" << 0 << QVariant(0.0) << 11;
}

void TestCLabelVariable::accessors()
{
    QFETCH(QVariant, value);
    QFETCH(QString, accessor);
    QFETCH(int, index);
    QFETCH(QVariant, expected);
    QFETCH(int, accessStatus);

    CLabelVariable v = make(DT_Int16, value, 2);
    const QVariant got = callAt(v, accessor, index);
    QCOMPARE(v.accessStatus, accessStatus);
    QCOMPARE(got, expected);
    if (expected.userType() == QMetaType::QString && accessStatus != 0)
        QVERIFY(got.toString().isNull());
    // The accessor never changes anything but accessStatus.
    QCOMPARE(v.status, 0);
    QCOMPARE(v.count, 2);
    QCOMPARE(dump(v.value), dump(value));
}

void TestCLabelVariable::atInt8EqualsAtchar()
{
    CLabelVariable v = make(DT_Int8, L<char>({0, 1, 127, static_cast<char>(0x80), static_cast<char>(0xFF)}), 5);
    for (int i = -2; i < 8; ++i) {
        const char a = v.atchar(i);
        const int sa = v.accessStatus;
        const char b = v.atInt8(i);
        QCOMPARE(b, a);
        QCOMPARE(v.accessStatus, sa);
        QCOMPARE(sa, (i >= 0 && i < 5) ? 0 : 10);
    }
}

void TestCLabelVariable::listOfOtherElementTypeIsRefused()
{
    // A list of another element type must read as "wrong type" (11), never as a
    // converted copy; Qt 5 has no converter between these list types.
    const QVariant s = L<short>({5, 6});
    QVERIFY(!s.canConvert<QList<int>>());
    QVERIFY(!L<char>({1}).canConvert<QList<unsigned char>>());
    QVERIFY(!L<int>({1}).canConvert<QList<unsigned int>>());
    QVERIFY(s.canConvert<QList<short>>());

    // Even with a converter registered (as a host might do), the accessor keeps
    // to the exact list type.
    QMetaType::registerConverter<QList<short>, QList<int>>([](const QList<short> &in) {
        QList<int> out;
        for (short x : in)
            out << x;
        return out;
    });
    CLabelVariable v = make(DT_Int16, s, 2);
    QCOMPARE(v.atInt32(0), 0);
    QCOMPARE(v.accessStatus, 11);
    QCOMPARE(int(v.atInt16(1)), 6);
    QCOMPARE(v.accessStatus, 0);
}

void TestCLabelVariable::vectorAndStringListRead()
{
    // Qt 6 makes QVector<T> the same type as QList<T> and QStringList the same
    // as QList<QString>; a value holding one reads as the list of that element
    // type with either Qt, in the accessors, the comparison and the operators.
    CLabelVariable v = make(DT_Int16, QVariant::fromValue(QVector<short>{5, 6}), 2);
    QCOMPARE(int(v.atInt16(1)), 6);
    QCOMPARE(v.accessStatus, 0);
    QCOMPARE(v.atInt32(0), 0);
    QCOMPARE(v.accessStatus, 11);
    CLabelVariable asList = make(DT_Int16, L<short>({5, 6}), 2);
    QVERIFY(v == asList);
    QVERIFY(asList == v);
    const CLabelVariable sum = v + asList;
    QCOMPARE(dump(sum.value), QStringLiteral("short{10,12}"));
    CLabelVariable ints = make(DT_Int16, QVariant::fromValue(QVector<int>{5, 6}), 2);
    QCOMPARE(int(ints.atInt16(0)), 0);
    QCOMPARE(ints.accessStatus, 11);
    QVERIFY(!(ints == asList));

    CLabelVariable s = make(DT_String, QVariant(QStringList{QStringLiteral("x"), QStringLiteral("yz")}), 2);
    QCOMPARE(s.atQString(1), QStringLiteral("yz"));
    QCOMPARE(s.accessStatus, 0);
    QVERIFY(s == make(DT_String, L<QString>({QStringLiteral("x"), QStringLiteral("yz")}), 2));
    QVERIFY(!(s == make(DT_String, L<QString>({QStringLiteral("x"), QStringLiteral("y")}), 2)));
}

void TestCLabelVariable::arithmetic_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QVariant>("left");
    QTest::addColumn<QVariant>("right");
    QTest::addColumn<QVariant>("expected");

    const auto rows = [](const char *tag, int type, const QVariant &l, const QVariant &r, const QVariant &add,
                         const QVariant &sub, const QVariant &mul, const QVariant &div) {
        QTest::addRow("%s +", tag) << type << "+" << l << r << add;
        QTest::addRow("%s -", tag) << type << "-" << l << r << sub;
        QTest::addRow("%s *", tag) << type << "*" << l << r << mul;
        QTest::addRow("%s /", tag) << type << "/" << l << r << div;
    };

    rows("bool", DT_Bool, L<bool>({true, false}), L<bool>({true, true}), L<bool>({true, true}),
         L<bool>({false, true}), L<bool>({true, false}), L<bool>({true, false}));
    rows("bool reversed", DT_Bool, L<bool>({true, true}), L<bool>({true, false}), L<bool>({true, true}),
         L<bool>({false, true}), L<bool>({true, false}), L<bool>({true, false}));
    rows("bool false pairs", DT_Bool, L<bool>({false, false}), L<bool>({false, true}), L<bool>({false, true}),
         L<bool>({false, true}), L<bool>({false, false}), L<bool>({false, false}));

    const auto c = [](int x) { return static_cast<char>(static_cast<signed char>(x)); };
    rows("int8", DT_Int8, L<char>({c(100), c(-4), c(7), c(-128)}), L<char>({c(100), c(2), c(0), c(-1)}),
         L<char>({c(-56), c(-2), c(7), c(127)}), L<char>({c(0), c(-6), c(7), c(-127)}),
         L<char>({c(16), c(-8), c(0), c(-128)}), L<char>({c(1), c(-2), c(0), c(-128)}));
    rows("uint8", DT_UInt8, L<unsigned char>({200, 7, 255, 3}), L<unsigned char>({100, 0, 255, 5}),
         L<unsigned char>({44, 7, 254, 8}), L<unsigned char>({100, 7, 0, 254}),
         L<unsigned char>({32, 0, 1, 15}), L<unsigned char>({2, 0, 1, 0}));
    rows("int16", DT_Int16, L<short>({32767, -32768, -7, 6}), L<short>({1, -1, 2, 0}),
         L<short>({-32768, 32767, -5, 6}), L<short>({32766, -32767, -9, 6}),
         L<short>({32767, -32768, -14, 0}), L<short>({32767, -32768, -3, 0}));
    rows("int16 variant 1", DT_Int16_V1, L<short>({32767, 10}), L<short>({1, -3}), L<short>({-32768, 7}),
         L<short>({32766, 13}), L<short>({32767, -30}), L<short>({32767, -3}));
    rows("int16 variant 2", DT_Int16_V2, L<short>({-32768}), L<short>({-1}), L<short>({32767}),
         L<short>({-32767}), L<short>({-32768}), L<short>({-32768}));
    rows("uint16", DT_UInt16, L<unsigned short>({65535, 0, 300, 9}), L<unsigned short>({1, 1, 300, 0}),
         L<unsigned short>({0, 1, 600, 9}), L<unsigned short>({65534, 65535, 0, 9}),
         L<unsigned short>({65535, 0, 24464, 0}), L<unsigned short>({65535, 0, 1, 0}));
    rows("uint16 variant 1", DT_UInt16_V1, L<unsigned short>({65535}), L<unsigned short>({2}),
         L<unsigned short>({1}), L<unsigned short>({65533}), L<unsigned short>({65534}), L<unsigned short>({32767}));

    const int imax = std::numeric_limits<int>::max();
    const int imin = std::numeric_limits<int>::min();
    rows("int32 small", DT_Int32, L<int>({1, 2, 3}), L<int>({10, 20, 30}), L<int>({11, 22, 33}),
         L<int>({-9, -18, -27}), L<int>({10, 40, 90}), L<int>({0, 0, 0}));
    QTest::newRow("int32 small R / L") << int(DT_Int32) << "/" << L<int>({10, 20, 30}) << L<int>({1, 2, 3})
                                       << L<int>({10, 10, 10});
    rows("int32 wrap", DT_Int32, L<int>({imax, imin, -7, 5, imax}), L<int>({1, -1, 2, 0, imax}),
         L<int>({imin, imax, -5, 5, -2}), L<int>({imax - 1, imin + 1, -9, 5, 0}),
         L<int>({imax, imin, -14, 0, 1}), L<int>({imax, imin, -3, 0, 1}));
    rows("int32 variant 4", DT_Int32_V4, L<int>({imin}), L<int>({-1}), L<int>({imax}), L<int>({imin + 1}),
         L<int>({imin}), L<int>({imin}));
    const unsigned umax = std::numeric_limits<unsigned>::max();
    rows("uint32", DT_UInt32, L<unsigned>({umax, 0, 7}), L<unsigned>({1, 1, 0}), L<unsigned>({0, 1, 7}),
         L<unsigned>({umax - 1, umax, 7}), L<unsigned>({umax, 0, 0}), L<unsigned>({umax, 0, 0}));
    rows("uint32 variant 1", DT_UInt32_V1, L<unsigned>({4000000000u}), L<unsigned>({2}),
         L<unsigned>({4000000002u}), L<unsigned>({3999999998u}), L<unsigned>({3705032704u}),
         L<unsigned>({2000000000u}));
    const long long lmax = std::numeric_limits<long long>::max();
    const long long lmin = std::numeric_limits<long long>::min();
    rows("int64", DT_Int64, L<long long>({lmax, lmin, -7, 5, 4000000000LL}), L<long long>({1, -1, 2, 0, 3}),
         L<long long>({lmin, lmax, -5, 5, 4000000003LL}), L<long long>({lmax - 1, lmin + 1, -9, 5, 3999999997LL}),
         L<long long>({lmax, lmin, -14, 0, 12000000000LL}), L<long long>({lmax, lmin, -3, 0, 1333333333LL}));
    const unsigned long long ulmax = std::numeric_limits<unsigned long long>::max();
    rows("uint64", DT_UInt64, L<unsigned long long>({ulmax, 0, 7}), L<unsigned long long>({1, 1, 0}),
         L<unsigned long long>({0, 1, 7}), L<unsigned long long>({ulmax - 1, ulmax, 7}),
         L<unsigned long long>({ulmax, 0, 0}), L<unsigned long long>({ulmax, 0, 0}));

    rows("float", DT_Float, L<float>({1.5f, -2.0f, 0.1f}), L<float>({0.5f, 4.0f, 0.2f}),
         L<float>({2.0f, 2.0f, 0.1f + 0.2f}), L<float>({1.0f, -6.0f, 0.1f - 0.2f}),
         L<float>({0.75f, -8.0f, 0.1f * 0.2f}), L<float>({3.0f, -0.5f, 0.1f / 0.2f}));
    const float finf = std::numeric_limits<float>::infinity();
    rows("float by zero", DT_Float_V2, L<float>({1.0f, -1.0f}), L<float>({0.0f, 0.0f}), L<float>({1.0f, -1.0f}),
         L<float>({1.0f, -1.0f}), L<float>({0.0f, -0.0f}), L<float>({finf, -finf}));
    rows("double", DT_Double, L<double>({1.5, -2.0, 0.1}), L<double>({0.5, 4.0, 0.2}),
         L<double>({2.0, 2.0, 0.1 + 0.2}), L<double>({1.0, -6.0, 0.1 - 0.2}),
         L<double>({0.75, -8.0, 0.1 * 0.2}), L<double>({3.0, -0.5, 0.1 / 0.2}));
    rows("double variant 3", DT_Double_V3, L<double>({1e300}), L<double>({1e10}), L<double>({1e300 + 1e10}),
         L<double>({1e300 - 1e10}), L<double>({std::numeric_limits<double>::infinity()}),
         L<double>({1e300 / 1e10}));

    rows("empty int lists", DT_Int32, L<int>({}), L<int>({}), L<int>({}), L<int>({}), L<int>({}), L<int>({}));
}

void TestCLabelVariable::arithmetic()
{
    QFETCH(int, type);
    QFETCH(QString, op);
    QFETCH(QVariant, left);
    QFETCH(QVariant, right);
    QFETCH(QVariant, expected);

    const int n = qvariant_cast<QVariantList>(left).size();
    CLabelVariable l = make(type, left, n);
    CLabelVariable r = make(type, right, n);
    const CLabelVariable res = apply(l, r, op);
    QCOMPARE(dump(res.value), dump(expected));
    QCOMPARE(res.dataType, type);
    // The operands keep their lists.
    QCOMPARE(dump(l.value), dump(left));
    QCOMPARE(dump(r.value), dump(right));
}

void TestCLabelVariable::int8DividesSigned_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("quotient");

    // The char bits of these operands are negative as signed 8-bit values; read as
    // unsigned bytes (as plain char is on ARM) they would give other quotients.
    QTest::newRow("-4 / 2") << -4 << 2 << -2;
    QTest::newRow("4 / -2") << 4 << -2 << -2;
    QTest::newRow("-4 / -2") << -4 << -2 << 2;
    QTest::newRow("-127 / 2 truncates toward zero") << -127 << 2 << -63;
    QTest::newRow("-128 / -1 stays most negative") << -128 << -1 << -128;
    QTest::newRow("-128 / 1") << -128 << 1 << -128;
    QTest::newRow("-1 / -1") << -1 << -1 << 1;
    QTest::newRow("100 / -3") << 100 << -3 << -33;
    QTest::newRow("-100 / 0") << -100 << 0 << 0;
    QTest::newRow("127 / 127") << 127 << 127 << 1;
}

void TestCLabelVariable::int8DividesSigned()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, quotient);

    const char ca = static_cast<char>(static_cast<signed char>(a));
    const char cb = static_cast<char>(static_cast<signed char>(b));
    CLabelVariable l = make(DT_Int8, L<char>({ca}), 1);
    CLabelVariable r = make(DT_Int8, L<char>({cb}), 1);
    CLabelVariable res = l / r;
    QCOMPARE(res.value.userType(), qMetaTypeId<QList<char>>());
    QCOMPARE(static_cast<int>(static_cast<signed char>(res.atInt8(0))), quotient);
    QCOMPARE(res.accessStatus, 0);
}

void TestCLabelVariable::resultMetadata_data()
{
    // The time stamp's local time follows the zone, also when TZ changes between two calls.
    QTest::addColumn<QString>("op");
    QTest::addColumn<QByteArray>("tz");  // empty: TZ unset
    QTest::newRow("+") << "+" << QByteArray();
    QTest::newRow("- UTC+9") << "-" << QByteArray("XST-9");
    QTest::newRow("* UTC-5:30") << "*" << QByteArray("YST+5:30");
    QTest::newRow("/") << "/" << QByteArray();
}

void TestCLabelVariable::resultMetadata()
{
    QFETCH(QString, op);
    QFETCH(QByteArray, tz);
    const QByteArray oldTz = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    const auto restoreTz = qScopeGuard([&] { hadTz ? qputenv("TZ", oldTz) : qunsetenv("TZ"); });
    tz.isEmpty() ? qunsetenv("TZ") : qputenv("TZ", tz);

    CLabelVariable l = make(DT_Int32, L<int>({1, 2}), 2, 0, QStringLiteral("D0"), QStringLiteral("left"));
    l.auxCode = 5;
    l.timestamp = QDateTime(QDate(2001, 1, 1), QTime(0, 0));
    CLabelVariable r = make(DT_Int32_V2, L<int>({3, 4}), 2, 9, QStringLiteral("D7"), QStringLiteral("right"));
    r.auxCode = 6;
    r.accessStatus = 10;

    const QDateTime before = QDateTime::currentDateTime();
    const CLabelVariable res = apply(l, r, op);
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(res.status, 9);
    QCOMPARE(res.address, QStringLiteral("D7"));
    QCOMPARE(res.count, 2);
    QCOMPARE(res.dataType, int(DT_Int32_V2));
    QCOMPARE(res.auxText, QStringLiteral("right"));
    QCOMPARE(res.auxCode, 0);
    QCOMPARE(res.accessStatus, 1);
    QVERIFY(res.timestamp.isValid());
    QVERIFY(res.timestamp >= before && res.timestamp <= after);
    const auto wallClock = [](const QDateTime &t) { return QDateTime(t.date(), t.time(), Qt::UTC); };
    const qint64 behind = wallClock(res.timestamp).msecsTo(wallClock(after));
    QVERIFY2(behind >= 0 && behind <= before.msecsTo(after), qPrintable(res.timestamp.toString(Qt::ISODateWithMs)));
    QCOMPARE(res.value.userType(), qMetaTypeId<QList<int>>());
    QCOMPARE(qvariant_cast<QList<int>>(res.value).size(), 2);
    // The left operand's elements were read through its accessors; the right
    // operand, taken as const, is left as it was.
    QCOMPARE(l.accessStatus, 0);
    QCOMPARE(r.accessStatus, 10);
}

void TestCLabelVariable::mismatchedLists_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QVariant>("left");
    QTest::addColumn<int>("leftCount");
    QTest::addColumn<QVariant>("right");
    QTest::addColumn<QString>("emptyList");

    const char *ops[] = {"+", "-", "*", "/"};
    for (const char *op : ops) {
        QTest::addRow("int32 right shorter %s", op) << int(DT_Int32) << op << L<int>({1, 2, 3}) << 3
                                                    << L<int>({10, 20}) << "int{}";
        QTest::addRow("int32 right longer %s", op) << int(DT_Int32) << op << L<int>({1, 2}) << 2
                                                   << L<int>({10, 20, 30}) << "int{}";
        QTest::addRow("int32 count differs %s", op) << int(DT_Int32) << op << L<int>({1, 2}) << 1
                                                    << L<int>({10, 20}) << "int{}";
        QTest::addRow("int32 count beyond lists %s", op) << int(DT_Int32) << op << L<int>({1, 2}) << 5
                                                         << L<int>({10, 20}) << "int{}";
        QTest::addRow("int32 negative count %s", op) << int(DT_Int32) << op << L<int>({}) << -1
                                                     << L<int>({}) << "int{}";
        QTest::addRow("right of other type %s", op) << int(DT_Int16) << op << L<short>({1, 2}) << 2
                                                    << L<int>({10, 20}) << "short{}";
        QTest::addRow("left of other type %s", op) << int(DT_Double) << op << L<float>({1, 2}) << 2
                                                   << L<double>({10, 20}) << "double{}";
        QTest::addRow("left invalid %s", op) << int(DT_Bool) << op << QVariant() << 1 << L<bool>({true})
                                             << "bool{}";
        QTest::addRow("int8 short %s", op) << int(DT_Int8) << op << L<char>({1}) << 1 << L<char>({}) << "char{}";
        QTest::addRow("uint64 short %s", op) << int(DT_UInt64) << op << L<unsigned long long>({1}) << 1
                                             << L<unsigned long long>({}) << "ull{}";
    }
}

void TestCLabelVariable::mismatchedLists()
{
    QFETCH(int, type);
    QFETCH(QString, op);
    QFETCH(QVariant, left);
    QFETCH(int, leftCount);
    QFETCH(QVariant, right);
    QFETCH(QString, emptyList);

    CLabelVariable l = make(type, left, leftCount, 0, QStringLiteral("D1"));
    CLabelVariable r = make(type, right, leftCount, 3, QStringLiteral("D2"), QStringLiteral("r"));
    const CLabelVariable res = apply(l, r, op);
    QCOMPARE(dump(res.value), emptyList);
    QCOMPARE(res.status, 3);
    QCOMPARE(res.address, QStringLiteral("D2"));
    QCOMPARE(res.auxText, QStringLiteral("r"));
    QVERIFY(res.timestamp.isValid());
    // Same metadata, mismatched lists: never equal.
    CLabelVariable sameMeta = l;
    sameMeta.value = right;
    QVERIFY(!(l == sameMeta));
}

void TestCLabelVariable::codesWithoutStorage_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("op");

    const char *ops[] = {"+", "-", "*", "/"};
    const int codes[] = {DT_None, DT_Code25, DT_Code28, DT_Code32, 41, 1000, -1, DT_String};
    for (int code : codes)
        for (const char *op : ops)
            QTest::addRow("code %d %s", code, op) << code << op;
}

void TestCLabelVariable::codesWithoutStorage()
{
    QFETCH(int, type);
    QFETCH(QString, op);

    CLabelVariable l = make(type, L<QString>({QStringLiteral("a")}), 1, 0, QStringLiteral("D1"), QStringLiteral("x"));
    CLabelVariable r = make(type, L<QString>({QStringLiteral("b")}), 1, 0, QStringLiteral("D2"), QStringLiteral("y"));
    r.auxCode = 3;
    const CLabelVariable res = apply(l, r, op);
    QCOMPARE(res.status, 1);
    QCOMPARE(res.accessStatus, 1);
    QVERIFY(!res.value.isValid());
    QVERIFY(res.timestamp.isNull());
    QVERIFY(res.address.isNull());
    QCOMPARE(res.count, 0);
    QCOMPARE(res.dataType, 0);
    QCOMPARE(res.auxCode, 0);
    QVERIFY(res.auxText.isNull());
}

void TestCLabelVariable::equality_data()
{
    QTest::addColumn<CLabelVariable>("left");
    QTest::addColumn<CLabelVariable>("right");
    QTest::addColumn<bool>("equal");

    const CLabelVariable base = make(DT_Int32, L<int>({1, 2, 3}), 3, 0, QStringLiteral("D5"), QStringLiteral("t"));
    QTest::newRow("same") << base << base << true;

    CLabelVariable other = base;
    other.timestamp = QDateTime::currentDateTime();
    other.accessStatus = 11;
    other.auxCode = 99;
    QTest::newRow("differ in timestamp, accessStatus, auxCode") << base << other << true;

    other = base;
    other.auxText = QStringLiteral("u");
    QTest::newRow("differ in auxText") << base << other << false;
    other = base;
    other.status = 7;
    QTest::newRow("differ in status") << base << other << false;
    other = base;
    other.address = QStringLiteral("D6");
    QTest::newRow("differ in address") << base << other << false;
    other = base;
    other.dataType = DT_Int32_V1;
    QTest::newRow("differ in dataType") << base << other << false;
    other = base;
    other.count = 2;
    QTest::newRow("differ in right count only") << base << other << false;
    other = base;
    other.value = L<int>({1, 2, 4});
    QTest::newRow("differ in last element") << base << other << false;
    other = base;
    other.value = L<int>({1, 2});
    QTest::newRow("right list shorter") << base << other << false;
    other = base;
    other.value = L<unsigned>({1, 2, 3});
    QTest::newRow("right list of other type") << base << other << false;

    QTest::newRow("count 0 empty lists") << make(DT_Int16, L<short>({}), 0) << make(DT_Int16, L<short>({}), 0)
                                         << true;
    QTest::newRow("count 0 empty lists, meta differs")
        << make(DT_Int16, L<short>({}), 0) << make(DT_Int16, L<short>({}), 0, 1) << false;
    QTest::newRow("count 0 but lists hold elements")
        << make(DT_Int16, L<short>({1}), 0) << make(DT_Int16, L<short>({1}), 0) << false;
    QTest::newRow("count 0 invalid values") << make(DT_Int16, QVariant(), 0) << make(DT_Int16, QVariant(), 0)
                                            << true;

    QTest::newRow("code 13 equal lists") << make(DT_Int16_V1, L<short>({-1, 7}), 2)
                                         << make(DT_Int16_V1, L<short>({-1, 7}), 2) << true;
    QTest::newRow("code 13 unequal lists") << make(DT_Int16_V1, L<short>({-1, 7}), 2)
                                           << make(DT_Int16_V1, L<short>({-1, 8}), 2) << false;
    QTest::newRow("bool") << make(DT_Bool, L<bool>({true, false}), 2) << make(DT_Bool, L<bool>({true, false}), 2)
                          << true;
    QTest::newRow("bool differs") << make(DT_Bool, L<bool>({true, false}), 2)
                                  << make(DT_Bool, L<bool>({true, true}), 2) << false;
    QTest::newRow("int8") << make(DT_Int8, L<char>({'a', static_cast<char>(0x90)}), 2)
                          << make(DT_Int8, L<char>({'a', static_cast<char>(0x90)}), 2) << true;
    QTest::newRow("uint64") << make(DT_UInt64, L<unsigned long long>({1, 2}), 2)
                            << make(DT_UInt64, L<unsigned long long>({1, 3}), 2) << false;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("double NaN") << make(DT_Double, L<double>({nan}), 1) << make(DT_Double, L<double>({nan}), 1)
                                << false;
    QTest::newRow("double signed zeros") << make(DT_Double, L<double>({0.0}), 1)
                                         << make(DT_Double, L<double>({-0.0}), 1) << true;
    QTest::newRow("float exact") << make(DT_Float, L<float>({0.1f}), 1) << make(DT_Float, L<float>({0.1f}), 1)
                                 << true;
    QTest::newRow("float NaN") << make(DT_Float_V1, L<float>({std::numeric_limits<float>::quiet_NaN()}), 1)
                               << make(DT_Float_V1, L<float>({std::numeric_limits<float>::quiet_NaN()}), 1)
                               << false;
    QTest::newRow("strings equal") << make(DT_String, L<QString>({QStringLiteral("ab"), QString()}), 2)
                                   << make(DT_String, L<QString>({QStringLiteral("ab"), QString()}), 2) << true;
    QTest::newRow("strings differ") << make(DT_String, L<QString>({QStringLiteral("ab")}), 1)
                                    << make(DT_String, L<QString>({QStringLiteral("aB")}), 1) << false;

    QTest::newRow("code 25 compares metadata only")
        << make(DT_Code25, L<int>({1}), 1) << make(DT_Code25, L<double>({2, 3}), 1) << true;
    QTest::newRow("code 25 metadata differs")
        << make(DT_Code25, L<int>({1}), 1) << make(DT_Code25, L<int>({1}), 1, 0, QStringLiteral("D0")) << false;
    QTest::newRow("code 0 compares metadata only") << make(DT_None, QVariant(5), 4) << make(DT_None, QVariant(), 4)
                                                   << true;
    QTest::newRow("code 41 compares metadata only") << make(41, L<int>({1}), 9) << make(41, L<int>({2}), 9) << true;
    QTest::newRow("default constructed") << CLabelVariable() << CLabelVariable() << true;
}

void TestCLabelVariable::equality()
{
    QFETCH(CLabelVariable, left);
    QFETCH(CLabelVariable, right);
    QFETCH(bool, equal);
    QCOMPARE(left == right, equal);
}

QTEST_APPLESS_MAIN(TestCLabelVariable)
#include "tst_clabelvariable.moc"
