#pragma once
// Helpers shared by the Lunetta test programs: message capture and typed value
// lists as comparable text.

#include "CLabelVariable.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QVariant>
#include <cstring>

// Collects every message of the Qt message log while it exists.
class MessageCapture
{
public:
    MessageCapture()
    {
        QMutexLocker l(&mutex());
        lines().clear();
        m_previous = qInstallMessageHandler(&MessageCapture::handler);
    }
    ~MessageCapture() { qInstallMessageHandler(m_previous); }

    // Messages of one level, with the quotes of a streamed QString removed.
    static QStringList of(QtMsgType type)
    {
        QMutexLocker l(&mutex());
        QStringList out;
        for (const auto &entry : lines())
            if (entry.first == type)
                out << entry.second;
        return out;
    }
    static void clear()
    {
        QMutexLocker l(&mutex());
        lines().clear();
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &msg)
    {
        QString text = msg;
        if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
            text = text.mid(1, text.size() - 2);
        QMutexLocker l(&mutex());
        lines().append(qMakePair(type, text));
    }
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static QList<QPair<QtMsgType, QString>> &lines()
    {
        static QList<QPair<QtMsgType, QString>> l;
        return l;
    }
    QtMessageHandler m_previous = nullptr;
};

// A typed element list as text: exact for every type (floats by bit pattern).
inline QStringList valueText(const QVariant &v, int type)
{
    QStringList out;
    switch (type) {
    case DT_Bool:
        for (bool b : v.value<QList<bool>>()) out << (b ? "1" : "0");
        break;
    case DT_Int8:
        for (char c : v.value<QList<char>>()) out << QString::number(int(static_cast<signed char>(c)));
        break;
    case DT_UInt8:
        for (unsigned char c : v.value<QList<unsigned char>>()) out << QString::number(c);
        break;
    case DT_Int16:
        for (short s : v.value<QList<short>>()) out << QString::number(s);
        break;
    case DT_UInt16:
        for (unsigned short s : v.value<QList<unsigned short>>()) out << QString::number(s);
        break;
    case DT_Int32:
        for (int i : v.value<QList<int>>()) out << QString::number(i);
        break;
    case DT_UInt32:
        for (unsigned i : v.value<QList<unsigned int>>()) out << QString::number(i);
        break;
    case DT_Float:
        for (float f : v.value<QList<float>>()) {
            quint32 bits;
            std::memcpy(&bits, &f, 4);
            out << QString::number(bits, 16);
        }
        break;
    case DT_Int64:
        for (long long i : v.value<QList<long long>>()) out << QString::number(i);
        break;
    case DT_UInt64:
        for (unsigned long long i : v.value<QList<unsigned long long>>()) out << QString::number(i);
        break;
    case DT_Double:
        for (double d : v.value<QList<double>>()) {
            quint64 bits;
            std::memcpy(&bits, &d, 8);
            out << QString::number(bits, 16);
        }
        break;
    default:
        break;
    }
    return out;
}

inline CLabelVariable labelOf(const QVariant &list, int type, int count)
{
    CLabelVariable v;
    v.value = list;
    v.dataType = type;
    v.count = count;
    v.status = 0;
    return v;
}
