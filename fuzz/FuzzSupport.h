#pragma once
// Shared by the fuzz targets: a reader over the fuzzer's bytes, the decoding of
// bytes into address and connection texts, a quiet message handler, and the
// check that turns a broken invariant into a crash the fuzzer keeps.

#include "CLabelVariable.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A parser returned something its own contract rules out.
#define FUZZ_CHECK(cond)                                                                 \
    do {                                                                                 \
        if (!(cond)) {                                                                   \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    int32_t int32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(byte()) << (8 * i);
        return int32_t(v);
    }
    // Everything not consumed yet, as its own buffer (so ASan sees its end).
    QByteArray rest() const
    {
        return m_pos < m_size ? QByteArray(reinterpret_cast<const char *>(m_data + m_pos),
                                           int(m_size - m_pos))
                              : QByteArray();
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Text from bytes in one of three decodings, so non-ASCII, surrogates and NULs
// reach the parsers too.
inline QString textOf(const QByteArray &bytes, uint8_t mode)
{
    switch (mode % 3) {
    case 0:
        return QString::fromUtf8(bytes);
    case 1:
        return QString::fromLatin1(bytes);
    default:
        return QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
    }
}

// Counts the interface may be handed: mostly small, sometimes any 32-bit value.
inline int countOf(Input &in)
{
    const uint8_t sel = in.byte();
    const int32_t raw = in.int32();
    if (sel < 200)
        return int(raw % 300);
    return raw;
}

// A value label of `n` elements (at most 64 are built) of the type's list; any
// other type code gets a list of shorts, as a confused host might send.
inline CLabelVariable labelOf(int type, int n, uint8_t seed)
{
    n = qBound(0, n, 64);
    CLabelVariable l;
    auto fill = [&](auto sample) {
        using T = decltype(sample);
        QList<T> list;
        for (int i = 0; i < n; ++i)
            list << T(seed * (i + 1));
        l.value = QVariant::fromValue(list);
    };
    switch (type) {
    case DT_Bool: {
        QList<bool> list;
        for (int i = 0; i < n; ++i)
            list << (((seed >> (i % 8)) & 1) != 0);
        l.value = QVariant::fromValue(list);
        break;
    }
    case DT_Int8: fill(char()); break;
    case DT_UInt8: fill((unsigned char)0); break;
    case DT_UInt16: fill((unsigned short)0); break;
    case DT_Int32: fill(int()); break;
    case DT_UInt32: fill((unsigned int)0); break;
    case DT_Float: fill(float()); break;
    case DT_Int64: fill((long long)0); break;
    case DT_UInt64: fill((unsigned long long)0); break;
    case DT_Double: fill(double()); break;
    default: fill(short()); break;
    }
    l.dataType = type;
    l.count = n;
    return l;
}

inline void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

// Qt wants an application object for the driver objects' timers and sockets;
// the messages of refused requests would only slow the fuzzer down.
inline void initialise()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = new QCoreApplication(argc, argv);
    (void)app;
    qInstallMessageHandler(quiet);
    registerLabelMetaTypes();
}

} // namespace fuzz
