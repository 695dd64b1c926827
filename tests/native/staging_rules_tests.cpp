#include <iterator>
#include <memory>

#include <gtest/gtest.h>

#include "mail/staging_rules.h"

namespace zobrik {
namespace {

std::vector<MailAttachment> Attachments(std::initializer_list<uint64_t> sizes) {
    std::vector<MailAttachment> attachments;
    for (uint64_t size : sizes) {
        MailAttachment attachment;
        attachment.size = size;
        attachments.push_back(attachment);
    }
    return attachments;
}

TEST(StagingRules, AttachmentsMayAddUpToTheRequestLengthAndNotBeyond) {
    EXPECT_TRUE(AttachmentsFitTheRequest({}, 0));
    EXPECT_TRUE(AttachmentsFitTheRequest(Attachments({400, 600}), 1000));
    EXPECT_FALSE(AttachmentsFitTheRequest(Attachments({400, 601}), 1000));
    // A thousand records naming one shared range of a small request.
    std::vector<MailAttachment> shared = Attachments({});
    for (int i = 0; i < 1000; ++i) {
        shared.push_back(Attachments({1 << 20})[0]);
    }
    EXPECT_FALSE(AttachmentsFitTheRequest(shared, 1075646));
    EXPECT_FALSE(AttachmentsFitTheRequest(Attachments({0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}), 0xFFFFFFFF));
}

TEST(StagingRules, ReserveIsATenthOfTheVolumeUpToOneGiB) {
    EXPECT_EQ(DiskReserve(1 << 20), (1u << 20) / 10);
    EXPECT_EQ(DiskReserve(uint64_t(5) << 30), (uint64_t(5) << 30) / 10);
    EXPECT_EQ(DiskReserve(uint64_t(500) << 30), uint64_t(1) << 30);

    const uint64_t volume = 1000000, reserve = 100000;
    EXPECT_TRUE(LeavesDiskReserve(reserve + 500, volume, 500));
    EXPECT_FALSE(LeavesDiskReserve(reserve + 500, volume, 501));
    EXPECT_FALSE(LeavesDiskReserve(reserve - 1, volume, 0)) << "a volume already below the reserve";
    EXPECT_TRUE(LeavesDiskReserve(reserve, volume, 0));
}

TEST(StagingRules, RequestDirectoryNamesStartRandomCarryTheirOwnerAndAreRecognisedExactly) {
    const std::pair<uint32_t, uint64_t> made[] = {
        {0x1a2b, 0x0123456789abcdefull}, {0xFFFFFFFF, 0}, {0, 0xFFFFFFFFFFFFFFFFull}, {1, 0xfedcba9800000000ull}};
    const WideChar* names[] = {ZOBRIK_WIDE("0123456789abcdef-zr-00001a2b"), ZOBRIK_WIDE("0000000000000000-zr-ffffffff"),
                               ZOBRIK_WIDE("ffffffffffffffff-zr-00000000"),
                               ZOBRIK_WIDE("fedcba9800000000-zr-00000001")};
    for (size_t i = 0; i < std::size(made); ++i) {
        const WideString name = RequestDirectoryName(made[i].first, made[i].second);
        EXPECT_EQ(name, WideString(names[i]));
        EXPECT_EQ(RequestDirectoryOwner(name), std::optional<uint32_t>(made[i].first));
    }
    // The first six characters, all an 8.3 alias keeps of the name, are random.
    EXPECT_NE(RequestDirectoryName(7, 0x0000010000000000ull).substr(0, 6),
              RequestDirectoryName(7, 0x0000020000000000ull).substr(0, 6));
    EXPECT_EQ(RequestDirectoryName(7, 0x123456ull << 40).substr(0, 6), WideString(ZOBRIK_WIDE("123456")));

    // Folders of older versions, named "zr-<process>-<random>", still have their owner.
    EXPECT_EQ(RequestDirectoryOwner(ZOBRIK_WIDE("zr-00001a2b-0123456789abcdef")), std::optional<uint32_t>(0x1a2b));
    EXPECT_EQ(RequestDirectoryOwner(ZOBRIK_WIDE("zr-ffffffff-0000000000000000")), std::optional<uint32_t>(0xFFFFFFFF));

    // Anything else is never taken for one of ours.
    for (const WideChar* other : {
             ZOBRIK_WIDE("0123456789abcdef-zr-00001a2"),
             ZOBRIK_WIDE("0123456789abcdef-zr-00001a2b0"),
             ZOBRIK_WIDE("0123456789abcdeF-zr-00001a2b"),
             ZOBRIK_WIDE("0123456789abcdef-zr-00001A2B"),
             ZOBRIK_WIDE("0123456789abcdef-zx-00001a2b"),
             ZOBRIK_WIDE("0123456789abcdef_zr-00001a2b"),
             ZOBRIK_WIDE("0123456789abcdeg-zr-00001a2b"),
             ZOBRIK_WIDE("0123456789abcdef-zr-0000-a2b"),
             ZOBRIK_WIDE("zr-00001a2b-0123456789abcde"),
             ZOBRIK_WIDE("zr-00001a2b-0123456789abcdef0"),
             ZOBRIK_WIDE("zr-00001A2B-0123456789abcdef"),
             ZOBRIK_WIDE("zx-00001a2b-0123456789abcdef"),
             ZOBRIK_WIDE("zr-00001a2b_0123456789abcdef"),
             ZOBRIK_WIDE("zr-00001a2b-0123456789abcdeg"),
             ZOBRIK_WIDE("zr-0123456789abcdef-00001a2b"),
             ZOBRIK_WIDE("Documents"),
             ZOBRIK_WIDE(""),
         }) {
        EXPECT_FALSE(RequestDirectoryOwner(other)) << std::u16string(other).size();
    }
}

TEST(StagingRules, SharedDirectoryIsTheUsersAloneAndInheritsNothing) {
    const struct {
        const char16_t* sid;
        const char16_t* sddl;
    } cases[] = {
        {u"S-1-5-21-1-2-3-1001", u"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1001)"},
        {u"S-1-5-18", u"O:S-1-5-18D:P(A;OICI;FA;;;S-1-5-18)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OwnerOnlySecurityText(c.sid), WideString(c.sddl));
    }
}

TEST(StagingRules, KeptAreasLeaveWhenDueEarliestFirstOrAllAtOnce) {
    KeptStagingAreas<std::unique_ptr<int>> kept;
    EXPECT_FALSE(kept.NextDeadline());
    kept.Add(std::make_unique<int>(1), 300);
    kept.Add(std::make_unique<int>(2), 100);
    kept.Add(std::make_unique<int>(3), 200);
    EXPECT_EQ(kept.NextDeadline(), std::optional<uint64_t>(100));
    EXPECT_TRUE(kept.TakeDue(99).empty());
    auto due = kept.TakeDue(200);
    ASSERT_EQ(due.size(), 2u);
    EXPECT_EQ(*due[0] + *due[1], 5) << "the areas due at 100 and 200";
    EXPECT_EQ(kept.NextDeadline(), std::optional<uint64_t>(300));
    auto rest = kept.TakeAll();
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(*rest[0], 1);
    EXPECT_TRUE(kept.Empty());
}

}  // namespace
}  // namespace zobrik
