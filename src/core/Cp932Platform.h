// The host's code page 932 converter, behind one function so that each platform can use its own.
#pragma once

#include <string>
#include <string_view>

namespace sheetpeek {

// Appends the UTF-8 form of `cp932` to `out` and returns true when every byte of it converts;
// returns false, and leaves `out` as it was, when any sequence is invalid or cut.
bool ConvertCp932Strict(std::string_view cp932, std::string& out);

}  // namespace sheetpeek
