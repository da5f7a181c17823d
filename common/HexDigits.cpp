// Implementation pending.
#include "HexDigits.h"
