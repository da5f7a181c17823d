#include "LinkTransport.h"
#include "SerialMedium.h"
#include "TcpMedium.h"
#include "UdpMedium.h"

#include <QHostAddress>
#include <QMessageLogger>
#include <QStringList>

// The trace form shared by every plug-in: one QString, no file/line/function
// context, category "default" (the default handler prints it in double quotes).
void plcDebugLine(const QString &text)
{
    QMessageLogger(nullptr, 0, nullptr, "default").debug() << text;
}

void plcWarningLine(const QString &text)
{
    QMessageLogger(nullptr, 0, nullptr, "default").warning() << text;
}

namespace {

// Waits of the connection itself.
constexpr int ConnectWaitMs = 30000;
// Another thread's release waits this long at most for a running call, which
// its wake-up ends at once.
constexpr int ReleaseWaitMs = 500;

} // namespace

LinkProfile LinkProfile::of(const QString &name, bool abortBeforeConnect, bool keepAlive, const QString &lostName)
{
    LinkProfile p;
    p.name = name;
    const QString prefix = QStringLiteral("lib[%1]").arg(name);
    p.texts.readRequest = prefix + QString::fromUtf8("读命令 %1:%2 Area=%3  msg : %5");
    p.texts.writeRequest = prefix + QString::fromUtf8("写命令 %1:%2 Area=%3  msg : %5");
    p.texts.answer = prefix + QString::fromUtf8("响应 %1:%2 Area=%3  msg : %5");
    p.texts.dropped = prefix + QStringLiteral("dropped an earlier request's answer %1:%2 Area=%3  msg : %5");
    p.texts.lost = QStringLiteral("lib[") + (lostName.isEmpty() ? name : lostName)
                   + QStringLiteral("]%1:%2 Disconnected=%3");
    p.abortBeforeConnect = abortBeforeConnect;
    p.keepAlive = keepAlive;
    return p;
}

CLinkTransport::CLinkTransport(const LinkProfile &profile, QObject *parent)
    : QObject(parent), m_profile(profile)
{
}

CLinkTransport::~CLinkTransport()
{
    DestroyFree();
}

