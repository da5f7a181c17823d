#include "PlcMemory.h"

#include <QMutexLocker>
#include <QString>

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

namespace {

int numberBase(char area)
{
    return area == 'X' || area == 'Y' || area == 'W' ? 16 : 10;
}

// A word value: decimal -32768..65535 or 0x0..0xFFFF.
bool parseWordValue(const QString &text, quint16 *out)
{
    bool ok = false;
    int v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = text.mid(2).toInt(&ok, 16);
    else
        v = text.toInt(&ok, 10);
    if (!ok || v < -32768 || v > 65535 || text.trimmed() != text)
        return false;
    *out = quint16(v);
    return true;
}

} // namespace

bool PlcMemory::setFromText(const QString &text, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("\"%1\": %2").arg(text, why);
        return false;
    };
    const int eq = text.indexOf(QLatin1Char('='));
    if (text.isEmpty() || eq < 2)
        return fail(QStringLiteral("not DEVICE=VALUES (e.g. D100=1,2,3)"));
    const char area = text.at(0).toUpper().toLatin1();
    if (areaSize(area) == 0)
        return fail(QStringLiteral("unknown device \"%1\" (X, Y, M, S, D, W, R)").arg(text.at(0)));
    const QString digits = text.mid(1, eq - 1);
    bool ok = false;
    const int first = digits.toInt(&ok, numberBase(area));
    if (!ok || first < 0 || digits.trimmed() != digits || digits.startsWith(QLatin1Char('+')))
        return fail(QStringLiteral("device number \"%1\" is not %2").arg(digits,
                    numberBase(area) == 16 ? QStringLiteral("hexadecimal") : QStringLiteral("decimal")));
    const QStringList parts = text.mid(eq + 1).split(QLatin1Char(','));
    if (!inRange(area, first, parts.size()))
        return fail(QStringLiteral("leaves the device area"));
    QVector<quint16> values;
    for (const QString &p : parts) {
        quint16 v = 0;
        if (isBitArea(area) ? (p != QLatin1String("0") && p != QLatin1String("1")) : !parseWordValue(p, &v))
            return fail(QStringLiteral("value \"%1\" is not %2").arg(p,
                        isBitArea(area) ? QStringLiteral("0 or 1") : QStringLiteral("a 16-bit word")));
        values.append(isBitArea(area) ? quint16(p == QLatin1String("1")) : v);
    }
    QMutexLocker l(&m_mutex);
    for (int i = 0; i < values.size(); ++i) {
        if (isBitArea(area))
            setBit(area, first + i, values.at(i) != 0);
        else
            setWord(area, first + i, values.at(i));
    }
    return true;
}

QStringList PlcMemory::nonZeroText() const
{
    // Runs of non-zero devices, at most this many values a line.
    const int maxPerLine = 32;
    QMutexLocker l(&m_mutex);
    QStringList lines;
    for (const char area : {'X', 'Y', 'M', 'S', 'D', 'W', 'R'}) {
        const int size = areaSize(area);
        auto valueAt = [&](int n) { return isBitArea(area) ? quint16(bit(area, n)) : word(area, n); };
        for (int n = 0; n < size;) {
            if (valueAt(n) == 0) {
                ++n;
                continue;
            }
            QStringList values;
            const int first = n;
            while (n < size && values.size() < maxPerLine && valueAt(n) != 0)
                values << QString::number(valueAt(n++));
            lines << QStringLiteral("%1%2=%3").arg(QLatin1Char(area))
                         .arg(QString::number(first, numberBase(area)).toUpper(), values.join(QLatin1Char(',')));
        }
    }
    return lines;
}
