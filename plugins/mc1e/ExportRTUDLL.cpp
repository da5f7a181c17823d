// The plug-in's one exported symbol: every call gives the host a new, independent
// driver object, which the host owns.
#include "LibMarrowin.h"

extern "C" Q_DECL_EXPORT CDriveBaseClass *getSharedLibrary()
{
    return new LibMarrowin();
}
