// Fixture: platform-free code calls Windows and reaches into its layer.
#include <windows.h>

#include "mail/win/staging.h"
