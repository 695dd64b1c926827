// Stand-ins for the plug-in DLL's Run export that misbehave, to show that
// the message box test fails on them:
//   ZOBRIK_FAKE_NO_BOX     returns at once without a window, as Run does
//                          when MessageBoxW fails without a display;
//   ZOBRIK_FAKE_WRONG_TEXT shows the box with the right caption and a text
//                          that differs only in the letter u for U+00FC.
#include <windows.h>

extern "C" __declspec(dllexport) int CALLBACK Run(HWND, HINSTANCE, LPSTR, int) {
#if defined(ZOBRIK_FAKE_WRONG_TEXT)
    MessageBoxW(nullptr, L"Outlook nicht verfugbar", L"Zobrik WTS Plugin", MB_OK);
#elif !defined(ZOBRIK_FAKE_NO_BOX)
#error "define ZOBRIK_FAKE_NO_BOX or ZOBRIK_FAKE_WRONG_TEXT"
#endif
    return 0;
}
