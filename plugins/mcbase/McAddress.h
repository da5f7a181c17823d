#pragma once
// Address texts of the MC protocol plug-ins: a device name (the longest name of
// the plug-in's table the text begins with: SM400 is SM, not S), the device
// number in the area's base, and optionally a dot and a bit index 0 to 15
// (D100, X1F, M100.3, D100.5, TN5): on a bit device it counts from the head
// device of a 16-point word, on a word device it is a bit of that word. The functions here are pure: they look only at the text
// they are given, so they can be exercised with any input.

#include <QString>

struct McDeviceArea {
    const char *name;  // upper-case device name: one or two letters
    int code;          // the protocol's device code (3E: 1 byte, 1E: 16 bits)
    int base;          // 16 or 10: how the device number is written
    bool bitDevice;    // X, Y, M: one point of a word-unit access is 16 devices
    bool readOnly;     // timer and counter contacts and coils: writes are refused
};

// A device table: `count` entries starting at `areas`.
struct McDeviceTable {
    const McDeviceArea *areas;
    int count;
    // The area with the longest name the text begins with (any case), or null.
    const McDeviceArea *byPrefix(const QString &text) const;
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
    bool readOnly = false; // the device takes no writes (set even when the number is refused)
};

namespace McAddressing {

// Device code of the device name the text begins with (case-insensitive,
// longest name first), 0 when it begins with none of the table.
int areaCode(const QString &text, const McDeviceTable &table);

// Reads `digits` as a whole number in `base` (8, 10 or 16): digits only, no
// sign, no blanks, at most McMaxDeviceNumber. -1 when the text is anything else.
int parseNumber(const QString &digits, int base);

// How the numbers of an area are read: X and Y in octal where the PLC numbers
// them so (FX PLCs, also behind 1E and 3E interfaces), else the area's base.
int numberBase(const McDeviceArea &area, bool octalXY);

// Device number of the text for the given area: the part after the name (and
// before the dot). -1 when it does not parse in the area's base or when the
// code is not in the table.
int deviceNumber(const QString &text, int deviceCode, const McDeviceTable &table,
                 bool octalXY = false);

// Bit index after the dot: -1 when the text has no dot, -2 when what follows
// the dot is not a decimal number from 0 to McMaxBitIndex.
int bitIndex(const QString &text);

// All of the above at once, with the refusal status (3 unknown name, 5 bad
// number or bad bit index).
McAddress parse(const QString &text, const McDeviceTable &table, bool octalXY = false);

} // namespace McAddressing
