#pragma once
// Driver class of the MC protocol 1E binary plug-in.

#include "CmdMarrowin.h"
#include "McDriverBase.h"

class LibMarrowin : public CMcDriverBase
{
    Q_OBJECT
public:
    explicit LibMarrowin(QObject *parent = nullptr);

    // 1E device codes: the letter in the high byte, 0x20 in the low byte.
    enum DeviceCode { CodeX = 0x5820, CodeY = 0x5920, CodeM = 0x4D20, CodeD = 0x4420 };
    static const McDeviceTable &devices();
    static const TransferRules &requestLimits();

    CmdMarrowin &cmd() { return m_cmd; }

private:
    CmdMarrowin m_cmd;
};
