#pragma once
// The element list a CLabelVariable's value holds, read the same way by the
// container's accessors and operators, the plug-ins' value codec and plchost.
//
// A list is recognised by its element type exactly: a list of another element
// type reads as "wrong type" and is never converted, even where a host has
// registered a converter. The container may be a QList<T> or a QVector<T>, and
// for strings a QStringList: Qt 6 makes QVector<T> the same type as QList<T>
// and QStringList the same as QList<QString>, so Qt 5 builds accept them too
// and a value reads alike with either Qt.

#include <QList>
#include <QMetaType>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <type_traits>

namespace LabelLists {

template <typename T>
bool holdsList(const QVariant &v)
{
    if (!v.isValid())
        return false;
    const int t = v.userType();
    return t == qMetaTypeId<QList<T>>() || t == qMetaTypeId<QVector<T>>()
           || (std::is_same<T, QString>::value && t == QMetaType::QStringList);
}

// The held list of element type T; empty when the value holds none.
template <typename T>
QList<T> listOf(const QVariant &v)
{
    if (!v.isValid())
        return QList<T>();
    const int t = v.userType();
    if (t == qMetaTypeId<QList<T>>())
        return qvariant_cast<QList<T>>(v);
    if (t == qMetaTypeId<QVector<T>>()) {
        const QVector<T> vector = qvariant_cast<QVector<T>>(v);
        return QList<T>(vector.begin(), vector.end());
    }
    if constexpr (std::is_same<T, QString>::value) {
        if (t == QMetaType::QStringList)
            return v.toStringList();
    }
    return QList<T>();
}

} // namespace LabelLists
