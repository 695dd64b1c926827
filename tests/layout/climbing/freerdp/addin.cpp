// Fixture: the FreeRDP frame builds on the Windows frame.
#include "plugin/win/slot.h"
