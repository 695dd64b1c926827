// Fixture: a POSIX header, as it may be.
#pragma once
#include <unistd.h>
