// Implementation pending.
#include "LinkTransport.h"
