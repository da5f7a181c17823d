// The plug-in's only exported symbol: every call hands the host a new, independent
// driver object, which the host owns.
#include "LibMitsubishi_FX_links.h"

extern "C" Q_DECL_EXPORT CDriveBaseClass *getSharedLibrary()
{
    return new LibMitsubishi_FX_links();
}
