// Implementation pending.
#include "DriverShell.h"
