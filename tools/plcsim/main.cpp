// plcsim: a Mitsubishi PLC on TCP ports, pseudo-terminals or serial lines.
#include "PlcMemory.h"
#include "PlcSimulator.h"
#include "SimProtocolRegistry.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QStringList>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    const ssize_t n = ::write(g_signalPipe[1], &c, 1);
    (void)n;
}

QStringList words(const QString &text)
{
    return text.split(QLatin1Char(' '));
}

// Every protocol named here comes from the protocol table (SimProtocolRegistry).
QString helpText()
{
    using SimProtocolRegistry::wrap;
    const int width = 84;
    return QStringLiteral(
        "Usage: plcsim --serve PROTOCOL@ENDPOINT [--serve ...] [--station N] [--fault FAULT]...\n"
        "              [--set DEVICE=VALUES]... [--load FILE] [--dump FILE] [--model MODEL]\n"
        "              [--verbose]\n"
        "\n")
        + wrap(words(QStringLiteral("A Mitsubishi PLC simulator. It answers ") + SimProtocolRegistry::titleList()
                     + QStringLiteral(", over one shared device memory.")),
               width, QString(), QString())
        + QStringLiteral(
        "\n"
        "Options:\n")
        + wrap(words(QStringLiteral("serve PROTOCOL (%1) on ENDPOINT:").arg(SimProtocolRegistry::nameList())), 86,
               QStringLiteral("  --serve PROTOCOL@ENDPOINT  "), QString(29, QLatin1Char(' ')))
        + QStringLiteral(
        "      HOST:PORT   a TCP server (numeric address or localhost; port 0 picks a free\n"
        "                  port); several clients at once\n"
        "      udp:HOST:PORT\n"
        "                  a UDP port (same HOST and PORT rules): each datagram is one\n"
        "                  request, each answer one datagram to the sender's address and\n"
        "                  port, in order; a split answer is two datagrams\n"
        "      pty[:LINK][,BAUD]\n"
        "                  a new pseudo-terminal pair; the slave's path is printed. With\n"
        "                  :LINK a symbolic link LINK to the slave is made (printed instead\n"
        "                  of the slave's path; removed on exit). With ,BAUD the simulator\n"
        "                  paces what it sends at that line speed (10 bits a character) and\n"
        "                  answers only after the request's own line time\n"
        "      PATH[,BAUD[,DATABITS[,STOPBITS[,PARITY]]]]\n")
        + wrap(words(QStringLiteral("a serial device (PARITY N, E or O); ") + SimProtocolRegistry::serialDefaultsHelp()),
               width, QString(18, QLatin1Char(' ')), QString(18, QLatin1Char(' ')))
        + QStringLiteral(
        "      May be given several times, with the same or different protocols.\n"
        "  --station N   computer-link station number (0..255, default 0); requests for\n"
        "                other stations get no answer\n"
        "  --fault FAULT  inject a fault (repeatable), see below\n"
        "  --model MODEL  the PLC played: any (default) answers whatever the memory\n"
        "                holds; fx3u refuses on mc1e and fxlink what an FX3U\n"
        "                refuses (devices outside X/Y 0-377 octal, M 0-7679 and\n"
        "                8000-8511, S 0-4095, T 0-511, C 0-255, D 0-7999 and 8000-8511,\n"
        "                R 0-32767; C200-C255 with C0-C199 in one request or more than\n"
        "                32 of them; on mc1e word-unit heads of bit devices off a\n"
        "                multiple of 16 and more points than the interface takes), and\n"
        "                serves C200-C255 as 32-bit values there; q refuses on mc3e more\n"
        "                than 960 words or 7168 bits a request (as every model) and M,\n"
        "                SM, SD past a Q CPU's default points. Each refusal is the\n"
        "                protocol's own error\n"
        "                answer and a line on stderr naming the rule\n"
        "  --set DEVICE=VALUES  preset memory before serving (repeatable): D100=1,2,3\n"
        "                words (-32768..65535 or 0x0..0xFFFF; CN200-CN255 32-bit values,\n"
        "                -2147483648..4294967295), M0=1,0,1 bits; X, Y and W\n"
        "                numbers hexadecimal (X17 octal in FX notation is X0F), the\n"
        "                others decimal. A word device also takes a text in double\n"
        "                quotes, D100=\"AB12\": Latin-1 characters, two a word, the first\n"
        "                in the low byte (D100=0x4241, D101=0x3231), a zero high byte\n"
        "                after an odd last one; \\\" and \\\\ inside stand for \" and \\.\n"
        "                The quotes must reach plcsim: quote the whole argument for the\n"
        "                shell, --set 'D100=\"AB12\"' (in a --load file: D100=\"AB12\")\n"
        "  --load FILE   --set lines from FILE, one a line (# comments)\n"
        "  --dump FILE   on exit, write the non-zero memory to FILE as such lines\n"
        "  --verbose     log on stderr, each line with the milliseconds since start:\n"
        "                connects and disconnects, every request and answer in\n"
        "                hexadecimal and a decoded summary of every request\n"
        "  --help        this text\n"
        "\n"
        "Once every endpoint is up, one line per endpoint goes to stdout:\n"
        "  PROTOCOL ENDPOINT        e.g. \"mc3e 127.0.0.1:40123\", \"mc1e udp:127.0.0.1:40124\",\n"
        "                           \"fxport /dev/pts/4\"\n"
        "then the simulator serves until SIGTERM or SIGINT and exits with 0.\n"
        "Exit codes: 0 stopped by a signal, 1 an endpoint could not be opened (or the\n"
        "--dump file not written), 2 usage error.\n"
        "\n"
        "Memory (zero at start, unless --set or --load say otherwise):\n")
        + wrap(QStringList{QStringLiteral("X, Y 0..0x1FFF (%1),").arg(SimProtocolRegistry::xyNumberingHelp()),
                           QStringLiteral("M 0..16383 (M8000 up: special relays),"), QStringLiteral("S 0..4095,"),
                           QStringLiteral("SM 0..4095,"), QStringLiteral("L 0..8191,"), QStringLiteral("F, V 0..2047,"),
                           QStringLiteral("B 0..0x1FFF,"), QStringLiteral("SB 0..0x7FF,"),
                           QStringLiteral("TS, TC 0..2047,"), QStringLiteral("SS, SC 0..2047,"),
                           QStringLiteral("CS, CC 0..1023 (DX, DY in mc3e: the X, Y memory)")},
               width, QStringLiteral("  bit devices  "), QString(15, QLatin1Char(' ')))
        + QStringLiteral(
        "  word devices D 0..12287 (D8000 up: special registers), W 0..0x1FFF, R 0..32767,\n"
        "               SD 0..4095, SW 0..0x7FF, TN 0..2047, CN 0..1023, Z 0..19,\n"
        "               SN 0..2047, ZR 0..65535\n"
        "  Bit devices read or written in word units: 16 points per word from the head\n"
        "  device, the head device in bit 0.\n"
        "\n")
        + SimProtocolRegistry::protocolsHelp()
        + QStringLiteral(
        "Requests may arrive in pieces: each is answered once it is complete. Several\n"
        "requests in one piece are answered in order.\n"
        "\n")
        + PlcSimulator::faultSyntaxHelp();
}

