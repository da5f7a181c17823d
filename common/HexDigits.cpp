#include "HexDigits.h"

#include <climits>

namespace HexDigits {

unsigned short GetHexconversionchar(unsigned short v)
{
    if (v <= 9)
        return static_cast<unsigned short>('0' + v);
    if (v <= 15)
        return static_cast<unsigned short>('A' + (v - 10));
    return v;
}

unsigned short GetcharconversionHex(unsigned short c)
{
    if (c >= '0' && c <= '9')
        return static_cast<unsigned short>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned short>(c - 'A' + 10);
    return c;
}

bool isUpperHexChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

quint16 byteSum(const QByteArray &frame, int from, int to)
{
    if (from < 0)
        from = 0;
    if (to > frame.size())
        to = frame.size();
    unsigned sum = 0;
    for (int i = from; i < to; ++i)
        sum += static_cast<unsigned char>(frame.at(i));
    return static_cast<quint16>(sum & 0xFFFFu);
}

QByteArray hexByte(unsigned v)
{
    return hexNumber(v & 0xFFu, 2);
}

QByteArray hexNumber(unsigned v, int digits)
{
    if (digits <= 0)
        return QByteArray();
    QByteArray text(digits, '0');
    // Digits beyond the eighth stay '0': an unsigned has only eight.
    for (int i = 0; i < digits && i < 8; ++i)
        text[digits - 1 - i] = static_cast<char>(GetHexconversionchar(static_cast<unsigned short>((v >> (4 * i)) & 0x0Fu)));
    return text;
}

int parseHex(const QByteArray &text, int pos, int len)
{
    if (pos < 0 || len <= 0 || pos > text.size() || len > text.size() - pos)
        return -1;
    long long v = 0;
    for (int i = 0; i < len; ++i) {
        const char c = text.at(pos + i);
        if (!isUpperHexChar(c))
            return -1;
        v = v * 16 + GetcharconversionHex(static_cast<unsigned char>(c));
        // A value that does not fit the result cannot be told from the error mark.
        if (v > INT_MAX)
            return -1;
    }
    return static_cast<int>(v);
}

} // namespace HexDigits
