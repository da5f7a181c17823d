#include "McFrame.h"

namespace McFrame {

void appendLe(QByteArray &frame, quint32 value, int width)
{
    for (int i = 0; i < width; ++i)
        frame.append(char((value >> (8 * i)) & 0xFF));
}

qint64 readLe(const QByteArray &bytes, int offset, int width)
{
    if (offset < 0 || width <= 0 || width > 4 || offset > bytes.size() - width)
        return -1;
    qint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(offset + i));
    return value;
}

QByteArray packBitNibbles(const QByteArray &points)
{
    QByteArray packed((points.size() + 1) / 2, '\0');
    for (int i = 0; i < points.size(); ++i) {
        if (points.at(i) == 0)
            continue;
        const int at = i / 2;
        packed[at] = char(quint8(packed.at(at)) | ((i % 2) == 0 ? 0x10 : 0x01));
    }
    return packed;
}

QByteArray unpackBitNibbles(const QByteArray &packed, int count)
{
    QByteArray points(count > 0 ? count : 0, '\0');
    for (int i = 0; i < points.size(); ++i) {
        if (i / 2 >= packed.size())
            break;
        const quint8 b = quint8(packed.at(i / 2));
        const quint8 nibble = (i % 2) == 0 ? (b >> 4) : (b & 0x0F);
        points[i] = nibble ? 1 : 0;
    }
    return points;
}

} // namespace McFrame
