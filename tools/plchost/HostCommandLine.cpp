#include "HostCommandLine.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {

struct TypeName {
    const char *name;
    int code;
};

const TypeName kTypeNames[] = {
    {"bool", 1},   {"int8", 2},   {"uint8", 3},  {"int16", 4},   {"uint16", 5},  {"int32", 6},
    {"uint32", 7}, {"float", 8},  {"int64", 9},  {"uint64", 10}, {"double", 11}, {"string", 12},
};

// Strict decimal: optional sign, digits only, no blanks, no base prefix.
bool isDecimalText(const QString &text, bool allowSign)
{
    if (text.isEmpty())
        return false;
    int i = 0;
    if (allowSign && (text.at(0) == QLatin1Char('-') || text.at(0) == QLatin1Char('+')))
        i = 1;
    if (i >= text.size())
        return false;
    for (; i < text.size(); ++i) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool parseInt(const QString &text, int *out)
{
    if (!isDecimalText(text, true))
        return false;
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (ok)
        *out = v;
    return ok;
}

bool parseSigned(const QString &text, long long lo, long long hi, long long *out)
{
    if (!isDecimalText(text, true))
        return false;
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool parseUnsigned(const QString &text, unsigned long long hi, unsigned long long *out)
{
    // No sign at all: toULongLong would otherwise wrap "-1" on some Qt versions.
    QString t = text;
    if (t.startsWith(QLatin1Char('+')))
        t.remove(0, 1);
    if (!isDecimalText(t, false))
        return false;
    bool ok = false;
    const qulonglong v = t.toULongLong(&ok, 10);
    if (!ok || v > hi)
        return false;
    *out = v;
    return true;
}

bool parseReal(const QString &text, bool single, double *out)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("nan") || t == QLatin1String("-nan") || t == QLatin1String("+nan")) {
        *out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (t == QLatin1String("inf") || t == QLatin1String("+inf") || t == QLatin1String("infinity")) {
        *out = std::numeric_limits<double>::infinity();
        return true;
    }
    if (t == QLatin1String("-inf") || t == QLatin1String("-infinity")) {
        *out = -std::numeric_limits<double>::infinity();
        return true;
    }
    if (t.isEmpty() || t != text)
        return false;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    // Values that round to the largest float are fine (3.4028235e38 is
    // slightly above it as a double); from the midpoint to the next power of
    // two on they would round to infinity.
    if (single && std::fabs(v) >= 0x1.ffffffp+127)
        return false;
    *out = v;
    return true;
}

template <typename T>
QVariant listVariant(const QList<T> &list)
{
    return QVariant::fromValue(list);
}

} // namespace

ElementKind elementKindForCode(int code)
{
    switch (code) {
    case 1: return ElementKind::Bool;
    case 2: return ElementKind::Int8;
    case 3: return ElementKind::UInt8;
    case 4: case 13: case 14: return ElementKind::Int16;
    case 5: case 15: case 16: return ElementKind::UInt16;
    case 6: case 17: case 18: case 19: case 20: return ElementKind::Int32;
    case 7: case 21: case 22: case 23: case 24: return ElementKind::UInt32;
    case 8: case 33: case 34: case 35: case 36: return ElementKind::Float;
    case 9: return ElementKind::Int64;
    case 10: return ElementKind::UInt64;
    case 11: case 37: case 38: case 39: case 40: return ElementKind::Double;
    case 12: return ElementKind::String;
    default: return ElementKind::None;
    }
}

bool parseTypeText(const QString &text, int *code)
{
    for (const TypeName &t : kTypeNames) {
        if (text.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0) {
            *code = t.code;
            return true;
        }
    }
    return parseInt(text, code);
}

