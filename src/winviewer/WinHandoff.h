// What the Windows viewer, its later starts and its test program agree on.
#pragma once

#include <cstddef>

#include "WindowLayout.h"

namespace sheetpeek {

// The WM_COPYDATA tag of a hand-off block ('Spk1').
constexpr unsigned long kHandoffCopyDataTag = 0x53706B31;
// Control identifiers: the layout table's index plus this base.
constexpr int kControlIdBase = 100;
constexpr int ControlIdOf(ControlId id) {
  return kControlIdBase + static_cast<int>(IndexOf(id));
}
// Menu command identifiers.
constexpr int kCommandOpen = 1;
constexpr int kCommandEnd = 2;
// The keys' and the right-click menu's commands: a folder step is kCommandStep plus its
// FolderStep (3 to 6), then the copy.
constexpr int kCommandStep = 3;
constexpr int kCommandCopy = 7;
// The picture control's double click.
constexpr int kCommandZoom = 8;
// How long a later start keeps trying to reach the window, in milliseconds.
constexpr unsigned kHandoffRetryMs = 3000;

}  // namespace sheetpeek
