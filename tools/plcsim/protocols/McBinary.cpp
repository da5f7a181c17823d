#include "McBinary.h"

#include "PlcMemory.h"
#include "SimLog.h"

#include <QMutexLocker>

namespace plcsim {
namespace mc {

quint16 le16(const QByteArray &b, int pos)
{
    return quint16(quint8(b.at(pos)) | (quint8(b.at(pos + 1)) << 8));
}

void putLe16(QByteArray *b, quint16 v)
{
    b->append(char(v & 0xFF));
    b->append(char(v >> 8));
}

QByteArray packNibbles(const QVector<bool> &bits)
{
    QByteArray out((bits.size() + 1) / 2, 0);
    for (int i = 0; i < bits.size(); ++i)
        if (bits.at(i))
            out[i / 2] = char(quint8(out.at(i / 2)) | (i % 2 == 0 ? 0x10 : 0x01));
    return out;
}

bool unpackNibbles(const QByteArray &data, int offset, int count, QVector<bool> *bits)
{
    bits->resize(count);
    for (int i = 0; i < count; ++i) {
        const quint8 b = quint8(data.at(offset + i / 2));
        const int nib = i % 2 == 0 ? (b >> 4) : (b & 0x0F);
        if (nib > 1)
            return false;
        (*bits)[i] = nib == 1;
    }
    return true;
}

QByteArray readWordsLe(PlcMemory &mem, char area, int head, int count)
{
    QByteArray out;
    QMutexLocker l(&mem.lock());
    for (int i = 0; i < count; ++i)
        putLe16(&out, PlcMemory::isBitArea(area) ? mem.bitWord(area, head + 16 * i) : mem.word(area, head + i));
    return out;
}

std::function<void()> writeWordsLe(PlcMemory *mem, char area, int head, const QByteArray &data)
{
    return [mem, area, head, data] {
        QMutexLocker l(&mem->lock());
        for (int i = 0; 2 * i + 1 < data.size(); ++i) {
            const quint16 v = le16(data, 2 * i);
            if (PlcMemory::isBitArea(area))
                mem->setBitWord(area, head + 16 * i, v);
            else
                mem->setWord(area, head + i, v);
        }
    };
}

QByteArray readBitsNibbles(PlcMemory &mem, char area, int head, int count)
{
    QVector<bool> bits(count);
    QMutexLocker l(&mem.lock());
    for (int i = 0; i < count; ++i)
        bits[i] = mem.bit(area, head + i);
    return packNibbles(bits);
}

std::function<void()> writeBits(PlcMemory *mem, char area, int head, const QVector<bool> &bits)
{
    return [mem, area, head, bits] {
        QMutexLocker l(&mem->lock());
        for (int i = 0; i < bits.size(); ++i)
            mem->setBit(area, head + i, bits.at(i));
    };
}

int logLeField(const QByteArray &b, int pos, int len)
{
    if (pos + len > b.size())
        return -1;
    int v = 0;
    for (int i = len - 1; i >= 0; --i)
        v = (v << 8) | uchar(b.at(pos + i));
    return v;
}

QString logDevice(char area, int code, int number)
{
    if (!area)
        return QStringLiteral("device code ") + SimLog::hex(code, 2) + QLatin1Char(' ') + QString::number(number);
    return PlcMemory::areaName(area)
        + (PlcMemory::numberBase(area) == 16 ? SimLog::hex(number, 1) : QString::number(number));
}

} // namespace mc
} // namespace plcsim
