#include "SimLog.h"

#include "PlcMemory.h"
#include "SimProtocols.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>

namespace {

// Started when the program is loaded: the log's times count from the start.
const QElapsedTimer g_start = [] {
    QElapsedTimer t;
    t.start();
    return t;
}();

const char STX = 0x02, ACK = 0x06, NAK = 0x15;

int hexAt(const QByteArray &b, int pos, int len)
{
    if (pos + len > b.size())
        return -1;
    bool ok = false;
    const int v = b.mid(pos, len).toInt(&ok, 16);
    return ok ? v : -1;
}

int leAt(const QByteArray &b, int pos, int len)
{
    if (pos + len > b.size())
        return -1;
    int v = 0;
    for (int i = len - 1; i >= 0; --i)
        v = (v << 8) | uchar(b.at(pos + i));
    return v;
}

QString hex(int v, int digits)
{
    return QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper();
}

// An MC device: its name and number as the MC protocols write it.
QString mcDevice(char area, int code, int number)
{
    if (!area)
        return QStringLiteral("device code ") + hex(code, 2) + QLatin1Char(' ') + QString::number(number);
    return PlcMemory::areaName(area)
        + (PlcMemory::numberBase(area) == 16 ? hex(number, 1) : QString::number(number));
}

// Where an FX programming-port address lies: `scale` devices per address
// step (8 bits a byte), or with a negative scale -scale address steps per
// device (2 bytes a word).
struct FxRange {
    int from, to;
    const char *name;
    int first;
    int scale;
    bool octal;
};

// T and C current values, in both command sets.
#define FX_VALUE_RANGES                                                                    \
    {0x0800, 0x09FF, "TN", 0, -2, false}, {0x0A00, 0x0B8F, "CN", 0, -2, false},            \
        {0x0C00, 0x0CDF, "CN", 200, -4, false}, {0x0E00, 0x0FFF, "D", 8000, -2, false}
const FxRange kFxBytes[] = {{0x0000, 0x007F, "S", 0, 8, false},    {0x0080, 0x009F, "X", 0, 8, true},
                            {0x00A0, 0x00BF, "Y", 0, 8, true},     {0x00C0, 0x00DF, "TS", 0, 8, false},
                            {0x0100, 0x01BF, "M", 0, 8, false},    {0x01C0, 0x01DF, "CS", 0, 8, false},
                            {0x01E0, 0x01FF, "M", 8000, 8, false}, FX_VALUE_RANGES,
                            {0x1000, 0x4E7F, "D", 0, -2, false}};
const FxRange kFxExtended[] = {FX_VALUE_RANGES, {0x4000, 0x7E7F, "D", 0, -2, false}};
const FxRange kFxBits[] = {{0x0000, 0x03FF, "S", 0, 1, false}, {0x0400, 0x04FF, "X", 0, 1, true},
                           {0x0500, 0x05FF, "Y", 0, 1, true},  {0x0800, 0x0EFF, "M", 0, 1, false},
                           {0x0F00, 0x0FFF, "M", 8000, 1, false}};
#undef FX_VALUE_RANGES

template <size_t N>
QString fxDevice(const FxRange (&table)[N], int address)
{
    for (const FxRange &r : table) {
        if (address < r.from || address > r.to)
            continue;
        const int offset = address - r.from;
        const int n = r.first + (r.scale > 0 ? offset * r.scale : offset / -r.scale);
        return QLatin1String(r.name) + (r.octal ? QString::number(n, 8) : QString::number(n));
    }
    return QStringLiteral("address ") + hex(address, 4);
}

QString fxPortRequest(const QByteArray &q)
{
    const char cmd = q.size() > 1 ? q.at(1) : 0;
    if (cmd == 'E' && q.size() > 2) {
        const bool write = q.at(2) == '1';
        return QStringLiteral("%1 %2 bytes %3").arg(write ? QStringLiteral("E10 write") : QStringLiteral("E00 read"),
                                                    fxDevice(kFxExtended, hexAt(q, 4, 4))).arg(hexAt(q, 8, 2));
    }
    if (cmd == '0' || cmd == '1')
        return QStringLiteral("%1 %2 bytes %3").arg(cmd == '0' ? QStringLiteral("read") : QStringLiteral("write"),
                                                    fxDevice(kFxBytes, hexAt(q, 2, 4))).arg(hexAt(q, 6, 2));
    if (cmd == '7' || cmd == '8') {
        const int low = hexAt(q, 2, 2), high = hexAt(q, 4, 2);
        return QStringLiteral("force %1 %2").arg(cmd == '7' ? QStringLiteral("on") : QStringLiteral("off"),
                                                 fxDevice(kFxBits, low < 0 || high < 0 ? -1 : high << 8 | low));
    }
    return QStringLiteral("command \"%1\"").arg(QLatin1Char(cmd));
}

QString fxAnswer(const QByteArray &a)
{
    if (a.at(0) == ACK)
        return QStringLiteral("ACK");
    if (a.at(0) == NAK)
        return a.size() >= 7 ? QStringLiteral("NAK ") + QString::fromLatin1(a.mid(5, 2)) : QStringLiteral("NAK");
    if (a.at(0) == STX)
        return QStringLiteral("STX %1 bytes").arg(a.size());
    return QStringLiteral("%1 bytes").arg(a.size());
}

QString fxLinkRequest(const QByteArray &q)
{
    return QStringLiteral("station %1 %2 %3 points %4")
        .arg(QString::fromLatin1(q.mid(1, 2)), QString::fromLatin1(q.mid(5, 2)), QString::fromLatin1(q.mid(8, 5)))
        .arg(hexAt(q, 13, 2));
}

QString mc1eRequest(const QByteArray &q)
{
    static const char *const names[] = {"bit read", "word read", "bit write", "word write"};
    const int sub = q.isEmpty() ? -1 : uchar(q.at(0));
    const QString command =
        sub >= 0 && sub < 4 ? QLatin1String(names[sub]) : QStringLiteral("subheader ") + hex(sub, 2);
    const int code = leAt(q, 8, 2);
    const int points = leAt(q, 10, 1);
    return QStringLiteral("%1 %2 points %3").arg(command, mcDevice(mc1eDeviceArea(code), code, leAt(q, 4, 4)))
        .arg(points == 0 ? 256 : points);
}

QString mc3eRequest(const QByteArray &q)
{
    const int command = leAt(q, 11, 2), sub = leAt(q, 13, 2), code = leAt(q, 18, 1);
    const QString dev = mcDevice(mc3eDeviceArea(code), code, leAt(q, 15, 3));
    const QString what = command == 0x0401 ? QStringLiteral("read") : command == 0x1401 ? QStringLiteral("write")
                                                                                          : hex(command, 4);
    return QStringLiteral("%1 %2 %3 points %4").arg(what, sub == 1 ? QStringLiteral("bits") : QStringLiteral("words"),
                                                    dev).arg(leAt(q, 19, 2));
}

} // namespace

