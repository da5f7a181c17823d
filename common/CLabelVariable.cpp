// Implementation pending.
#include "CLabelVariable.h"
