#pragma once
// What an FX3U-class PLC holds, as its 1E Ethernet interfaces reach it: the
// device ranges, word-unit heads of bit devices at multiples of 16 (X/Y in
// octal: X0, X20, X40 ...) and the 32-bit counters C200-C255 (4 bytes a
// point, at most 32 a request, never in one request with C0-C199). Checked
// before anything is sent, so a request the PLC would refuse never goes out.

#include "McAddress.h"
#include "TransferPlan.h"

namespace Fx3uDevices {

constexpr int FirstCounter32 = 200;
constexpr int MaxCounters32 = 32;

// The target of `number` (and bit index, -1 none) of `area` on an FX3U: as
// CMcDriverBase::targetOf, with status 3 for a device the FX3U has not, 5 for
// a number outside its ranges; a bit device's head at the multiple of 16 at
// or below the addressed point, the area's end at the end of its range.
TransferTarget target(const McDeviceArea &area, int number, int bitIndex);

// Whether the area and number name a 32-bit counter (CN200 and up).
bool isCounter32(const McDeviceArea &area, int number);

} // namespace Fx3uDevices
