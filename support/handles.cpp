// The resource owners are header-only; this unit checks that they compile for every platform.
#include "support/handles.h"
