#include "PlcMemory.h"

#include <QMutexLocker>
#include <QString>

namespace {

// One row per device area. Sizes follow the larger Q/L-series defaults (FX
// PLCs have fewer devices and reach less of them).
struct AreaInfo {
    char code;
    const char *name;  // empty: not named in --set / --dump texts
    bool bit;
    int size;
    int base;          // how --set and --dump write the numbers
};

const AreaInfo kAreas[] = {
    {'X', "X", true, 0x2000, 16},
    {'Y', "Y", true, 0x2000, 16},
    {'M', "M", true, 16384, 10},
    {'S', "S", true, 4096, 10},
    {'D', "D", false, 12288, 10},
    {'W', "W", false, 0x2000, 16},
    {'R', "R", false, 32768, 10},
    {PlcMemory::AreaSM, "SM", true, 4096, 10},
    {'L', "L", true, 8192, 10},
    {'F', "F", true, 2048, 10},
    {'V', "V", true, 2048, 10},
    {'B', "B", true, 0x2000, 16},
    {PlcMemory::AreaSB, "SB", true, 0x800, 16},
    {PlcMemory::AreaTS, "TS", true, 2048, 10},
    {PlcMemory::AreaTC, "TC", true, 2048, 10},
    {PlcMemory::AreaCS, "CS", true, 1024, 10},
    {PlcMemory::AreaCC, "CC", true, 1024, 10},
    {PlcMemory::AreaSD, "SD", false, 4096, 10},
    {PlcMemory::AreaSW, "SW", false, 0x800, 16},
    {PlcMemory::AreaTN, "TN", false, 2048, 10},
    {PlcMemory::AreaCN, "CN", false, 1024, 10},
    {'Z', "Z", false, 20, 10},
    {PlcMemory::AreaSS, "SS", true, 2048, 10},
    {PlcMemory::AreaSC, "SC", true, 2048, 10},
    {PlcMemory::AreaSN, "SN", false, 2048, 10},
    {PlcMemory::AreaZR, "ZR", false, 65536, 10},
    {PlcMemory::AreaCNHigh, "", false, 1024, 10},
};
const int kAreaCount = int(sizeof(kAreas) / sizeof(kAreas[0]));

int indexOf(char area)
{
    for (int i = 0; i < kAreaCount; ++i)
        if (area != 0 && kAreas[i].code == area)
            return i;
    return -1;
}

} // namespace

PlcMemory::PlcMemory()
{
    for (const AreaInfo &a : kAreas)
        m_areas.append(QVector<quint16>(a.size, 0));
}

char PlcMemory::areaNamed(const QString &text, int *nameLength)
{
    const AreaInfo *best = nullptr;
    for (const AreaInfo &a : kAreas) {
        const QLatin1String name(a.name);
        if (name.size() > 0 && text.startsWith(name, Qt::CaseInsensitive)
            && (!best || name.size() > int(qstrlen(best->name))))
            best = &a;
    }
    if (nameLength)
        *nameLength = best ? int(qstrlen(best->name)) : 0;
    return best ? best->code : 0;
}

QString PlcMemory::areaName(char area)
{
    const int i = indexOf(area);
    return i < 0 ? QString() : QLatin1String(kAreas[i].name);
}

int PlcMemory::numberBase(char area)
{
    const int i = indexOf(area);
    return i < 0 ? 10 : kAreas[i].base;
}

bool PlcMemory::isBitArea(char area)
{
    const int i = indexOf(area);
    return i >= 0 && kAreas[i].bit;
}

bool PlcMemory::isWordArea(char area)
{
    const int i = indexOf(area);
    return i >= 0 && !kAreas[i].bit;
}

int PlcMemory::areaSize(char area)
{
    const int i = indexOf(area);
    return i < 0 ? 0 : kAreas[i].size;
}

bool PlcMemory::inRange(char area, int first, int count)
{
    const qint64 size = areaSize(area);
    return size > 0 && first >= 0 && count > 0 && qint64(first) + count <= size;
}

