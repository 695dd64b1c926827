// Fixture: the Windows frame.
#pragma once
