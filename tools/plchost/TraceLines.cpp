#include "TraceLines.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStringList>

#include <cstdio>

namespace {

QtMessageHandler g_previous = nullptr;
TraceOutput g_output = TraceOutput::Quiet;
QList<TraceLine> g_caught;
QElapsedTimer g_clock;

// The message log shows a streamed QString in double quotes, with the quote
// and the backslash escaped; the plug-ins' texts need nothing more.
QString unquoted(const QString &message)
{
    if (message.size() < 2 || !message.startsWith(QLatin1Char('"')) || !message.endsWith(QLatin1Char('"')))
        return message;
    QString out;
    out.reserve(message.size());
    for (int i = 1; i < message.size() - 1; ++i) {
        if (message.at(i) == QLatin1Char('\\') && i + 1 < message.size() - 1)
            ++i;
        out += message.at(i);
    }
    return out;
}

// The FX plug-ins speak ASCII; their frames are shown as characters too.
bool isAsciiPlugin(const QString &plugin)
{
    return plugin == QLatin1String("Kelvaro") || plugin == QLatin1String("Lunetta");
}

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const TraceLine line = TraceLine::parse(message);
    if (!line.plugin.isEmpty())
        g_caught.append(line);
    if (g_output == TraceOutput::Raw || line.plugin.isEmpty()) {
        g_previous(type, context, message);
        return;
    }
    if (g_output == TraceOutput::Quiet) {
        // Frame lines exist only because plchost switched the trace on to
        // find error codes; warnings are printed as they always were.
        if (type != QtDebugMsg)
            g_previous(type, context, message);
        return;
    }
    const QByteArray out = TraceLines::readable(line, g_clock.elapsed()).toUtf8() + '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
    std::fflush(stderr);
}

} // namespace

TraceLine TraceLine::parse(const QString &message)
{
    static const QRegularExpression prefix(QStringLiteral("^lib\\[b?([^\\]]+)\\]"));
    static const QRegularExpression frame(QStringLiteral(
        "^lib\\[[^\\]]+\\](读命令|写命令|响应) ?\\S*:\\d+ Area=(.*?) +(?:len=-?\\d+ )?msg : ([0-9a-fA-F]*)$"));
    TraceLine line;
    line.text = unquoted(message);
    const QRegularExpressionMatch p = prefix.match(line.text);
    if (!p.hasMatch())
        return line;
    line.plugin = p.captured(1);
    const QRegularExpressionMatch f = frame.match(line.text);
    if (f.hasMatch()) {
        line.frame = true;
        line.request = f.captured(1) != QStringLiteral("响应");
        line.area = f.captured(2);
        line.bytes = QByteArray::fromHex(f.captured(3).toLatin1());
    }
    return line;
}

namespace TraceLines {

void install(TraceOutput output)
{
    g_output = output;
    g_clock.start();
    g_previous = qInstallMessageHandler(handler);
}

QList<TraceLine> takeCaught()
{
    QList<TraceLine> out;
    out.swap(g_caught);
    return out;
}

QString spacedHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

QString asciiText(const QByteArray &bytes)
{
    static const char *const names[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                        "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                        "DLE", "DC1", "DC2", "DC3", "DC4", "NAK"};
    QString out;
    for (const char c : bytes) {
        const uchar u = uchar(c);
        if (u < sizeof names / sizeof names[0])
            out += QLatin1Char('<') + QLatin1String(names[u]) + QLatin1Char('>');
        else if (u >= 0x20 && u < 0x7F)
            out += QLatin1Char(c);
        else
            out += QStringLiteral("<%1>").arg(u, 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

QString readable(const TraceLine &line, qint64 elapsedMs)
{
    const QString time = QStringLiteral("%1 ms").arg(elapsedMs, 7);
    if (!line.frame)
        return QStringLiteral("%1  %2  %3")
            .arg(time, line.plugin, line.text.mid(line.text.indexOf(QLatin1Char(']')) + 1));
    QString out = QStringLiteral("%1  %2  %3  %4  ")
                      .arg(time, line.plugin, line.area, line.request ? QStringLiteral("->") : QStringLiteral("<-"));
    if (line.bytes.isEmpty())
        return out + QStringLiteral("(nothing)");
    out += spacedHex(line.bytes);
    if (isAsciiPlugin(line.plugin))
        out += QStringLiteral("  ") + asciiText(line.bytes);
    return out;
}

} // namespace TraceLines
