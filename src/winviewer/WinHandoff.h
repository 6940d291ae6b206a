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
// Menu command identifiers, clear of the dialog keys' IDOK and IDCANCEL, which Enter in a
// field and Esc send through IsDialogMessage.
constexpr int kCommandOpen = 40001;
constexpr int kCommandEnd = 40002;
// The keys' and the right-click menu's commands: a folder step is kCommandStep plus its
// FolderStep, then the copy.
constexpr int kCommandStep = 40003;
constexpr int kCommandCopy = 40007;
// The picture control's double click.
constexpr int kCommandZoom = 40008;
// The right-click menu's register of the shown drawing's folder.
constexpr int kCommandRegister = 40009;
// How long a later start keeps trying to reach the window, in milliseconds.
constexpr unsigned kHandoffRetryMs = 3000;

}  // namespace sheetpeek