bool parseValueList(int code, const QString &text, QVariant *value, int *elementCount, QString *error)
{
    const ElementKind kind = elementKindForCode(code);
    // Text is one value, commas and all: a string tag holds one string.
    const QStringList parts = kind == ElementKind::String ? QStringList{text} : text.split(QLatin1Char(','));
    *elementCount = parts.size();

    auto bad = [&](const QString &part, const char *what) {
        *error = QStringLiteral("value \"%1\" is not %2").arg(part, QLatin1String(what));
        return false;
    };

    switch (kind) {
    case ElementKind::None:
        *value = QVariant();
        return true;
    case ElementKind::String: {
        QList<QString> list;
        for (const QString &p : parts)
            list.append(p);
        *value = listVariant(list);
        return true;
    }
    case ElementKind::Bool: {
        QList<bool> list;
        for (const QString &p : parts) {
            if (p.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || p == QLatin1String("1"))
                list.append(true);
            else if (p.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || p == QLatin1String("0"))
                list.append(false);
            else
                return bad(p, "a bool (true, false, 1 or 0)");
        }
        *value = listVariant(list);
        return true;
    }
    case ElementKind::Int8:
    case ElementKind::Int16:
    case ElementKind::Int32:
    case ElementKind::Int64: {
        long long lo = 0, hi = 0;
        const char *what = "";
        switch (kind) {
        case ElementKind::Int8: lo = -128; hi = 127; what = "an int8 (-128 to 127)"; break;
        case ElementKind::Int16: lo = -32768; hi = 32767; what = "an int16 (-32768 to 32767)"; break;
        case ElementKind::Int32:
            lo = std::numeric_limits<int>::min(); hi = std::numeric_limits<int>::max();
            what = "an int32"; break;
        default:
            lo = std::numeric_limits<long long>::min(); hi = std::numeric_limits<long long>::max();
            what = "an int64"; break;
        }
        QList<long long> wide;
        for (const QString &p : parts) {
            long long v = 0;
            if (!parseSigned(p, lo, hi, &v))
                return bad(p, what);
            wide.append(v);
        }
        if (kind == ElementKind::Int8) {
            QList<char> list;
            for (long long v : wide)
                list.append(static_cast<char>(static_cast<signed char>(v)));
            *value = listVariant(list);
        } else if (kind == ElementKind::Int16) {
            QList<short> list;
            for (long long v : wide)
                list.append(static_cast<short>(v));
            *value = listVariant(list);
        } else if (kind == ElementKind::Int32) {
            QList<int> list;
            for (long long v : wide)
                list.append(static_cast<int>(v));
            *value = listVariant(list);
        } else {
            *value = listVariant(wide);
        }
        return true;
    }
    case ElementKind::UInt8:
    case ElementKind::UInt16:
    case ElementKind::UInt32:
    case ElementKind::UInt64: {
        unsigned long long hi = 0;
        const char *what = "";
        switch (kind) {
        case ElementKind::UInt8: hi = 255; what = "a uint8 (0 to 255)"; break;
        case ElementKind::UInt16: hi = 65535; what = "a uint16 (0 to 65535)"; break;
        case ElementKind::UInt32: hi = std::numeric_limits<unsigned int>::max(); what = "a uint32"; break;
        default: hi = std::numeric_limits<unsigned long long>::max(); what = "a uint64"; break;
        }
        QList<unsigned long long> wide;
        for (const QString &p : parts) {
            unsigned long long v = 0;
            if (!parseUnsigned(p, hi, &v))
                return bad(p, what);
            wide.append(v);
        }
        if (kind == ElementKind::UInt8) {
            QList<unsigned char> list;
            for (auto v : wide)
                list.append(static_cast<unsigned char>(v));
            *value = listVariant(list);
        } else if (kind == ElementKind::UInt16) {
            QList<unsigned short> list;
            for (auto v : wide)
                list.append(static_cast<unsigned short>(v));
            *value = listVariant(list);
        } else if (kind == ElementKind::UInt32) {
            QList<unsigned int> list;
            for (auto v : wide)
                list.append(static_cast<unsigned int>(v));
            *value = listVariant(list);
        } else {
            *value = listVariant(wide);
        }
        return true;
    }
    case ElementKind::Float: {
        QList<float> list;
        for (const QString &p : parts) {
            double v = 0;
            if (!parseReal(p, true, &v))
                return bad(p, "a float");
            list.append(static_cast<float>(v));
        }
        *value = listVariant(list);
        return true;
    }
    case ElementKind::Double: {
        QList<double> list;
        for (const QString &p : parts) {
            double v = 0;
            if (!parseReal(p, false, &v))
                return bad(p, "a double");
            list.append(v);
        }
        *value = listVariant(list);
        return true;
    }
    }
    return false;
}

