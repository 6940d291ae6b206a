// UTF-8 and UTF-16 at the edge of the Windows viewer: the core speaks UTF-8 (file names) and
// code page 932 (drawing texts), the window's W functions speak UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace sheetpeek {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace sheetpeek
