// Connection texts: the parsing behind every plug-in's ConnectDrive (the
// shared driver shell) and the SetConnectPar profile text, fed any text. It
// opens nothing, so fuzzing it sends no traffic anywhere.
#include "DriverProfile.h"
#include "DriverShell.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz::initialise(); return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const uint8_t mode = in.byte();
    const QString text = fuzz::textOf(in.rest(), mode);
    const ConnectText c = CDriverShell::parseConnectText(text);
    switch (c.form) {
    case ConnectText::Serial:
        FUZZ_CHECK(text.contains(QLatin1Char(',')));
        if (c.complete)
            FUZZ_CHECK(!c.portName.isEmpty() && c.baudRate != 0 && c.dataBits != 0 && c.stopBits != 0);
        break;
    case ConnectText::Tcp:
        FUZZ_CHECK(!text.contains(QLatin1Char(',')));
        if (c.complete)
            FUZZ_CHECK(!c.hostAddress.isEmpty() && c.tcpPort != 0);
        break;
    case ConnectText::Neither:
        FUZZ_CHECK(!c.complete);
        break;
    }
    // Whatever the text, the read limit stays within the keys' range.
    const ProfileKeys keys = {true, 64, 256};
    DriverProfile profile = DriverProfile::defaults(keys);
    applyProfileText(text, keys, &profile);
    FUZZ_CHECK(profile.readWords >= 1 && profile.readWords <= keys.readWordsMax);
    return 0;
}
