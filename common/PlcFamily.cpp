#include "PlcFamily.h"

#include "DriverProfile.h"

bool applyPlcFamily(const QString &value, int takenFamilies, DriverProfile *p)
{
    PlcFamily family;
    if (value == QLatin1String("q"))
        family = PlcFamily::Q;
    else if (value == QLatin1String("fx3u"))
        family = PlcFamily::Fx3u;
    else
        return false;
    if (!(takenFamilies & PlcFamilyBit(family)))
        return false;
    p->plc = family;
    // FX PLCs number X and Y in octal, also behind their Ethernet interfaces.
    p->octalXY = family == PlcFamily::Fx3u;
    return true;
}
