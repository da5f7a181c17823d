#include "PlcMemory.h"

#include <QMutexLocker>

namespace {
const int kXYSize = 0x2000;
const int kMSize = 16384;
const int kSSize = 4096;
const int kDSize = 12288;
const int kWSize = 0x2000;
const int kRSize = 32768;
}

PlcMemory::PlcMemory()
    : m_mutex(QMutex::Recursive)
    , m_x(kXYSize, 0), m_y(kXYSize, 0), m_m(kMSize, 0), m_s(kSSize, 0)
    , m_d(kDSize, 0), m_w(kWSize, 0), m_r(kRSize, 0)
{
}

bool PlcMemory::isBitArea(char area)
{
    return area == 'X' || area == 'Y' || area == 'M' || area == 'S';
}

bool PlcMemory::isWordArea(char area)
{
    return area == 'D' || area == 'W' || area == 'R';
}

int PlcMemory::areaSize(char area)
{
    switch (area) {
    case 'X': case 'Y': return kXYSize;
    case 'M': return kMSize;
    case 'S': return kSSize;
    case 'D': return kDSize;
    case 'W': return kWSize;
    case 'R': return kRSize;
    default: return 0;
    }
}

bool PlcMemory::inRange(char area, int first, int count)
{
    const qint64 size = areaSize(area);
    return size > 0 && first >= 0 && count > 0 && qint64(first) + count <= size;
}

QVector<quint8> *PlcMemory::bits(char area)
{
    switch (area) {
    case 'X': return &m_x;
    case 'Y': return &m_y;
    case 'M': return &m_m;
    case 'S': return &m_s;
    default: return nullptr;
    }
}

const QVector<quint8> *PlcMemory::bits(char area) const
{
    return const_cast<PlcMemory *>(this)->bits(area);
}

QVector<quint16> *PlcMemory::words(char area)
{
    switch (area) {
    case 'D': return &m_d;
    case 'W': return &m_w;
    case 'R': return &m_r;
    default: return nullptr;
    }
}

const QVector<quint16> *PlcMemory::words(char area) const
{
    return const_cast<PlcMemory *>(this)->words(area);
}

bool PlcMemory::bit(char area, int number) const
{
    QMutexLocker l(&m_mutex);
    const QVector<quint8> *v = bits(area);
    if (!v || number < 0 || number >= v->size())
        return false;
    return v->at(number) != 0;
}

void PlcMemory::setBit(char area, int number, bool on)
{
    QMutexLocker l(&m_mutex);
    QVector<quint8> *v = bits(area);
    if (!v || number < 0 || number >= v->size())
        return;
    (*v)[number] = on ? 1 : 0;
}

quint16 PlcMemory::word(char area, int number) const
{
    QMutexLocker l(&m_mutex);
    const QVector<quint16> *v = words(area);
    if (!v || number < 0 || number >= v->size())
        return 0;
    return v->at(number);
}

void PlcMemory::setWord(char area, int number, quint16 value)
{
    QMutexLocker l(&m_mutex);
    QVector<quint16> *v = words(area);
    if (!v || number < 0 || number >= v->size())
        return;
    (*v)[number] = value;
}

quint16 PlcMemory::bitWord(char area, int head) const
{
    QMutexLocker l(&m_mutex);
    quint16 w = 0;
    for (int j = 0; j < 16; ++j)
        if (bit(area, head + j))
            w |= quint16(1u << j);
    return w;
}

void PlcMemory::setBitWord(char area, int head, quint16 value)
{
    QMutexLocker l(&m_mutex);
    for (int j = 0; j < 16; ++j)
        setBit(area, head + j, (value >> j) & 1);
}

void PlcMemory::clear()
{
    QMutexLocker l(&m_mutex);
    for (QVector<quint8> *v : {&m_x, &m_y, &m_m, &m_s})
        v->fill(0);
    for (QVector<quint16> *v : {&m_d, &m_w, &m_r})
        v->fill(0);
}
