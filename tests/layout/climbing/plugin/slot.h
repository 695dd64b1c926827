// Fixture: a bare include of another folder.
#pragma once
#include "wide_text.h"
