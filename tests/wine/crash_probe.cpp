// Misbehaving test programs for the check that runs every Windows test
// program: each case, selected with --gtest_filter, must fail that check.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(CrashProbe, Passes) { EXPECT_EQ(2 + 2, 4); }

// Wine keeps the lowest pages of a process mapped, so a write to address 0
// itself may go through; a write to a read-only page always faults.
TEST(CrashProbe, CrashesOnAnAccessViolation) {
    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
    ASSERT_NE(page, nullptr);
    *static_cast<volatile int*>(page) = 1;
}

// Ends the process with status 0 in the middle of the run, as a stray exit
// in code under test would.
TEST(CrashProbe, QuitsBeforeTheSummary) { ExitProcess(0); }

}  // namespace
