#include "CLabelVariable.h"
#include "LabelLists.h"
#include "LocalClock.h"

#include <limits>
#include <type_traits>

namespace {

// The element list is recognised by its exact element type (LabelLists.h):
// Qt 5 has no converter between QList<short> and QList<int> and friends, but a
// host may register converters of its own; a list of another element type must
// still read as "wrong type" and never as a silently converted copy.
using LabelLists::holdsList;
using LabelLists::listOf;

template <typename T>
T elementAt(const QVariant &v, int index, int &accessStatus)
{
    if (!holdsList<T>(v)) {
        accessStatus = 11;
        return T();
    }
    const QList<T> list = listOf<T>(v);
    if (index < 0 || index >= list.size()) {
        accessStatus = 10;
        return T();
    }
    accessStatus = 0;
    return list.at(index);
}

// Element classes selected by a DataType code.
enum class Elem { None, Bool, Char, UChar, Short, UShort, Int, UInt, Float, LongLong, ULongLong, Double, String };

Elem elemOf(int code)
{
    switch (code) {
    case DT_Bool: return Elem::Bool;
    case DT_Int8: return Elem::Char;
    case DT_UInt8: return Elem::UChar;
    case DT_Int16: case DT_Int16_V1: case DT_Int16_V2: return Elem::Short;
    case DT_UInt16: case DT_UInt16_V1: case DT_UInt16_V2: return Elem::UShort;
    case DT_Int32: case DT_Int32_V1: case DT_Int32_V2: case DT_Int32_V3: case DT_Int32_V4: return Elem::Int;
    case DT_UInt32: case DT_UInt32_V1: case DT_UInt32_V2: case DT_UInt32_V3: case DT_UInt32_V4: return Elem::UInt;
    case DT_Float: case DT_Float_V1: case DT_Float_V2: case DT_Float_V3: case DT_Float_V4: return Elem::Float;
    case DT_Int64: return Elem::LongLong;
    case DT_UInt64: return Elem::ULongLong;
    case DT_Double: case DT_Double_V1: case DT_Double_V2: case DT_Double_V3: case DT_Double_V4: return Elem::Double;
    case DT_String: return Elem::String;
    default: return Elem::None;
    }
}

enum class Op { Add, Sub, Mul, Div };

// Integer arithmetic wraps to the element width. The sum, difference and product
// are formed in unsigned 64-bit arithmetic (defined modulo 2^64) and truncated,
// so no signed overflow ever happens, whatever the element width.
template <typename T>
T wrapOp(Op op, T a, T b)
{
    const unsigned long long ua = static_cast<unsigned long long>(a);
    const unsigned long long ub = static_cast<unsigned long long>(b);
    switch (op) {
    case Op::Add: return static_cast<T>(ua + ub);
    case Op::Sub: return static_cast<T>(ua - ub);
    case Op::Mul: return static_cast<T>(ua * ub);
    case Op::Div: break;
    }
    // Division: a zero divisor gives 0; the most negative value divided by -1
    // has no representable quotient and stays the most negative value.
    if (b == 0)
        return T(0);
    if (std::is_signed<T>::value && a == std::numeric_limits<T>::min() && b == static_cast<T>(-1))
        return a;
    return static_cast<T>(a / b);
}

template <typename T>
T elementOp(Op op, T a, T b)
{
    return wrapOp<T>(op, a, b);
}

template <>
bool elementOp<bool>(Op op, bool a, bool b)
{
    switch (op) {
    case Op::Add: return a || b;
    case Op::Sub: return a != b;
    case Op::Mul: return a && b;
    case Op::Div: return b ? a : false;
    }
    return false;
}

// DT_Int8 is stored as plain char, which is unsigned on ARM. Its elements are
// signed 8-bit values everywhere, so they are divided as signed char; sums,
// differences and products give the same bits either way.
template <>
char elementOp<char>(Op op, char a, char b)
{
    const signed char sa = static_cast<signed char>(a);
    const signed char sb = static_cast<signed char>(b);
    return static_cast<char>(wrapOp<signed char>(op, sa, sb));
}

template <>
float elementOp<float>(Op op, float a, float b)
{
    switch (op) {
    case Op::Add: return a + b;
    case Op::Sub: return a - b;
    case Op::Mul: return a * b;
    case Op::Div: return a / b;
    }
    return 0.0f;
}

template <>
double elementOp<double>(Op op, double a, double b)
{
    switch (op) {
    case Op::Add: return a + b;
    case Op::Sub: return a - b;
    case Op::Mul: return a * b;
    case Op::Div: return a / b;
    }
    return 0.0;
}

// Accessor of the left operand by element type, so the left operand's
// accessStatus records the reads as every accessor call does.
template <typename T> T leftAt(CLabelVariable &l, int i);
template <> bool leftAt<bool>(CLabelVariable &l, int i) { return l.atbool(i); }
template <> char leftAt<char>(CLabelVariable &l, int i) { return l.atInt8(i); }
template <> unsigned char leftAt<unsigned char>(CLabelVariable &l, int i) { return l.atUInt8(i); }
template <> short leftAt<short>(CLabelVariable &l, int i) { return l.atInt16(i); }
template <> unsigned short leftAt<unsigned short>(CLabelVariable &l, int i) { return l.atUInt16(i); }
template <> int leftAt<int>(CLabelVariable &l, int i) { return l.atInt32(i); }
template <> unsigned int leftAt<unsigned int>(CLabelVariable &l, int i) { return l.atUInt32(i); }
template <> float leftAt<float>(CLabelVariable &l, int i) { return l.atFloat(i); }
template <> long long leftAt<long long>(CLabelVariable &l, int i) { return l.atInt64(i); }
template <> unsigned long long leftAt<unsigned long long>(CLabelVariable &l, int i) { return l.atUInt64(i); }
template <> double leftAt<double>(CLabelVariable &l, int i) { return l.atDouble(i); }
template <> QString leftAt<QString>(CLabelVariable &l, int i) { return l.atQString(i); }

template <typename T>
QVariant combine(CLabelVariable &left, const CLabelVariable &right, Op op)
{
    const QList<T> l = listOf<T>(left.value);
    const QList<T> r = listOf<T>(right.value);
    QList<T> out;
    if (left.count == l.size() && left.count == r.size()) {
        out.reserve(left.count);
        for (int i = 0; i < left.count; ++i)
            out.append(elementOp<T>(op, leftAt<T>(left, i), r.at(i)));
    }
    return QVariant::fromValue(out);
}

CLabelVariable arithmetic(CLabelVariable &left, const CLabelVariable &right, Op op)
{
    const Elem e = elemOf(left.dataType);
    // No storage class, or a string (which has no arithmetic): a fresh value
    // that carries nothing of either operand.
    if (e == Elem::None || e == Elem::String)
        return CLabelVariable();

    CLabelVariable result;
    result.status = right.status;
    result.accessStatus = 1;
    result.address = right.address;
    result.count = right.count;
    result.dataType = right.dataType;
    result.auxText = right.auxText;
    result.auxCode = 0;
    result.timestamp = LocalClock::now();

    switch (e) {
    case Elem::Bool: result.value = combine<bool>(left, right, op); break;
    case Elem::Char: result.value = combine<char>(left, right, op); break;
    case Elem::UChar: result.value = combine<unsigned char>(left, right, op); break;
    case Elem::Short: result.value = combine<short>(left, right, op); break;
    case Elem::UShort: result.value = combine<unsigned short>(left, right, op); break;
    case Elem::Int: result.value = combine<int>(left, right, op); break;
    case Elem::UInt: result.value = combine<unsigned int>(left, right, op); break;
    case Elem::Float: result.value = combine<float>(left, right, op); break;
    case Elem::LongLong: result.value = combine<long long>(left, right, op); break;
    case Elem::ULongLong: result.value = combine<unsigned long long>(left, right, op); break;
    case Elem::Double: result.value = combine<double>(left, right, op); break;
    case Elem::None:
    case Elem::String:
        break;
    }
    return result;
}

template <typename T>
bool listsEqual(CLabelVariable &left, const CLabelVariable &right, bool meta)
{
    const QList<T> l = listOf<T>(left.value);
    const QList<T> r = listOf<T>(right.value);
    if (left.count != l.size() || left.count != r.size())
        return false;
    if (left.count == 0)
        return meta;
    if (!meta)
        return false;
    for (int i = 0; i < left.count; ++i) {
        if (!(leftAt<T>(left, i) == r.at(i)))
            return false;
    }
    return true;
}

} // namespace

