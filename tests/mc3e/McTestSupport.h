#pragma once
// Helpers shared by the MC protocol plug-ins' end-to-end tests: sample values of
// every data type, a readable form of a label's elements, the simulator's
// memory as device bytes, and a capture of the trace lines.

#include "CLabelVariable.h"
#include "PlcSimulator.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cstring>

namespace mctest {

template <typename T>
CLabelVariable labelOf(const QList<T> &list)
{
    CLabelVariable l;
    l.value = QVariant::fromValue(list);
    return l;
}

// `n` distinct, sign- and width-exercising values of the data type, as a label.
inline CLabelVariable sampleLabel(int type, int n, int seed = 1)
{
    switch (type) {
    case DT_Bool: {
        QList<bool> l;
        for (int i = 0; i < n; ++i)
            l << (((i * 7 + seed) % 3) != 0);
        return labelOf(l);
    }
    case DT_Int8: {
        QList<char> l;
        for (int i = 0; i < n; ++i)
            l << char((i % 2 ? -1 : 1) * (17 * i + seed) % 128);
        return labelOf(l);
    }
    case DT_UInt8: {
        QList<unsigned char> l;
        for (int i = 0; i < n; ++i)
            l << static_cast<unsigned char>(250 - 13 * i - seed);
        return labelOf(l);
    }
    case DT_Int16: {
        QList<short> l;
        for (int i = 0; i < n; ++i)
            l << short((i % 2 ? -1 : 1) * (1237 * i + seed));
        return labelOf(l);
    }
    case DT_UInt16: {
        QList<unsigned short> l;
        for (int i = 0; i < n; ++i)
            l << static_cast<unsigned short>(0xFEDC - 977 * i - seed);
        return labelOf(l);
    }
    case DT_Int32: {
        QList<int> l;
        for (int i = 0; i < n; ++i)
            l << (i % 2 ? -1 : 1) * (0x12345678 - 99991 * i - seed);
        return labelOf(l);
    }
    case DT_UInt32: {
        QList<unsigned int> l;
        for (int i = 0; i < n; ++i)
            l << 0xF1E2D3C4u - 77777u * unsigned(i) - unsigned(seed);
        return labelOf(l);
    }
    case DT_Float: {
        QList<float> l;
        for (int i = 0; i < n; ++i)
            l << (i % 2 ? -1.0f : 1.0f) * (3.14159f * float(i + seed) + 0.001f);
        return labelOf(l);
    }
    case DT_Int64: {
        QList<long long> l;
        for (int i = 0; i < n; ++i)
            l << (i % 2 ? -1 : 1) * (0x0123456789ABCDEFLL - 1000003LL * i - seed);
        return labelOf(l);
    }
    case DT_UInt64: {
        QList<unsigned long long> l;
        for (int i = 0; i < n; ++i)
            l << 0xFEDCBA9876543210ULL - 999983ULL * unsigned(i) - unsigned(seed);
        return labelOf(l);
    }
    case DT_Double: {
        QList<double> l;
        for (int i = 0; i < n; ++i)
            l << (i % 2 ? -1.0 : 1.0) * (2.718281828459045 * (i + seed) + 1e-9);
        return labelOf(l);
    }
    default:
        return CLabelVariable();
    }
}

// The elements of a label as text, read through the label's own accessors, so
// a failure shows which element differs. "<n elements>" counts the list.
inline QString describe(CLabelVariable l, int type, int n)
{
    QStringList parts;
    for (int i = 0; i < n; ++i) {
        QString s;
        switch (type) {
        case DT_Bool: s = l.atbool(i) ? QStringLiteral("1") : QStringLiteral("0"); break;
        case DT_Int8: s = QString::number(int(l.atInt8(i))); break;
        case DT_UInt8: s = QString::number(l.atUInt8(i)); break;
        case DT_Int16: s = QString::number(l.atInt16(i)); break;
        case DT_UInt16: s = QString::number(l.atUInt16(i)); break;
        case DT_Int32: s = QString::number(l.atInt32(i)); break;
        case DT_UInt32: s = QString::number(l.atUInt32(i)); break;
        case DT_Float: s = QString::number(double(l.atFloat(i)), 'g', 9); break;
        case DT_Int64: s = QString::number(l.atInt64(i)); break;
        case DT_UInt64: s = QString::number(l.atUInt64(i)); break;
        case DT_Double: s = QString::number(l.atDouble(i), 'g', 17); break;
        default: s = QStringLiteral("?"); break;
        }
        if (l.accessStatus != 0)
            s = QStringLiteral("<no element>");
        parts << s;
    }
    // One element past the end must not be there.
    switch (type) {
    case DT_Bool: l.atbool(n); break;
    case DT_Int8: l.atInt8(n); break;
    case DT_UInt8: l.atUInt8(n); break;
    case DT_Int16: l.atInt16(n); break;
    case DT_UInt16: l.atUInt16(n); break;
    case DT_Int32: l.atInt32(n); break;
    case DT_UInt32: l.atUInt32(n); break;
    case DT_Float: l.atFloat(n); break;
    case DT_Int64: l.atInt64(n); break;
    case DT_UInt64: l.atUInt64(n); break;
    case DT_Double: l.atDouble(n); break;
    default: break;
    }
    if (l.accessStatus == 0)
        parts << QStringLiteral("<extra element>");
    return parts.join(QLatin1Char(' '));
}

// Device bytes of a label's elements: each element least significant byte
// first (float and double as their IEEE bit patterns), as the PLC keeps them.
inline QByteArray deviceBytes(CLabelVariable l, int type, int n)
{
    QByteArray out;
    auto put = [&out](quint64 v, int width) {
        for (int b = 0; b < width; ++b)
            out.append(char((v >> (8 * b)) & 0xFF));
    };
    for (int i = 0; i < n; ++i) {
        switch (type) {
        case DT_Int8: put(quint8(l.atInt8(i)), 1); break;
        case DT_UInt8: put(l.atUInt8(i), 1); break;
        case DT_Int16: put(quint16(l.atInt16(i)), 2); break;
        case DT_UInt16: put(l.atUInt16(i), 2); break;
        case DT_Int32: put(quint32(l.atInt32(i)), 4); break;
        case DT_UInt32: put(l.atUInt32(i), 4); break;
        case DT_Float: {
            const float f = l.atFloat(i);
            quint32 bits;
            std::memcpy(&bits, &f, 4);
            put(bits, 4);
            break;
        }
        case DT_Int64: put(quint64(l.atInt64(i)), 8); break;
        case DT_UInt64: put(l.atUInt64(i), 8); break;
        case DT_Double: {
            const double d = l.atDouble(i);
            quint64 bits;
            std::memcpy(&bits, &d, 8);
            put(bits, 8);
            break;
        }
        default: break;
        }
    }
    return out;
}

// Word devices (D, W, R) as device bytes, each word low byte first; for bit
// devices 16 devices a word, the first one in bit 0.
inline QByteArray simBytes(const PlcSimulator &sim, char area, int number, int byteCount, bool bitDevice)
{
    QByteArray out;
    for (int w = 0; out.size() < byteCount; ++w) {
        quint16 v = 0;
        if (bitDevice) {
            for (int j = 0; j < 16; ++j)
                v |= quint16(sim.bit(area, number + 16 * w + j) ? 1 : 0) << j;
        } else {
            v = sim.word(area, number + w);
        }
        out.append(char(v & 0xFF));
        out.append(char(v >> 8));
    }
    return out.left(byteCount);
}

inline void setSimBytes(PlcSimulator &sim, char area, int number, const QByteArray &bytes, bool bitDevice)
{
    for (int w = 0; 2 * w < bytes.size(); ++w) {
        const quint16 lo = quint8(bytes.at(2 * w));
        const quint16 hi = 2 * w + 1 < bytes.size() ? quint8(bytes.at(2 * w + 1)) : 0;
        const quint16 v = quint16(lo | (hi << 8));
        if (bitDevice) {
            for (int j = 0; j < 16; ++j)
                sim.setBit(area, number + 16 * w + j, (v >> j) & 1);
        } else {
            sim.setWord(area, number + w, v);
        }
    }
}

// Collects the text of every message while alive (the plug-ins write their
// trace lines to the Qt message log).
class MessageCapture
{
public:
    MessageCapture() { s_lines().clear(); m_previous = qInstallMessageHandler(&MessageCapture::handler); }
    ~MessageCapture() { qInstallMessageHandler(m_previous); }
    QStringList lines() const
    {
        QMutexLocker l(&s_mutex());
        return s_lines();
    }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &msg)
    {
        QMutexLocker l(&s_mutex());
        s_lines() << msg;
    }
    static QStringList &s_lines()
    {
        static QStringList lines;
        return lines;
    }
    static QMutex &s_mutex()
    {
        static QMutex m;
        return m;
    }
    QtMessageHandler m_previous = nullptr;
};

} // namespace mctest
