// What the parts of the shell handler DLL share: its classes, its module and its lifetime count.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace sheetpeek {
class COrvicHeader;
}

namespace sheetpeek::thumbnail {

// {39D7CC0F-71EC-4745-8B8E-B04DF614D98B}
inline constexpr CLSID kClsidThumbnailProvider = {
    0x39d7cc0f, 0x71ec, 0x4745, {0x8b, 0x8e, 0xb0, 0x4d, 0xf6, 0x14, 0xd9, 0x8b}};
inline constexpr wchar_t kClsidText[] = L"{39D7CC0F-71EC-4745-8B8E-B04DF614D98B}";
// {6A0D4F5B-2C71-4E0B-9A3E-58C1D2B7E904}
inline constexpr CLSID kClsidPreviewHandler = {
    0x6a0d4f5b, 0x2c71, 0x4e0b, {0x9a, 0x3e, 0x58, 0xc1, 0xd2, 0xb7, 0xe9, 0x04}};
inline constexpr wchar_t kClsidPreviewText[] = L"{6A0D4F5B-2C71-4E0B-9A3E-58C1D2B7E904}";
// {C4E1B07A-93D2-4F6C-8B15-2E7A0D9F3C61}
inline constexpr CLSID kClsidPropertyHandler = {
    0xc4e1b07a, 0x93d2, 0x4f6c, {0x8b, 0x15, 0x2e, 0x7a, 0x0d, 0x9f, 0x3c, 0x61}};
inline constexpr wchar_t kClsidPropertyText[] = L"{C4E1B07A-93D2-4F6C-8B15-2E7A0D9F3C61}";

// IThumbnailProvider, which the import libraries lack; also the shell's key for thumbnail
// handlers under a type's ShellEx.
inline constexpr IID kIidThumbnailProvider = {
    0xe357fccd, 0xa995, 0x4576, {0xb0, 0x1f, 0x23, 0x46, 0x30, 0x15, 0x4e, 0x96}};
inline constexpr wchar_t kIidThumbnailProviderText[] = L"{E357FCCD-A995-4576-B01F-234630154E96}";
// The shell's key for preview handlers under a type's ShellEx, and the preview host's AppID.
inline constexpr wchar_t kPreviewHandlerKeyText[] = L"{8895B1C6-B41F-4C1C-A562-0D564250836F}";
inline constexpr wchar_t kPreviewHostAppIdText[] = L"{6D2B5079-2F0B-48DD-AB7F-97CEC514D30B}";

// The format of the SheetPeeker.* properties, as in the schema (sheetpeeker.propdesc).
// {8F3A2C51-6E4D-4B7A-9C08-1D5E7F2A4B63}
inline constexpr GUID kFmtidSheetPeeker = {
    0x8f3a2c51, 0x6e4d, 0x4b7a, {0x9c, 0x08, 0x1d, 0x5e, 0x7f, 0x2a, 0x4b, 0x63}};

// This DLL, as its entry point was told.
HMODULE ModuleHandle();

// Objects and server locks alive; the DLL may unload only at zero.
void AddModuleRef();
void ReleaseModuleRef();
bool ModuleInUse();

// New handler objects asked for `riid`; E_OUTOFMEMORY and the like, never an exception.
HRESULT CreateThumbnailProvider(REFIID riid, void** object);
HRESULT CreatePreviewHandler(REFIID riid, void** object);
HRESULT CreatePropertyHandler(REFIID riid, void** object);

// The header of the drawing in `stream`, read to its end once, or a failing HRESULT: the file
// is no drawing, or its header did not read whole. Nothing of the stream is kept. Without
// `decodePreview` the preview is only checked, as for a listing.
HRESULT ReadDrawing(IStream* stream, std::unique_ptr<COrvicHeader>& header, bool decodePreview = true);

// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::wstring Widen(const std::string& utf8);

}  // namespace sheetpeek::thumbnail
