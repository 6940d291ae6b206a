// A drawing's header as `label: value` lines in UTF-8, with the window's labels: what the
// command line prints and what the viewer copies, so that both always read the same.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "Orvicheader.h"

namespace sheetpeek {

// The header's texts that every listing shows one after another, in this order: the window's
// label (UTF-8), the key of the JSON object and of the CSV column, and the text itself.
struct HeaderTextField {
  const char* label;
  const char* key;
  // The text, code page 932 bytes: seen in the header, or made in `scratch`.
  std::string_view (*text)(const COrvicHeader& header, std::string& scratch);
};
extern const std::array<HeaderTextField, 6> kHeaderTextFields;

// One line per shown value, ending in a line end; items only when they have a label or a text.
// Control characters in names and texts are written as visible escapes (AppendVisible), so
// that every value keeps to its one line.
std::string DrawingInfoText(const COrvicHeader& header);

// Why a file did not open, as a short text in UTF-8.
std::string OpenErrorText(const OpenError& error);

// Why an opened file's header did not read completely: it broke off, or none was there.
std::string ReadFailureText(const COrvicHeader& header);

// Appends `utf8` with each control character (U+0000 to U+001F, U+007F, U+0080 to U+009F)
// written as "\x" and its code point in two lower-case hex digits ("\x1b", "\x85"), so that
// text from a drawing or a file name can neither start a line nor steer a terminal. Nothing else
// changes, a backslash included. `utf8` must be valid UTF-8 (a C1 character is C2 80 to C2 9F).
void AppendVisible(std::string& out, std::string_view utf8);
std::string VisibleText(std::string_view utf8);

}  // namespace sheetpeek
