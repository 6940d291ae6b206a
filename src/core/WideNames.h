// Windows hosts: names reach the core as UTF-8 and go to the wide API.
#pragma once

#include <string>

namespace sheetpeek {

// Strict UTF-8 to UTF-16; false for bytes that are not UTF-8, which name no file.
bool WidenUtf8(const std::string& utf8, std::wstring& out);

// A NUL-terminated UTF-16 name as UTF-8.
std::string NarrowToUtf8(const wchar_t* wide);

}  // namespace sheetpeek
