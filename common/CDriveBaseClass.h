#pragma once
// The host-facing driver interface. The host calls every operation by its slot in
// the virtual table, so the order below is binding. No data, no virtual destructor:
// the host frees the driver object through its own means.

#include "CLabelVariable.h"
#include <QObject>
#include <QString>

enum EDebugCmdType {
    DebugStart = 0,
    DebugStop = 1,
    DebugBuildVersion = 2,
    DebugDriveName = 3
};

class CDriveBaseClass
{
public:
    virtual QString getDriveName() = 0;
    virtual QString getversion_number() = 0;
    virtual QString DebugCmd(EDebugCmdType cmd) = 0;
    virtual int ConnectDrive(QString connectText) = 0;
    virtual void SetConnectPar(QString par) = 0;
    virtual int DisConnectDrive() = 0;
    virtual CLabelVariable ReadVariable(QString address, DataType type) = 0;
    virtual CLabelVariable ReadVariable(QString address, DataType type, int count) = 0;
    virtual CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value) = 0;
    virtual CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value, int count) = 0;
    virtual int DestroyFree() = 0;
};

Q_DECLARE_INTERFACE(CDriveBaseClass, "CDriveBaseClass")

// Signature of the one symbol every plug-in exports.
extern "C" typedef CDriveBaseClass *(*GetSharedLibraryFn)();
