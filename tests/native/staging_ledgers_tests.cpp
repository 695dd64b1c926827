#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "include/request_limits.h"
#include "mail/staging_ledgers.h"
#include "mail/staging_rules.h"

namespace zobrik {
namespace {

constexpr uint64_t kMiB = uint64_t(1) << 20;
constexpr uint64_t kVolume = uint64_t(2) << 30;  // 2 GiB: a reserve of 204.8 MiB

std::vector<MailAttachment> Attachments(std::initializer_list<uint64_t> sizes) {
    std::vector<MailAttachment> attachments(sizes.size());
    size_t i = 0;
    for (uint64_t size : sizes) attachments[i++].size = size;
    return attachments;
}

std::string RaisedText(const std::function<void()>& action) {
    try {
        action();
    } catch (const char* text) {
        return text;
    }
    return "";
}

// The free space as a volume reports it: what is written shows, what is
// only reserved does not.
struct FakeVolume {
    uint64_t freeBytes;
    VolumeSpace operator()() const { return {freeBytes, kVolume}; }
};

// Four workers decide on the same free-space reading, as the mail workers
// did: room for one 100 MiB request above the reserve lets only one write.
TEST(DiskReservations, WorkersAtOnceCannotPassTheReserveTogether) {
    DiskReservations ledger;
    const FakeVolume volume{DiskReserve(kVolume) + 150 * kMiB};
    int admitted = 0;
    for (int worker = 0; worker < 4; ++worker) admitted += ledger.TryReserve(100 * kMiB, volume) ? 1 : 0;
    EXPECT_EQ(admitted, 1);
    EXPECT_EQ(ledger.Reserved(), 100 * kMiB);
}

TEST(DiskReservations, BytesComeBackWhenWrittenOrGivenUp) {
    struct Case {
        const char* name;
        uint64_t firstWrites;  // of the first request's 100 MiB, written and shown in the free space
        bool firstEnds;        // its reservation given back entirely
        bool secondFits;
    };
    const Case cases[] = {
        {"nothing written, still reserved", 0, false, false},
        {"half written: its rest still counts", 50 * kMiB, false, false},
        {"all written and shown in the free space", 100 * kMiB, false, false},
        {"failed before writing, all given back", 0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeVolume volume{DiskReserve(kVolume) + 180 * kMiB};
        DiskReservation first = ReserveStagingSpace(100 * kMiB, volume);
        volume.freeBytes -= c.firstWrites;
        first.GiveBackPart(c.firstWrites);
        if (c.firstEnds) first.GiveBack();
        EXPECT_EQ(StagingDiskReservations().Reserved(), first.Held());
        const bool fits = StagingDiskReservations().TryReserve(100 * kMiB, volume);
        EXPECT_EQ(fits, c.secondFits);
        if (fits) StagingDiskReservations().Release(100 * kMiB);
    }
    EXPECT_EQ(StagingDiskReservations().Reserved(), 0u);
}

TEST(DiskReservations, RefusalAndUnreadableSpaceRaiseTheirTexts) {
    EXPECT_EQ(RaisedText([] { ReserveStagingSpace(kMiB, FakeVolume{DiskReserve(kVolume)}); }),
              "not enough free disk space for the attachments");
    EXPECT_EQ(RaisedText([] {
                  ReserveStagingSpace(kMiB,
                                      []() -> VolumeSpace { RaiseMailError("unable to read the free disk space"); });
              }),
              "unable to read the free disk space");
    EXPECT_EQ(StagingDiskReservations().Reserved(), 0u);
}

TEST(DiskReservations, ConcurrentWorkersNeverReserveMoreThanTheRoom) {
    DiskReservations ledger;
    const FakeVolume volume{DiskReserve(kVolume) + 10 * kMiB};
    std::atomic<int> admitted{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 100; ++i) admitted += ledger.TryReserve(kMiB, volume) ? 1 : 0;
        });
    }
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(admitted.load(), 10);
}

// 18 mails of 100 MiB each kept for their compose windows: the first five
// fit the byte cap, the rest are refused; removing a kept area makes room.
TEST(KeptAreaAllowance, ManyLargeKeptMailsStopAtTheByteCap) {
    KeptAreaAllowance allowance(kMaxKeptStagingBytes, kMaxKeptStagingAreas);
    int kept = 0;
    for (int mail = 0; mail < 18; ++mail) kept += allowance.TryReserve(100 * kMiB) ? 1 : 0;
    EXPECT_EQ(kept, 5);
    EXPECT_LE(allowance.Bytes(), kMaxKeptStagingBytes);
    allowance.Release(100 * kMiB);
    EXPECT_TRUE(allowance.TryReserve(100 * kMiB));
}

TEST(KeptAreaAllowance, ManySmallKeptMailsStopAtTheAreaCap) {
    KeptAreaAllowance allowance(kMaxKeptStagingBytes, kMaxKeptStagingAreas);
    for (uint32_t mail = 0; mail < kMaxKeptStagingAreas; ++mail) ASSERT_TRUE(allowance.TryReserve(1));
    EXPECT_FALSE(allowance.TryReserve(0));
    EXPECT_EQ(allowance.Areas(), kMaxKeptStagingAreas);
    allowance.Release(1);
    EXPECT_TRUE(allowance.TryReserve(1));
}

TEST(KeptAreaAllowance, ReservationsHeldByMailsAreGivenBackWithThem) {
    KeptAreaAllowance& shared = KeptStagingAllowance();
    {
        std::vector<ReservedArea<int>> kept;
        for (uint32_t mail = 0; mail < kMaxKeptStagingAreas; ++mail)
            kept.push_back({ReserveKeptArea(Attachments({kMiB, kMiB})), int(mail)});
        EXPECT_EQ(shared.Bytes(), uint64_t(kMaxKeptStagingAreas) * 2 * kMiB);
        EXPECT_EQ(RaisedText([] { ReserveKeptArea(Attachments({1})); }),
                  "too many attachments kept for open compose windows");
        EXPECT_EQ(RaisedText([] { ReserveKeptArea({}); }), "") << "a mail without attachments keeps nothing";
    }
    EXPECT_EQ(shared.Bytes(), 0u);
    EXPECT_EQ(shared.Areas(), 0u);
}

}  // namespace
}  // namespace zobrik
