#include "SimFaults.h"

#include "SimProtocolRegistry.h"

#include <QRegularExpression>
#include <QStringList>

bool SimFault::parse(const QString &faultText, SimFault *out, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("bad fault \"%1\": %2").arg(faultText, why);
        return false;
    };
    QString rest = faultText.trimmed();
    SimFault f;
    f.text = rest;
    const int at = rest.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        bool ok = false;
        const int n = rest.mid(at + 1).toInt(&ok, 10);
        if (!ok || n < 1)
            return fail(QStringLiteral("@N needs a whole number of 1 or more"));
        f.every = n;
        rest = rest.left(at);
    }
    const int colon = rest.indexOf(QLatin1Char(':'));
    const QString kind = (colon >= 0 ? rest.left(colon) : rest).toLower();
    const QString arg = colon >= 0 ? rest.mid(colon + 1) : QString();
    const bool hasArg = colon >= 0;

    struct Name { const char *name; Kind kind; };
    static const Name names[] = {
        {"noanswer", NoAnswer}, {"late", Late}, {"split", Split}, {"truncate", Truncate},
        {"garbage", Garbage}, {"badsum", BadSum}, {"nak", Nak}, {"close", Close},
        {"noise", Noise}, {"vanish", Vanish},
    };
    bool found = false;
    for (const Name &n : names)
        if (kind == QLatin1String(n.name)) {
            f.kind = n.kind;
            found = true;
        }
    if (!found)
        return fail(QStringLiteral("unknown kind \"%1\"").arg(kind));

    if (f.kind == Late || f.kind == Split) {
        bool ok = false;
        const int ms = arg.toInt(&ok, 10);
        if (!hasArg || !ok || ms < 0 || ms > 600000)
            return fail(QStringLiteral("%1 needs :MS, milliseconds 0..600000").arg(kind));
        f.arg = ms;
    } else if (f.kind == Nak) {
        if (hasArg) {
            QString hex = arg;
            if (hex.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
                hex = hex.mid(2);
            bool ok = false;
            const uint code = hex.toUInt(&ok, 16);
            if (!ok || hex.isEmpty() || code > 0xFFFF)
                return fail(QStringLiteral("nak:CODE needs a hexadecimal code up to FFFF"));
            f.arg = int(code);
        }
    } else if (f.kind == Noise) {
        f.bytes = QByteArray::fromHex(arg.toLatin1());
        const bool hexOnly = arg.size() % 2 == 0
                             && arg.count(QRegularExpression(QStringLiteral("[0-9A-Fa-f]"))) == arg.size();
        if (!hasArg || !hexOnly || f.bytes.isEmpty() || f.bytes.size() > 64)
            return fail(QStringLiteral("noise needs :HEX, 1 to 64 bytes as hexadecimal digit pairs"));
    } else if (hasArg) {
        return fail(QStringLiteral("%1 takes no argument").arg(kind));
    }
    *out = f;
    return true;
}

namespace {

// The items with "; " between them, as wrap() units.
QStringList separated(QStringList items)
{
    for (int i = 0; i + 1 < items.size(); ++i)
        items[i] += QLatin1Char(';');
    return items;
}

} // namespace

QString SimFault::syntaxHelp()
{
    // Column of the kinds' descriptions; what each protocol does under badsum
    // and nak comes from its row of the protocol table.
    const QString indent(15, QLatin1Char(' '));
    return QStringLiteral(
        "Fault syntax: KIND[:ARG][@N]\n"
        "  noanswer     swallow the request, answer nothing\n"
        "  late:MS      answer after MS milliseconds (answers stay in order: the ones\n"
        "               queued behind it wait too)\n"
        "  split:MS     first half of the answer, pause MS milliseconds, then the rest\n"
        "  truncate     send only the first half of the answer\n"
        "  garbage      send as many bytes as the answer has, none of them a valid answer\n")
        + SimProtocolRegistry::wrap(separated(SimProtocolRegistry::badSumHelp()), 86, QStringLiteral("  badsum       "),
                                    indent)
        + SimProtocolRegistry::wrap(QStringList(QStringLiteral("refuse:")) + separated(SimProtocolRegistry::nakHelp()),
                                    86, QStringLiteral("  nak[:CODE]   "), indent)
        + QStringLiteral(
        "  close        close the TCP connection instead of answering\n"
        "               (pty/serial: send nothing)\n"
        "  noise:HEX    send the bytes HEX (1 to 64) right before the answer\n"
        "  vanish       the device goes away for good: a pty/serial endpoint closes,\n"
        "               a TCP connection drops\n"
        "  @N           only every Nth request (N, 2N, ... counted over all endpoints from 1)\n"
        "Faults hit only valid requests that would get a normal answer. A write takes\n"
        "effect under every kind except nak (a refused write changes nothing). With\n"
        "several faults the first one given whose @N matches wins.\n");
}
