#pragma once
// The link transport every plug-in's link class (Cmd...) derives from: opens and
// configures a serial port or connects a TCP client socket, sends one request
// frame and collects the answer with a time-out. The protocol frame code lives in
// the derived class.

#include "ExchangeEngine.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QSerialPort;
class QTcpSocket;
class QThread;
class SerialMedium;
class TcpMedium;

// What differs between the plug-ins' transports.
struct LinkProfile {
    enum SendVariant {
        FxSend,  // Only_send + waitForReady(int): programming port and computer link
        McSend   // waitForReady(QByteArray, int): MC protocol 1E and 3E
    };
    QString tracePrefix;           // "lib[Kelvaro]": begins every trace line of the plug-in
    QString disconnectTemplate;    // warning line on a lost TCP connection, %1 address %2 port %3 error
    SendVariant sendVariant = FxSend;
    bool abortBeforeConnect = false;       // abort the socket before connecting
    bool parseAddressBeforeSocket = false; // no socket object for an invalid address
    bool keepAlive = false;                // TCP keep-alive probes on the connection

    // The profile of plug-in `name`: trace prefix "lib[name]" and the
    // lost-connection line "lib[disconnectName]%1:%2 Disconnected=%3"
    // (disconnectName defaults to name).
    static LinkProfile of(const QString &name, SendVariant variant, bool abortBeforeConnect,
                          bool parseAddressBeforeSocket, const QString &disconnectName = QString())
    {
        LinkProfile p;
        p.tracePrefix = QStringLiteral("lib[%1]").arg(name);
        p.disconnectTemplate = QStringLiteral("lib[") + (disconnectName.isEmpty() ? name : disconnectName)
                               + QStringLiteral("]%1:%2 Disconnected=%3");
        p.sendVariant = variant;
        p.abortBeforeConnect = abortBeforeConnect;
        p.parseAddressBeforeSocket = parseAddressBeforeSocket;
        p.keepAlive = variant == McSend;
        return p;
    }
};

// Answer timing of the two FX links (programming port, computer link).
namespace FxTiming {
// The PLC answers within its scan: time for the first answer bytes, on top of
// the plug-in's answer wait and the line times of request and answer.
constexpr int FirstAnswerMs = 300;
// On a serial line the next request after a failed one waits until this long
// after the failed request, and for a quiet line, so a late answer has passed.
constexpr int GuardMs = 1500;
} // namespace FxTiming

class CLinkTransport : public QObject
{
    Q_OBJECT
public:
    explicit CLinkTransport(const LinkProfile &profile, QObject *parent = nullptr);
    ~CLinkTransport() override;

    int serialConnectDrive(QString portName, int baudRate, int dataBits, int stopBits, QString parity);
    int serialDisConnectDrive();
    int EthConnectDrive(QString hostAddress, int port);
    int EthDisConnectDrive();

    int Only_send(QByteArray frame);                  // FX variant
    int waitForReady(int msecs);                      // FX variant
    int waitForReady(QByteArray frame, int msecs);    // MC variant

    // Result of a call refused because another call of this link is waiting,
    // or because it comes from a thread other than the one that connected.
    static constexpr int Busy = -6;

    // Raw exchange: sends `frame` and appends the answer to `answer`. Without a
    // judge: 0 as soon as any answer bytes are there (serial: once the line
    // stayed quiet for the gap interval after them), -1 when none came within
    // timeoutMs. With a judge: 0 once the judge calls the answer complete, -1 at
    // the time-out (with whatever part arrived appended). Bytes pending from
    // an earlier exchange are dropped before the frame is written. On a serial
    // line the time-out grows by the line time of the request and of the bytes
    // the judge still reports missing. Busy when refused (nothing sent).
    int SendData(QByteArray frame, QByteArray &answer, int timeoutMs,
                 const AnswerJudge &judge = AnswerJudge());

    // Protocol exchange: as SendData with the frame code's rule, and the
    // recovery of a dirty link first (see ExchangeEngine). 0 complete answer;
    // -1 time-out or cut answer (the part is appended); -3 not connected or
    // the link could not be recovered (nothing sent); Busy.
    int exchange(const QByteArray &request, const AnswerRule &rule, QByteArray *answer);
    // The frame code rejected the answer of the last exchange: the next one
    // recovers the link first.
    void rejectAnswer() { m_engine.reject(); }
    // Whether a request may go out now: 0 yes; Busy (another thread, or a call
    // already waiting); -3 not connected. Checks before any trace line.
    int requestReady();

    // Exchange with the trace lines of the programming-port and MC plug-ins:
    // "<prefix>读命令|写命令|响应 %1:%2 Area=%3  msg : %4" (a read's request
    // before the exchange, a write's after it, then the answer). Results as
    // exchange(), with -2 for an exchange that got no byte at all.
    enum class Traced { Read, Write };
    int tracedExchange(Traced kind, const QByteArray &request, const QString &areaText,
                       const AnswerRule &rule, QByteArray *answer);

    int Connection_status();
    void mysleep(int msecs);
    int deleteSerialPort();
    int deletetcpSocket();
    int DestroyFree();
    void TimerTimeOut();

    // Trace support for the frame code.
    bool traceOn() const { return m_trace; }
    void setTrace(bool on) { m_trace = on; }
    QString peerAddressText() const;  // empty on a serial link
    int peerPort() const;             // 0 on a serial link
    int gapInterval() const { return m_gapInterval; }
    const LinkProfile &profile() const { return m_profile; }
    // Debug-level trace line (written only while the trace flag is on) and
    // warning-level line (always), in the plug-ins' common trace form.
    void traceLine(const QString &text) const;
    static void warningLine(const QString &text);
    static QString hex(const QByteArray &bytes);  // lowercase, no separators

    QSerialPort *serialPort() const;
    QTcpSocket *tcpSocket() const;

public slots:
    void Ethconnected();
    void Ethdisconnected();
    void EthreadyRead();
    void serialreadyRead();

private:
    LinkMedium *medium() const;  // the socket wins over the serial port
    bool ownedHere() const;
    void takeOwnership();
    void applyPendingRelease();
    void serialLost();
    int runExchange(const QByteArray &request, const AnswerRule &rule, QByteArray *answer);

    std::unique_ptr<SerialMedium> m_serial;
    QHostAddress m_peerAddress;
    std::unique_ptr<TcpMedium> m_tcp;
    int m_peerPort = 0;
    int m_gapInterval = 2;
    bool m_trace = false;
    LinkProfile m_profile;
    ExchangeEngine m_engine;
    bool m_serialLossReported = false;
    std::atomic<QThread *> m_owner{nullptr};   // thread of the last connect
    std::atomic<bool> m_inExchange{false};     // a call is waiting on the medium
    std::atomic<bool> m_hasDevice{false};      // a port or socket object exists
    std::atomic<bool> m_releasePending{false}; // DestroyFree came from another thread
};
