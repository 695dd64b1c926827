#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoded_request.h"
#include "mail/simple_mapi_message.h"

namespace zobrik {
namespace {

using sdk::MailRequestWriter;
using sdk::RecipientGroup;

using Decoded = testing::DecodedRequest;
using testing::Decode;

std::u16string Str(const char16_t* s) { return s ? std::u16string(s) : u"<null>"; }

TEST(SimpleMapiMessage, OptionsFollowTheFlags) {
    EXPECT_EQ(SimpleMapiOptions(0), 8u);
    EXPECT_EQ(SimpleMapiOptions(1), 8u);
    EXPECT_EQ(SimpleMapiOptions(2), 12u);
    EXPECT_EQ(SimpleMapiOptions(3), 12u);
    EXPECT_EQ(SimpleMapiOptions(4), 9u);
    EXPECT_EQ(SimpleMapiOptions(5), 8u);
    EXPECT_EQ(SimpleMapiOptions(6), 12u);
    EXPECT_EQ(SimpleMapiOptions(7), 12u);
}

TEST(SimpleMapiMessage, SenderGroupWinsOverFromGroupAsOriginator) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "From", "from@example.com")
        .AddRecipient(RecipientGroup::Sender, "Sender", "sender@example.com")
        .AddRecipient(RecipientGroup::To, "To", "to@example.com");
    Decoded d = Decode(writer);
    SimpleMapiMessage m(d.request);
    ASSERT_NE(m.Message()->lpOriginator, nullptr);
    EXPECT_EQ(m.Message()->lpOriginator, &m.Recipients()[1]);
    EXPECT_EQ(Str(m.Message()->lpOriginator->lpszName), u"sender@example.com");
    EXPECT_EQ(m.Message()->lpRecips, &m.Recipients()[2]);
    EXPECT_EQ(m.Message()->nRecipCount, 1u);
}

TEST(SimpleMapiMessage, SenderAfterSeveralFromEntriesIsTheOriginator) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "", "a@x")
        .AddRecipient(RecipientGroup::From, "", "b@x")
        .AddRecipient(RecipientGroup::Sender, "", "s@x")
        .AddRecipient(RecipientGroup::To, "", "t@x");
    Decoded d = Decode(writer);
    SimpleMapiMessage m(d.request);
    EXPECT_EQ(m.Message()->lpOriginator, &m.Recipients()[2]);
    EXPECT_EQ(Str(m.Message()->lpOriginator->lpszName), u"s@x");
}

TEST(SimpleMapiMessage, FromGroupAloneIsTheOriginatorAndNoneGivesNull) {
    MailRequestWriter withFrom;
    withFrom.AddRecipient(RecipientGroup::From, "A", "a@x")
        .AddRecipient(RecipientGroup::From, "B", "b@x")
        .AddRecipient(RecipientGroup::To, "", "to@x");
    Decoded d = Decode(withFrom);
    SimpleMapiMessage m(d.request);
    EXPECT_EQ(m.Message()->lpOriginator, &m.Recipients()[0]);
    ASSERT_EQ(m.Recipients().size(), 3u);
    EXPECT_EQ(m.Recipients()[0].ulRecipClass, MAPI_ORIG);
    EXPECT_EQ(m.Recipients()[1].ulRecipClass, MAPI_ORIG);
    EXPECT_EQ(m.Message()->lpRecips, &m.Recipients()[2]);
    EXPECT_EQ(m.Message()->nRecipCount, 1u);

    MailRequestWriter noOriginator;
    noOriginator.AddRecipient(RecipientGroup::To, "", "to@x");
    Decoded d2 = Decode(noOriginator);
    SimpleMapiMessage m2(d2.request);
    EXPECT_EQ(m2.Message()->lpOriginator, nullptr);
}

TEST(SimpleMapiMessage, RecipientsCarryClassBareNameAndSmtpAddress) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "Ann", "ann@x")
        .AddRecipient(RecipientGroup::To, "", "bob@x")
        .AddRecipient(RecipientGroup::Cc, "Cy", "cy@x")
        .AddRecipient(RecipientGroup::Bcc, "Di", "di@x");
    Decoded d = Decode(writer);
    SimpleMapiMessage m(d.request);
    const auto& r = m.Recipients();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].ulRecipClass, MAPI_TO);
    EXPECT_EQ(r[1].ulRecipClass, MAPI_TO);
    EXPECT_EQ(r[2].ulRecipClass, MAPI_CC);
    EXPECT_EQ(r[3].ulRecipClass, MAPI_BCC);
    EXPECT_EQ(Str(r[0].lpszName), u"ann@x") << "the display name is not passed";
    EXPECT_EQ(Str(r[0].lpszAddress), u"SMTP:ann@x");
    for (const auto& recipient : r) {
        EXPECT_EQ(recipient.ulReserved, 0u);
        EXPECT_EQ(recipient.ulEIDSize, 0u);
        EXPECT_EQ(recipient.lpEntryID, nullptr);
    }
    EXPECT_EQ(m.Message()->nRecipCount, 4u);
}

TEST(SimpleMapiMessage, WithoutPrimaryTheFirstCopyRecipientStartsTheList) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "", "me@x").AddRecipient(RecipientGroup::Cc, "", "cc@x");
    Decoded d = Decode(writer);
    SimpleMapiMessage m(d.request);
    EXPECT_EQ(m.Message()->lpRecips, &m.Recipients()[1]);
    EXPECT_EQ(m.Message()->lpRecips->ulRecipClass, MAPI_CC);
    EXPECT_EQ(m.Message()->nRecipCount, 1u);
}

