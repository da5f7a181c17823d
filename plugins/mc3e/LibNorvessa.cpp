#include "LibNorvessa.h"

namespace {

const DriverIdentity NorvessaIdentity = {
    "Norvessa", "V1.0.3 20231122", "v1.0.4 %1 %2", "Dec 18 2023", "11:20:20"
};

// X, Y and W numbers are hexadecimal, M, D and R decimal, as the PLC writes them.
const McDeviceArea NorvessaAreas[] = {
    {'X', LibNorvessa::CodeX, 16, true},
    {'Y', LibNorvessa::CodeY, 16, true},
    {'M', LibNorvessa::CodeM, 10, true},
    {'D', LibNorvessa::CodeD, 10, false},
    {'W', LibNorvessa::CodeW, 16, false},
    {'R', LibNorvessa::CodeR, 10, false},
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
const ProfileKeys NorvessaKeys = {true, CmdNorvessa::MaxWordPoints, CmdNorvessa::MaxWordPoints};

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
