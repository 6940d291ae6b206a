// The register (図面台帳) of a folder and its subfolders, from the window's menu or from
// `sheetpeek.exe --register FOLDER`: the save dialog, the work on a worker thread behind a small
// progress window with a cancel button, then the workbook opened by its program (ShellExecuteW).
#pragma once

#include <windows.h>

#include <string>

namespace sheetpeek {

enum class RegisterResult { Written, Cancelled, Failed };

// `folder` in UTF-8. `owner` (may be null) is disabled while the register is made. The save
// dialog is answered by SHEETPEEK_TEST_SAVE_AS when that is set (for tests); so is the opening,
// which is then left out.
RegisterResult MakeFolderRegister(HINSTANCE instance, HWND owner, const std::string& folder);

}  // namespace sheetpeek
