// SPDX-License-Identifier: GPL-3.0-or-later
// A library that does nothing but say that it was loaded: when a process maps it, it appends a
// line naming the process to "<its own path>.loaded". run-wine-dll-search.sh copies it under the
// names of libraries the programs import or Windows loads for them at run time, beside the program
// and into the current folder; a marker file then means that a library was taken from a folder
// that anyone who can drop a file there controls.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t marker[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(self, marker, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcatW(marker, L".loaded");
    const HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return TRUE;
    wchar_t host[MAX_PATH];
    const DWORD hostLength = GetModuleFileNameW(nullptr, host, MAX_PATH);
    char line[3 * MAX_PATH + 2];
    int n =
        WideCharToMultiByte(CP_UTF8, 0, host, static_cast<int>(hostLength), line, sizeof line - 2, nullptr, nullptr);
    line[n++] = '\n';
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(file);
    // Loading goes on as for the library it stands in for: the process must not notice.
    return TRUE;
}
