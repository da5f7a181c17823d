#include "DriverProfile.h"

DriverProfile DriverProfile::defaults(const ProfileKeys &keys)
{
    DriverProfile p;
    p.readWords = keys.readWordsDefault;
    return p;
}

namespace {

// Longest hold-back period a host may ask for: an hour.
constexpr int MaxHoldBackMs = 3600 * 1000;

bool parseHoldBack(const QString &value, HoldBackSettings *h)
{
    if (value == QLatin1String("off") || value == QLatin1String("on")) {
        *h = HoldBackSettings();
        h->on = value == QLatin1String("on");
        return true;
    }
    const QStringList range = value.split(QLatin1Char('-'));
    bool okFirst = false, okMax = false;
    const int first = range.value(0).toInt(&okFirst, 10);
    const int most = range.value(1).toInt(&okMax, 10);
    if (range.size() != 2 || !okFirst || !okMax || first < 1 || most < first || most > MaxHoldBackMs)
        return false;
    *h = HoldBackSettings{true, first, most};
    return true;
}

// The transport key; false when the plug-in does not take it or the value is bad.
bool applyTransport(const QString &key, const QString &value, const ProfileKeys &keys, DriverProfile *p)
{
    if (!keys.transport || key != QLatin1String("transport"))
        return false;
    if (value != QLatin1String("tcp") && value != QLatin1String("udp"))
        return false;
    p->udp = value == QLatin1String("udp");
    return true;
}

// frame=3e|4e and code=binary|ascii: the MC frame variant.
bool applyMcFrame(const QString &key, const QString &value, DriverProfile *p)
{
    if (key == QLatin1String("frame") && (value == QLatin1String("3e") || value == QLatin1String("4e"))) {
        p->fourE = value == QLatin1String("4e");
        return true;
    }
    if (key == QLatin1String("code") && (value == QLatin1String("binary") || value == QLatin1String("ascii"))) {
        p->ascii = value == QLatin1String("ascii");
        return true;
    }
    return false;
}

// One "key=value" pair; false when the key is unknown or the value bad.
bool applyPair(const QString &key, const QString &value, const ProfileKeys &keys, DriverProfile *p)
{
    if (keys.plcFamilies != 0 && key == QLatin1String("plc"))
        return applyPlcFamily(value, keys.plcFamilies, p);
    if (keys.xy && key == QLatin1String("xy")) {
        if (value == QLatin1String("octal") || value == QLatin1String("hex")) {
            p->octalXY = value == QLatin1String("octal");
            return true;
        }
        return false;
    }
    if (key == QLatin1String("hold-back"))
        return parseHoldBack(value, &p->holdBack);
    if (keys.mcFrames && applyMcFrame(key, value, p))
        return true;
    if (keys.readWordsMax > 0 && key == QLatin1String("read-words")) {
        bool ok = false;
        const int words = value.toInt(&ok, 10);
        if (!ok || words < 1 || words > keys.readWordsMax)
            return false;
        p->readWords = words;
        return true;
    }
    return applyTransport(key, value, keys, p);
}

} // namespace

QStringList applyProfileText(const QString &text, const ProfileKeys &keys, DriverProfile *profile)
{
    QStringList unused;
    if (text.trimmed().isEmpty()) {
        *profile = DriverProfile::defaults(keys);
        return unused;
    }
    for (const QString &pair : text.split(QLatin1Char(';'))) {
        const int eq = pair.indexOf(QLatin1Char('='));
        const QString key = pair.left(eq).trimmed().toLower();
        const QString value = eq < 0 ? QString() : pair.mid(eq + 1).trimmed().toLower();
        if (pair.trimmed().isEmpty())
            continue;
        if (eq < 0 || !applyPair(key, value, keys, profile))
            unused << pair.trimmed();
    }
    return unused;
}

QString splitProfileText(const QString &text, QString *pairs)
{
    QStringList keyed;
    QString plain;
    bool plainSeen = false;
    for (const QString &field : text.split(QLatin1Char(';'))) {
        if (field.contains(QLatin1Char('='))) {
            keyed << field;
        } else if (!plainSeen) {
            plain = field;
            plainSeen = true;
        }
    }
    if (pairs)
        *pairs = keyed.join(QLatin1Char(';'));
    return plain;
}
