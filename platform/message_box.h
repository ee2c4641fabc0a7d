// Stand-in for the Windows message box: the console has no dialog windows,
// so a message box writes its caption and text to standard error.
#pragma once

using HWND = void*;
using UINT = unsigned int;

constexpr UINT MB_OK = 0x00000000u;
constexpr int IDOK = 1;

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
