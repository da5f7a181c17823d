#include "ValueCodec.h"
#include "LabelLists.h"

#include <QList>
#include <climits>
#include <cstring>

namespace {

// A frame parser may hand over characters it did not convert; only the low four
// bits of a digit value are used so such a value cannot spill into the
// neighbouring digit's bits.
inline unsigned digit(const QByteArray &d, int i)
{
    return static_cast<unsigned char>(d.at(i)) & 0x0Fu;
}

// Little-endian value of `width` device bytes starting at `pos` (a 64-bit
// position, so a large element index cannot overflow); bytes past the end read 0.
unsigned long long readLE(const QByteArray &bytes, qint64 pos, int width)
{
    unsigned long long v = 0;
    for (int i = 0; i < width; ++i) {
        const qint64 at = pos + i;
        if (at >= bytes.size())
            break;
        v |= static_cast<unsigned long long>(static_cast<unsigned char>(bytes.at(static_cast<int>(at)))) << (8 * i);
    }
    return v;
}

void appendLE(QByteArray &bytes, unsigned long long v, int width)
{
    for (int i = 0; i < width; ++i)
        bytes.append(static_cast<char>((v >> (8 * i)) & 0xFFu));
}

// Never reserve room for more than this many elements up front; a silly count
// then grows the list as it goes instead of asking for all memory at once.
constexpr int kReserveLimit = 1 << 16;

// Largest tag the string encoder pads out (far above what one call transfers).
constexpr qint64 kMaxTextBytes = 1 << 24;

template <typename T>
QVariant decodeIntegers(const QByteArray &bytes, int count)
{
    QList<T> out;
    if (count > 0) {
        out.reserve(qMin(count, kReserveLimit));
        const int w = static_cast<int>(sizeof(T));
        for (int k = 0; k < count; ++k)
            out.append(static_cast<T>(readLE(bytes, static_cast<qint64>(k) * w, w)));
    }
    return QVariant::fromValue(out);
}

QVariant decodeFloats(const QByteArray &bytes, int count)
{
    QList<float> out;
    if (count > 0) {
        out.reserve(qMin(count, kReserveLimit));
        for (int k = 0; k < count; ++k) {
            const quint32 bits = static_cast<quint32>(readLE(bytes, static_cast<qint64>(k) * 4, 4));
            float f;
            std::memcpy(&f, &bits, sizeof f);
            out.append(f);
        }
    }
    return QVariant::fromValue(out);
}

QVariant decodeDoubles(const QByteArray &bytes, int count)
{
    QList<double> out;
    if (count > 0) {
        out.reserve(qMin(count, kReserveLimit));
        for (int k = 0; k < count; ++k) {
            const quint64 bits = readLE(bytes, static_cast<qint64>(k) * 8, 8);
            double d;
            std::memcpy(&d, &bits, sizeof d);
            out.append(d);
        }
    }
    return QVariant::fromValue(out);
}

// Same exact-type test as the value container's accessors: a list of another
// element type is refused, never converted.
template <typename T>
bool holdsList(const CLabelVariable &value)
{
    return LabelLists::holdsList<T>(value.value);
}

template <typename T>
unsigned long long bitsOf(T v)
{
    return static_cast<unsigned long long>(v);
}

template <>
unsigned long long bitsOf<float>(float v)
{
    quint32 b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

template <>
unsigned long long bitsOf<double>(double v)
{
    quint64 b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Checks the value, builds the device bytes of elements 0 .. count - 1 and
// appends their wire form.
template <typename T>
int encodeNumbers(const CValueCodec &codec, const CLabelVariable &value, int count, QByteArray *out)
{
    if (!holdsList<T>(value))
        return EncodeWrongType;
    if (count <= 0)
        return EncodeOk;
    const QList<T> list = LabelLists::listOf<T>(value.value);
    if (list.size() < count)
        return EncodeTooFew;
    if (!out)
        return EncodeOk;
    QByteArray bytes;
    bytes.reserve(qMin(count, kReserveLimit) * static_cast<int>(sizeof(T)));
    for (int k = 0; k < count; ++k)
        appendLE(bytes, bitsOf<T>(list.at(k)), static_cast<int>(sizeof(T)));
    out->append(codec.fromDeviceBytes(bytes));
    return EncodeOk;
}

} // namespace

CValueCodec::CValueCodec(WireRepresentation rep)
    : m_rep(rep)
{
}

int CValueCodec::getBytelen(int type, int count)
{
    const qint64 bytes = byteLength(type, count);
    return bytes > INT_MAX ? 0 : int(bytes);
}

qint64 CValueCodec::byteLength(int type, qint64 count)
{
    if (count <= 0 || !hasDecoder(type))
        return 0;
    if (type == DT_Bool)
        return (count + 7) / 8;
    // An odd byte count cannot be asked for in whole words; round down.
    if (type == DT_Int8 || type == DT_UInt8)
        return (count / 2) * 2;
    // Text fills whole words: the last one's high byte is a NUL pad when the
    // tag has an odd number of characters.
    if (type == DT_String)
        return ((count + 1) / 2) * 2;
    return count * elementWidth(type);
}

bool CValueCodec::hasDecoder(int type)
{
    return type >= DT_Bool && type <= DT_String;
}

int CValueCodec::elementWidth(int type)
{
    switch (type) {
    case DT_Int8:
    case DT_UInt8:
    case DT_String:
        return 1;
    case DT_Int16:
    case DT_UInt16:
        return 2;
    case DT_Int32:
    case DT_UInt32:
    case DT_Float:
        return 4;
    case DT_Int64:
    case DT_UInt64:
    case DT_Double:
        return 8;
    default:
        return 0;
    }
}

QByteArray CValueCodec::toDeviceBytes(const QByteArray &wire) const
{
    QByteArray bytes;
    switch (m_rep) {
    case WireRepresentation::RawByte:
        return wire;
    case WireRepresentation::HexByte: {
        const int n = wire.size() / 2;
        bytes.reserve(n);
        for (int m = 0; m < n; ++m)
            bytes.append(static_cast<char>((digit(wire, 2 * m) << 4) | digit(wire, 2 * m + 1)));
        break;
    }
    case WireRepresentation::HexWord: {
        // The computer link sends each 16-bit word as four digits, most
        // significant first; in memory the word is low byte, high byte.
        const int n = wire.size() / 4;
        bytes.reserve(2 * n);
        for (int w = 0; w < n; ++w) {
            const int p = 4 * w;
            bytes.append(static_cast<char>((digit(wire, p + 2) << 4) | digit(wire, p + 3)));
            bytes.append(static_cast<char>((digit(wire, p) << 4) | digit(wire, p + 1)));
        }
        break;
    }
    }
    return bytes;
}

QByteArray CValueCodec::fromDeviceBytes(const QByteArray &bytes) const
{
    QByteArray wire;
    switch (m_rep) {
    case WireRepresentation::RawByte:
        return bytes;
    case WireRepresentation::HexByte:
        wire.reserve(2 * bytes.size());
        for (char c : bytes) {
            const unsigned b = static_cast<unsigned char>(c);
            wire.append(static_cast<char>(b >> 4));
            wire.append(static_cast<char>(b & 0x0F));
        }
        break;
    case WireRepresentation::HexWord:
        wire.reserve(2 * (bytes.size() + 1));
        for (int i = 0; i < bytes.size(); i += 2) {
            const unsigned lo = static_cast<unsigned char>(bytes.at(i));
            const unsigned hi = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes.at(i + 1)) : 0u;
            wire.append(static_cast<char>(hi >> 4));
            wire.append(static_cast<char>(hi & 0x0F));
            wire.append(static_cast<char>(lo >> 4));
            wire.append(static_cast<char>(lo & 0x0F));
        }
        break;
    }
    return wire;
}

QVariant CValueCodec::set_variant_Int8(const QByteArray &wire, int count) const
{
    return decodeIntegers<char>(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_UInt8(const QByteArray &wire, int count) const
{
    return decodeIntegers<unsigned char>(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_Int16(const QByteArray &wire, int count) const
{
    return decodeIntegers<short>(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_UInt16(const QByteArray &wire, int count) const
{
    return decodeIntegers<unsigned short>(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_Int32(const QByteArray &wire, int count) const
{
    return decodeIntegers<int>(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_UInt32(const QByteArray &wire, int count) const
{
    return decodeIntegers<unsigned int>(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_fload(const QByteArray &wire, int count) const
{
    return decodeFloats(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_Int64(const QByteArray &wire, int count) const
{
    return decodeIntegers<long long>(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_UInt64(const QByteArray &wire, int count) const
{
    return decodeIntegers<unsigned long long>(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_double(const QByteArray &wire, int count) const
{
    return decodeDoubles(toDeviceBytes(wire), count);
}

QVariant CValueCodec::set_variant_bool(int bitOffset, const QByteArray &wire, int count) const
{
    const QByteArray bytes = toDeviceBytes(wire);
    const qint64 first = bitOffset < 0 ? 0 : bitOffset;
    QList<bool> out;
    if (count > 0) {
        out.reserve(qMin(count, kReserveLimit));
        for (int i = 0; i < count; ++i) {
            const qint64 bit = first + i;
            const qint64 byte = bit / 8;
            bool on = false;
            if (byte < bytes.size())
                on = (static_cast<unsigned char>(bytes.at(static_cast<int>(byte))) >> (bit % 8)) & 1u;
            out.append(on);
        }
    }
    return QVariant::fromValue(out);
}

QVariant CValueCodec::set_variant_string(const QByteArray &wire, int count) const
{
    const QByteArray bytes = toDeviceBytes(wire);
    const int length = qBound(0, count, bytes.size());
    int end = 0;
    while (end < length && bytes.at(end) != '\0')
        ++end;
    return QVariant::fromValue(QList<QString>{QString::fromLatin1(bytes.constData(), end)});
}

QVariant CValueCodec::decode(int type, const QByteArray &wire, int count, int bitOffset) const
{
    switch (type) {
    case DT_Bool: return set_variant_bool(bitOffset, wire, count);
    case DT_Int8: return set_variant_Int8(wire, count);
    case DT_UInt8: return set_variant_UInt8(wire, count);
    case DT_Int16: return set_variant_Int16(wire, count);
    case DT_UInt16: return set_variant_UInt16(wire, count);
    case DT_Int32: return set_variant_Int32(wire, count);
    case DT_UInt32: return set_variant_UInt32(wire, count);
    case DT_Float: return set_variant_fload(wire, count);
    case DT_Int64: return set_variant_Int64(wire, count);
    case DT_UInt64: return set_variant_UInt64(wire, count);
    case DT_Double: return set_variant_double(wire, count);
    case DT_String: return set_variant_string(wire, count);
    default: return QVariant();
    }
}

int CValueCodec::Wset_variant_bool(const CLabelVariable &value, int count, QByteArray *out) const
{
    if (!holdsList<bool>(value))
        return EncodeWrongType;
    if (count <= 0)
        return EncodeOk;
    const QList<bool> list = LabelLists::listOf<bool>(value.value);
    if (list.size() < count)
        return EncodeTooFew;
    if (!out)
        return EncodeOk;
    for (int k = 0; k < count; ++k)
        out->append(list.at(k) ? '\x01' : '\x00');
    return EncodeOk;
}

int CValueCodec::Wset_variant_Int8(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<char>(*this, value, count, out);
}

int CValueCodec::Wset_variant_UInt8(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<unsigned char>(*this, value, count, out);
}

int CValueCodec::Wset_variant_Int16(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<short>(*this, value, count, out);
}

int CValueCodec::Wset_variant_uInt16(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<unsigned short>(*this, value, count, out);
}

int CValueCodec::Wset_variant_Int32(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<int>(*this, value, count, out);
}

int CValueCodec::Wset_variant_UInt32(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<unsigned int>(*this, value, count, out);
}

int CValueCodec::Wset_variant_float(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<float>(*this, value, count, out);
}

int CValueCodec::Wset_variant_Int64(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<long long>(*this, value, count, out);
}

int CValueCodec::Wset_variant_UInt64(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<unsigned long long>(*this, value, count, out);
}

int CValueCodec::Wset_variant_double(const CLabelVariable &value, int count, QByteArray *out) const
{
    return encodeNumbers<double>(*this, value, count, out);
}

int CValueCodec::Wset_variant_string(const CLabelVariable &value, int count, QByteArray *out) const
{
    if (!holdsList<QString>(value))
        return EncodeWrongType;
    if (count <= 0)
        return EncodeOk;
    const QList<QString> list = qvariant_cast<QList<QString>>(value.value);
    if (list.isEmpty())
        return EncodeTooFew;
    const QString &text = list.first();
    const qint64 total = byteLength(DT_String, count);
    // A tag larger than any transfer (the plan refuses those first) is refused
    // rather than padded out in memory.
    if (text.size() > count || total > kMaxTextBytes)
        return EncodeBadText;
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return EncodeBadText;
    }
    if (!out)
        return EncodeOk;
    QByteArray bytes = text.toLatin1();
    bytes.append(QByteArray(int(total) - bytes.size(), '\0'));
    out->append(fromDeviceBytes(bytes));
    return EncodeOk;
}

int CValueCodec::encode(int type, const CLabelVariable &value, int count, QByteArray *out) const
{
    switch (type) {
    case DT_Bool: return Wset_variant_bool(value, count, out);
    case DT_Int8: return Wset_variant_Int8(value, count, out);
    case DT_UInt8: return Wset_variant_UInt8(value, count, out);
    case DT_Int16: return Wset_variant_Int16(value, count, out);
    case DT_UInt16: return Wset_variant_uInt16(value, count, out);
    case DT_Int32: return Wset_variant_Int32(value, count, out);
    case DT_UInt32: return Wset_variant_UInt32(value, count, out);
    case DT_Float: return Wset_variant_float(value, count, out);
    case DT_Int64: return Wset_variant_Int64(value, count, out);
    case DT_UInt64: return Wset_variant_UInt64(value, count, out);
    case DT_Double: return Wset_variant_double(value, count, out);
    case DT_String: return Wset_variant_string(value, count, out);
    default: return EncodeWrongType;
    }
}
