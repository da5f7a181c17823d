#include "FxAscii.h"

namespace plcsim {
namespace fx {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int hexField(const QByteArray &b, int pos, int count)
{
    if (pos < 0 || pos + count > b.size())
        return -1;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        const int d = hexValue(b.at(pos + i));
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

QByteArray hexText(unsigned value, int digits)
{
    static const char kDigits[] = "0123456789ABCDEF";
    QByteArray out(digits, '0');
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return out;
}

quint8 byteSum(const QByteArray &b, int from, int to)
{
    unsigned s = 0;
    for (int i = from; i < to; ++i)
        s += quint8(b.at(i));
    return quint8(s & 0xFF);
}

int logHexField(const QByteArray &b, int pos, int len)
{
    if (pos + len > b.size())
        return -1;
    bool ok = false;
    const int v = b.mid(pos, len).toInt(&ok, 16);
    return ok ? v : -1;
}

} // namespace fx
} // namespace plcsim
