// The Windows operations the module uses. On Windows this is <windows.h> and <commdlg.h>; on
// other systems the platform supplies the same records and functions with the same contracts.
#pragma once

#if defined(_WIN32)

// Keep <windows.h> from defining min and max as macros and from pulling in rarely used parts;
// the common dialog declarations come from <commdlg.h> below.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commdlg.h>

#define QM_WIDE(text) L##text

#else

#include <cstdint>

#include "../PlatformExport.hpp"

using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using UINT = unsigned int;
using BOOL = int;
using HWND = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using LPARAM = std::intptr_t;
using LPVOID = void*;
using LPOFNHOOKPROC = std::uintptr_t (*)(HWND, UINT, std::uintptr_t, LPARAM);

#define QM_WIDE(text) u##text

constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD MAX_PATH = 260;

// The common dialog's request record, laid out as on 64-bit Windows (152 bytes).
struct OPENFILENAMEW {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPWSTR lpstrFile;
    DWORD nMaxFile;
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCWSTR lpTemplateName;
    void* pvReserved;
    DWORD dwReserved;
    DWORD FlagsEx;
};
static_assert(sizeof(OPENFILENAMEW) == 152);

// Asks the installed dialog provider for a file. Returns 1 when a file was chosen (its full path,
// NUL-terminated, in lpstrFile), 0 when the dialog was cancelled or could not be shown.
PLATFORM_API BOOL GetOpenFileNameW(OPENFILENAMEW* request);

// Answers one open-file request; returns what GetOpenFileNameW returns. The provider is given the
// request record itself and writes the path into its buffer.
using OpenFileDialogProvider = BOOL (*)(OPENFILENAMEW* request, void* userData);
// Installs `provider` (nullptr: every dialog is cancelled) and returns the previous one.
PLATFORM_API OpenFileDialogProvider QmSetOpenFileDialogProvider(OpenFileDialogProvider provider, void* userData);

// Registers a window message name; returns its number (0xC000 and up, equal for equal names).
PLATFORM_API UINT RegisterWindowMessageW(LPCWSTR name);

// Writes the file path of the module loaded at `module` (NUL-terminated, truncated to `size`
// units) and returns its length, or 0 when no module is loaded there.
PLATFORM_API DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

#endif
