// Fixture: a platform header in a platform-free folder.
#pragma once
#include <unistd.h>
