#pragma once
// The one place where a call is spelt differently in Qt 5.15 and Qt 6. The rest
// of the tree keeps to APIs both versions have (Qt 5.15 already offers most of
// the Qt 6 spellings); add here only what has no common spelling.

#include <QMetaType>
#include <QtGlobal>

namespace QtCompat {

// The meta-type id registered under `name`; QMetaType::UnknownType when none
// is. (QMetaType::type(name) is deprecated in Qt 6, QMetaType::fromName is
// new in Qt 6.)
inline int metaTypeIdOfName(const char *name)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QMetaType::fromName(name).id();
#else
    return QMetaType::type(name);
#endif
}

} // namespace QtCompat