CLabelVariable::CLabelVariable()
    : status(1), accessStatus(1), count(0), dataType(0), auxCode(0)
{
}

bool CLabelVariable::atbool(int index) { return elementAt<bool>(value, index, accessStatus); }
char CLabelVariable::atchar(int index) { return elementAt<char>(value, index, accessStatus); }
char CLabelVariable::atInt8(int index) { return elementAt<char>(value, index, accessStatus); }
unsigned char CLabelVariable::atUInt8(int index) { return elementAt<unsigned char>(value, index, accessStatus); }
short CLabelVariable::atInt16(int index) { return elementAt<short>(value, index, accessStatus); }
unsigned short CLabelVariable::atUInt16(int index) { return elementAt<unsigned short>(value, index, accessStatus); }
int CLabelVariable::atInt32(int index) { return elementAt<int>(value, index, accessStatus); }
unsigned int CLabelVariable::atUInt32(int index) { return elementAt<unsigned int>(value, index, accessStatus); }
float CLabelVariable::atFloat(int index) { return elementAt<float>(value, index, accessStatus); }
long long CLabelVariable::atInt64(int index) { return elementAt<long long>(value, index, accessStatus); }
unsigned long long CLabelVariable::atUInt64(int index) { return elementAt<unsigned long long>(value, index, accessStatus); }
double CLabelVariable::atDouble(int index) { return elementAt<double>(value, index, accessStatus); }
QString CLabelVariable::atQString(int index) { return elementAt<QString>(value, index, accessStatus); }