// A mail without any primary, copy or blind-copy recipient (a program's
// MAPISendDocuments, Explorer's "Send to") goes to the compose window, where
// the user fills in the To line: no recipient list at all, the originator as
// with recipients, and always a dialog.
TEST(SimpleMapiMessage, WithoutRecipientsTheComposeWindowGetsAnEmptyList) {
    const struct {
        const char* what;
        std::vector<RecipientGroup> groups;
        int originator;  // index into Recipients(), -1: none
    } cases[] = {
        {"nothing at all", {}, -1},
        {"one from", {RecipientGroup::From}, 0},
        {"one sender", {RecipientGroup::Sender}, 0},
        {"two from and a sender", {RecipientGroup::From, RecipientGroup::From, RecipientGroup::Sender}, 2},
    };
    for (const auto& c : cases) {
        for (uint32_t flags : {0u, 1u, 2u, 4u, 7u}) {
            MailRequestWriter writer;
            writer.Flags(flags).Subject("S").Body("B").AddAttachment("a.txt", {'a'});
            for (RecipientGroup group : c.groups) writer.AddRecipient(group, "", "me@x");
            Decoded d = Decode(writer);
            SimpleMapiMessage m(d.request);
            const std::string what = std::string(c.what) + ", flags " + std::to_string(flags);
            EXPECT_EQ(m.Message()->nRecipCount, 0u) << what;
            EXPECT_EQ(m.Message()->lpRecips, nullptr) << what;
            EXPECT_EQ(m.Message()->lpOriginator, c.originator < 0 ? nullptr : &m.Recipients()[size_t(c.originator)])
                << what;
            EXPECT_EQ(m.Message()->nFileCount, 1u) << what;
            EXPECT_EQ(Str(m.Message()->lpszSubject), u"S") << what;
            EXPECT_NE(m.Options() & MAPI_DIALOG, 0u) << what << ": Simple MAPI needs a recipient without a dialog";
        }
    }
}

TEST(SimpleMapiMessage, FilesOfferTheStagedNameAndHaveNoPosition) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@x").AddAttachment("docs/offer.pdf", {1, 2, 3});
    Decoded d = Decode(writer);
    const char16_t staged[] = u"C:\\Temp\\Ema1.tmp\\1-1\\offer.pdf";
    d.request.attachments[0].stagedPath = staged;
    SimpleMapiMessage m(d.request);
    ASSERT_EQ(m.Files().size(), 1u);
    const MapiFileDescW& file = m.Files()[0];
    EXPECT_EQ(file.nPosition, 0xFFFFFFFFu);
    EXPECT_EQ(file.flFlags, 0u);
    EXPECT_EQ(file.lpFileType, nullptr);
    EXPECT_EQ(Str(file.lpszFileName), u"offer.pdf");
    EXPECT_EQ(Str(file.lpszPathName), staged);
    EXPECT_EQ(m.Message()->lpFiles, &m.Files()[0]);
    EXPECT_EQ(m.Message()->nFileCount, 1u);
}

TEST(SimpleMapiMessage, NoAttachmentsGiveNoFileList) {
    MailRequestWriter writer;
    writer.Subject("S").Body("<b>B</b>").Flags(1).AddRecipient(RecipientGroup::To, "", "to@x");
    Decoded d = Decode(writer);
    SimpleMapiMessage m(d.request);
    EXPECT_EQ(m.Message()->lpFiles, nullptr);
    EXPECT_EQ(m.Message()->nFileCount, 0u);
    EXPECT_EQ(Str(m.Message()->lpszSubject), u"S");
    EXPECT_EQ(Str(m.Message()->lpszNoteText), u"<b>B</b>") << "an HTML body is still the note text";
    EXPECT_EQ(m.Message()->lpszMessageType, nullptr);
    EXPECT_EQ(m.Message()->lpszDateReceived, nullptr);
    EXPECT_EQ(m.Message()->lpszConversationID, nullptr);
    EXPECT_EQ(m.Message()->flFlags, 0u);
    EXPECT_EQ(m.Options(), 8u);
}

TEST(SimpleMapiMessage, OfferedFileNamesAreCleanAndHeldByTheMessage) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@x")
        .AddAttachment("gone", {0})
        .AddAttachment(
            "plain\xEF\xBC\x8F"
            "name.txt",
            {0});  // U+FF0F, a look-alike of '/'
    for (int i = 0; i < 40; ++i) {
        writer.AddAttachment(
            "dir/in\xE2\x80\xAE"
            "fdp.exe\x07" +
                std::to_string(i),
            {uint8_t(i)});  // U+202E, BEL
    }
    Decoded d = Decode(writer);
    d.request.attachments[0].fileName = nullptr;
    SimpleMapiMessage m(d.request);
    // The request's text is overwritten: the offered names do not point into it.
    for (size_t i = 1; i < d.request.attachments.size(); ++i) {
        auto* text = const_cast<char16_t*>(d.request.attachments[i].fileName);
        std::fill(text, text + std::char_traits<char16_t>::length(text), u'#');
    }
    ASSERT_EQ(m.Files().size(), 42u);
    EXPECT_EQ(m.Files()[0].lpszFileName, nullptr) << "no name stays no name";
    EXPECT_EQ(Str(m.Files()[1].lpszFileName), u"plain_name.txt");
    for (int i = 0; i < 40; ++i) {
        std::string expected = "infdp.exe" + std::to_string(i);
        EXPECT_EQ(Str(m.Message()->lpFiles[i + 2].lpszFileName), std::u16string(expected.begin(), expected.end()));
    }
}

}  // namespace
}  // namespace zobrik
