#pragma once
// The link transport every plug-in's link class (Cmd...) derives from: opens and
// configures a serial port or connects a TCP client socket, sends one request
// frame and collects the answer with a time-out. The protocol frame code lives in
// the derived class.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <functional>

class QSerialPort;
class QTcpSocket;
class QTimer;

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
        return p;
    }
};

// Completeness test of an answer, given the bytes received so far in one
// exchange: the number of bytes still missing (0 = the answer is complete and can
// be judged; a malformed start is "complete" too, so it is judged at once).
using AnswerJudge = std::function<int(const QByteArray &soFar)>;

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

    // Sends `frame` and appends the answer to `answer`. Without a judge: 0 as soon
    // as any answer bytes are there, -1 when none came within timeoutMs of
    // polling. With a judge: keeps collecting (appending) until the judge calls
    // the answer complete (0) or the time-out has passed (-1, with whatever part
    // arrived appended). Bytes pending from an earlier exchange are discarded
    // before the frame is written. On a serial line with a judge the time-out
    // is stretched by the line time of the bytes the judge still reports
    // missing. A call made while another exchange of this link is waiting
    // (from an event handler) is refused with -1 and sends nothing.
    int SendData(QByteArray frame, QByteArray &answer, int timeoutMs,
                 const AnswerJudge &judge = AnswerJudge());

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

    QSerialPort *serialPort() const { return m_serialPort; }
    QTcpSocket *tcpSocket() const { return m_tcpSocket; }

public slots:
    void Ethconnected();
    void Ethdisconnected();
    void EthreadyRead();
    void serialreadyRead();

private:
    void discardPending();
    bool usingSerial() const;
    int lineTimeMs(int bytes) const;

    QByteArray m_receiveBuffer;
    QTimer *m_gapTimer = nullptr;
    QSerialPort *m_serialPort = nullptr;
    QHostAddress m_peerAddress;
    QTcpSocket *m_tcpSocket = nullptr;
    int m_peerPort = 0;
    int m_gapInterval = 2;
    bool m_trace = false;
    LinkProfile m_profile;
    int m_baudRate = 0;
    bool m_inExchange = false;  // SendData is collecting an answer
};