QString CLinkTransport::fill(const QString &tmpl, const QStringList &fields)
{
    QString out;
    out.reserve(tmpl.size() + 64);
    for (int i = 0; i < tmpl.size(); ++i) {
        const QChar c = tmpl.at(i);
        const int n = i + 1 < tmpl.size() ? tmpl.at(i + 1).digitValue() : -1;
        if (c == QLatin1Char('%') && n >= 1 && n <= fields.size()) {
            out += fields.at(n - 1);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

void CLinkTransport::traceLine(const QString &text) const
{
    if (traceOn())
        plcDebugLine(text);
}

void CLinkTransport::warningLine(const QString &text)
{
    plcWarningLine(text);
}

void CLinkTransport::closeMedium()
{
    if (!m_medium)
        return;
    const bool announce = m_medium->usable() && m_medium->announcesClose();
    m_medium->close();
    if (announce)
        reportLoss();
}

void CLinkTransport::dropMedium()
{
    closeMedium();
    m_medium.reset();
    m_holdBack.clear();
}

int CLinkTransport::connectWith(const std::function<int()> &open)
{
    // A connect from another thread moves the link to that thread, but never
    // while a call runs on it.
    LinkCall call(m_guard, LinkGuard::Entry::Connect);
    if (!call.entered())
        return Busy;
    m_wake.clear();
    return open();
}

int CLinkTransport::serialConnectDrive(const SerialSettings &settings)
{
    return connectWith([&] {
        dropMedium();
        m_medium = SerialMedium::open(settings);
        if (!m_medium)
            return -1;
        m_medium->setWake(&m_wake);
        m_lossReported = false;
        m_engine.connected();
        return 0;
    });
}

int CLinkTransport::EthConnectDrive(const QString &hostAddress, int port)
{
    return connectWith([&] {
        QHostAddress address;
        if (!address.setAddress(hostAddress))  // numeric only, no name lookup
            return -1;
        const quint16 peerPort = quint16(port & 0xFFFF);
        // A connect to the peer of a sound connection keeps it, unless the
        // plug-in always starts afresh.
        if (m_medium && m_medium->connectedTo(hostAddress, peerPort) && !m_profile.abortBeforeConnect
            && m_medium->sendsDatagrams() == m_datagrams && !m_engine.dirty() && !m_holdBack.holding())
            return 0;
        dropMedium();
        int result = TcpMedium::NotConnected;
        if (m_datagrams)
            m_medium = UdpMedium::open(address, peerPort, &m_wake);
        else
            m_medium = TcpMedium::connectTo(address, peerPort, ConnectWaitMs, m_profile.keepAlive, &m_wake, &result);
        if (!m_medium)
            return -3;
        m_medium->setWake(&m_wake);
        m_lossReported = false;
        m_engine.connected();
        return 0;
    });
}

int CLinkTransport::DisConnectDrive()
{
    LinkCall call(m_guard, LinkGuard::Entry::Owner);
    if (!call.entered())
        return Busy;
    if (!m_medium || !m_medium->usable())
        return 1;
    closeMedium();
    m_holdBack.clear();
    return 0;
}

int CLinkTransport::DestroyFree()
{
    // A call running on another thread is woken and gives up its wait; the
    // release waits for it to end (it ends at once) and then takes the link.
    if (!m_guard.runningHere())
        m_wake.raise();
    LinkCall call(m_guard, LinkGuard::Entry::Release, ReleaseWaitMs);
    if (!call.entered()) {
        // Made from inside a running call (or that call did not end in
        // time): the call releases the link when it ends.
        m_releasePending = true;
        m_wake.raise();
        return 0;
    }
    m_wake.clear();
    m_releasePending = false;
    const bool had = bool(m_medium);
    dropMedium();
    m_guard.forgetOwner();
    return had ? 0 : 1;
}

QString CLinkTransport::holdBackLine(const QString &what) const
{
    // "lib[Norvessa]127.0.0.1:5000 PLC held back ...", "lib[Kelvaro]/dev/ttyUSB0 ..."
    const int port = m_medium->lossPort();
    const QString peer = port > 0 ? QStringLiteral("%1:%2").arg(m_medium->lossAddress()).arg(port)
                                  : m_medium->lossAddress();
    return QStringLiteral("lib[%1]%2 %3").arg(m_profile.name, peer, what);
}

void CLinkTransport::reportLoss()
{
    if (m_lossReported || !m_medium)
        return;
    m_lossReported = true;
    warningLine(fill(m_profile.texts.lost, {m_medium->lossAddress(), QString::number(m_medium->lossPort()),
                                           QString::number(m_medium->errorCode())}));
}

int CLinkTransport::heldBack()
{
    traceLine(holdBackLine(m_holdBack.reason()));
    return m_holdBack.afterFailedReconnect() ? NotConnected : NoAnswer;
}

int CLinkTransport::transact(const LinkPiece &piece, QByteArray *data)
{
    LinkCall call(m_guard, LinkGuard::Entry::Owner);
    if (!call.entered())
        return Busy;
    const int result = runPiece(piece, data);
    if (m_releasePending.exchange(false)) {
        m_wake.clear();
        dropMedium();
        m_guard.forgetOwner();
        return NotConnected;
    }
    return result;
}

int CLinkTransport::runPiece(const LinkPiece &piece, QByteArray *data)
{
    if (!m_medium)
        return NotConnected;
    if (m_holdBack.remainingMs() > 0)
        return heldBack();
    // A lost medium stays lost until the host connects again; only a link
    // held back after a failed reconnect tries the reconnect itself.
    const bool probeReconnect = m_holdBack.holding() && m_holdBack.afterFailedReconnect();
    if (!m_medium->usable() && !probeReconnect) {
        reportLoss();
        return NotConnected;
    }

    const LinkTexts &texts = m_profile.texts;
    // Texts are built only for lines that are written.
    auto line = [&](const QString &tmpl, const QByteArray &bytes, int code = -1) {
        return fill(tmpl, {m_medium->traceAddress(), QString::number(m_medium->tracePort()), piece.areaText,
                           QString::number(piece.count), QString::fromLatin1(bytes.toHex()),
                           QStringLiteral("%1").arg(code & 0xFF, 2, 16, QLatin1Char('0')).toUpper()});
    };
    const bool trace = traceOn();
    const bool read = piece.direction == LinkPiece::Read;
    const bool requestFirst = read || !texts.writeTracedAfterExchange;
    if (trace && requestFirst)
        traceLine(line(read ? texts.readRequest : texts.writeRequest, piece.request));

    QByteArray answer;
    const int r = m_engine.run(*m_medium, piece.request, piece.rule, &answer);
    if (r == ExchangeEngine::Woken)
        return NotConnected;
    if (r == ExchangeEngine::NotConnected) {
        // The link is lost like a dropped connection (one line a loss); a
        // failed reconnect also holds the PLC back, whose probes reconnect.
        reportLoss();
        if (m_engine.resetFailed() && m_holdBack.record(LinkHoldBack::Event::ReconnectFailed)
                                          == LinkHoldBack::Change::Started)
            warningLine(holdBackLine(m_holdBack.startText()));
        return NotConnected;
    }
    if (trace && !requestFirst)
        traceLine(line(texts.writeRequest, piece.request));
    for (const QByteArray &other : m_engine.dropped())
        if (trace && !texts.dropped.isEmpty())
            traceLine(line(texts.dropped, other));
    if (trace)
        traceLine(line(texts.answer, answer));
    if (m_medium->lost())
        reportLoss();

    if (answer.isEmpty()) {
        if (!texts.noAnswer.isEmpty())
            warningLine(line(texts.noAnswer, piece.request));
        if (!m_medium->lost() && m_holdBack.record(LinkHoldBack::Event::Silent) == LinkHoldBack::Change::Started)
            warningLine(holdBackLine(m_holdBack.startText()));
        return NoAnswer;
    }
    if (m_holdBack.record(LinkHoldBack::Event::Answered) == LinkHoldBack::Change::Ended)
        warningLine(holdBackLine(QStringLiteral("PLC answers again")));
    if (probeReconnect)
        m_lossReported = false;  // a probe connected anew: a later loss is a new one

    // A cut answer is read too, for its warning line, but never gives data.
    QByteArray parsed;
    const AnswerVerdict verdict = piece.parse ? piece.parse(answer, &parsed) : AnswerVerdict::malformed();
    const bool good = r == ExchangeEngine::Complete && verdict.kind == AnswerVerdict::Data;
    if (good && data)
        data->append(parsed);
    // The PLC's own refusal ends its exchange in step: the link stays clean.
    if (verdict.kind == AnswerVerdict::Malformed)
        m_engine.reject();
    const QString *note = nullptr;
    switch (verdict.note) {
    case AnswerVerdict::LengthNote: note = &texts.badLength; break;
    case AnswerVerdict::CheckNote: note = &texts.badCheck; break;
    case AnswerVerdict::RefusalNote: note = &texts.refusedWrite; break;
    case AnswerVerdict::NoNote: break;
    }
    if (note && !note->isEmpty())
        warningLine(line(*note, piece.request, verdict.code));
    return good ? Done : Rejected;
}