namespace SimLog {

void line(const QString &text)
{
    static QMutex lock;
    QMutexLocker l(&lock);
    const QByteArray out = QStringLiteral("%1 ms  ").arg(g_start.elapsed(), 7).toLocal8Bit() + text.toLocal8Bit();
    std::fprintf(stderr, "%s\n", out.constData());
    std::fflush(stderr);
}

QString requestSummary(const QString &protocol, const QByteArray &request, const QByteArray &answer)
{
    QString what, result;
    if (protocol == QLatin1String("fxport")) {
        what = fxPortRequest(request);
    } else if (protocol == QLatin1String("fxlink")) {
        what = fxLinkRequest(request);
    } else if (protocol == QLatin1String("mc1e")) {
        what = mc1eRequest(request);
        if (answer.size() >= 2)
            result = QStringLiteral("completion code ") + hex(uchar(answer.at(1)), 2);
    } else {
        what = mc3eRequest(request);
        if (answer.size() >= 11)
            result = QStringLiteral("end code ") + hex(leAt(answer, 9, 2), 4);
    }
    if (answer.isEmpty())
        result = QStringLiteral("no answer");
    else if (result.isEmpty())
        result = fxAnswer(answer);
    return what + QStringLiteral(" -> ") + result;
}

} // namespace SimLog