CLabelVariable CLabelVariable::operator+(const CLabelVariable &right) { return arithmetic(*this, right, Op::Add); }
CLabelVariable CLabelVariable::operator-(const CLabelVariable &right) { return arithmetic(*this, right, Op::Sub); }
CLabelVariable CLabelVariable::operator*(const CLabelVariable &right) { return arithmetic(*this, right, Op::Mul); }
CLabelVariable CLabelVariable::operator/(const CLabelVariable &right) { return arithmetic(*this, right, Op::Div); }

bool CLabelVariable::operator==(const CLabelVariable &right)
{
    const bool meta = status == right.status && address == right.address && count == right.count
                      && dataType == right.dataType && auxText == right.auxText;
    switch (elemOf(dataType)) {
    case Elem::None: return meta;
    case Elem::Bool: return listsEqual<bool>(*this, right, meta);
    case Elem::Char: return listsEqual<char>(*this, right, meta);
    case Elem::UChar: return listsEqual<unsigned char>(*this, right, meta);
    case Elem::Short: return listsEqual<short>(*this, right, meta);
    case Elem::UShort: return listsEqual<unsigned short>(*this, right, meta);
    case Elem::Int: return listsEqual<int>(*this, right, meta);
    case Elem::UInt: return listsEqual<unsigned int>(*this, right, meta);
    case Elem::Float: return listsEqual<float>(*this, right, meta);
    case Elem::LongLong: return listsEqual<long long>(*this, right, meta);
    case Elem::ULongLong: return listsEqual<unsigned long long>(*this, right, meta);
    case Elem::Double: return listsEqual<double>(*this, right, meta);
    case Elem::String: return listsEqual<QString>(*this, right, meta);
    }
    return meta;
}

void registerLabelMetaTypes()
{
    qRegisterMetaType<QList<bool>>();
    qRegisterMetaType<QList<char>>();
    qRegisterMetaType<QList<unsigned char>>();
    qRegisterMetaType<QList<short>>();
    qRegisterMetaType<QList<unsigned short>>();
    qRegisterMetaType<QList<int>>();
    qRegisterMetaType<QList<unsigned int>>();
    qRegisterMetaType<QList<float>>();
    qRegisterMetaType<QList<long long>>();
    qRegisterMetaType<QList<unsigned long long>>();
    qRegisterMetaType<QList<double>>();
    qRegisterMetaType<QList<QString>>();
}
