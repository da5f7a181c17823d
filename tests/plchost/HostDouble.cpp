#include "HostDouble.h"

#include <QDebug>
#include <QTimer>
#include <cstdio>
#include <dlfcn.h>
#include <limits>

namespace {

struct LoadNotice {
    LoadNotice() { std::fprintf(stderr, "HostDouble: loaded\n"); }
} loadNotice;

QDateTime fixedTime()
{
    return QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58, 7), Qt::LocalTime);
}

template <typename T>
QVariant numericList(const QString &kind, int count)
{
    QList<T> list;
    if (kind == QLatin1String("min")) {
        list << std::numeric_limits<T>::lowest();
    } else if (kind == QLatin1String("max")) {
        list << std::numeric_limits<T>::max();
    } else if (kind == QLatin1String("seq")) {
        for (int i = 0; i < count; ++i)
            list << static_cast<T>(i);
    } else if (kind == QLatin1String("special")) {
        if constexpr (std::is_floating_point<T>::value) {
            list << std::numeric_limits<T>::quiet_NaN() << std::numeric_limits<T>::infinity()
                 << -std::numeric_limits<T>::infinity() << static_cast<T>(-0.0) << static_cast<T>(0.1)
                 << std::numeric_limits<T>::max() << std::numeric_limits<T>::denorm_min()
                 << static_cast<T>(1) / static_cast<T>(3);
        } else {
            list << static_cast<T>(0) << std::numeric_limits<T>::lowest() << std::numeric_limits<T>::max();
        }
    }
    return QVariant::fromValue(list);
}

QVariant boolList(const QString &kind, int count)
{
    QList<bool> list;
    if (kind == QLatin1String("min"))
        list << false;
    else if (kind == QLatin1String("max"))
        list << true;
    else if (kind == QLatin1String("seq"))
        for (int i = 0; i < count; ++i)
            list << (i % 2 == 0);
    else
        list << true << false;
    return QVariant::fromValue(list);
}

// The list for a generated read, or an invalid QVariant when the type has no
// element type.
QVariant generated(const QString &kind, int type, int count)
{
    switch (type) {
    case DT_Bool: return boolList(kind, count);
    case DT_Int8: {
        // Built from signed char so the list is the same whatever the
        // platform's char signedness.
        const QList<signed char> wide = numericList<signed char>(kind, count).value<QList<signed char>>();
        QList<char> list;
        for (signed char c : wide)
            list << static_cast<char>(c);
        return QVariant::fromValue(list);
    }
    case DT_UInt8: return numericList<unsigned char>(kind, count);
    case DT_Int16: return numericList<short>(kind, count);
    case DT_UInt16: return numericList<unsigned short>(kind, count);
    case DT_Int32: return numericList<int>(kind, count);
    case DT_UInt32: return numericList<unsigned int>(kind, count);
    case DT_Float: return numericList<float>(kind, count);
    case DT_Int64: return numericList<long long>(kind, count);
    case DT_UInt64: return numericList<unsigned long long>(kind, count);
    case DT_Double: return numericList<double>(kind, count);
    default: return QVariant();
    }
}

QString libraryPath()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&libraryPath), &info) && info.dli_fname)
        return QString::fromLocal8Bit(info.dli_fname);
    return QStringLiteral("?");
}

} // namespace

HostDouble::HostDouble()
{
    registerLabelMetaTypes();
}

HostDouble::~HostDouble()
{
    std::fprintf(stderr, "HostDouble: destroyed\n");
}

QString HostDouble::getDriveName() { return QStringLiteral("HostDouble"); }

QString HostDouble::getversion_number()
{
    return QStringLiteral("V9.9.9 par=") + (m_par.isNull() ? QStringLiteral("<none>") : m_par);
}

QString HostDouble::DebugCmd(EDebugCmdType cmd)
{
    switch (cmd) {
    case DebugStart: m_trace = true; return QStringLiteral("StartDebug");
    case DebugStop: m_trace = false; return QStringLiteral("StopDebug");
    case DebugBuildVersion: return libraryPath();
    case DebugDriveName: return getDriveName();
    }
    return QString();
}

