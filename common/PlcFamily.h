#pragma once
// The profile key plc=NAME: one word for the defaults of a controller family,
// so a host need not know which of the other keys its PLC wants. It sets those
// keys as a whole; keys after it in the same text override them one by one.
//   q      what the plug-ins do without the key (hexadecimal X/Y)
//   fx3u   FX3U-class interfaces: octal X/Y, the FX3U device ranges checked
//          before sending, word-unit heads of bit devices at multiples of 16,
//          C200-C255 as 32-bit counters (Marrowin only)

#include <QString>

struct DriverProfile;

enum class PlcFamily { Unset, Q, Fx3u };

// Which names a plug-in takes (bit mask of PlcFamilyBit values).
constexpr int PlcFamilyBit(PlcFamily f) { return 1 << int(f); }

// Applies a plc value to *profile; false (nothing changed) when the name is
// unknown or the plug-in does not take it.
bool applyPlcFamily(const QString &value, int takenFamilies, DriverProfile *profile);
