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
    const QStringList parts = text.split(QLatin1Char(','));
    *elementCount = parts.size();
    const ElementKind kind = elementKindForCode(code);

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

} // namespace

bool parseHostCommandLine(const QStringList &args, HostCommandLine *out, QString *error)
{
    *out = HostCommandLine();
    bool havePlugin = false, haveConnect = false;
    int i = 0;

    // Options come first; the first word that is not an option starts the operations.
    while (i < args.size() && args.at(i).startsWith(QLatin1String("--"))) {
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
                ++i;
                return true;
            }
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(opt);
                return false;
            }
            *dst = args.at(i + 1);
            i += 2;
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
        if (opt == QLatin1String("--help")) {
            out->help = true;
            return true;
        } else if (opt == QLatin1String("--plugin")) {
            if (!once(&havePlugin) || !takeValue(&out->plugin))
                return false;
        } else if (opt == QLatin1String("--connect")) {
            if (!once(&haveConnect) || !takeValue(&out->connectText))
                return false;
        } else if (opt == QLatin1String("--par")) {
            if (!once(&out->hasPar) || !takeValue(&out->par))
                return false;
        } else if (opt == QLatin1String("--trace") && !hasInline) {
            if (!once(&out->trace))
                return false;
            ++i;
        } else {
            *error = QStringLiteral("unknown option %1").arg(args.at(i));
            return false;
        }
    }
    if (i < args.size() && args.at(i) == QLatin1String("-h")) {
        out->help = true;
        return true;
    }
    if (!havePlugin || out->plugin.isEmpty()) {
        *error = QStringLiteral("--plugin is required");
        return false;
    }
    if (!haveConnect) {
        *error = QStringLiteral("--connect is required");
        return false;
    }
    if (i >= args.size()) {
        *error = QStringLiteral("no operation given");
        return false;
    }

    auto need = [&](const QString &op, int n, const char *what) {
        if (i + n >= args.size()) {
            *error = QStringLiteral("%1: missing %2").arg(op, QLatin1String(what));
            return false;
        }
        return true;
    };

    while (i < args.size()) {
        const QString op = args.at(i);
        HostOperation o;
        if (op == QLatin1String("info")) {
            o.kind = HostOperation::Info;
            ++i;
        } else if (op == QLatin1String("disconnect")) {
            o.kind = HostOperation::Disconnect;
            ++i;
        } else if (op == QLatin1String("connect")) {
            if (!need(op, 1, "TEXT"))
                return false;
            o.kind = HostOperation::Connect;
            o.text = args.at(i + 1);
            i += 2;
        } else if (op == QLatin1String("sleep")) {
            if (!need(op, 1, "MS"))
                return false;
            o.kind = HostOperation::Sleep;
            if (!parseInt(args.at(i + 1), &o.milliseconds) || o.milliseconds < 0) {
                *error = QStringLiteral("sleep: \"%1\" is not a number of milliseconds").arg(args.at(i + 1));
                return false;
            }
            i += 2;
        } else if (op == QLatin1String("read") || op == QLatin1String("write")) {
            const bool isWrite = op == QLatin1String("write");
            if (!need(op, isWrite ? 3 : 2, isWrite ? "ADDRESS TYPE VALUES" : "ADDRESS TYPE"))
                return false;
            o.kind = isWrite ? HostOperation::Write : HostOperation::Read;
            o.address = args.at(i + 1);
            if (!parseTypeText(args.at(i + 2), &o.typeCode)) {
                *error = QStringLiteral("%1 %2: unknown type \"%3\"").arg(op, o.address, args.at(i + 2));
                return false;
            }
            i += 3;
            if (isWrite) {
                QString valueError;
                if (!parseValueList(o.typeCode, args.at(i), &o.value, &o.valueCount, &valueError)) {
                    *error = QStringLiteral("write %1: %2").arg(o.address, valueError);
                    return false;
                }
                ++i;
            }
            // An optional COUNT: the next word when it is a number (operation
            // names never are).
            if (i < args.size() && !isOperationName(args.at(i))) {
                if (!parseInt(args.at(i), &o.count)) {
                    *error = QStringLiteral("%1 %2: \"%3\" is neither a COUNT nor an operation")
                                 .arg(op, o.address, args.at(i));
                    return false;
                }
                o.hasCount = true;
                ++i;
            } else if (isWrite) {
                o.count = o.valueCount;
            } else {
                o.count = 1;
            }
        } else {
            *error = QStringLiteral("unknown operation \"%1\"").arg(op);
            return false;
        }
        out->operations.append(o);
    }
    return true;
}

QString hostUsageText()
{
    return QStringLiteral(
        "usage: plchost --plugin PLUGIN --connect TEXT [--par TEXT] [--trace] OP [OP ...]\n"
        "\n"
        "Loads a PLC driver plug-in, connects it and runs the operations in order,\n"
        "printing one JSON object per operation on stdout.\n"
        "\n"
        "  --plugin PLUGIN  path of a plug-in library, or Kelvaro, Lunetta, Marrowin,\n"
        "                   Norvessa (any case), looked up as libLib<Name>.so.1 or\n"
        "                   libLib<Name>.so next to plchost, in ../lib/plc-drivers and\n"
        "                   in ../lib\n"
        "  --connect TEXT   connection text for ConnectDrive, e.g. 127.0.0.1:5000 or\n"
        "                   /dev/ttyUSB0,9600,7,1,E\n"
        "  --par TEXT       passed to SetConnectPar before connecting (station number)\n"
        "  --trace          DebugCmd(DebugStart) first: frame traces on stderr\n"
        "\n"
        "Operations:\n"
        "  info                            drive name, version and build version\n"
        "  read ADDRESS TYPE [COUNT]       without COUNT the 2-argument ReadVariable\n"
        "  write ADDRESS TYPE VALUES [COUNT]\n"
        "                                  VALUES comma separated (true,false / 1,-2 /\n"
        "                                  1.5,nan); one value without COUNT uses the\n"
        "                                  3-argument WriteVariable\n"
        "  connect TEXT                    ConnectDrive again\n"
        "  disconnect                      DisConnectDrive\n"
        "  sleep MS                        run the event loop for MS milliseconds\n"
        "\n"
        "TYPE: bool int8 uint8 int16 uint16 int32 uint32 float int64 uint64 double\n"
        "string, or a decimal DataType code (e.g. 0 or 41 to try refusals). A write\n"
        "hands over the list of the code's element type (codes 13-24 and 33-40 like\n"
        "their base types, 12 a string list); codes without one (0, 25-32, above 40,\n"
        "negative) hand over an invalid value.\n"
        "\n"
        "Values print as JSON arrays in the form of the list the returned value\n"
        "actually holds (even when that is not the list dataType names); int8 prints\n"
        "signed; value is null when the returned value holds no list.\n"
        "\n"
        "Exit status: 0 every read and write returned status 0; 1 some returned\n"
        "another status; 2 usage error or plug-in not loadable (nothing run);\n"
        "3 the --connect connection failed (a connect operation later in the list\n"
        "only prints its result).\n");
}
