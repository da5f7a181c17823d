#include "LinkHoldBack.h"

#include <algorithm>

void LinkHoldBack::configure(const HoldBackSettings &settings)
{
    m_settings = settings;
    if (!settings.on)
        clear();
}

void LinkHoldBack::clear()
{
    m_silent = 0;
    m_holding = false;
    m_reconnectFailed = false;
    m_periodMs = 0;
}

LinkHoldBack::Change LinkHoldBack::record(Event event)
{
    if (event == Event::Answered) {
        const bool was = m_holding;
        clear();
        return was ? Change::Ended : Change::None;
    }
    ++m_silent;
    if (!m_settings.on)
        return Change::None;
    if (event == Event::ReconnectFailed)
        m_reconnectFailed = true;
    if (m_holding) {
        // The probe found the PLC still silent: wait longer before the next.
        m_periodMs = std::min(m_periodMs * 2, m_settings.maxMs);
        m_since.start();
        return Change::None;
    }
    if (event == Event::Silent && m_silent < SilentRequests)
        return Change::None;  // one late answer alone costs one request, no more
    m_holding = true;
    m_periodMs = m_settings.firstMs;
    m_since.start();
    return Change::Started;
}

qint64 LinkHoldBack::remainingMs() const
{
    if (!m_holding)
        return 0;
    return std::max<qint64>(0, m_periodMs - m_since.elapsed());
}

QString LinkHoldBack::why() const
{
    return m_reconnectFailed ? QStringLiteral("%1 requests without an answer or connection").arg(m_silent)
                             : QStringLiteral("%1 requests without an answer").arg(m_silent);
}

QString LinkHoldBack::reason() const
{
    return QStringLiteral("PLC held back after %1; next try in %2 ms").arg(why()).arg(remainingMs());
}

QString LinkHoldBack::startText() const
{
    return QStringLiteral("PLC silent after %1: requests return at once for %2 ms, then one goes out")
        .arg(why())
        .arg(m_periodMs);
}
