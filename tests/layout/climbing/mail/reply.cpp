// Fixture: platform-free code reaches a platform header through a project file.
#include "include/owners.h"
