#pragma once
// PLC profiles set through SetConnectPar: "key=value" pairs separated by ';'.
//   plc=q|fx3u     the defaults of a controller family (PlcFamily.h); keys after it win
//   xy=octal|hex   how X/Y numbers in address texts are read (plug-ins that take it)
//   read-words=N   the largest number of words one read request asks for
//   hold-back=off|on|FIRST-MAX   holding back a PLC that stopped answering:
//                  off, on (1000-10000), or the first and the longest period in ms
//   frame=3e|4e    MC frame (plug-ins that take it; default 3e)
//   code=binary|ascii   MC frame code (plug-ins that take frame=; default binary)
//   transport=tcp|udp   what the next connect to "host:port" opens (plug-ins that take it)
// Unknown keys and bad values change nothing; an empty text restores the defaults.

#include "LinkHoldBack.h"
#include "PlcFamily.h"

#include <QString>
#include <QStringList>

// The keys a plug-in takes, with their defaults and ranges.
struct ProfileKeys {
    bool xy = false;            // the xy key is taken (default hex)
    int readWordsDefault = 0;
    int readWordsMax = 0;       // 0: the read-words key is not taken
    bool transport = false;     // the transport key is taken (default tcp)
    bool mcFrames = false;      // the frame and code keys are taken
    int plcFamilies = 0;        // the plc names taken (PlcFamilyBit), 0: the key is not taken
};

struct DriverProfile {
    PlcFamily plc = PlcFamily::Unset;
    bool octalXY = false;
    int readWords = 0;
    HoldBackSettings holdBack;
    bool fourE = false;         // MC 4E frames instead of 3E
    bool ascii = false;         // MC frames in ASCII code
    bool udp = false;

    static DriverProfile defaults(const ProfileKeys &keys);
};

// Applies `text` to *profile and returns the pairs that changed nothing
// (unknown key, bad value), as they were written.
QStringList applyProfileText(const QString &text, const ProfileKeys &keys, DriverProfile *profile);

// Splits a SetConnectPar text into its "key=value" pairs (joined by ';') and
// the first field that is no pair (Lunetta's station number), or empty.
QString splitProfileText(const QString &text, QString *pairs);
