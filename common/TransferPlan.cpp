#include "TransferPlan.h"

#include "CDriveBaseClass.h"
#include "LabelStatus.h"
#include "ValueCodec.h"

#include <algorithm>

int TransferRules::readUnits(bool bitDevice) const
{
    const int units = readWords * 2 / std::max(unitBytes, 1);
    return std::max(1, bitDevice ? units / std::max(bitDeviceReadDivisor, 1) : units);
}

namespace {

bool isByteType(int type)
{
    return type == DT_Int8 || type == DT_UInt8;
}

// Types a device of one fixed value width takes: 32-bit counters hold whole
// 32-bit integers (or a float kept in them), nothing narrower, wider or split.
bool takesWidth(int type, int valueBytes)
{
    if (valueBytes == 0)
        return true;
    return valueBytes == 4 && (type == DT_Int32 || type == DT_UInt32 || type == DT_Float);
}

// Units per request, rounded down to whole values of a fixed-width device.
int wholeValues(int perRequest, const TransferRules &rules, const TransferTarget &t)
{
    const int unitsPerValue = std::max(1, t.valueBytes / std::max(rules.unitBytes, 1));
    return std::max(unitsPerValue, perRequest - perRequest % unitsPerValue);
}

// Types with an element list the device can hold: text lives in words only.
bool takesType(int type, const TransferTarget &t)
{
    return CValueCodec::hasDecoder(type) && !(type == DT_String && t.bitDevice);
}

// The refusals every read and write shares, up to the byte length.
int commonRefusal(const TransferRules &rules, const TransferTarget &t, int type, int count)
{
    if (t.status == StatusUnknownArea)
        return StatusUnknownArea;
    if (rules.typeBeforeCount && !takesType(type, t))
        return StatusBadDataType;
    if (count <= 0)
        return StatusNothingToTransfer;
    if (t.status != StatusOk)
        return t.status;
    if (!takesType(type, t) || !takesWidth(type, t.valueBytes))
        return StatusBadDataType;
    if (CValueCodec::byteLength(type, count) <= 0)
        return StatusNothingToTransfer;
    return StatusOk;
}

// Fills in the size of a transfer of `units` data units and refuses one that is
// too large or runs past the area.
TransferPlan &sized(TransferPlan &p, qint64 units, qint64 bytes, qint64 unitsToEnd)
{
    if (bytes > TransferMaxBytes) {
        p.status = StatusBadDevice;
        return p;
    }
    p.points = int(units);
    p.byteLength = int(bytes);
    if (units > unitsToEnd)
        p.status = StatusBadDevice;
    return p;
}

} // namespace

namespace TransferPlanning {

TransferPlan planRead(const TransferRules &rules, const TransferTarget &t, int type, int count)
{
    TransferPlan p;
    p.status = commonRefusal(rules, t, type, count);
    if (p.status != StatusOk)
        return p;
    p.step = t.step;
    if (t.bitNamed && type != DT_Bool) {
        p.status = StatusBadDevice;
        return p;
    }
    p.head = t.head;
    p.perRequest = wholeValues(rules.readUnits(t.bitDevice), rules, t);
    qint64 units;
    if (type == DT_Bool) {
        // Whole units from the one holding the addressed bit: the bits before
        // it in that unit plus the count asked for.
        const qint64 unitBits = 8 * qint64(rules.unitBytes);
        p.bitOffset = t.bitOffset;
        units = (t.bitOffset + qint64(count) + unitBits - 1) / unitBits;
        // Bits of a word device (D200.3) come from whole words, also where
        // the frames count bytes.
        if (!t.bitDevice && rules.unitBytes == 1)
            units += units % 2;
        p.elements = count;
    } else if (type == DT_String) {
        // One string of at most `count` characters, from ceil(count / 2) words.
        units = CValueCodec::byteLength(type, count) / rules.unitBytes;
        p.elements = count;
    } else {
        const qint64 bytes = CValueCodec::byteLength(type, count);
        units = bytes / rules.unitBytes;
        p.elements = int(bytes / CValueCodec::elementWidth(type));
    }
    return sized(p, units, units * rules.unitBytes, t.unitsToEnd);
}

TransferPlan planWrite(const TransferRules &rules, const TransferTarget &t, int type, int count)
{
    TransferPlan p;
    if (t.readOnly) {
        p.status = StatusUnknownArea;
        return p;
    }
    p.status = commonRefusal(rules, t, type, count);
    if (p.status == StatusOk && isByteType(type) && count % 2 != 0)
        p.status = StatusNothingToTransfer;
    if (p.status != StatusOk)
        return p;
    p.elements = count;
    if (type == DT_Bool) {
        // Bit units reach bit devices only; setting bits of a data register
        // would need a read-modify-write that another writer could overtake.
        // A bit named in a word (D200.3) is refused as an address: the word
        // itself is what can be written.
        if (!t.bitDevice) {
            p.status = t.bitNamed ? StatusBadDevice : StatusBadDataType;
            return p;
        }
        p.bitUnits = true;
        p.head = t.firstPoint;
        p.perRequest = rules.writePoints;
        if (count > qint64(TransferMaxBytes) * 8) {
            p.status = StatusBadDevice;
            return p;
        }
        p.points = count;
        p.byteLength = CValueCodec::getBytelen(DT_Bool, count);
        if (count > t.pointsToEnd)
            p.status = StatusBadDevice;
        return p;
    }
    if (t.bitDevice && !rules.wordsToBitDevices) {
        p.status = StatusBadDataType;
        return p;
    }
    p.step = t.step;
    if (t.bitNamed) {
        p.status = StatusBadDevice;
        return p;
    }
    p.head = t.head;
    p.perRequest = wholeValues(t.bitDevice ? rules.writeUnitsBitDevice : rules.writeUnits, rules, t);
    const qint64 bytes = CValueCodec::byteLength(type, count);
    return sized(p, bytes / rules.unitBytes, bytes, t.unitsToEnd);
}

} // namespace TransferPlanning
