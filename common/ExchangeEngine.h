#pragma once
// The one place that sends a request and collects its answer: the deadline on
// a monotonic clock, collection until the frame code's judge calls the answer
// complete, skipping of leading line
// noise where the protocol allows it, and the recovery of a link on which an
// earlier exchange failed, so that no answer is ever taken for the wrong
// request.

#include "LinkMedium.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <functional>

// Completeness test of an answer, given the bytes received so far in one
// exchange: the number of bytes still missing (0 = the answer is complete and can
// be judged; a malformed start is "complete" too, so it is judged at once).
using AnswerJudge = std::function<int(const QByteArray &soFar)>;

// What the frame code tells the engine about the answer it expects.
//
// The one answer-wait model: the PLC's own time (allowanceMs) plus the line
// time of the request and of the answer, each counted once, at the medium's rate.
struct AnswerRule {
    AnswerJudge judge;       // required: an exchange without one gets no answer
    int answerBytes = 0;     // expected length of a normal answer, for its line time
    QByteArray starts;       // bytes that may begin an answer; bytes before the first
                             // of them are line noise (empty: no skipping)
    int allowanceMs = 0;     // the PLC's own time to answer, on top of the line times
    int guardMs = 0;         // serial: time after a failed request's start by which any
                             // late answer of it has come and gone (the protocol's answer
                             // time-out at least); the line is watched until then
    // Answers that carry their request's tag (the MC 4E serial number): given
    // what the judge calls complete, the number of leading bytes that are the
    // whole answer of another request, to be dropped while the wait goes on
    // (0: the answer is this request's, or no tagged answer at all). With it a
    // wait that got nothing for this request leaves the link clean: a late
    // answer is known by its tag when it comes, so no reset is needed.
    AnswerJudge foreign;
};

class ExchangeEngine
{
public:
    // Woken: the link's wake-up ended the wait (the link is being released).
    enum Result { Complete = 0, Incomplete = -1, NotConnected = -3, Woken = -4 };
    // Most noise bytes skipped before an answer; more than that is no answer.
    static constexpr int MaxNoiseBytes = 16;
    // Most dropped answers kept for the trace of one exchange.
    static constexpr int MaxDroppedAnswers = 16;

    // Runs one exchange on `medium`: recovers a dirty link first, sends, and
    // appends the answer (complete or not) to *answer. The deadline follows the
    // line's progress by the line time of what the judge still misses.
    // NotConnected: the medium is not usable, the recovery failed
    // (resetFailed() tells), or the request could not be written.
    int run(LinkMedium &medium, const QByteArray &request, const AnswerRule &rule, QByteArray *answer);

    // The frame code rejected the answer of the last exchange.
    void reject() { m_state = State::Dirty; }
    // A new connection starts clean.
    void connected() { m_state = State::Clean; }
    bool dirty() const { return m_state == State::Dirty; }
    // The last NotConnected came from a failed recovery of a dirty link.
    bool resetFailed() const { return m_resetFailed; }
    // Answers of other requests the last exchange dropped (AnswerRule::foreign).
    const QList<QByteArray> &dropped() const { return m_dropped; }

private:
    enum class State { Clean, Dirty };
    bool prepare(LinkMedium &medium, const AnswerRule &rule);
    int collect(LinkMedium &medium, const QByteArray &request, const AnswerRule &rule, QByteArray *answer);

    State m_state = State::Clean;
    bool m_resetFailed = false;
    QList<QByteArray> m_dropped;
    QElapsedTimer m_requestClock;  // since the last request went out
    int m_lastLineMs = 0;          // its line time and its answer's
};
