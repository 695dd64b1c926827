// Fixture: the shared layer reaches up.
#pragma once
#include "mail/request.h"
