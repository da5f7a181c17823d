#pragma once
// Holding back a PLC that stopped answering: after two requests in a row got
// no answer, or after a reconnect failed, calls return at once for a while
// instead of waiting out their time-outs again; then one request goes out as a
// probe. The period doubles while the PLC stays silent (up to its maximum) and
// ends with the first answer. One silent PLC then costs a host polling many
// tags a few milliseconds a round, not a time-out per tag.

#include <QElapsedTimer>
#include <QString>

struct HoldBackSettings {
    bool on = true;
    int firstMs = 1000;
    int maxMs = 10000;
};

class LinkHoldBack
{
public:
    // Silent requests in a row that start a hold-back.
    static constexpr int SilentRequests = 2;

    enum class Event { Answered, Silent, ReconnectFailed };
    enum class Change { None, Started, Ended };

    void configure(const HoldBackSettings &settings);
    // What an exchange (or a failed reconnect) tells about the PLC.
    Change record(Event event);
    // A new connection: nothing is held back.
    void clear();

    bool holding() const { return m_holding; }
    // Milliseconds until the next probe may go out (0: now).
    qint64 remainingMs() const;
    bool afterFailedReconnect() const { return m_reconnectFailed; }
    // Why calls return at once: "PLC held back after 2 requests without an
    // answer; next try in 850 ms".
    QString reason() const;
    // The warning when the hold-back starts.
    QString startText() const;

private:
    QString why() const;

    HoldBackSettings m_settings;
    int m_silent = 0;
    bool m_holding = false;
    bool m_reconnectFailed = false;
    int m_periodMs = 0;
    QElapsedTimer m_since;
};
