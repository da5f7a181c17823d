#include "LibNorvessa.h"

namespace {

const DriverIdentity NorvessaIdentity = {
    "Norvessa", "V1.0.3 20231122", "v1.0.4 %1 %2", "Dec 18 2023", "11:20:20"
};


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
const ProfileKeys NorvessaKeys = {true, CmdNorvessa::MaxWordPoints, CmdNorvessa::MaxWordPoints, true, true,
                                  PlcFamilyBit(PlcFamily::Q)};

} // namespace

// m_cmd is constructed after the base: the base only keeps a reference to it.
LibNorvessa::LibNorvessa(QObject *parent)
    : CMcDriverBase(NorvessaIdentity, m_cmd, CmdNorvessa::devices(), NorvessaLimits, NorvessaKeys, parent)
{
}

void LibNorvessa::profileApplied(const DriverProfile &profile)
{
    m_cmd.setFrameForm(profile.fourE, profile.ascii);
}

const McDeviceTable &LibNorvessa::devices()
{
    return CmdNorvessa::devices();
}

const TransferRules &LibNorvessa::requestLimits()
{
    return NorvessaLimits;
}
