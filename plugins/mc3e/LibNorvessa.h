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
    enum DeviceCode { CodeX = 0x9C, CodeY = 0x9D, CodeM = 0x90, CodeD = 0xA8, CodeW = 0xB4,
                      CodeR = 0xAF };
    static const McDeviceTable &devices();
    static const TransferRules &requestLimits();

    CmdNorvessa &cmd() { return m_cmd; }

protected:
    void profileApplied(const DriverProfile &profile) override;

private:
    CmdNorvessa m_cmd;
};
