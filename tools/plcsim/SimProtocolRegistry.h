#pragma once
// The simulator's protocols, one row each (SimProtocolRegistry.cpp). The command
// line, the endpoints, the --verbose log and --help know the protocols only
// through this table. A new protocol is a file in protocols/ that defines the
// functions PLCSIM_PROTOCOL_FILE declares (its handler written from the PLC's
// side, sharing no frame code with the plug-ins), plus its row and that
// declaration line in SimProtocolRegistry.cpp and the file in CMakeLists.txt.

#include "ProtocolHandler.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// Line settings of a serial device endpoint given without its own
// (PATH[,BAUD[,DATABITS[,STOPBITS[,PARITY]]]] overrides them field by field).
struct SerialDefaults
{
    qint32 baud;
    int dataBits;   // 5..8
    char parity;    // 'N', 'E' or 'O'
    int stopBits;   // 1 or 2
    QString text() const;  // "9600 7E1"
};

struct SimProtocol
{
    const char *name;    // on the command line (--serve fxport@pty) and in the endpoint lines
    const char *title;   // what --help calls it: "the FX programming-port protocol"
    std::unique_ptr<ProtocolHandler> (*create)();
    SerialDefaults serial;
    int xyBase;          // 8 or 16: how its frames number X and Y (for --help)
    // What the --verbose log says about a request and the answer it got
    // (empty: none): "read words D100 points 1 -> end code 0000".
    QString (*logSummary)(const QByteArray &request, const QByteArray &answer);
    // Its part of --help, lines starting with its name: memory map, commands,
    // limits, error answers, how broken and partial input is treated.
    QString (*help)();
    const char *badSumHelp;  // what fault badsum does to its answers (--help)
    const char *nakHelp;     // what fault nak[:CODE] answers (--help, after "refuse: NAME ")
};

// What each protocol file defines, in a namespace of its own, for its row.
#define PLCSIM_PROTOCOL_FILE(ns)                                                   \
    namespace plcsim {                                                             \
    namespace ns {                                                                 \
    std::unique_ptr<ProtocolHandler> create();                                     \
    QString logSummary(const QByteArray &request, const QByteArray &answer);       \
    QString help();                                                                \
    }                                                                              \
    }

namespace SimProtocolRegistry {

// The rows in the order the command line and --help list them.
const std::vector<SimProtocol> &all();
// The row of a protocol name (any case), nullptr for none.
const SimProtocol *find(const QString &name);
QStringList names();
// "fxport, fxlink, mc1e, mc3e"
QString nameList();

// Help texts made from the table.
// "the FX programming-port protocol (fxport), ..., and the MC protocol's binary 3E frames (mc3e)"
QString titleList();
// "fxport defaults to 9600 7E1, the others to 9600 8N1"
QString serialDefaultsHelp();
// "octal numbers in fxport/fxlink, hexadecimal in mc1e/mc3e"
QString xyNumberingHelp();
// The protocols' parts of --help, in table order.
QString protocolsHelp();
// What the faults badsum and nak do, one item per text, the protocols that
// share a text named together: "fxport/fxlink: wrong sum check ...",
// "mc1e: ..." (badsum); "fxport NAK", "fxlink NAK with error code CODE ..." (nak).
QStringList badSumHelp();
QStringList nakHelp();

// Units (words, or phrases that should stay together) filled into lines of at
// most `width` characters, one space between two units: the first line after
// `first`, the others after `indent`. A unit goes whole onto the current line
// when it fits there, else onto a new line; one too long for any line is
// broken between its words. Every line ends with a newline.
QString wrap(const QStringList &units, int width, const QString &first, const QString &indent);

} // namespace SimProtocolRegistry
