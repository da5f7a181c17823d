#include "McAddress.h"
#include "DeviceNames.h"
#include "LabelStatus.h"

const McDeviceArea *McDeviceTable::byPrefix(const QString &text) const
{
    return longestNamedRow(areas, count, text);
}

const McDeviceArea *McDeviceTable::byCode(int code) const
{
    if (code == 0)
        return nullptr;
    for (int i = 0; i < count; ++i) {
        if (areas[i].code == code)
            return &areas[i];
    }
    return nullptr;
}

namespace McAddressing {

int areaCode(const QString &text, const McDeviceTable &table)
{
    const McDeviceArea *area = table.byPrefix(text);
    return area ? area->code : 0;
}

int parseNumber(const QString &digits, int base)
{
    if (digits.isEmpty() || (base != 8 && base != 10 && base != 16))
        return -1;
    qint64 value = 0;
    for (const QChar c : digits) {
        const ushort u = c.unicode();
        int d;
        if (u >= '0' && u < '0' + qMin(base, 10))
            d = u - '0';
        else if (base == 16 && u >= 'a' && u <= 'f')
            d = u - 'a' + 10;
        else if (base == 16 && u >= 'A' && u <= 'F')
            d = u - 'A' + 10;
        else
            return -1;
        value = value * base + d;
        // Checked on every digit, so a long run of digits cannot overflow.
        if (value > McMaxDeviceNumber)
            return -1;
    }
    return int(value);
}

int numberBase(const McDeviceArea &area, bool octalXY)
{
    const QLatin1String name(area.name);
    return octalXY && (name == QLatin1String("X") || name == QLatin1String("Y")) ? 8 : area.base;
}

int deviceNumber(const QString &text, int deviceCode, const McDeviceTable &table, bool octalXY)
{
    const McDeviceArea *area = table.byCode(deviceCode);
    if (!area || text.isEmpty())
        return -1;
    QString rest = text.mid(int(qstrlen(area->name)));
    // A bit index after the dot, on bit devices (M100.3) and word devices
    // (D100.5, bit 5 of D100) alike; the number is what stands before it.
    const int dot = rest.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        rest.truncate(dot);
    return parseNumber(rest, numberBase(*area, octalXY));
}

int bitIndex(const QString &text)
{
    return bitIndexAfterDot(text);
}

McAddress parse(const QString &text, const McDeviceTable &table, bool octalXY)
{
    McAddress a;
    a.deviceCode = areaCode(text, table);
    if (a.deviceCode == 0) {
        a.status = StatusUnknownArea;
        return a;
    }
    const McDeviceArea *area = table.byCode(a.deviceCode);
    a.bitDevice = area->bitDevice;
    a.readOnly = area->readOnly;
    a.headDevice = deviceNumber(text, a.deviceCode, table, octalXY);
    const int bit = bitIndex(text);
    a.bitIndex = bit < 0 ? -1 : bit;
    if (a.headDevice < 0 || bit == -2)
        a.status = StatusBadDevice;
    return a;
}

} // namespace McAddressing
