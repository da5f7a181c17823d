#include "LibMarrowin.h"

namespace {

const DriverIdentity MarrowinIdentity = {
    "Marrowin", "V1.0.0 20230221", "v1.0.1 %1 %2", "Dec 26 2023", "15:46:02"
};

// One row per device: name, 1E device code, number base, bit device, read only.
// X, Y, B and W are numbered in hexadecimal, the others in decimal. Timer and
// counter contacts (TS, CS) are read only.
const McDeviceArea MarrowinAreas[] = {
    {"X", LibMarrowin::CodeX, 16, true, false},
    {"Y", LibMarrowin::CodeY, 16, true, false},
    {"M", LibMarrowin::CodeM, 10, true, false},
    {"D", LibMarrowin::CodeD, 10, false, false},
    {"B", 0x4220, 16, true, false},
    {"F", 0x4620, 10, true, false},
    {"TS", 0x5453, 10, true, true},
    {"CS", 0x4353, 10, true, true},
    {"W", 0x5720, 16, false, false},
    {"R", 0x5220, 10, false, false},
    {"TN", 0x544E, 10, false, false},
    {"CN", 0x434E, 10, false, false},
    {"S", 0x5320, 10, true, false},
};

const McDeviceTable MarrowinTable = {MarrowinAreas, int(sizeof(MarrowinAreas) / sizeof(MarrowinAreas[0]))};

// 1E frames are used mostly with FX3U-class Ethernet interfaces, which take 64
// words a word read (32 of a bit device), 64 words a word write (10 of a bit
// device) and 160 bits a bit write. read-words raises the read limit up to the
// 256 points the one-byte point field carries.
TransferRules marrowinRules()
{
    TransferRules r;
    r.unitBytes = 2;
    r.readWords = 64;
    r.bitDeviceReadDivisor = 2;
    r.writeUnits = 64;
    r.writeUnitsBitDevice = 10;
    r.writePoints = 160;
    return r;
}

const TransferRules MarrowinLimits = marrowinRules();
const ProfileKeys MarrowinKeys = {true, MarrowinLimits.readWords, CmdMarrowin::MaxPoints, true, false,
                                   PlcFamilyBit(PlcFamily::Q) | PlcFamilyBit(PlcFamily::Fx3u)};

} // namespace

// m_cmd is constructed after the base: the base only keeps a reference to it.
LibMarrowin::LibMarrowin(QObject *parent)
    : CMcDriverBase(MarrowinIdentity, m_cmd, MarrowinTable, MarrowinLimits, MarrowinKeys, parent)
{
}

const McDeviceTable &LibMarrowin::devices()
{
    return MarrowinTable;
}

const TransferRules &LibMarrowin::requestLimits()
{
    return MarrowinLimits;
}
