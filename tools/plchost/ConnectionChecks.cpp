#include "ConnectionChecks.h"
#include "DriverProfile.h"

#include "DriverShell.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QTcpSocket>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The five serial fields as ConnectDrive takes them: each is the text before
// the next ",", and a short text repeats its last field in the ones after it.
QStringList serialFields(const QString &text)
{
    QStringList fields;
    QString rest = text;
    for (int i = 0; i < 5; ++i) {
        const int comma = rest.indexOf(QLatin1Char(','));
        fields << (comma < 0 ? rest : rest.left(comma));
        if (comma >= 0 && i < 4)
            rest = rest.mid(comma + 1);
    }
    return fields;
}

// The parity the link applies: the first of N, E, O found in the text, in
// that order, ignoring case; empty when it keeps the port's setting.
QString appliedParity(const QString &text)
{
    for (const char *letter : {"N", "E", "O"}) {
        if (text.contains(QLatin1String(letter), Qt::CaseInsensitive))
            return QLatin1String(letter);
    }
    return QString();
}

QString intendedParity(const QString &text)
{
    const QString t = text.trimmed().toUpper();
    if (t == QLatin1String("N") || t == QLatin1String("NONE"))
        return QStringLiteral("N");
    if (t == QLatin1String("E") || t == QLatin1String("EVEN"))
        return QStringLiteral("E");
    if (t == QLatin1String("O") || t == QLatin1String("ODD"))
        return QStringLiteral("O");
    return QString();
}

QString parityWords(const QString &letter)
{
    if (letter == QLatin1String("N"))
        return QStringLiteral("no parity");
    if (letter == QLatin1String("E"))
        return QStringLiteral("even parity");
    if (letter == QLatin1String("O"))
        return QStringLiteral("odd parity");
    return QStringLiteral("the port's current parity");
}

