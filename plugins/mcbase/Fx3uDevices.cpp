#include "Fx3uDevices.h"

#include "LabelStatus.h"
#include "McDriverBase.h"

#include <cstring>

namespace {

struct Range {
    const char *name;
    int first;
    int last;
};

// X and Y numbers are octal in the texts; here they are their values.
const Range Fx3uRanges[] = {
    {"X", 0, 0377},   {"Y", 0, 0377},    {"M", 0, 7679},  {"M", 8000, 8511},
    {"S", 0, 4095},   {"TS", 0, 511},    {"TN", 0, 511},  {"CS", 0, 255},
    {"CN", 0, 199},   {"CN", 200, 255},  {"D", 0, 7999},  {"D", 8000, 8511},
    {"R", 0, 32767},
};

// The range of `name` holding `number`; *known says whether the FX3U has the
// device at all.
const Range *rangeHolding(const char *name, int number, bool *known)
{
    *known = false;
    for (const Range &r : Fx3uRanges) {
        if (std::strcmp(r.name, name) != 0)
            continue;
        *known = true;
        if (number >= r.first && number <= r.last)
            return &r;
    }
    return nullptr;
}

} // namespace

namespace Fx3uDevices {

bool isCounter32(const McDeviceArea &area, int number)
{
    return std::strcmp(area.name, "CN") == 0 && number >= FirstCounter32;
}

TransferTarget target(const McDeviceArea &area, int number, int bitIndex)
{
    TransferTarget t = CMcDriverBase::targetOf(&area, number, bitIndex);
    if (t.status != StatusOk)
        return t;
    const int point = t.bitDevice ? t.firstPoint : t.head;
    bool known = false;
    const Range *range = rangeHolding(area.name, point, &known);
    if (!range) {
        t.status = known ? StatusBadDevice : StatusUnknownArea;
        return t;
    }
    if (t.bitDevice) {
        // Word units start at a multiple of 16; bools are taken from the
        // addressed bit on. A word-sized value cannot start between two heads.
        t.head = point - point % 16;
        t.bitOffset = point - t.head;
        t.bitNamed = t.bitNamed || t.head != number;
        t.pointsToEnd = qint64(range->last) - point + 1;
    }
    t.unitsToEnd = (qint64(range->last) + 1 - t.head) / t.step;
    if (isCounter32(area, number)) {
        // Two data units (one 32-bit value) a counter.
        t.valueBytes = 4;
        t.unitsToEnd *= 2;
    }
    return t;
}

} // namespace Fx3uDevices
