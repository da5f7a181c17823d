#pragma once
// Address texts begin with a device name of one or two letters; where one name
// begins another (S and SM, T is none but TN is), the longest name the text
// begins with is the device: SM400 is SM, TN5 is TN.

#include <QString>

// The first row whose `name` (upper case, const char *) is the longest one the
// text begins with, in any case; null when the text begins with none. Rows
// with an empty name are never matched.
template <typename Row>
const Row *longestNamedRow(const Row *rows, int count, const QString &text)
{
    const Row *best = nullptr;
    for (int i = 0; i < count; ++i) {
        const QLatin1String name(rows[i].name);
        if (name.size() > 0 && text.startsWith(name, Qt::CaseInsensitive)
            && (!best || name.size() > int(qstrlen(best->name))))
            best = &rows[i];
    }
    return best;
}

// The bit index after a dot in an address text (D200.3, M100.3): -1 when the
// text has no dot, -2 when what follows is not one or two decimal digits for
// 0 to 15 (a second dot included); `dot` gets the dot's position (or -1).
inline int bitIndexAfterDot(const QString &text, int *dot = nullptr)
{
    const int at = text.indexOf(QLatin1Char('.'));
    if (dot)
        *dot = at;
    if (at < 0)
        return -1;
    const int digits = text.size() - at - 1;
    if (digits < 1 || digits > 2)
        return -2;
    int value = 0;
    for (int i = at + 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -2;
        value = value * 10 + c.digitValue();
    }
    return value <= 15 ? value : -2;
}