int HostDouble::ConnectDrive(QString connectText)
{
    if (m_trace)
        qDebug() << QStringLiteral("lib[HostDouble]connect %1").arg(connectText);
    bool ok = false;
    const int result = connectText.toInt(&ok);
    m_connected = !ok || result == 0;
    m_eventSeen = false;
    QTimer::singleShot(0, this, [this] { m_eventSeen = true; });
    return ok ? result : 0;
}

void HostDouble::SetConnectPar(QString par) { m_par = par; }

int HostDouble::DisConnectDrive()
{
    const bool was = m_connected;
    m_connected = false;
    return was ? 0 : 1;
}

CLabelVariable HostDouble::ReadVariable(QString address, DataType type)
{
    CLabelVariable r = read(address, type, 1);
    r.address = address + QStringLiteral("@r2");
    return r;
}

CLabelVariable HostDouble::ReadVariable(QString address, DataType type, int count)
{
    CLabelVariable r = read(address, type, count);
    r.address = address + QStringLiteral("@r3");
    return r;
}

CLabelVariable HostDouble::WriteVariable(QString address, DataType type, CLabelVariable value)
{
    return write(address, type, value, 1, true);
}

CLabelVariable HostDouble::WriteVariable(QString address, DataType type, CLabelVariable value, int count)
{
    return write(address, type, value, count, false);
}

int HostDouble::DestroyFree()
{
    std::fprintf(stderr, "HostDouble: DestroyFree\n");
    return 0;
}

CLabelVariable HostDouble::read(const QString &address, int type, int count)
{
    CLabelVariable r;
    r.count = count;
    r.dataType = type;
    if (m_trace)
        qDebug() << QStringLiteral("lib[HostDouble]read %1").arg(address);
    if (address.startsWith(QLatin1String("status="))) {
        r.status = address.mid(7).toInt();
        return r;
    }
    r.status = 0;
    r.timestamp = fixedTime();
    if (address == QLatin1String("invalid")) {
    } else if (address == QLatin1String("wrongtype")) {
        r.value = QVariant::fromValue(QList<QString>{QStringLiteral("held")});
    } else if (address == QLatin1String("notalist")) {
        r.value = QVariant(42);
    } else if (address == QLatin1String("events")) {
        r.value = QVariant::fromValue(QList<bool>{m_eventSeen});
    } else if (address == QLatin1String("text")) {
        r.value = QVariant::fromValue(QList<QString>{
            QStringLiteral("q\"b\\s/\n\r\t\b\f") + QChar(0x01) + QChar(0x1F),
            QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), QString(), QString(QChar(0xD800))});
    } else if (address == QLatin1String("min") || address == QLatin1String("max")
               || address == QLatin1String("seq") || address == QLatin1String("special")) {
        r.value = generated(address, type, count);
        if (!r.value.isValid()) {
            r.status = 2;
            r.timestamp = QDateTime();
        }
    } else {
        r.status = 3;
        r.timestamp = QDateTime();
    }
    return r;
}

CLabelVariable HostDouble::write(const QString &address, int type, const CLabelVariable &value, int count,
                                 bool shortForm)
{
    CLabelVariable r = value;
    r.address = QStringLiteral("%1@w%2 ls=%3 lc=%4 lt=%5 c=%6 t=%7")
                    .arg(address)
                    .arg(shortForm ? 3 : 4)
                    .arg(value.status)
                    .arg(value.count)
                    .arg(value.dataType)
                    .arg(shortForm ? QStringLiteral("-") : QString::number(count))
                    .arg(type);
    r.count = count;
    r.dataType = type;
    if (address.startsWith(QLatin1String("status="))) {
        r.status = address.mid(7).toInt();
    } else {
        r.status = 0;
        r.timestamp = fixedTime();
    }
    return r;
}

// HOSTDOUBLE_NO_DRIVER=1 makes the entry answer no object, as a plug-in that
// failed to construct its driver would.
extern "C" Q_DECL_EXPORT CDriveBaseClass *getSharedLibrary()
{
    if (qEnvironmentVariableIntValue("HOSTDOUBLE_NO_DRIVER") == 1)
        return nullptr;
    return new HostDouble;
}
