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

QString LinkHoldBack::reason() const
{
    const QString why = m_reconnectFailed
                            ? QStringLiteral("after %1 requests without an answer or connection").arg(m_silent)
                            : QStringLiteral("after %1 requests without an answer").arg(m_silent);
    return QStringLiteral("PLC held back %1; next try in %2 ms").arg(why).arg(remainingMs());
}
