#pragma once
// Timing of the benchmark: two calls measured in alternating blocks, and the
// median, 90th and 99th percentile of each.

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <algorithm>
#include <functional>

using Call = std::function<bool()>;

struct Budget {
    qint64 ms;       // time for both sides together, past the minimum
    int minSamples;  // per side
    int maxSamples;  // per side
};

struct Stats {
    double median = 0, p90 = 0, p99 = 0;
    int n = 0;
};

inline Stats statsOf(QVector<double> v)
{
    Stats s;
    s.n = v.size();
    if (v.isEmpty())
        return s;
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v.at(qMin(v.size() - 1, int(q * (v.size() - 1) + 0.5))); };
    s.median = at(0.5);
    s.p90 = at(0.9);
    s.p99 = at(0.99);
    return s;
}

inline QJsonObject json(const Stats &s)
{
    return QJsonObject{{QStringLiteral("medianMs"), s.median}, {QStringLiteral("p90Ms"), s.p90},
                       {QStringLiteral("p99Ms"), s.p99}, {QStringLiteral("samples"), s.n}};
}

struct Pair {
    Stats plugin, raw;
    int failures = 0;  // calls of either side that did not succeed
    double ratio() const { return raw.median > 0 ? plugin.median / raw.median : 0; }
};

// Times a and b in alternating blocks (a first, then b first, ...) until the
// budget is spent and both have the minimum of samples. `renew`, when given,
// opens both links afresh every few rounds: a loopback connection keeps the
// latency it happened to start with (which CPU takes its wake-ups), and one
// pair of connections alone can put 30 % between two equal clients.
inline Pair interleave(const Call &a, const Call &b, const Budget &budget,
                       const std::function<void()> &renew = {})
{
    QElapsedTimer t;
    qint64 perCallNs = 1;
    // Warm-up, and a guess of one call's time; a slow call needs no more than one.
    for (int i = 0; i < 3 && perCallNs < 50000000; ++i)
        for (const Call *c : {&a, &b}) {
            t.start();
            (*c)();
            perCallNs = qMax(perCallNs, t.nsecsElapsed());
        }
    const int block = int(qBound(qint64(1), budget.ms * 1000000 / 40 / perCallNs, qint64(50)));
    QVector<double> sa, sb;
    Pair p;
    QElapsedTimer total;
    total.start();
    auto run = [&](const Call &c, QVector<double> &samples) {
        for (int i = 0; i < block && samples.size() < budget.maxSamples; ++i) {
            t.start();
            const bool ok = c();
            const qint64 ns = t.nsecsElapsed();
            if (ok)
                samples.append(ns / 1e6);
            else
                ++p.failures;
        }
    };
    for (int round = 0;; ++round) {
        if (renew && round > 0 && round % 8 == 0)
            renew();
        const bool enough = sa.size() >= budget.minSamples && sb.size() >= budget.minSamples;
        if ((enough && total.elapsed() >= budget.ms) || (sa.size() >= budget.maxSamples && sb.size() >= budget.maxSamples)
            || p.failures > 3 + (sa.size() + sb.size()) / 10)
            break;
        if (round % 2 == 0) {
            run(a, sa);
            run(b, sb);
        } else {
            run(b, sb);
            run(a, sa);
        }
    }
    p.plugin = statsOf(sa);
    p.raw = statsOf(sb);
    return p;
}


inline QString ms(double v)
{
    return QString::number(v, 'f', v < 10 ? 3 : 1);
}

inline QString statsText(const Stats &s)
{
    return QStringLiteral("%1 %2 %3").arg(ms(s.median), 7).arg(ms(s.p90), 7).arg(ms(s.p99), 7);
}

