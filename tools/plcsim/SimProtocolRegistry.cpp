#include "SimProtocolRegistry.h"

#include <iterator>

PLCSIM_PROTOCOL_FILE(fxport)  // protocols/FxPortHandler.cpp
PLCSIM_PROTOCOL_FILE(fxlink)  // protocols/FxLinkHandler.cpp
PLCSIM_PROTOCOL_FILE(mc1e)    // protocols/Mc1eHandler.cpp
PLCSIM_PROTOCOL_FILE(mc3e)    // protocols/Mc3eHandler.cpp
PLCSIM_PROTOCOL_FILE(mc4e)    // protocols/Mc3eHandler.cpp
PLCSIM_PROTOCOL_FILE(mc3eascii)  // protocols/McAsciiHandler.cpp
PLCSIM_PROTOCOL_FILE(mc4eascii)  // protocols/McAsciiHandler.cpp

namespace {

using namespace plcsim;

const SimProtocol kProtocols[] = {
    {"fxport", "the FX programming-port protocol",
     fxport::create, {9600, 7, 'E', 1}, 8, fxport::logSummary, fxport::help,
     "wrong sum check (ACK answers have none: unchanged)",
     "NAK"},
    {"fxlink", "the FX computer link, dedicated protocol format 1 with sum check",
     fxlink::create, {9600, 8, 'N', 1}, 8, fxlink::logSummary, fxlink::help,
     "wrong sum check (ACK answers have none: unchanged)",
     "NAK with error code CODE (hex, default 02)"},
    {"mc1e", "the MC protocol's binary 1E frames",
     mc1e::create, {9600, 8, 'N', 1}, 16, mc1e::logSummary, mc1e::help,
     "subheader without its answer bit (0x81 -> 0x01)",
     "completion code CODE (hex, default 5B + abnormal code 10)"},
    {"mc3e", "the MC protocol's binary 3E frames",
     mc3e::create, {9600, 8, 'N', 1}, 16, mc3e::logSummary, mc3e::help,
     "response data length one too large",
     "end code CODE (hex, default C059) with the error information"},
    {"mc4e", "the MC protocol's binary 4E frames",
     mc4e::create, {9600, 8, 'N', 1}, 16, mc4e::logSummary, mc4e::help,
     "response data length one too large",
     "end code CODE (hex, default C059) with the error information"},
    {"mc3e-ascii", "the MC protocol's 3E frames in ASCII code",
     mc3eascii::create, {9600, 8, 'N', 1}, 16, mc3eascii::logSummary, mc3eascii::help,
     "response data length one too large",
     "end code CODE (hex, default C059) with the error information"},
    {"mc4e-ascii", "the MC protocol's 4E frames in ASCII code",
     mc4eascii::create, {9600, 8, 'N', 1}, 16, mc4eascii::logSummary, mc4eascii::help,
     "response data length one too large",
     "end code CODE (hex, default C059) with the error information"},
};

// "a, b, and c" (two: "a and b").
QString joinAnd(const QStringList &items)
{
    if (items.size() < 2)
        return items.join(QString());
    const QString last = (items.size() > 2 ? QStringLiteral(", and ") : QStringLiteral(" and ")) + items.last();
    return QStringList(items.mid(0, items.size() - 1)).join(QStringLiteral(", ")) + last;
}

// The names of the rows grouped by the text key() gives them, texts in the
// order they first occur.
template <typename Key>
void groupByText(Key key, QStringList *texts, QList<QStringList> *names)
{
    for (const SimProtocol &p : SimProtocolRegistry::all()) {
        const QString text = key(p);
        int i = texts->indexOf(text);
        if (i < 0) {
            texts->append(text);
            names->append(QStringList());
            i = texts->size() - 1;
        }
        (*names)[i] << QString::fromLatin1(p.name);
    }
}

// "a/b: TEXT", "c: TEXT2", ...
template <typename Key>
QStringList groupedHelp(Key key, const QString &between)
{
    QStringList texts;
    QList<QStringList> names;
    groupByText(key, &texts, &names);
    QStringList out;
    for (int i = 0; i < texts.size(); ++i)
        out << names.at(i).join(QLatin1Char('/')) + between + texts.at(i);
    return out;
}

} // namespace

