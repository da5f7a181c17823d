#include "DriverShell.h"
#include "LabelStatus.h"
#include "SerialMedium.h"

#include <QLocale>
#include <QTime>
#include <algorithm>
#include <cstring>

namespace {

// Release stamps come in the compiler's __DATE__ form, "Dec  8 2023" for days
// below 10: the padding blank is folded so the text reads as "MMM dd yyyy".
// A folded single-digit day does not satisfy "dd", so it is read with "d".
QDate parseBuildDate(const char *stamp)
{
    QString text = QString::fromLatin1(stamp ? stamp : "");
    while (text.contains(QLatin1String("  ")))
        text.replace(QLatin1String("  "), QLatin1String(" "));
    const QLocale english(QLocale::English);
    QDate date = english.toDate(text, QStringLiteral("MMM dd yyyy"));
    if (!date.isValid())
        date = english.toDate(text, QStringLiteral("MMM d yyyy"));
    return date;
}

QString textOf(const char *text)
{
    return QString::fromUtf8(text ? text : "");
}

// The first field of `rest` up to its first ","; with `consume` the field and
// its "," are removed from `rest`. Without any "," left the whole rest is the
// field and stays in place, so a short text repeats its last field.
QString nextField(QString &rest, bool consume)
{
    const int comma = rest.indexOf(QLatin1Char(','));
    if (comma < 0)
        return rest;
    const QString field = rest.left(comma);
    if (consume)
        rest = rest.mid(comma + 1);
    return field;
}

int decimal(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

} // namespace

CDriverShell::CDriverShell(const DriverIdentity &identity, CLinkTransport &link, QObject *parent)
    : QObject(parent), m_identity(identity), m_link(link),
      m_buildDate(parseBuildDate(identity.buildDate))
{
    registerLabelMetaTypes();
}

QString CDriverShell::getDriveName()
{
    return textOf(m_identity.driveName);
}

QString CDriverShell::getversion_number()
{
    return textOf(m_identity.version);
}

QString CDriverShell::DebugCmd(EDebugCmdType cmd)
{
    // The host passes a plain int; values outside the enumeration are possible
    // and are read as the int they are.
    int code = 0;
    std::memcpy(&code, &cmd, sizeof(code) < sizeof(cmd) ? sizeof(code) : sizeof(cmd));

    switch (code) {
    case DebugStart:
        if (!m_link.traceOn())
            m_link.setTrace(true);
        return QStringLiteral("StartDebug");
    case DebugStop:
        if (m_link.traceOn())
            m_link.setTrace(false);
        return QStringLiteral("StopDebug");
    case DebugBuildVersion: {
        const QTime time = QTime::fromString(textOf(m_identity.buildTime), QStringLiteral("hh:mm:ss"));
        return textOf(m_identity.versionTemplate)
            .arg(m_buildDate.toString(QStringLiteral("yyyy-MM-dd")))
            .arg(time.toString(QStringLiteral("hh:mm:ss")));
    }
    case DebugDriveName:
        return getDriveName();
    default:
        return QString();
    }
}

int CDriverShell::DisConnectDrive()
{
    return connectResult(m_link.DisConnectDrive());
}

int CDriverShell::connectResult(int linkResult)
{
    return linkResult == CLinkTransport::Busy ? StatusBusy : linkResult;
}

ConnectText CDriverShell::parseConnectText(const QString &connectText)
{
    ConnectText c;
    if (connectText.contains(QLatin1Char(','))) {
        QString rest = connectText;
        c.form = ConnectText::Serial;
        c.portName = nextField(rest, true);
        c.baudRate = decimal(nextField(rest, true));
        c.dataBits = decimal(nextField(rest, true));
        c.stopBits = decimal(nextField(rest, true));
        c.parity = nextField(rest, false);
        c.complete = !c.portName.isEmpty() && c.baudRate != 0 && c.dataBits != 0 && c.stopBits != 0;
        return c;
    }
    if (connectText.contains(QLatin1Char(':')) || connectText.contains(QLatin1Char(';'))) {
        const int colon = connectText.indexOf(QLatin1Char(':'));
        c.form = ConnectText::Tcp;
        c.hostAddress = colon < 0 ? connectText : connectText.left(colon);
        c.tcpPort = decimal(colon < 0 ? connectText : connectText.mid(colon + 1));
        c.complete = !c.hostAddress.isEmpty() && c.tcpPort != 0;
    }
    return c;
}

int CDriverShell::ConnectDrive(QString connectText)
{
    const ConnectText c = parseConnectText(connectText);
    if (c.form == ConnectText::Serial) {
        m_portName = c.portName;
        m_baudRate = c.baudRate;
        m_dataBits = c.dataBits;
        m_stopBits = c.stopBits;
        m_parity = c.parity;
        if (!c.complete)
            return -1;
        SerialSettings settings;
        settings.portName = m_portName;
        settings.baudRate = m_baudRate;
        settings.dataBits = m_dataBits;
        settings.stopBits = m_stopBits;
        settings.parity = m_parity;
        return connectResult(m_link.serialConnectDrive(settings));
    }
    if (c.form == ConnectText::Tcp) {
        m_hostAddress = c.hostAddress;
        m_tcpPort = c.tcpPort;
        if (!c.complete)
            return -1;
        return connectResult(m_link.EthConnectDrive(m_hostAddress, m_tcpPort));
    }
    return -4;
}

void CDriverShell::SetConnectPar(QString par)
{
    m_connectPar = par.toLatin1();
}

CLabelVariable CDriverShell::ReadVariable(QString address, DataType type)
{
    return ReadVariable(address, type, 1);
}

CLabelVariable CDriverShell::WriteVariable(QString address, DataType type, CLabelVariable value)
{
    return WriteVariable(address, type, value, 1);
}

int CDriverShell::DestroyFree()
{
    return m_link.DestroyFree();
}

void CDriverShell::stampRequest(CLabelVariable &label, const QString &address, DataType type, int count)
{
    label.address = address;
    label.count = count;
    label.dataType = type;
}

void CDriverShell::takeOutcome(CLabelVariable &into, const CLabelVariable &from)
{
    into.status = from.status;
    into.value = from.value;
    into.timestamp = from.timestamp;
}

int CDriverShell::statusForLinkResult(int linkResult, int current)
{
    switch (linkResult) {
    case 0:
        return StatusOk;
    case -1:
        return StatusLinkFailed;
    case -2:
        return StatusNoAnswer;
    case -3:
        return StatusNotConnected;
    case CLinkTransport::Busy:
        return StatusBusy;
    default:
        return current;
    }
}

int CDriverShell::forEachChunk(int total, int maxPerRequest,
                               const std::function<int(int offset, int length)> &chunk)
{
    if (total <= 0)
        return 0;
    // No piece size, or nothing to run: nothing can be transferred, and a loop
    // of empty pieces would never end.
    if (maxPerRequest <= 0 || !chunk)
        return -1;
    for (int offset = 0; offset < total;) {
        const int length = std::min(maxPerRequest, total - offset);
        const int result = chunk(offset, length);
        if (result != 0)
            return result;
        offset += length;
    }
    return 0;
}
