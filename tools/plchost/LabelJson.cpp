#include "LabelJson.h"
#include "LabelLists.h"

#include <charconv>
#include <cmath>

namespace {

const char kHex[] = "0123456789abcdef";

void appendEscape(QByteArray &out, ushort code)
{
    out += "\\u";
    out += kHex[(code >> 12) & 0xF];
    out += kHex[(code >> 8) & 0xF];
    out += kHex[(code >> 4) & 0xF];
    out += kHex[code & 0xF];
}

template <typename T>
QByteArray shortestReal(T v)
{
    if (std::isnan(v))
        return QByteArrayLiteral("\"nan\"");
    if (std::isinf(v))
        return v > 0 ? QByteArrayLiteral("\"inf\"") : QByteArrayLiteral("\"-inf\"");
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return QByteArray(buf, int(res.ptr - buf));
}

template <typename T, typename F>
bool appendListIf(const QVariant &value, QByteArray &out, F element)
{
    if (!LabelLists::holdsList<T>(value))
        return false;
    const QList<T> list = LabelLists::listOf<T>(value);
    out += '[';
    for (int i = 0; i < list.size(); ++i) {
        if (i)
            out += ',';
        out += element(list.at(i));
    }
    out += ']';
    return true;
}

} // namespace

QByteArray jsonString(const QString &text)
{
    if (text.isNull())
        return QByteArrayLiteral("null");
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += QString(text.constData() + i, 2).toUtf8();
            ++i;
            continue;
        }
        if (c.isSurrogate()) {
            // A lone surrogate has no UTF-8 form; keep it visible instead of
            // letting the encoder replace it.
            appendEscape(out, u);
            continue;
        }
        switch (u) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7F)
                appendEscape(out, u);
            else if (u < 0x80)
                out += char(u);
            else
                out += QString(c).toUtf8();
        }
    }
    out += '"';
    return out;
}

QByteArray jsonFloat(float v) { return shortestReal(v); }
QByteArray jsonDouble(double v) { return shortestReal(v); }

QByteArray jsonValue(const QVariant &value)
{
    if (!value.isValid())
        return QByteArrayLiteral("null");
    QByteArray out;
    auto num = [](auto v) { return QByteArray::number(v); };
    // Plain char is printed as the signed byte int8 names, whatever the
    // platform's char signedness, so ARM and x86 hosts print the same text.
    if (appendListIf<bool>(value, out, [](bool b) { return b ? QByteArrayLiteral("true") : QByteArrayLiteral("false"); })
        || appendListIf<char>(value, out, [](char c) { return QByteArray::number(int(static_cast<signed char>(c))); })
        || appendListIf<unsigned char>(value, out, [](unsigned char c) { return QByteArray::number(uint(c)); })
        || appendListIf<short>(value, out, [](short v) { return QByteArray::number(int(v)); })
        || appendListIf<unsigned short>(value, out, [](unsigned short v) { return QByteArray::number(uint(v)); })
        || appendListIf<int>(value, out, num)
        || appendListIf<unsigned int>(value, out, num)
        || appendListIf<float>(value, out, [](float v) { return jsonFloat(v); })
        || appendListIf<long long>(value, out, [](long long v) { return QByteArray::number(qlonglong(v)); })
        || appendListIf<unsigned long long>(value, out, [](unsigned long long v) { return QByteArray::number(qulonglong(v)); })
        || appendListIf<double>(value, out, [](double v) { return jsonDouble(v); })
        || appendListIf<QString>(value, out, [](const QString &s) { return jsonString(s); }))
        return out;
    return QByteArrayLiteral("null");
}

QByteArray jsonTimestamp(const QDateTime &timestamp)
{
    if (timestamp.isNull() || !timestamp.isValid())
        return QByteArrayLiteral("null");
    return '"' + timestamp.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + '"';
}

QByteArray labelLine(const char *op, const CLabelVariable &label)
{
    QByteArray line = QByteArrayLiteral("{\"op\":\"");
    line += op;
    line += "\",\"address\":" + jsonString(label.address);
    line += ",\"dataType\":" + QByteArray::number(label.dataType);
    line += ",\"count\":" + QByteArray::number(label.count);
    line += ",\"status\":" + QByteArray::number(label.status);
    line += ",\"timestamp\":" + jsonTimestamp(label.timestamp);
    line += ",\"value\":" + jsonValue(label.value);
    line += '}';
    return line;
}

QByteArray withReason(const QByteArray &line, const QString &reason)
{
    if (reason.isEmpty() || !line.endsWith('}'))
        return line;
    return line.left(line.size() - 1) + ",\"reason\":" + jsonString(reason) + '}';
}