namespace {

bool isOperationName(const QString &s)
{
    return s == QLatin1String("info") || s == QLatin1String("read") || s == QLatin1String("write")
        || s == QLatin1String("connect") || s == QLatin1String("disconnect") || s == QLatin1String("sleep");
}

// Options may stand anywhere on the line: they are taken out first, and the
// words left over are the operations.
bool splitOptions(const QStringList &args, HostCommandLine *out, QStringList *words, QString *error)
{
    bool havePlugin = false, haveRepeat = false, haveInterval = false;
    for (int i = 0; i < args.size(); ++i) {
        if (!args.at(i).startsWith(QLatin1String("--"))) {
            words->append(args.at(i));
            continue;
        }
        QString opt = args.at(i);
        QString inlineValue;
        bool hasInline = false;
        const int eq = opt.indexOf(QLatin1Char('='));
        if (eq > 0) {
            inlineValue = opt.mid(eq + 1);
            opt = opt.left(eq);
            hasInline = true;
        }
        auto takeValue = [&](QString *dst) {
            if (hasInline) {
                *dst = inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(opt);
                return false;
            }
            *dst = args.at(++i);
            return true;
        };
        auto once = [&](bool *seen) {
            if (*seen) {
                *error = QStringLiteral("%1 given twice").arg(opt);
                return false;
            }
            *seen = true;
            return true;
        };
        auto number = [&](bool *seen, int *dst, const char *what) {
            QString text;
            if (!once(seen) || !takeValue(&text))
                return false;
            if (!parseInt(text, dst) || *dst < 0) {
                *error = QStringLiteral("%1: \"%2\" is not %3").arg(opt, text, QLatin1String(what));
                return false;
            }
            return true;
        };
        if (opt == QLatin1String("--help")) {
            out->help = true;
        } else if (opt == QLatin1String("--version")) {
            out->version = true;
        } else if (opt == QLatin1String("--plugin")) {
            if (!once(&havePlugin) || !takeValue(&out->plugin))
                return false;
        } else if (opt == QLatin1String("--connect")) {
            if (!once(&out->hasConnect) || !takeValue(&out->connectText))
                return false;
        } else if (opt == QLatin1String("--par")) {
            if (!once(&out->hasPar) || !takeValue(&out->par))
                return false;
        } else if (opt == QLatin1String("--trace") && (!hasInline || inlineValue == QLatin1String("raw"))) {
            if (!once(&out->trace))
                return false;
            out->rawTrace = hasInline;
        } else if (opt == QLatin1String("--repeat")) {
            if (!number(&haveRepeat, &out->repeat, "a number of rounds (0: until interrupted)"))
                return false;
            out->polling = true;
        } else if (opt == QLatin1String("--interval")) {
            if (!number(&haveInterval, &out->intervalMs, "a number of milliseconds"))
                return false;
        } else {
            *error = QStringLiteral("unknown option %1").arg(args.at(i));
            return false;
        }
    }
    if (haveInterval && !haveRepeat) {
        *error = QStringLiteral("--interval needs --repeat");
        return false;
    }
    if (!out->help && !out->version && (!havePlugin || out->plugin.isEmpty())) {
        *error = QStringLiteral("--plugin is required");
        return false;
    }
    return true;
}

// "ADDRESS and TYPE" for the parts of `names` from `first` on.
QString missingParts(const QStringList &names, int first)
{
    const QStringList rest = names.mid(first);
    if (rest.size() <= 1)
        return rest.join(QString());
    return QStringList(rest.mid(0, rest.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" and ")
        + rest.last();
}

} // namespace

bool HostCommandLine::needsConnection() const
{
    for (const HostOperation &o : operations) {
        if (o.kind != HostOperation::Info && o.kind != HostOperation::Sleep)
            return true;
    }
    return false;
}

bool parseHostCommandLine(const QStringList &args, HostCommandLine *out, QString *error)
{
    *out = HostCommandLine();
    QStringList words;
    if (!splitOptions(args, out, &words, error))
        return false;
    if (out->help || out->version || (!words.isEmpty() && words.first() == QLatin1String("-h"))) {
        out->help = out->help || !out->version;
        return true;
    }
    if (words.isEmpty()) {
        *error = QStringLiteral("no operation given");
        return false;
    }

    int i = 0;
    auto need = [&](const QString &op, int n, const QStringList &names) {
        // Parts present: up to n words, but a TYPE never is an operation name.
        int present = 0;
        while (present < n && i + 1 + present < words.size()
               && !(present > 0 && present < 2 && isOperationName(words.at(i + 1 + present))))
            ++present;
        if (present == n)
            return true;
        QString head = op;
        if (present > 0)
            head += QLatin1Char(' ') + words.at(i + 1);
        *error = QStringLiteral("%1: missing %2").arg(head, missingParts(names, present));
        return false;
    };

    while (i < words.size()) {
        const QString op = words.at(i);
        HostOperation o;
        if (op == QLatin1String("info")) {
            o.kind = HostOperation::Info;
            ++i;
        } else if (op == QLatin1String("disconnect")) {
            o.kind = HostOperation::Disconnect;
            ++i;
        } else if (op == QLatin1String("connect")) {
            if (!need(op, 1, {QStringLiteral("TEXT")}))
                return false;
            o.kind = HostOperation::Connect;
            o.text = words.at(i + 1);
            i += 2;
        } else if (op == QLatin1String("sleep")) {
            if (!need(op, 1, {QStringLiteral("MS")}))
                return false;
            o.kind = HostOperation::Sleep;
            if (!parseInt(words.at(i + 1), &o.milliseconds) || o.milliseconds < 0) {
                *error = QStringLiteral("sleep: \"%1\" is not a number of milliseconds").arg(words.at(i + 1));
                return false;
            }
            i += 2;
        } else if (op == QLatin1String("read") || op == QLatin1String("write")) {
            const bool isWrite = op == QLatin1String("write");
            QStringList names{QStringLiteral("ADDRESS"), QStringLiteral("TYPE")};
            if (isWrite)
                names << QStringLiteral("VALUES");
            if (!need(op, names.size(), names))
                return false;
            o.kind = isWrite ? HostOperation::Write : HostOperation::Read;
            o.address = words.at(i + 1);
            if (!parseTypeText(words.at(i + 2), &o.typeCode)) {
                *error = QStringLiteral("%1 %2: unknown type \"%3\"").arg(op, o.address, words.at(i + 2));
                return false;
            }
            i += 3;
            const bool isText = elementKindForCode(o.typeCode) == ElementKind::String;
            if (isWrite) {
                QString valueError;
                if (!parseValueList(o.typeCode, words.at(i), &o.value, &o.valueCount, &valueError)) {
                    *error = QStringLiteral("write %1: %2").arg(o.address, valueError);
                    return false;
                }
                ++i;
            }
            // An optional COUNT: the next word when it is a number (operation
            // names never are).
            if (i < words.size() && !isOperationName(words.at(i))) {
                if (!parseInt(words.at(i), &o.count)) {
                    *error = QStringLiteral("%1 %2: \"%3\" is neither a COUNT nor an operation")
                                 .arg(op, o.address, words.at(i));
                    return false;
                }
                o.hasCount = true;
                ++i;
            } else if (isWrite && isText) {
                // A string tag as long as the text, unless COUNT says more.
                o.count = words.at(i - 1).size();
            } else if (isWrite) {
                o.count = o.valueCount;
            } else {
                o.count = 1;
            }
            // A COUNT of 0 or less is passed on for the plug-in to refuse;
            // any other must match the values, or the plug-in would write a
            // part of them (or fail) while the line suggests otherwise. A
            // string's COUNT is the tag's length in characters: a text longer
            // than that goes to the plug-in, whose refusal is the answer.
            if (isWrite && o.hasCount && o.count > 0 && elementKindForCode(o.typeCode) != ElementKind::None
                && !isText && o.count != o.valueCount) {
                *error = QStringLiteral("write %1: %2 value(s) given for COUNT %3").arg(o.address).arg(o.valueCount)
                             .arg(o.count);
                return false;
            }
        } else {
            *error = QStringLiteral("unknown operation \"%1\"").arg(op);
            return false;
        }
        out->operations.append(o);
    }
    if (!out->hasConnect && out->needsConnection()) {
        *error = QStringLiteral("--connect is required (only info runs without a connection)");
        return false;
    }
    return true;
}

QString hostUsageText()
{
    return QStringLiteral(
        "usage: plchost" PLC_NAME_SUFFIX " --plugin PLUGIN [--connect TEXT] [--par TEXT] [--trace[=raw]]\n"
        "               [--repeat N [--interval MS]] OP [OP ...]\n"
        "       plchost" PLC_NAME_SUFFIX " --version\n"
        "\n"
        "Loads a PLC driver plug-in, connects it and runs the operations in order,\n"
        "printing one JSON object per operation on stdout. Options may stand anywhere.\n"
        "\n"
        "  --plugin PLUGIN  path of a plug-in library, or Kelvaro, Lunetta, Marrowin,\n"
        "                   Norvessa (any case), looked up as libLib<Name>" PLC_NAME_SUFFIX ".so.1\n"
        "                   or libLib<Name>" PLC_NAME_SUFFIX ".so next to plchost, in\n"
        "                   ../lib/plc-drivers" PLC_NAME_SUFFIX " and in ../lib; a plug-in built with\n"
        "                   the other Qt major version is refused\n"
        "  --connect TEXT   connection text for ConnectDrive, e.g. 127.0.0.1:5000 or\n"
        "                   /dev/ttyUSB0,9600,7,1,E; needed by every operation but info\n"
        "  --par TEXT       passed to SetConnectPar before connecting (station number)\n"
        "  --trace          frame traces on stderr: time in ms, direction, spaced hex\n"
        "                   and, for Kelvaro and Lunetta, the characters\n"
        "  --trace=raw      the plug-in's own trace lines, unchanged\n"
        "  --repeat N       run the operations N times (0: until SIGINT); after a\n"
        "                   status 9 the connection is made again before the next\n"
        "                   round, with a pause growing up to 5 s while it fails\n"
        "  --interval MS    rounds start MS ms apart (default 1000)\n"
        "  --version        the version of plchost and of the Qt it was built with\n"
        "\n"
        "Operations:\n"
        "  info                            drive name, version and build version\n"
        "  read ADDRESS TYPE [COUNT]       without COUNT the 2-argument ReadVariable\n"
        "  write ADDRESS TYPE VALUES [COUNT]\n"
        "                                  VALUES comma separated (true,false / 1,-2 /\n"
        "                                  1.5,nan), as many as COUNT; one value without\n"
        "                                  COUNT uses the 3-argument WriteVariable\n"
        "  write ADDRESS string TEXT [COUNT]\n"
        "                                  TEXT is one string (commas included), COUNT\n"
        "                                  the tag's length in characters (default: the\n"
        "                                  text's length): write D100 string LOT-0815 20\n"
        "  connect TEXT                    ConnectDrive again\n"
        "  disconnect                      DisConnectDrive\n"
        "  sleep MS                        run the event loop for MS milliseconds\n"
        "\n"
        "TYPE: bool int8 uint8 int16 uint16 int32 uint32 float int64 uint64 double\n"
        "string, or a decimal DataType code (e.g. 0 or 41 to try refusals). A write\n"
        "hands over the list of the code's element type (codes 13-24 and 33-40 like\n"
        "their base types, 12 a list of one string); codes without one (0, 25-32,\n"
        "above 40, negative) hand over an invalid value. For string (12) COUNT is\n"
        "the tag's length in characters: a read gives one string, read from\n"
        "ceil(COUNT/2) words, two characters a word, the first in the low byte.\n"
        "ADDRESS may name a bit of a word device (D200.3) for bool reads; such a\n"
        "bit cannot be written (write the word).\n"
        "\n"
        "Values print as JSON arrays in the form of the list the returned value\n"
        "actually holds (even when that is not the list dataType names); int8 prints\n"
        "signed; value is null when the returned value holds no list. A line whose\n"
        "result or status is not 0 carries a \"reason\" in words, also on stderr.\n"
        "\n"
        "Status: 0 done; 1 not completed; 2 data type not supported; 3 device area\n"
        "unknown; 4 nothing to transfer; 5 device number not valid or out of range;\n"
        "6 busy; 7 answer rejected; 8 no answer; 9 not connected.\n"
        "Connect result: 0 connected; -1 text incomplete, port not opened or address\n"
        "not numeric; -3 TCP connection not made; -4 text has no ',', ':' or ';'.\n"
        "\n"
        "Exit status: 0 every read and write returned status 0; 1 some returned\n"
        "another status; 2 usage error or plug-in not loadable (nothing run);\n"
        "3 the --connect connection failed (a connect operation later in the list\n"
        "only prints its result). With --repeat: that of the last round, 3 when its\n"
        "connection could not be made again.\n");
}
