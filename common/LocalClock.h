#pragma once
// The local date and time of "now", to the millisecond, for stamping values.
//
// QDateTime::currentDateTime() asks the C library for the local time zone on
// every call, and with TZ unset glibc then checks /etc/localtime with a stat
// system call (three of them per call): a noticeable part of a fast exchange.
// LocalClock takes the UTC time and applies the zone offset it keeps: the offset
// is worked out again when the UTC second changes (so a daylight-saving switch
// is exact), the zone is looked up again (tzset: the zone file's modification
// time) at most once a second, and at once when the TZ environment value changes.
// Thread safe.

#include <QDateTime>

class LocalClock
{
public:
    // The current local date and time. The QDateTime carries the zone's offset
    // from UTC (Qt::OffsetFromUTC, Qt::UTC where that offset is 0): date(),
    // time(), comparisons and toMSecsSinceEpoch() are those of
    // QDateTime::currentDateTime().
    static QDateTime now();
    // Offset of the local zone from UTC, in seconds, at the UTC instant given
    // (milliseconds since the epoch), taken from the cache described above.
    static int offsetSecondsAt(qint64 utcMs);
};
