#pragma once
// What all four driver classes do the same way: identity and version texts, the
// debug command, connection settings and the connection text, connect,
// disconnect, the short forms of read and write, release, and the small helpers
// every read and write flow uses. A plug-in's Lib... class derives from this and
// adds only its protocol (the 3-argument ReadVariable, the 4-argument
// WriteVariable).

#include "CDriveBaseClass.h"
#include "LinkTransport.h"
#include "TransferPlan.h"
#include <QDate>
#include <QObject>
#include <functional>

struct DriverIdentity {
    const char *driveName;        // getDriveName, DebugDriveName
    const char *version;          // getversion_number
    const char *versionTemplate;  // DebugBuildVersion template, "%1 %2" = date, time
    const char *buildDate;        // release stamp, "MMM dd yyyy" (as __DATE__)
    const char *buildTime;        // release stamp, "hh:mm:ss"
};

// What a connection text says, before anything is opened. "port,baud,data,stop,parity"
// is the serial form, "host:port" the TCP form (a ';' alone also selects it).
struct ConnectText {
    enum Form { Neither, Serial, Tcp };
    Form form = Neither;
    bool complete = false;  // every field the form needs is there and non-zero
    QString portName;
    int baudRate = 0;
    int dataBits = 0;
    int stopBits = 0;
    QString parity;
    QString hostAddress;
    int tcpPort = 0;
};

class CDriverShell : public QObject, public CDriveBaseClass
{
    Q_OBJECT
    Q_INTERFACES(CDriveBaseClass)
public:
    // `link` is the derived class's link member; it is only stored here and not
    // touched before the derived object is constructed.
    CDriverShell(const DriverIdentity &identity, CLinkTransport &link, QObject *parent = nullptr);

    QString getDriveName() override;
    QString getversion_number() override;
    QString DebugCmd(EDebugCmdType cmd) override;
    int DisConnectDrive() override;
    int ConnectDrive(QString connectText) override;
    void SetConnectPar(QString par) override;
    CLabelVariable ReadVariable(QString address, DataType type) override;
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value) override;
    int DestroyFree() override;
    using CDriveBaseClass::ReadVariable;
    using CDriveBaseClass::WriteVariable;

    // The parsing behind ConnectDrive, with no side effect: any text is safe here.
    static ConnectText parseConnectText(const QString &connectText);
    // Label status for a frame result: 0 -> 0, -1 -> 7, -2 -> 8, -3 -> 9, Busy
    // (another thread's call, or a call while one waits) -> 6; any
    // other result leaves `current`.
    static int statusForLinkResult(int linkResult, int current);
    // Every value a read or write hands back carries the request's address
    // text, count and data type, whatever its status.
    static void stampRequest(CLabelVariable &label, const QString &address, DataType type, int count);
    // Takes the outcome of an exchange (status, value, timestamp) from `from`.
    static void takeOutcome(CLabelVariable &into, const CLabelVariable &from);
    // Upper bound of device bytes one call may transfer; larger requests are
    // refused (status 5) instead of allocated.
    static constexpr int MaxTransferBytes = TransferMaxBytes;
    // Runs `chunk(offset, length)` over [0, total) in pieces of at most
    // `maxPerRequest`, in order, stopping at the first result other than 0,
    // which is returned. 0 when every piece succeeded (and for total <= 0).
    static int forEachChunk(int total, int maxPerRequest,
                            const std::function<int(int offset, int length)> &chunk);

    // Settings as the last ConnectDrive parsed them.
    const QByteArray &connectPar() const { return m_connectPar; }
    QString portName() const { return m_portName; }
    int baudRate() const { return m_baudRate; }
    int dataBits() const { return m_dataBits; }
    int stopBits() const { return m_stopBits; }
    QString parity() const { return m_parity; }
    QString hostAddress() const { return m_hostAddress; }
    int tcpPort() const { return m_tcpPort; }

protected:
    CLinkTransport &link() { return m_link; }
    // A link result as the host sees it from a connect or disconnect: Busy is 6.
    static int connectResult(int linkResult);

private:
    DriverIdentity m_identity;
    CLinkTransport &m_link;
    QDate m_buildDate;
    QByteArray m_connectPar;
    QString m_portName;
    int m_baudRate = 0;
    int m_dataBits = 0;
    int m_stopBits = 0;
    QString m_parity;
    QString m_hostAddress;
    int m_tcpPort = 0;
};