void serialWarnings(const QString &text, QStringList *out)
{
    const QStringList f = serialFields(text);
    const int given = text.count(QLatin1Char(',')) + 1;
    if (given < 5)
        *out << QStringLiteral("the connection text has %1 of 5 fields (PORT,BAUD,DATA,STOP,PARITY); the missing "
                               "ones repeat the last: baud %2, data bits %3, stop bits %4, parity \"%5\"")
                    .arg(given).arg(f.at(1), f.at(2), f.at(3), f.at(4));
    const ConnectText c = CDriverShell::parseConnectText(text);
    static const QList<int> rates{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    if (c.baudRate != 0 && !rates.contains(c.baudRate))
        *out << QStringLiteral("baud rate %1 is not one the plug-in sets (%2): the port keeps its current rate")
                    .arg(c.baudRate).arg(QStringLiteral("1200 2400 4800 9600 19200 38400 57600 115200"));
    if (c.dataBits != 0 && (c.dataBits < 5 || c.dataBits > 8))
        *out << QStringLiteral("data bits %1 are not 5 to 8: the port keeps its current setting").arg(c.dataBits);
    if (c.stopBits == 3)
        *out << QStringLiteral("stop bits 3 select one and a half stop bits");
    else if (c.stopBits != 0 && c.stopBits != 1 && c.stopBits != 2)
        *out << QStringLiteral("stop bits %1 are not 1 or 2: the port keeps its current setting").arg(c.stopBits);
    const QString applied = appliedParity(c.parity);
    const QString intended = intendedParity(c.parity);
    if (applied != intended || intended.isEmpty())
        *out << QStringLiteral("parity \"%1\" gives %2 (the plug-in takes the first of N, E, O found in it)%3")
                    .arg(c.parity, parityWords(applied),
                         intended.isEmpty() || intended == applied
                             ? QString()
                             : QStringLiteral(": write %1 for %2").arg(intended, parityWords(intended)));
}

void tcpWarnings(const QString &text, QStringList *out)
{
    const ConnectText c = CDriverShell::parseConnectText(text);
    if (!c.hostAddress.isEmpty() && QHostAddress(c.hostAddress).isNull())
        *out << QStringLiteral("host \"%1\" is not a numeric address: the plug-in does no name lookup")
                    .arg(c.hostAddress);
    if (c.tcpPort > 65535 || c.tcpPort < 0)
        *out << QStringLiteral("port %1 is not 1 to 65535: only its low 16 bits (%2) are used")
                    .arg(c.tcpPort).arg(c.tcpPort & 0xFFFF);
}

QString serialPortReason(const QString &name)
{
    const QString path = name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
    const QByteArray local = QFile::encodeName(path);
    struct stat st;
    if (::stat(local.constData(), &st) != 0)
        return QStringLiteral("serial port %1 does not exist").arg(path);
    if (::access(local.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return QStringLiteral("permission denied on %1 (is the user in the dialout group?)").arg(path);
    if (!S_ISCHR(st.st_mode))
        return QStringLiteral("%1 is not a tty (not a serial device)").arg(path);
    const int fd = ::open(local.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("serial port %1 cannot be opened: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
    const bool tty = ::isatty(fd);
    ::close(fd);
    if (!tty)
        return QStringLiteral("%1 is not a tty (not a serial device)").arg(path);
    return QStringLiteral("serial port %1 could not be opened (in use or locked by another program?)").arg(path);
}

// One connection attempt of plchost's own tells a refusal from silence.
QString tcpReason(const ConnectText &c)
{
    QTcpSocket probe;
    const quint16 port = quint16(c.tcpPort & 0xFFFF);
    probe.connectToHost(QHostAddress(c.hostAddress), port);
    const bool connected = probe.waitForConnected(1500);
    const QString where = QStringLiteral("%1:%2").arg(c.hostAddress).arg(port);
    if (connected) {
        probe.abort();
        return QStringLiteral("could not connect to %1 (a test connection right after succeeded)").arg(where);
    }
    switch (probe.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused by %1 (nothing listens there)").arg(where);
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("no answer from %1 (connect timed out)").arg(where);
    default:
        return QStringLiteral("cannot connect to %1: %2").arg(where, probe.errorString());
    }
}

} // namespace

QStringList connectionWarnings(const QString &connectText, const QString &pluginName, bool hasPar,
                               const QString &par)
{
    QStringList out;
    const ConnectText c = CDriverShell::parseConnectText(connectText);
    if (c.form == ConnectText::Serial)
        serialWarnings(connectText, &out);
    else if (c.form == ConnectText::Tcp)
        tcpWarnings(connectText, &out);
    if (hasPar && pluginName.contains(QLatin1String("Lunetta"), Qt::CaseInsensitive)) {
        bool ok = false;
        const QString stationText = splitProfileText(par, nullptr);
        const int station = stationText.toInt(&ok, 10);
        if (!ok)
            out << QStringLiteral("--par \"%1\" is not a decimal number: Lunetta uses station 0").arg(stationText);
        else if (station < 0 || station > 255)
            out << QStringLiteral("--par %1 is not 0 to 255: Lunetta sends station %2 (its low 8 bits)")
                       .arg(station).arg(station & 0xFF);
    }
    return out;
}

QString connectFailureReason(int result, const QString &text)
{
    const ConnectText c = CDriverShell::parseConnectText(text);
    if (result == -4)
        return QStringLiteral("the connection text has no \",\" (serial: PORT,BAUD,DATA,STOP,PARITY) and no \":\" "
                              "(TCP: ADDRESS:PORT)");
    if (result == 6)
        return QStringLiteral("busy: another call of this driver is running, or the call came from another thread");
    if (c.form == ConnectText::Serial && result == -1) {
        const QStringList f = serialFields(text);
        if (c.portName.isEmpty())
            return QStringLiteral("serial port name missing");
        if (c.baudRate == 0)
            return QStringLiteral("baud rate \"%1\" is not a number").arg(f.at(1));
        if (c.dataBits == 0)
            return QStringLiteral("data bits \"%1\" is not a number").arg(f.at(2));
        if (c.stopBits == 0)
            return QStringLiteral("stop bits \"%1\" is not a number").arg(f.at(3));
        return serialPortReason(c.portName);
    }
    if (c.form == ConnectText::Tcp) {
        if (c.hostAddress.isEmpty())
            return QStringLiteral("address missing before \":\"");
        if (c.tcpPort == 0)
            return QStringLiteral("port missing or not a number after \":\"");
        if (result == -1 && QHostAddress(c.hostAddress).isNull())
            return QStringLiteral("address \"%1\" is not numeric (the plug-in does no name lookup; write e.g. "
                                  "127.0.0.1)").arg(c.hostAddress);
        if (result == -3)
            return tcpReason(c);
    }
    return QStringLiteral("connection failed (result %1)").arg(result);
}

QString disconnectReason(int result)
{
    if (result == 1)
        return QStringLiteral("nothing to close: not connected");
    return QStringLiteral("disconnect failed (result %1)").arg(result);
}
