// What the parts of the thumbnail handler DLL share: its class, its module and its lifetime count.
#pragma once

#include <windows.h>

namespace sheetpeek::thumbnail {

// {39D7CC0F-71EC-4745-8B8E-B04DF614D98B}
inline constexpr CLSID kClsidThumbnailProvider = {
    0x39d7cc0f, 0x71ec, 0x4745, {0x8b, 0x8e, 0xb0, 0x4d, 0xf6, 0x14, 0xd9, 0x8b}};
inline constexpr wchar_t kClsidText[] = L"{39D7CC0F-71EC-4745-8B8E-B04DF614D98B}";

// IThumbnailProvider, which the import libraries lack; also the shell's key for thumbnail
// handlers under a type's ShellEx.
inline constexpr IID kIidThumbnailProvider = {
    0xe357fccd, 0xa995, 0x4576, {0xb0, 0x1f, 0x23, 0x46, 0x30, 0x15, 0x4e, 0x96}};
inline constexpr wchar_t kIidThumbnailProviderText[] = L"{E357FCCD-A995-4576-B01F-234630154E96}";

// This DLL, as its entry point was told.
HMODULE ModuleHandle();

// Objects and server locks alive; the DLL may unload only at zero.
void AddModuleRef();
void ReleaseModuleRef();
bool ModuleInUse();

// A new handler object asked for `riid`; E_OUTOFMEMORY and the like, never an exception.
HRESULT CreateThumbnailProvider(REFIID riid, void** object);

}  // namespace sheetpeek::thumbnail
