// Message boxes with the platform's names, flags and results.
//
// MessageBoxA hands the box to the process-wide presenter
// (IMessageBoxPresenter.h): a console one by default, a Qt one in processes
// with a display, a recording one in tests. It may be called on any thread;
// the presenter decides where the box appears.
#pragma once

#include <vector>

#include "platform/base/WinTypes.h"

// Button sets (the low four bits of the type).
inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_OKCANCEL = 0x00000001;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
inline constexpr UINT MB_YESNOCANCEL = 0x00000003;
inline constexpr UINT MB_YESNO = 0x00000004;
inline constexpr UINT MB_RETRYCANCEL = 0x00000005;
inline constexpr UINT MB_CANCELTRYCONTINUE = 0x00000006;
inline constexpr UINT MB_TYPEMASK = 0x0000000F;

// Icons.
inline constexpr UINT MB_ICONHAND = 0x00000010;
inline constexpr UINT MB_ICONERROR = MB_ICONHAND;
inline constexpr UINT MB_ICONSTOP = MB_ICONHAND;
inline constexpr UINT MB_ICONQUESTION = 0x00000020;
inline constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
inline constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr UINT MB_ICONASTERISK = 0x00000040;
inline constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr UINT MB_ICONMASK = 0x000000F0;

// Default button: the n-th button of the set (counted from 1).
inline constexpr UINT MB_DEFBUTTON1 = 0x00000000;
inline constexpr UINT MB_DEFBUTTON2 = 0x00000100;
inline constexpr UINT MB_DEFBUTTON3 = 0x00000200;
inline constexpr UINT MB_DEFBUTTON4 = 0x00000300;
inline constexpr UINT MB_DEFMASK = 0x00000F00;

// Modality and placement; kept for the presenters, which may ignore them.
inline constexpr UINT MB_APPLMODAL = 0x00000000;
inline constexpr UINT MB_SYSTEMMODAL = 0x00001000;
inline constexpr UINT MB_TASKMODAL = 0x00002000;
inline constexpr UINT MB_SETFOREGROUND = 0x00010000;
inline constexpr UINT MB_TOPMOST = 0x00040000;

// Results: the button the user chose.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int IDTRYAGAIN = 10;
inline constexpr int IDCONTINUE = 11;

// Shows a box and returns the chosen button's ID*. A null text shows as
// empty, a null caption as "Error" (as on the original platform). `owner` may
// be null; it is passed to the presenter unchanged. Returns 0 only when the
// presenter fails to show anything.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
inline constexpr auto& MessageBox = MessageBoxA;

// The buttons of the type's set, left to right (an unknown set counts as MB_OK).
std::vector<int> MessageBoxButtons(UINT type);
// The button a box of this type answers when the user just presses Enter:
// the MB_DEFBUTTONn-th of the set, or the first when the set is shorter.
int MessageBoxDefaultButton(UINT type);
// Whether `answer` is one of the type's buttons.
bool IsMessageBoxButton(UINT type, int answer);
// "OK", "Cancel", "Yes", ...; "?" for an unknown ID.
const char* MessageBoxButtonText(int id);
