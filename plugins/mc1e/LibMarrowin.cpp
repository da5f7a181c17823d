#include "LibMarrowin.h"

namespace {

const DriverIdentity MarrowinIdentity = {
    "Marrowin", "V1.0.0 20230221", "v1.0.1 %1 %2", "Dec 26 2023", "15:46:02"
};

// Four areas: X and Y numbered in hexadecimal, M and D in decimal. W and R are
// not reached through this plug-in.
const McDeviceArea MarrowinAreas[] = {
    {'X', LibMarrowin::CodeX, 16, true},
    {'Y', LibMarrowin::CodeY, 16, true},
    {'M', LibMarrowin::CodeM, 10, true},
    {'D', LibMarrowin::CodeD, 10, false},
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
const ProfileKeys MarrowinKeys = {true, MarrowinLimits.readWords, CmdMarrowin::MaxPoints};

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
