// Address texts of one plug-in (chosen at build time), with a data type code and
// a count: the plug-in's pure address parser, its byte/word/plan arithmetic, and
// then the whole ReadVariable / WriteVariable path of a driver whose link was
// never connected, so every refusal rule runs as the host would reach it.
// Input: text decoding, type code, count (selector + 4 bytes), seed, then text.
#include "FuzzSupport.h"

#include <climits>

#if defined(FUZZ_KELVARO)
#include "LibMitsubishi_FX_serial.h"
using Driver = LibMitsubishi_FX_serial;
#elif defined(FUZZ_LUNETTA)
#include "LibMitsubishi_FX_links.h"
using Driver = LibMitsubishi_FX_links;
#elif defined(FUZZ_MARROWIN)
#include "LibMarrowin.h"
using Driver = LibMarrowin;
#elif defined(FUZZ_NORVESSA)
#include "LibNorvessa.h"
using Driver = LibNorvessa;
#else
#error "FUZZ_<plug-in> not defined"
#endif

namespace {

Driver *driver()
{
    static Driver *d = new Driver;
    return d;
}

void pureParsers(const QString &text, int type, int count)
{
#if defined(FUZZ_KELVARO)
    FxDevice dev;
    const int st = Driver::parseAddress(text, &dev);
    FUZZ_CHECK(st == 0 || st == 3 || st == 5);
    if (st == 0) {
        FUZZ_CHECK(dev.firstByte >= 0 && dev.firstByte < dev.blockEndByte);
        FUZZ_CHECK(dev.bitOffset >= 0 && dev.bitOffset < 8);
    }
    FUZZ_CHECK(Driver::byteLength(type, count) >= 0);
    driver()->getArea(text);
    driver()->getAddr(text);
#elif defined(FUZZ_LUNETTA)
    const FxLinkDevice dev = Driver::parseAddress(text);
    FUZZ_CHECK(dev.status == 0 || dev.status == 3 || dev.status == 5);
    if (dev.status == 0) {
        FUZZ_CHECK(dev.number >= 0 && dev.number <= dev.area->maxNumber);
        FUZZ_CHECK(Driver::deviceNumberText(*dev.area, dev.number).size() + qstrlen(dev.area->name) == 5);
    }
    FUZZ_CHECK(Driver::wordsFor(type, count) >= 0);
    Driver::getAddr(text);
    Driver::getArea(text);
#else
    const McDeviceTable &table = Driver::devices();
    const McAddress a = McAddressing::parse(text, table);
    FUZZ_CHECK(a.status == 0 || a.status == 3 || a.status == 5);
    if (a.status == 0) {
        FUZZ_CHECK(a.headDevice >= 0 && a.headDevice <= McMaxDeviceNumber);
        FUZZ_CHECK(a.bitIndex >= -1 && a.bitIndex <= McMaxBitIndex);
        const McDeviceArea *area = table.byCode(a.deviceCode);
        FUZZ_CHECK(area != nullptr);
        const McTransferPlan r = CMcDriverBase::planRead(*area, a.headDevice, a.bitIndex, type, count);
        const McTransferPlan w = CMcDriverBase::planWrite(*area, a.headDevice, a.bitIndex, type, count);
        for (const McTransferPlan &p : {r, w}) {
            if (p.status == 0) {
                FUZZ_CHECK(p.points > 0 && p.byteLength >= 0 && p.elements > 0);
                FUZZ_CHECK(p.byteLength <= CDriverShell::MaxTransferBytes);
            }
        }
    }
    McAddressing::bitIndex(text);
    driver()->getArea(text);
    driver()->getAddr(text, McAddressing::areaCode(text, table));
    driver()->getbit(text);
#endif
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::initialise();
    driver();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const uint8_t mode = in.byte();
    const uint8_t typeByte = in.byte();
    // Mostly the codes the interface knows, sometimes anything at all.
    const int type = typeByte < 240 ? typeByte % 42 : int(int8_t(typeByte)) * 1000;
    const int count = fuzz::countOf(in);
    const uint8_t seed = in.byte();
    const QString text = fuzz::textOf(in.rest(), mode);

    pureParsers(text, type, count);

    // The link was never connected: nothing may succeed, whatever the input.
    const CLabelVariable r = driver()->ReadVariable(text, DataType(type), count);
    FUZZ_CHECK(r.status != 0);
    CLabelVariable value = fuzz::labelOf(type, count, seed);
    const CLabelVariable w = driver()->WriteVariable(text, DataType(type), value, count);
    FUZZ_CHECK(w.status != 0);
    return 0;
}
