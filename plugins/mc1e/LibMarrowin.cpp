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

// Reads up to the 256 points the one-byte point field carries. Writes keep to
// what FX3U-class Ethernet interfaces take: 64 words, 10 words of bit devices,
// 160 bits.
const McLimits MarrowinLimits = {CmdMarrowin::MaxPoints, CmdMarrowin::MaxPoints, 64, 10, 160};

} // namespace

// m_cmd is constructed after the base: the base only keeps a reference to it.
LibMarrowin::LibMarrowin(QObject *parent)
    : CMcDriverBase(MarrowinIdentity, m_cmd, MarrowinTable, MarrowinLimits, parent)
{
}

const McDeviceTable &LibMarrowin::devices()
{
    return MarrowinTable;
}

const McLimits &LibMarrowin::requestLimits()
{
    return MarrowinLimits;
}
