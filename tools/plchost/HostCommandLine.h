#pragma once
// Command line of the host runner:
//
//   plchost --plugin PLUGIN [--connect TEXT] [--par TEXT] [--trace[=raw]]
//           [--repeat N [--interval MS]] OP [OP ...]
//
// Options may stand anywhere. Everything is checked here, before the plug-in is
// loaded, so that a typing error never reaches a PLC half way through a list of
// operations.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// Element type of the list a DataType code stores (the value container's
// storage classes); None for codes without one.
enum class ElementKind {
    None, Bool, Int8, UInt8, Int16, UInt16, Int32, UInt32, Float, Int64, UInt64, Double, String
};

ElementKind elementKindForCode(int dataTypeCode);

// "int16" -> 4, "Double" -> 11, "41" -> 41, "-1" -> -1. False for anything else.
bool parseTypeText(const QString &text, int *code);

// Parses comma separated VALUES into a QVariant holding QList<T> of the code's
// element type; *elementCount gets the number of values. Codes without an
// element type give an invalid QVariant (the text is counted but not parsed).
// False with *error set for a malformed or out-of-range element.
bool parseValueList(int dataTypeCode, const QString &text, QVariant *value,
                    int *elementCount, QString *error);

struct HostOperation {
    enum Kind { Info, Read, Write, Connect, Disconnect, Sleep };
    Kind kind = Info;
    QString address;       // read, write
    int typeCode = 0;      // read, write
    bool hasCount = false; // read, write: COUNT given
    int count = 0;         // read, write
    QVariant value;        // write: the parsed list
    int valueCount = 0;    // write: number of values in VALUES
    QString text;          // connect
    int milliseconds = 0;  // sleep
};

struct HostCommandLine {
    bool help = false;
    bool version = false;
    QString plugin;
    bool hasConnect = false;  // only info runs without it
    QString connectText;
    bool hasPar = false;
    QString par;
    bool trace = false;       // --trace or --trace=raw
    bool rawTrace = false;    // --trace=raw: the plug-in's lines as they are
    bool polling = false;     // --repeat given
    int repeat = 1;           // rounds; 0: until interrupted
    int intervalMs = 1000;    // from the start of one round to the next
    QList<HostOperation> operations;

    // True when some operation needs ConnectDrive first (all but info, sleep).
    bool needsConnection() const;
};

// `args` without the program name. False with *error set on a usage error.
bool parseHostCommandLine(const QStringList &args, HostCommandLine *out, QString *error);

QString hostUsageText();
