#include "LocalClock.h"

#include <QMutex>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

struct ZoneCache {
    QMutex lock;
    bool valid = false;
    qint64 second = 0;    // UTC second the offset was worked out for
    int offset = 0;
    bool tzSet = false;   // TZ as seen at the last look-up
    std::string tz;
};

ZoneCache &cache()
{
    static ZoneCache c;
    return c;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b) < 0 ? 1 : 0);
}

// True when TZ differs from what the cache saw last; the cache then keeps the new value.
bool tzChanged(ZoneCache &c)
{
    const char *tz = std::getenv("TZ");
    if (!tz ? !c.tzSet : (c.tzSet && c.tz == tz))
        return false;
    c.tzSet = tz != nullptr;
    c.tz = tz ? tz : "";
    return true;
}

} // namespace

int LocalClock::offsetSecondsAt(qint64 utcMs)
{
    ZoneCache &c = cache();
    const qint64 second = floorDiv(utcMs, 1000);
    QMutexLocker locker(&c.lock);
    const bool zoneMoved = tzChanged(c);
    if (c.valid && !zoneMoved && second == c.second)
        return c.offset;
    // A new second or a new TZ value: let the C library look at the zone again
    // (tzset re-reads the zone file only when it changed), then take the offset.
    tzset();
    const time_t t = time_t(second);
    struct tm local;
    if (!localtime_r(&t, &local))
        return c.offset;
    c.offset = int(local.tm_gmtoff);
    c.second = second;
    c.valid = true;
    return c.offset;
}

QDateTime LocalClock::now()
{
    const qint64 utcMs = QDateTime::currentMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::OffsetFromUTC, offsetSecondsAt(utcMs));
}