QVector<quint16> *PlcMemory::points(char area)
{
    const int i = indexOf(area);
    return i < 0 ? nullptr : &m_areas[i];
}

const QVector<quint16> *PlcMemory::points(char area) const
{
    return const_cast<PlcMemory *>(this)->points(area);
}

bool PlcMemory::bit(char area, int number) const
{
    QMutexLocker l(&m_mutex);
    const QVector<quint16> *v = isBitArea(area) ? points(area) : nullptr;
    if (!v || number < 0 || number >= v->size())
        return false;
    return v->at(number) != 0;
}

void PlcMemory::setBit(char area, int number, bool on)
{
    QMutexLocker l(&m_mutex);
    QVector<quint16> *v = isBitArea(area) ? points(area) : nullptr;
    if (!v || number < 0 || number >= v->size())
        return;
    (*v)[number] = on ? 1 : 0;
}

quint32 PlcMemory::counter32(int number) const
{
    if (number < FirstCounter32 || number > LastCounter32)
        return 0;
    QMutexLocker l(&m_mutex);
    return word(AreaCN, number) | quint32(word(AreaCNHigh, number)) << 16;
}

void PlcMemory::setCounter32(int number, quint32 value)
{
    if (number < FirstCounter32 || number > LastCounter32)
        return;
    QMutexLocker l(&m_mutex);
    setWord(AreaCN, number, quint16(value & 0xFFFF));
    setWord(AreaCNHigh, number, quint16(value >> 16));
}

quint16 PlcMemory::word(char area, int number) const
{
    QMutexLocker l(&m_mutex);
    const QVector<quint16> *v = isWordArea(area) ? points(area) : nullptr;
    if (!v || number < 0 || number >= v->size())
        return 0;
    return v->at(number);
}

void PlcMemory::setWord(char area, int number, quint16 value)
{
    QMutexLocker l(&m_mutex);
    QVector<quint16> *v = isWordArea(area) ? points(area) : nullptr;
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
    for (QVector<quint16> &v : m_areas)
        v.fill(0);
}