int usage(const QString &why)
{
    std::fprintf(stderr, "plcsim: %s\nTry plcsim --help.\n", why.toLocal8Bit().constData());
    return 2;
}

// The --set lines of a --load file: blank lines and # comments are skipped,
// a leading "--set" is allowed.
bool loadMemoryFile(const QString &path, PlcMemory &memory, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1String("--set")))
            line = line.mid(5).trimmed();
        QString why;
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')) && !memory.setFromText(line, &why)) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(number).arg(why);
            return false;
        }
    }
    return true;
}

bool dumpMemoryFile(const QString &path, const PlcMemory &memory)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "plcsim: cannot write %s: %s\n", path.toLocal8Bit().constData(),
                     file.errorString().toLocal8Bit().constData());
        return false;
    }
    QTextStream out(&file);
    out << "# plcsim memory: the non-zero devices (plcsim --load reads this file)\n";
    for (const QString &l : memory.nonZeroText())
        out << l << '\n';
    return true;
}

// A symbolic link at a stable path to a pseudo-terminal's slave. A link left
// by an earlier run is replaced; anything else at that path is kept.
bool makeLink(const QString &link, const QString &target, QString *error)
{
    const QByteArray l = QFile::encodeName(link);
    struct stat st;
    if (::lstat(l.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
            return false;
        }
        ::unlink(l.constData());
    }
    if (::symlink(QFile::encodeName(target).constData(), l.constData()) != 0) {
        *error = QStringLiteral("cannot create the link %1: %2").arg(link, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    return true;
}

// Removes the links that still point where this run made them point.
void removeLinks(const QList<QPair<QString, QString>> &links)
{
    for (const auto &l : links) {
        if (QFile::symLinkTarget(l.first) == l.second)
            QFile::remove(l.first);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();

    QStringList serves;
    QStringList faults;
    QList<QPair<bool, QString>> memoryTexts;  // (from a file, text or path) in the order given
    QString dumpPath;
    int station = 0;
    SimModel model = SimModel::Any;
    bool verbose = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        auto value = [&](QString *out) {
            if (i + 1 >= args.size())
                return false;
            *out = args.at(++i);
            return true;
        };
        QString v;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(helpText().toLocal8Bit().constData(), stdout);
            return 0;
        } else if (a == QLatin1String("--serve")) {
            if (!value(&v))
                return usage(QStringLiteral("--serve needs PROTOCOL@ENDPOINT"));
            serves << v;
        } else if (a == QLatin1String("--fault")) {
            if (!value(&v))
                return usage(QStringLiteral("--fault needs a FAULT"));
            faults << v;
        } else if (a == QLatin1String("--station")) {
            bool ok = false;
            if (!value(&v) || (station = v.toInt(&ok, 10), !ok) || station < 0 || station > 255)
                return usage(QStringLiteral("--station needs a number 0..255"));
        } else if (a == QLatin1String("--set") || a == QLatin1String("--load")) {
            if (!value(&v))
                return usage(QStringLiteral("%1 needs a value").arg(a));
            memoryTexts.append({a == QLatin1String("--load"), v});
        } else if (a == QLatin1String("--dump")) {
            if (!value(&dumpPath) || dumpPath.isEmpty())
                return usage(QStringLiteral("--dump needs a FILE"));
        } else if (a == QLatin1String("--model")) {
            if (!value(&v) || !PlcSimulator::modelNamed(v, &model))
                return usage(QStringLiteral("--model needs fx3u, q or any"));
        } else if (a == QLatin1String("--verbose")) {
            verbose = true;
        } else {
            return usage(QStringLiteral("unknown argument \"%1\"").arg(a));
        }
    }
    if (serves.isEmpty())
        return usage(QStringLiteral("at least one --serve PROTOCOL@ENDPOINT is needed"));

    PlcSimulator sim;
    for (const auto &m : memoryTexts) {
        QString error;
        if (!(m.first ? loadMemoryFile(m.second, sim.memory(), &error) : sim.memory().setFromText(m.second, &error)))
            return usage(QStringLiteral("%1: %2").arg(m.first ? QStringLiteral("--load") : QStringLiteral("--set"),
                                                      error));
    }
    sim.setStation(station);
    sim.setModel(model);
    sim.setVerbose(verbose);
    for (const QString &f : faults) {
        QString error;
        if (!sim.addFault(f, &error))
            return usage(error);
    }
    // Parse every --serve before opening any, so a typo opens nothing.
    QList<QPair<QString, QString>> endpoints;
    QStringList linkPaths;  // per endpoint: pty:LINK's LINK, or empty
    for (const QString &s : serves) {
        const int at = s.indexOf(QLatin1Char('@'));
        if (at <= 0 || at == s.size() - 1)
            return usage(QStringLiteral("--serve \"%1\" is not PROTOCOL@ENDPOINT").arg(s));
        const QString protocol = s.left(at).toLower();
        if (!SimProtocolRegistry::find(protocol))
            return usage(QStringLiteral("unknown protocol \"%1\" (%2)").arg(s.left(at), SimProtocolRegistry::nameList()));
        // pty[:LINK][,SETTINGS]: the link is this file's business, the rest
        // goes to the simulator as "pty[,SETTINGS]".
        QString endpoint = s.mid(at + 1);
        QString link;
        if (endpoint.startsWith(QLatin1String("pty:"))) {
            const int comma = endpoint.indexOf(QLatin1Char(','));
            link = endpoint.mid(4, comma < 0 ? -1 : comma - 4);
            if (link.isEmpty())
                return usage(QStringLiteral("--serve \"%1\": pty: needs a LINK path").arg(s));
            endpoint = QStringLiteral("pty") + (comma < 0 ? QString() : endpoint.mid(comma));
        }
        endpoints.append({protocol, endpoint});
        linkPaths << link;
    }

    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("plcsim: pipe");
        return 1;
    }
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QStringList lines;
    QList<QPair<QString, QString>> links;  // link path, slave path
    for (int i = 0; i < endpoints.size(); ++i) {
        const auto &e = endpoints.at(i);
        QString error;
        QString real = sim.addEndpoint(e.first, e.second, &error);
        if (!real.isEmpty() && !linkPaths.at(i).isEmpty()) {
            if (makeLink(linkPaths.at(i), real, &error)) {
                links.append({linkPaths.at(i), real});
                real = linkPaths.at(i);
            } else {
                real.clear();
            }
        }
        if (real.isEmpty()) {
            std::fprintf(stderr, "plcsim: %s@%s: %s\n", e.first.toLocal8Bit().constData(),
                         e.second.toLocal8Bit().constData(), error.toLocal8Bit().constData());
            removeLinks(links);
            return 1;
        }
        lines << e.first + QLatin1Char(' ') + real;
    }
    for (const QString &l : lines)
        std::fprintf(stdout, "%s\n", l.toLocal8Bit().constData());
    std::fflush(stdout);

    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char c;
        while (::read(g_signalPipe[0], &c, 1) > 0) {
        }
        app.quit();
    });
    app.exec();
    removeLinks(links);
    if (!dumpPath.isEmpty() && !dumpMemoryFile(dumpPath, sim.memory()))
        return 1;
    return 0;
}
