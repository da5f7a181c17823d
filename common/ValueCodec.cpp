// Implementation pending.
#include "ValueCodec.h"
