// Describes the visible top-level windows with a given caption and their
// child controls, as UTF-8 lines on standard output, so that a shell script
// can check a message box shown by another process in the same Wine prefix:
//   window class=<class> owner=<0|1> children=<n>
//   child class=<class> id=<id> visible=<0|1> text=<text>
// usage: messagebox_probe.exe <caption>
// Exit code: 0 when at least one window was found, 1 otherwise, 2 on misuse.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// Writes the bytes unchanged (no console code page conversion).
void Print(const std::string& line) {
    std::string bytes = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TextOf(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied));
    return text;
}

struct Search {
    std::wstring caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (IsWindowVisible(window) && TextOf(window) == search->caption) {
        search->found.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 2) {
        Print("usage: messagebox_probe.exe <caption>");
        return 2;
    }
    Search search{argv[1], {}};
    LocalFree(argv);

    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.found) {
        std::vector<HWND> children;
        EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
        Print("window class=" + ToUtf8(ClassOf(window)) + " owner=" +
              (GetWindow(window, GW_OWNER) != nullptr ? "1" : "0") + " children=" + std::to_string(children.size()));
        for (HWND child : children) {
            Print("child class=" + ToUtf8(ClassOf(child)) + " id=" + std::to_string(GetDlgCtrlID(child)) +
                  " visible=" + (IsWindowVisible(child) ? "1" : "0") + " text=" + ToUtf8(TextOf(child)));
        }
    }
    return search.found.empty() ? 1 : 0;
}
