// A drawing's header as `label: value` lines in UTF-8, with the window's labels: what the
// command line prints and what the viewer copies, so that both always read the same.
#pragma once

#include <string>

#include "Orvicheader.h"

namespace sheetpeek {

// One line per shown value, ending in a line end; items only when they have a label or a text.
std::string DrawingInfoText(const COrvicHeader& header);

}  // namespace sheetpeek
