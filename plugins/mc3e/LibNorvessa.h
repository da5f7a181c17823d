#pragma once
// Driver class of the MC protocol 3E binary plug-in.

#include "CmdNorvessa.h"
#include "McDriverBase.h"

class LibNorvessa : public CMcDriverBase
{
    Q_OBJECT
public:
    explicit LibNorvessa(QObject *parent = nullptr);

    // 3E device codes.
    enum DeviceCode { CodeX = CmdNorvessa::CodeX, CodeY = CmdNorvessa::CodeY, CodeM = CmdNorvessa::CodeM,
                      CodeD = CmdNorvessa::CodeD, CodeW = CmdNorvessa::CodeW, CodeR = CmdNorvessa::CodeR };
    static const McDeviceTable &devices();
    static const TransferRules &requestLimits();

    CmdNorvessa &cmd() { return m_cmd; }

protected:
    void profileApplied(const DriverProfile &profile) override;

private:
    CmdNorvessa m_cmd;
};
