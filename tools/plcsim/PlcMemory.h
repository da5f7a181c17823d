#pragma once
// Device memory of the simulated PLC, shared by every endpoint of one simulator.
//
// Bit devices:  X, Y   0 .. 0x1FFF   (plain numbers; FX protocols write them in
//                                    octal, MC protocols in hexadecimal)
//               M      0 .. 16383    (M8000 and up are the special relays)
//               S      0 .. 4095
//               SM     0 .. 4095     special relays of Q/L/iQ-R CPUs
//               L 0 .. 8191, F 0 .. 2047, V 0 .. 2047
//               B 0 .. 0x1FFF, SB 0 .. 0x7FF (hexadecimal numbers)
//               TS, TC 0 .. 2047     timer contacts and coils
//               CS, CC 0 .. 1023     counter contacts and coils
//               SS, SC 0 .. 2047     retentive timer contacts and coils
// Word devices: D      0 .. 12287    (D8000 and up are the special registers)
//               W      0 .. 0x1FFF
//               R      0 .. 32767
//               SD 0 .. 4095, SW 0 .. 0x7FF, Z 0 .. 19
//               TN     0 .. 2047     timer current values
//               SN     0 .. 2047     retentive timer current values
//               ZR     0 .. 65535    file registers (decimal numbers)
//               CN     0 .. 1023     counter current values; the FX 32-bit
//                                    counters C200..C255 keep their high words
//                                    apart (AreaCNHigh), reached through the
//                                    programming port only
// Everything is zero at start. Devices named by one letter have that letter as
// their area code; the others have the codes below.
//
// Every accessor locks the memory's (recursive) mutex; a protocol handler that
// must read or write several points as one indivisible step holds lock() for the
// whole request, so a concurrent request on another endpoint never sees half a
// write.

#include <QRecursiveMutex>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

class PlcMemory
{
public:
    enum TwoLetterArea : char {
        AreaSM = 'm', AreaSB = 'b', AreaSD = 'd', AreaSW = 'w',
        AreaTS = 't', AreaTC = 'u', AreaTN = 'n',
        AreaCS = 'c', AreaCC = 'e', AreaCN = 'k',
        AreaSS = 's', AreaSC = 'o', AreaSN = 'p', AreaZR = 'z',
        AreaCNHigh = 'h'  // high words of CN200..CN255; no name, so no --set
    };

    PlcMemory();

    // Area code of the longest device name the text begins with (any case), 0
    // for none; *nameLength gets the name's length.
    static char areaNamed(const QString &text, int *nameLength = nullptr);
    // Name of an area ("TN"), empty for an unknown or unnamed one.
    static QString areaName(char area);
    // 16 (X, Y, W, B, SB, SW) or 10: how --set and --dump write the numbers.
    static int numberBase(char area);

    static bool isBitArea(char area);
    static bool isWordArea(char area);
    static int areaSize(char area);  // number of devices, 0 for an unknown area

    // True when area is known and first .. first+count-1 lie inside it (count > 0).
    static bool inRange(char area, int first, int count);

    // Single points. Unknown areas and numbers out of range read as 0 / false and
    // ignore writes.
    bool bit(char area, int number) const;
    void setBit(char area, int number, bool on);
    quint16 word(char area, int number) const;
    void setWord(char area, int number, quint16 value);

    // A 16-point group of a bit device as one word: bit j is device head + j.
    quint16 bitWord(char area, int head) const;
    void setBitWord(char area, int head, quint16 value);

    // The FX 32-bit counters C200..C255 as whole values: the low word in CN,
    // the high word in AreaCNHigh. Numbers outside 200..255 read 0, ignore writes.
    static constexpr int FirstCounter32 = 200, LastCounter32 = 255;
    quint32 counter32(int number) const;
    void setCounter32(int number, quint32 value);

    void clear();

    // Memory as text, one run of devices a line: "D100=1,2,3", "M0=1,0,1",
    // "X1F=1". X, Y and W numbers are hexadecimal, the others decimal; words
    // take -32768..65535 or 0x0..0xFFFF, bits 0 or 1. Word devices also take
    // a quoted text, D100="AB12" (\" and \\ inside for " and \): Latin-1
    // characters, two a word, the first in the low byte (D100=0x4241,
    // D101=0x3231), an odd last one with a zero high byte. False with *error
    // set for a text that is not of this form or leaves the area.
    bool setFromText(const QString &text, QString *error);
    // The non-zero devices in the same form, areas X Y M S D W R, then the others.
    QStringList nonZeroText() const;

    QRecursiveMutex &lock() const { return m_mutex; }

private:
    // Points of an area (bits stored as 0 / 1), null for an unknown area.
    QVector<quint16> *points(char area);
    const QVector<quint16> *points(char area) const;

    mutable QRecursiveMutex m_mutex;
    QVector<QVector<quint16>> m_areas;  // in the order of the device table
};
