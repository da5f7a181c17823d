#include "LibNorvessa.h"

namespace {

const DriverIdentity NorvessaIdentity = {
    "Norvessa", "V1.0.3 20231122", "v1.0.4 %1 %2", "Dec 18 2023", "11:20:20"
};

// One row per device: name, 3E device code, number base, bit device, read only.
// Numbers are hexadecimal for X, Y, B, W, SB, SW, DX, DY and decimal for the
// rest, as the PLC writes them. Timer and counter contacts and coils (TS, TC,
// CS, CC) are read only. ZR is left out: CPU generations number it differently.
const McDeviceArea NorvessaAreas[] = {
    {"X", LibNorvessa::CodeX, 16, true, false},
    {"Y", LibNorvessa::CodeY, 16, true, false},
    {"M", LibNorvessa::CodeM, 10, true, false},
    {"D", LibNorvessa::CodeD, 10, false, false},
    {"W", LibNorvessa::CodeW, 16, false, false},
    {"R", LibNorvessa::CodeR, 10, false, false},
    {"SM", 0x91, 10, true, false},
    {"L", 0x92, 10, true, false},
    {"F", 0x93, 10, true, false},
    {"V", 0x94, 10, true, false},
    {"B", 0xA0, 16, true, false},
    {"SB", 0xA1, 16, true, false},
    {"DX", 0xA2, 16, true, false},
    {"DY", 0xA3, 16, true, false},
    {"TS", 0xC1, 10, true, true},
    {"TC", 0xC0, 10, true, true},
    {"CS", 0xC4, 10, true, true},
    {"CC", 0xC3, 10, true, true},
    {"SD", 0xA9, 10, false, false},
    {"SW", 0xB5, 16, false, false},
    {"TN", 0xC2, 10, false, false},
    {"CN", 0xC5, 10, false, false},
    {"Z", 0xCC, 10, false, false},
};

const McDeviceTable NorvessaTable = {NorvessaAreas, int(sizeof(NorvessaAreas) / sizeof(NorvessaAreas[0]))};

// 960 words per word-unit request, bit devices alike; bit-unit writes are kept
// to the same number of points, well inside the 7168 the frame allows on every
// CPU class.
TransferRules norvessaRules()
{
    TransferRules r;
    r.unitBytes = 2;
    r.readWords = CmdNorvessa::MaxWordPoints;
    r.writeUnits = CmdNorvessa::MaxWordPoints;
    r.writeUnitsBitDevice = CmdNorvessa::MaxWordPoints;
    r.writePoints = CmdNorvessa::MaxWordPoints;
    return r;
}

const TransferRules NorvessaLimits = norvessaRules();
const ProfileKeys NorvessaKeys = {true, CmdNorvessa::MaxWordPoints, CmdNorvessa::MaxWordPoints,
                                  PlcFamilyBit(PlcFamily::Q)};

} // namespace

// m_cmd is constructed after the base: the base only keeps a reference to it.
LibNorvessa::LibNorvessa(QObject *parent)
    : CMcDriverBase(NorvessaIdentity, m_cmd, NorvessaTable, NorvessaLimits, NorvessaKeys, parent)
{
}

const McDeviceTable &LibNorvessa::devices()
{
    return NorvessaTable;
}

const TransferRules &LibNorvessa::requestLimits()
{
    return NorvessaLimits;
}
