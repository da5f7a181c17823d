// Entry point of the Kelvaro plug-in: the host resolves getSharedLibrary by
// name and owns every driver object it hands out.
#include "LibMitsubishi_FX_serial.h"

extern "C" Q_DECL_EXPORT CDriveBaseClass *getSharedLibrary()
{
    LibMitsubishi_FX_serial *driver = new LibMitsubishi_FX_serial;
    return static_cast<CDriveBaseClass *>(driver);
}