namespace {

// A value of `bits` (16 or 32) bits: decimal, signed or not, or 0x and hex digits.
bool parseValue(const QString &text, int bits, quint32 *out)
{
    bool ok = false;
    qint64 v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = text.mid(2).toLongLong(&ok, 16);
    else
        v = text.toLongLong(&ok, 10);
    const qint64 top = (qint64(1) << bits) - 1;
    if (!ok || v < -(top + 1) / 2 || v > top || text.trimmed() != text)
        return false;
    *out = quint32(v & top);
    return true;
}

// A quoted text: "..." with \" and \\ standing for " and \, Latin-1
// characters only. The words two characters each, the first in the low byte,
// an odd last character with a zero high byte.
bool parseTextWords(const QString &quoted, QVector<quint16> *out, QString *why)
{
    QByteArray bytes;
    int i = 1;
    for (; i < quoted.size() && quoted.at(i) != QLatin1Char('"'); ++i) {
        QChar c = quoted.at(i);
        if (c == QLatin1Char('\\') && i + 1 < quoted.size()) {
            c = quoted.at(++i);
            if (c != QLatin1Char('"') && c != QLatin1Char('\\')) {
                *why = QStringLiteral("only \\\" and \\\\ are escapes in a text");
                return false;
            }
        }
        if (c.unicode() > 0xFF) {
            *why = QStringLiteral("character \"%1\" is not Latin-1 (one byte)").arg(c);
            return false;
        }
        bytes.append(char(c.unicode()));
    }
    if (i != quoted.size() - 1) {
        *why = QStringLiteral("a text runs from \" to the closing \" at the end");
        return false;
    }
    if (bytes.isEmpty()) {
        *why = QStringLiteral("the text is empty");
        return false;
    }
    for (int k = 0; k < bytes.size(); k += 2)
        out->append(quint16(uchar(bytes.at(k)) | (k + 1 < bytes.size() ? uchar(bytes.at(k + 1)) << 8 : 0)));
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
    int nameLength = 0;
    const char area = areaNamed(text.left(eq), &nameLength);
    if (area == 0) {
        QStringList names;
        for (const AreaInfo &a : kAreas)
            if (*a.name)
                names << QLatin1String(a.name);
        return fail(QStringLiteral("unknown device \"%1\" (%2)").arg(text.left(eq), names.join(QStringLiteral(", "))));
    }
    const QString digits = text.mid(nameLength, eq - nameLength);
    bool ok = false;
    const int first = digits.toInt(&ok, numberBase(area));
    if (!ok || first < 0 || digits.trimmed() != digits || digits.startsWith(QLatin1Char('+')))
        return fail(QStringLiteral("device number \"%1\" is not %2").arg(digits,
                    numberBase(area) == 16 ? QStringLiteral("hexadecimal") : QStringLiteral("decimal")));
    const QString valueText = text.mid(eq + 1);
    const bool quoted = valueText.startsWith(QLatin1Char('"'));
    QVector<quint16> words;
    QString why;
    if (quoted && !isWordArea(area))
        return fail(QStringLiteral("a text needs a word device (D, W, R, ...)"));
    if (quoted && !parseTextWords(valueText, &words, &why))
        return fail(why);
    QVector<quint32> values(words.begin(), words.end());
    // The 32-bit counters take whole 32-bit values.
    auto isCounter32 = [&](int i) { return area == AreaCN && first + i >= FirstCounter32 && first + i <= LastCounter32; };
    const QStringList parts = quoted ? QStringList() : valueText.split(QLatin1Char(','));
    if (!inRange(area, first, quoted ? values.size() : parts.size()))
        return fail(QStringLiteral("leaves the device area"));
    for (const QString &p : parts) {
        quint32 v = 0;
        const int bits = isCounter32(values.size()) ? 32 : 16;
        if (isBitArea(area) ? (p != QLatin1String("0") && p != QLatin1String("1")) : !parseValue(p, bits, &v))
            return fail(QStringLiteral("value \"%1\" is not %2").arg(p,
                        isBitArea(area) ? QStringLiteral("0 or 1")
                        : bits == 16 ? QStringLiteral("a 16-bit word") : QStringLiteral("a 32-bit value")));
        values.append(isBitArea(area) ? quint32(p == QLatin1String("1")) : v);
    }
    QMutexLocker l(&m_mutex);
    for (int i = 0; i < values.size(); ++i) {
        if (isBitArea(area))
            setBit(area, first + i, values.at(i) != 0);
        else if (isCounter32(i))
            setCounter32(first + i, values.at(i));
        else
            setWord(area, first + i, quint16(values.at(i)));
    }
    return true;
}

QStringList PlcMemory::nonZeroText() const
{
    // Runs of non-zero devices, at most this many values a line.
    const int maxPerLine = 32;
    QMutexLocker l(&m_mutex);
    QStringList lines;
    for (const AreaInfo &info : kAreas) {
        const char area = info.code;
        if (!*info.name)
            continue;
        const int size = info.size;
        auto valueAt = [&](int n) -> quint32 {
            if (area == AreaCN && n >= FirstCounter32 && n <= LastCounter32)
                return counter32(n);
            return isBitArea(area) ? quint32(bit(area, n)) : word(area, n);
        };
        for (int n = 0; n < size;) {
            if (valueAt(n) == 0) {
                ++n;
                continue;
            }
            QStringList values;
            const int first = n;
            while (n < size && values.size() < maxPerLine && valueAt(n) != 0)
                values << QString::number(valueAt(n++));
            lines << QStringLiteral("%1%2=%3").arg(QLatin1String(info.name))
                         .arg(QString::number(first, numberBase(area)).toUpper(), values.join(QLatin1Char(',')));
        }
    }
    return lines;
}