QString SerialDefaults::text() const
{
    return QStringLiteral("%1 %2%3%4").arg(baud).arg(dataBits).arg(QLatin1Char(parity)).arg(stopBits);
}

std::unique_ptr<ProtocolHandler> ProtocolHandler::create(const QString &protocol)
{
    const SimProtocol *p = SimProtocolRegistry::find(protocol);
    return p ? p->create() : nullptr;
}

QStringList ProtocolHandler::protocols()
{
    return SimProtocolRegistry::names();
}

namespace SimProtocolRegistry {

const std::vector<SimProtocol> &all()
{
    static const std::vector<SimProtocol> table(std::begin(kProtocols), std::end(kProtocols));
    return table;
}

const SimProtocol *find(const QString &name)
{
    const QString n = name.toLower();
    for (const SimProtocol &p : all())
        if (n == QLatin1String(p.name))
            return &p;
    return nullptr;
}

QStringList names()
{
    QStringList out;
    for (const SimProtocol &p : all())
        out << QString::fromLatin1(p.name);
    return out;
}

QString nameList()
{
    return names().join(QStringLiteral(", "));
}

QString titleList()
{
    QStringList items;
    for (const SimProtocol &p : all())
        items << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(p.title), QString::fromLatin1(p.name));
    return joinAnd(items);
}

QString serialDefaultsHelp()
{
    QStringList settings;
    QList<QStringList> names;
    groupByText([](const SimProtocol &p) { return p.serial.text(); }, &settings, &names);
    if (settings.size() == 1)
        return QStringLiteral("all default to %1").arg(settings.first());
    // The setting most protocols share is "the others'"; the rest are named.
    int common = 0;
    for (int i = 1; i < settings.size(); ++i)
        if (names.at(i).size() > names.at(common).size())
            common = i;
    QStringList parts;
    for (int i = 0; i < settings.size(); ++i)
        if (i != common)
            parts << QStringLiteral("%1 %2 to %3")
                         .arg(joinAnd(names.at(i)),
                              names.at(i).size() == 1 ? QStringLiteral("defaults") : QStringLiteral("default"),
                              settings.at(i));
    return parts.join(QStringLiteral(", ")) + QStringLiteral(", the others to ") + settings.at(common);
}

QString xyNumberingHelp()
{
    QStringList parts;
    for (int base : {8, 16}) {
        QStringList names;
        for (const SimProtocol &p : all())
            if (p.xyBase == base)
                names << QString::fromLatin1(p.name);
        if (!names.isEmpty())
            parts << (base == 8 ? QStringLiteral("octal numbers in ") : QStringLiteral("hexadecimal in "))
                         + names.join(QLatin1Char('/'));
    }
    return parts.join(QStringLiteral(", "));
}

QString protocolsHelp()
{
    QString out;
    for (const SimProtocol &p : all())
        out += p.help();
    return out;
}

QStringList badSumHelp()
{
    return groupedHelp([](const SimProtocol &p) { return QString::fromUtf8(p.badSumHelp); }, QStringLiteral(": "));
}

QStringList nakHelp()
{
    return groupedHelp([](const SimProtocol &p) { return QString::fromUtf8(p.nakHelp); }, QStringLiteral(" "));
}

QString wrap(const QStringList &units, int width, const QString &first, const QString &indent)
{
    QStringList lines;
    QString line = first;
    bool empty = true;  // nothing after the line's prefix yet
    auto place = [&](const QString &piece) {
        if (!empty && line.size() + 1 + piece.size() > width) {
            lines << line;
            line = indent;
            empty = true;
        }
        line += (empty ? QString() : QStringLiteral(" ")) + piece;
        empty = false;
    };
    for (const QString &unit : units) {
        if (unit.isEmpty())
            continue;
        if (line.size() + (empty ? 0 : 1) + unit.size() <= width
            || (!empty && indent.size() + unit.size() <= width)) {
            place(unit);
            continue;
        }
        for (const QString &word : unit.split(QLatin1Char(' ')))
            if (!word.isEmpty())
                place(word);
    }
    lines << line;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace SimProtocolRegistry
