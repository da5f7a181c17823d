#pragma once
// The link every plug-in's link class (Cmd...) derives from: one medium at a
// time (a serial line, a TCP connection or UDP, made by a connect and dropped by the
// next connect or a release), the one runner that exchanges a piece of a
// transfer over it (trace lines, verdict, warning lines, result), the calling
// rules between threads, and the hold-back of a PLC that stopped answering.
// The protocol lives in the derived class: how a request looks, when its
// answer is complete, what the answer means.

#include "ExchangeEngine.h"
#include "LinkGuard.h"
#include "LinkHoldBack.h"
#include "LinkMedium.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

struct SerialSettings;

// Placeholders of the trace and warning templates: %1 peer address, %2 peer
// port, %3 the host's address text, %4 the piece's count, %5 a frame in
// lowercase hex, %6 the PLC's error code (two hex digits). Each is filled in
// one pass, so a '%' in an address text is never taken for a placeholder.
struct LinkTexts {
    QString readRequest;    // a read's request, before the exchange
    QString writeRequest;   // a write's request (before or after the exchange)
    QString answer;         // the answer, after the exchange
    QString dropped;        // another request's answer dropped by its tag (trace)
    bool writeTracedAfterExchange = true;
    // Warning lines about an answer (empty: none).
    QString noAnswer;       // nothing came back
    QString badLength;      // not the length the request asks for
    QString badCheck;       // framing, check sum or routing wrong
    QString refusedWrite;   // the PLC refused a write
    // The lost-connection line: %1 address (or serial port name), %2 port (0
    // on a serial line), %3 the Qt error number.
    QString lost;
};

// What differs between the plug-ins' links.
struct LinkProfile {
    QString name;                   // "Kelvaro": the prefix "lib[name]" of the link's own lines
    LinkTexts texts;
    bool abortBeforeConnect = false;  // a TCP connect always starts a new connection
    bool keepAlive = false;           // TCP keep-alive probes on the connection

    // The lines of the programming-port and MC plug-ins: "lib[name]读命令 %1:%2
    // Area=%3  msg : %5" (写命令 after the exchange, 响应 for the answer), no
    // warnings about answers, and the lost-connection line
    // "lib[lostName]%1:%2 Disconnected=%3" (lostName defaults to name).
    static LinkProfile of(const QString &name, bool abortBeforeConnect, bool keepAlive,
                          const QString &lostName = QString());
};

// How the frame code read an answer.
struct AnswerVerdict {
    enum Kind { Data, Refused, Malformed };
    // Which warning line of LinkTexts goes with it (if the plug-in has it).
    enum Note { NoNote, LengthNote, CheckNote, RefusalNote };
    Kind kind = Malformed;
    Note note = NoNote;
    int code = -1;  // the PLC's error code of a refusal

    static AnswerVerdict data() { return {Data, NoNote, -1}; }
    static AnswerVerdict refused(int code, Note note = NoNote) { return {Refused, note, code}; }
    static AnswerVerdict malformed(Note note = NoNote) { return {Malformed, note, -1}; }
};

// One request of a transfer, as the frame code describes it.
struct LinkPiece {
    enum Direction { Read, Write };
    LinkPiece(Direction direction, const QByteArray &request, const QString &areaText, int count)
        : direction(direction), request(request), areaText(areaText), count(count) {}

    Direction direction = Read;
    QByteArray request;
    AnswerRule rule;
    // Reads a complete answer; for Data it appends what the caller gets to *data.
    std::function<AnswerVerdict(const QByteArray &answer, QByteArray *data)> parse;
    QString areaText;  // the host's address text, for the trace
    int count = 0;     // the piece's points, for the trace
};

class CLinkTransport : public QObject
{
    Q_OBJECT
public:
    explicit CLinkTransport(const LinkProfile &profile, QObject *parent = nullptr);
    ~CLinkTransport() override;

    // Results of the link's operations.
    enum Result {
        Done = 0,
        Rejected = -1,       // the answer was refused by the PLC, cut or malformed
        NoAnswer = -2,       // nothing came back in time (or the PLC is held back)
        NotConnected = -3,   // no usable medium (or the PLC is held back after a failed reconnect)
        Busy = -6            // another thread's call, or a call while one runs
    };

    // Connects anew (the medium of an earlier connect is dropped first, also
    // when this one fails): 0 open; -1 the port could not be opened; Busy.
    int serialConnectDrive(const SerialSettings &settings);
    // 0 connected; -1 not a numeric address (the current medium stays);
    // -3 not connected after the wait (30 s; a refused port fails at once); Busy.
    // With datagrams set: 0 once a UDP socket has the peer (nothing is sent).
    int EthConnectDrive(const QString &hostAddress, int port);
    // Closes the medium: 0 closed; 1 nothing open; Busy from another thread.
    int DisConnectDrive();
    // Releases the medium: 0 released; 1 there was none. From another thread
    // it ends a waiting call of the owner (which then gives NotConnected) and
    // returns within half a second.
    int DestroyFree();

    // Runs one piece: 0 the answer's data appended to *data; -1, -2, -3, Busy.
    int transact(const LinkPiece &piece, QByteArray *data);

    // What the link holds: a medium (open or not), and one usable for a request.
    bool hasMedium() const { return bool(m_medium); }
    bool isOpen() const { return m_medium && m_medium->usable(); }

    bool traceOn() const { return m_trace.load(std::memory_order_relaxed); }
    void setTrace(bool on) { m_trace.store(on, std::memory_order_relaxed); }
    void setHoldBack(const HoldBackSettings &settings) { m_holdBack.configure(settings); }
    // UDP instead of TCP for the connects to "host:port" from the next one on.
    void setDatagrams(bool on) { m_datagrams = on; }
    const LinkProfile &profile() const { return m_profile; }

    // Debug-level line (written only while the trace flag is on) and
    // warning-level line (always), in the plug-ins' common trace form.
    void traceLine(const QString &text) const;
    static void warningLine(const QString &text);
    // Fills `tmpl` (placeholders as in LinkTexts) in one pass.
    static QString fill(const QString &tmpl, const QStringList &fields);

private:
    int connectWith(const std::function<int()> &open);
    int runPiece(const LinkPiece &piece, QByteArray *data);
    int heldBack();
    void reportLoss();
    void closeMedium();
    void dropMedium();
    QString holdBackLine(const QString &what) const;

    LinkProfile m_profile;
    LinkGuard m_guard;
    LinkWake m_wake;
    std::unique_ptr<LinkMedium> m_medium;
    bool m_lossReported = false;
    ExchangeEngine m_engine;
    LinkHoldBack m_holdBack;
    std::atomic<bool> m_trace{false};
    std::atomic<bool> m_releasePending{false};  // a release made during a call
    bool m_datagrams = false;
};

// The trace form shared by the plug-ins: one QString streamed into a message
// logger with no file/line/function context, category "default".
void plcDebugLine(const QString &text);
void plcWarningLine(const QString &text);
