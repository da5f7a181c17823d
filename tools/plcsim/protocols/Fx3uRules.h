#pragma once
// What an FX3U refuses, for the FX-facing protocols under --model fx3u: its
// device ranges and its 32-bit counters C200-C255 (never in one request with
// C0-C199, at most 32 a request). The protocol handler adds its own frame
// rules and answers with its own error code.

#include <QString>

namespace plcsim {
namespace fx3u {

// The rule an FX3U breaks with points first .. first + count - 1 of `area`
// (PlcMemory's area codes; bit devices counted in points), empty when it
// takes them.
QString deviceRule(char area, int first, int count);

// Whether the FX3U has the device at all.
bool hasDevice(char area);

// Whether `first` of `area` is one of the 32-bit counters.
bool isCounter32(char area, int first);

constexpr int MaxCounters32 = 32;

} // namespace fx3u
} // namespace plcsim
