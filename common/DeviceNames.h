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
