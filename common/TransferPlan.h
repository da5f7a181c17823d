#pragma once
// The one plan behind every read and write of the four plug-ins: which request
// is refused before anything is sent (and in which order), how many data units
// move, how they are split into requests, and how many elements are decoded or
// encoded. Pure: it looks only at its arguments.
//
// Refusals, in this order: 3 no device letter (a write: also a read-only
// device, whatever else is wrong); [2 a data type without an element
// list, or text on a bit device, where the plug-in checks the type first];
// 4 count <= 0; 5 the address text's device number or bit index; 2 a data type
// without an element list, or text (DT_String) on a bit device; 4 nothing to
// move (one 8-bit element) and, for writes, an odd number of 8-bit elements
// (half a word cannot be written without overwriting its other byte); 5 bools
// written to a bit of a word device (D200.3: write the word); 2 bools written
// to a word device, or words to a bit device where the protocol has no such
// write; 5 a value of a word type or text starting at a single bit, more than
// TransferMaxBytes, or data past the end of the area.
//
// Bools read from a word device with a bit index (D200.3) start at that bit of
// the word and go on into the next words; text (DT_String, count = characters)
// moves ceil(count / 2) whole words, odd counts included.

#include <QtGlobal>

// Upper bound of device bytes one call may transfer; larger requests are refused
// (status 5) instead of allocated.
constexpr int TransferMaxBytes = 128 * 1024;

// What a plug-in supplies: how it moves data and its per-request limits.
struct TransferRules {
    int unitBytes = 2;             // device bytes per data unit: 1 (byte addresses) or 2 (words)
    int readWords = 0;             // words per read request of a word device
    int bitDeviceReadDivisor = 1;  // a bit device is read readWords / this words a request
    int writeUnits = 0;            // data units per write request of a word device
    int writeUnitsBitDevice = 0;   // ... of a bit device
    int writePoints = 0;           // points per bit-unit write request
    bool typeBeforeCount = false;  // the data type is refused right after the device letter
    bool wordsToBitDevices = true; // word values may be written to bit devices
    bool refusedReadKeepsCallTime = true;  // a refused read carries the time of the call

    // Data units per read request (at least 1).
    int readUnits(bool bitDevice) const;
};

// An address text as the plug-in's parser saw it. Device addresses are in the
// plug-in's own numbering (device numbers, or byte addresses).
struct TransferTarget {
    int status = 0;          // 0, or 3 / 5 refusing the text
    int area = 0;            // the plug-in's own area code
    bool bitDevice = false;  // devices of one bit each (X, Y, M, S); set with status 5 as well
                             // where the device name is known (text on them is refused with 2)
    bool bitNamed = false;   // the text names one bit inside a data unit (M100.3, D200.3): only
                             // bools start there, and only bit devices take bools written there
    int head = 0;            // device address of the first data unit
    int step = 1;            // device addresses per data unit
    int bitOffset = 0;       // bits of the first data unit before the addressed device (or bit)
    int firstPoint = 0;      // device address of the addressed bit (bit-unit writes)
    qint64 unitsToEnd = 0;   // data units from head to the end of the area
    qint64 pointsToEnd = 0;  // bits from firstPoint to the end of the area
    bool readOnly = false;   // timer and counter contacts and coils: every write is refused (3)
    int valueBytes = 0;      // 0, or the one value width the device holds (32-bit counters: 4):
                             // other types are refused (2), no value is split between requests
};

struct TransferPlan {
    int status = 0;          // 0, or the label status refusing the request
    bool bitUnits = false;   // write: one point per bool, from firstPoint
    int head = 0;            // device address of the first unit or point
    int points = 0;          // data units (or points in bit units)
    int step = 1;            // device addresses per unit
    int byteLength = 0;      // device bytes moved
    int bitOffset = 0;       // read of bools: the first wanted bit within the data
    int elements = 0;        // elements decoded (read) or encoded (write); text: its characters
    int perRequest = 0;      // units or points per request
};

namespace TransferPlanning {
TransferPlan planRead(const TransferRules &rules, const TransferTarget &target, int type, int count);
TransferPlan planWrite(const TransferRules &rules, const TransferTarget &target, int type, int count);
} // namespace TransferPlanning
