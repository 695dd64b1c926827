// Fixture: exec reaches into the frame.
#pragma once
#include "plugin/slot.h"
