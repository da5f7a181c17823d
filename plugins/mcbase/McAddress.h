#pragma once
// Address texts of the MC protocol plug-ins: a device letter, the device number
// in the area's base, and for bit devices optionally a dot and a bit index
// (D100, X1F, M100.3). The functions here are pure: they look only at the text
// they are given, so they can be exercised with any input.

#include <QString>

struct McDeviceArea {
    char letter;       // upper-case device letter
    int code;          // the protocol's device code (3E: 1 byte, 1E: 16 bits)
    int base;          // 16 or 10: how the device number is written
    bool bitDevice;    // X, Y, M: one point of a word-unit access is 16 devices
};

// A device table: `count` entries starting at `areas`.
struct McDeviceTable {
    const McDeviceArea *areas;
    int count;
    const McDeviceArea *byLetter(QChar letter) const;
    const McDeviceArea *byCode(int code) const;
};

// Largest device number the frames carry (three bytes).
constexpr int McMaxDeviceNumber = 0xFFFFFF;
// Highest bit index after the dot: a word holds 16 devices.
constexpr int McMaxBitIndex = 15;

struct McAddress {
    int status = 0;        // 0, or the label status refusing the text (3 or 5)
    int deviceCode = 0;    // 0 when the letter is not in the table
    int headDevice = -1;   // -1 when the number does not parse
    int bitIndex = -1;     // -1 when the text has no dot
    bool bitDevice = false;
};

namespace McAddressing {

// Device code of the text's first character (case-insensitive), 0 when it is
// no letter of the table.
int areaCode(const QString &text, const McDeviceTable &table);

// Reads `digits` as a whole number in `base` (8, 10 or 16): digits only, no
// sign, no blanks, at most McMaxDeviceNumber. -1 when the text is anything else.
int parseNumber(const QString &digits, int base);

// How the numbers of an area are read: X and Y in octal where the PLC numbers
// them so (FX PLCs, also behind 1E and 3E interfaces), else the area's base.
int numberBase(const McDeviceArea &area, bool octalXY);

// Device number of the text for the given area: the part after the letter (and
// before the dot, on bit devices). -1 when it does not parse in the area's base,
// when the code is not in the table, or when a dot stands where none is allowed.
int deviceNumber(const QString &text, int deviceCode, const McDeviceTable &table,
                 bool octalXY = false);

// Bit index after the dot: -1 when the text has no dot, -2 when what follows
// the dot is not a decimal number from 0 to McMaxBitIndex.
int bitIndex(const QString &text);

// All of the above at once, with the refusal status (3 unknown letter, 5 bad
// number, bad bit index, or a dot on a word device).
McAddress parse(const QString &text, const McDeviceTable &table, bool octalXY = false);

} // namespace McAddressing
