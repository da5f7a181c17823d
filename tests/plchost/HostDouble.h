#pragma once
// A stand-in driver plug-in for the host runner's tests. It answers from the
// address text alone (no PLC) and shows in every returned value what the host
// handed over, so a test can check the runner's calls from its printed JSON:
//
//  - the returned address is the request's address plus "@r2", "@r3", "@w3" or
//    "@w4" for the form that was called; writes add " ls=S lc=C lt=T c=N t=D":
//    status, count and dataType of the value the host passed, then the count
//    argument ("-" for the short form) and the type argument;
//  - reads: "min", "max", "seq", "special" give fixed element lists of the
//    requested type, "text" a string list with characters that need escaping,
//    "invalid" no value, "wrongtype" a string list whatever the type,
//    "notalist" a bare int, "status=N" status N, "events" [true] once the
//    host's event loop has run since ConnectDrive; anything else status 3;
//  - writes echo the host's value back unchanged;
//  - ConnectDrive answers the connection text read as an integer (0 when it
//    is none); SetConnectPar shows in the version text; DebugBuildVersion
//    answers the path the library was loaded from;
//  - loading, DestroyFree and destruction are reported on stderr;
//  - with HOSTDOUBLE_NO_DRIVER=1 in the environment getSharedLibrary answers
//    no object.

#include "CDriveBaseClass.h"
#include <QObject>

class HostDouble : public QObject, public CDriveBaseClass
{
    Q_OBJECT
    Q_INTERFACES(CDriveBaseClass)
public:
    HostDouble();
    ~HostDouble() override;

    QString getDriveName() override;
    QString getversion_number() override;
    QString DebugCmd(EDebugCmdType cmd) override;
    int ConnectDrive(QString connectText) override;
    void SetConnectPar(QString par) override;
    int DisConnectDrive() override;
    CLabelVariable ReadVariable(QString address, DataType type) override;
    CLabelVariable ReadVariable(QString address, DataType type, int count) override;
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value) override;
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value, int count) override;
    int DestroyFree() override;

private:
    CLabelVariable read(const QString &address, int type, int count);
    CLabelVariable write(const QString &address, int type, const CLabelVariable &value, int count, bool shortForm);

    QString m_par;
    bool m_trace = false;
    bool m_connected = false;
    bool m_eventSeen = false;
};
