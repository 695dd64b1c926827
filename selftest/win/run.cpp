// The self-test export: repeats the factory's start-up, connects to Outlook
// like the mail channel does and opens a prepared mail item in a modal
// Outlook window. For developers; it needs no Remote Desktop session.
#include <windows.h>

#include <cstdio>
#include <string>

#include "include/debug_output.h"
#include "include/win/com_errors.h"
#include "include/win/outlook_connection.h"
#include "include/win/simple_mapi_binding.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace zobrik {
namespace {

using namespace outlook;

// Fixed test data; the narrow texts go through the ANSI code page, so the
// subject's last byte (0xDF) arrives as the code page's letter for it.
constexpr char kPlainBody[] = "TeXt";
constexpr char kHtmlBody[] = "<html><body><b>H</b><i>T</i><u>M</u></body></html>";
constexpr char kSubject[] = "Selbsttest mit sch\xF6nem Gru\xDF";
constexpr char kOnBehalfOf[] = "Zobrik Selbsttest <selftest@zobrik.example>";
constexpr char kPrimaryRecipient[] = "recipient@zobrik.example";
constexpr char kCopyRecipient[] = "Copy Recipient<copy@zobrik.example>";
constexpr char kReplyTo[] = "Reply Person <reply@zobrik.example>";
// Installed beside the DLL by the MSI packages and shipped beside it in the
// archive.
constexpr wchar_t kAttachmentFileName[] = L"zobrik-selftest.jpg";
constexpr char kAttachmentName[] = "test.jpg";
constexpr wchar_t kNotAvailableText[] = L"Outlook nicht verf\u00fcgbar";
constexpr wchar_t kCaption[] = L"Zobrik WTS Plugin";

// The full path of this DLL, however long.
std::wstring ThisModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The self-test's image in the folder of this DLL.
std::wstring AttachmentSource() {
    std::wstring path = ThisModulePath();
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + kAttachmentFileName;
}

ComPtr<Recipient> AddRecipient(_MailItem* item, const char* text) {
    ComPtr<Recipients> recipients;
    Check(item->get_Recipients(recipients.Put()));
    ComPtr<Recipient> recipient;
    Check(Need(recipients)->Add(BstrFromAnsi(text).Get(), recipient.Put()));
    return recipient;
}

void BuildAndDisplay(_Application* application) {
    ComPtr<_MailItem> item;
    {
        ComPtr<IDispatch> created;
        Check(application->CreateItem(olMailItem, created.Put()));
        HRESULT result = Need(created)->QueryInterface(IID__MailItem, item.PutVoid());
        if (result != E_NOINTERFACE) {
            Check(result);
        }
    }
    Check(Need(item)->put_Body(BstrFromAnsi(kPlainBody).Get()));
    Check(item->put_HTMLBody(BstrFromAnsi(kHtmlBody).Get()));
    Check(item->put_Subject(BstrFromAnsi(kSubject).Get()));
    Check(item->put_SentOnBehalfOfName(BstrFromAnsi(kOnBehalfOf).Get()));

    ComPtr<Recipient> recipient = AddRecipient(item.Get(), kPrimaryRecipient);
    Check(Need(recipient)->put_Type(olTo));
    recipient = AddRecipient(item.Get(), kCopyRecipient);
    Check(Need(recipient)->put_Type(olCC));
    {
        ComPtr<Recipients> recipients;
        Check(item->get_Recipients(recipients.Put()));
        VARIANT_BOOL resolved = VARIANT_FALSE;
        Check(Need(recipients)->ResolveAll(&resolved));
    }
    {
        ComPtr<Recipients> replyRecipients;
        Check(item->get_ReplyRecipients(replyRecipients.Put()));
        ComPtr<Recipient> replyTo;
        Check(Need(replyRecipients)->Add(BstrFromAnsi(kReplyTo).Get(), replyTo.Put()));
    }
    {
        ComPtr<IDispatch> attachment;
        UniqueVariant source = VariantString(AttachmentSource().c_str());
        UniqueVariant type = VariantInt(olByValue);
        UniqueVariant position = VariantMissing();
        UniqueBstr name = BstrFromAnsi(kAttachmentName);
        UniqueVariant displayName = VariantString(name.Get());
        ComPtr<Attachments> attachments;
        Check(item->get_Attachments(attachments.Put()));
        Check(Need(attachments)->Add(source.Get(), type.Get(), position.Get(), displayName.Get(), attachment.Put()));
    }
    {
        ComPtr<_Inspector> inspector;
        Check(item->get_GetInspector(inspector.Put()));
        UniqueVariant modal = VariantBool(true);  // returns when the user closes the window
        Check(Need(inspector)->Display(modal.Get()));
    }
    // The recipient, then the item are released here; the caller releases
    // the application.
}

void RunSelfTest() {
    DebugOutput(L"VirtualChannelGetInstance\n");
    BindSimpleMapi();

    ComApartment apartment;
    ComPtr<_Application> application;
    if (ConnectToOutlook(application) != S_OK) {
        MessageBoxW(nullptr, kNotAvailableText, kCaption, MB_OK);
        return;
    }
    const HRESULT result = ComBoundary([&] {
        BuildAndDisplay(application.Get());
        return S_OK;
    });
    if (FAILED(result)) {
        wchar_t line[64];
        _snwprintf(line, std::size(line), L"self-test stopped: 0x%08lX", static_cast<unsigned long>(result));
        line[std::size(line) - 1] = L'\0';
        DebugEvent(line);
    }
}

}  // namespace
}  // namespace zobrik

// Called by rundll32 as Run(hwnd, instance, command line, show); none of the
// arguments is used.
extern "C" int CALLBACK Run(HWND, HINSTANCE, LPSTR, int) {
    zobrik::ComBoundary([] {
        zobrik::RunSelfTest();
        return S_OK;
    });
    return 0;
}
