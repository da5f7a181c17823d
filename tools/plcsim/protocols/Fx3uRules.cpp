#include "Fx3uRules.h"

#include "PlcMemory.h"

namespace plcsim {
namespace fx3u {

namespace {

struct Range {
    char area;
    int first;
    int last;
};

// X and Y by value (X377 octal is 255).
const Range kRanges[] = {
    {'X', 0, 255},     {'Y', 0, 255},     {'M', 0, 7679},  {'M', 8000, 8511},
    {'S', 0, 4095},    {PlcMemory::AreaTS, 0, 511},  {PlcMemory::AreaTN, 0, 511},
    {PlcMemory::AreaCS, 0, 255},  {PlcMemory::AreaCN, 0, 199},  {PlcMemory::AreaCN, 200, 255},
    {'D', 0, 7999},    {'D', 8000, 8511}, {'R', 0, 32767},
};

} // namespace

bool hasDevice(char area)
{
    for (const Range &r : kRanges)
        if (r.area == area)
            return true;
    return false;
}

bool isCounter32(char area, int first)
{
    return area == PlcMemory::AreaCN && first >= PlcMemory::FirstCounter32;
}

QString deviceRule(char area, int first, int count)
{
    const qint64 last = qint64(first) + count - 1;
    if (area == PlcMemory::AreaCN && first < PlcMemory::FirstCounter32 && last >= PlcMemory::FirstCounter32)
        return QStringLiteral("C200-C255 (32-bit) in one request with C0-C199");
    if (isCounter32(area, first) && count > MaxCounters32)
        return QStringLiteral("more than 32 of the 32-bit counters C200-C255 in one request");
    for (const Range &r : kRanges) {
        if (r.area == area && first >= r.first && last <= r.last)
            return QString();
    }
    const QString name = PlcMemory::areaName(area);
    if (!hasDevice(area))
        return QStringLiteral("no device %1 on an FX3U").arg(name);
    return QStringLiteral("%1 %2 to %3 outside the FX3U's ranges").arg(name).arg(first).arg(last);
}

} // namespace fx3u
} // namespace plcsim
