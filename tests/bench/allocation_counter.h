// Counts every C++ allocation of the program it is linked into (it replaces
// the global operator new and delete), so that a benchmark can measure the
// peak memory of the parts linked into it exactly.
#pragma once

#include <cstddef>

namespace zobrik::bench {

size_t LiveBytes() noexcept;
size_t PeakBytes() noexcept;
// Makes the current live size the peak.
void ResetPeak() noexcept;

}  // namespace zobrik::bench
