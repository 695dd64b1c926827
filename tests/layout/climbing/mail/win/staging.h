// Fixture: the Windows layer reaches into the POSIX layer.
#pragma once
#include "mail/posix/files.h"
