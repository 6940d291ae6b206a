// The Windows viewer's entry point. The first start opens the window; a later start hands its
// names to that window and ends at once.
#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <string>
#include <vector>

#include "HandoffBlock.h"
#include "RaderaverWin32.h"
#include "RegisterMakerWin32.h"
#include "Win32Text.h"
#include "WinHandoff.h"

namespace {

std::vector<std::wstring> Arguments() {
  std::vector<std::wstring> arguments;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (argv == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(argv[i]);
  ::LocalFree(argv);
  return arguments;
}

// Names go over as full paths, so the window, whose working folder differs, finds them.
std::u16string FullPath(const std::wstring& name) {
  const DWORD needed = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::u16string(name.begin(), name.end());
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(name.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return std::u16string(name.begin(), name.end());
  full.resize(length);
  return std::u16string(full.begin(), full.end());
}

enum class Handoff { Delivered, NoWindow, BecameFirst };

// Keeps trying to reach the running window for a while: it may still be starting, or busy.
// When the running viewer ends meanwhile, the mutex comes to this start, which then runs the
// window itself.
Handoff HandOver(HANDLE mutex, const std::vector<std::wstring>& arguments) {
  std::vector<std::u16string> names;
  for (const std::wstring& argument : arguments) {
    if (argument.empty()) break;
    names.push_back(FullPath(argument));
  }
  std::vector<unsigned char> block = sheetpeek::EncodeWideHandoffBlock(names);
  COPYDATASTRUCT data = {};
  data.dwData = sheetpeek::kHandoffCopyDataTag;
  data.cbData = static_cast<DWORD>(block.size());
  data.lpData = block.data();

  const std::wstring className = sheetpeek::Widen(sheetpeek::kWindow.className);
  const ULONGLONG deadline = ::GetTickCount64() + sheetpeek::kHandoffRetryMs;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (HWND window = ::FindWindowW(className.c_str(), nullptr)) {
      DWORD process = 0;
      ::GetWindowThreadProcessId(window, &process);
      // Lets the window take the foreground, which this start holds.
      ::AllowSetForegroundWindow(process);
      // One send, waiting out the rest of the time: a copy per retry would load the names again.
      const UINT wait = now < deadline ? static_cast<UINT>(deadline - now) : 1;
      DWORD_PTR answer = 0;
      if (::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_BLOCK, wait,
                                &answer) != 0 &&
          answer == TRUE) {
        return Handoff::Delivered;
      }
    }
    if (mutex != nullptr) {
      const DWORD taken = ::WaitForSingleObject(mutex, 0);
      if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) return Handoff::BecameFirst;
    }
    if (::GetTickCount64() >= deadline) return Handoff::NoWindow;
    ::Sleep(50);
  }
}

int RunViewer(HINSTANCE instance, std::vector<std::wstring> arguments, int showCommand) {
  if (!TfrmRaderAver::RegisterClasses(instance)) return 1;
  TfrmRaderAver frmRaderAver(instance, std::move(arguments));
  if (frmRaderAver.Handle() == nullptr) return 1;
  frmRaderAver.Show(showCommand);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Before the fields, which would take Page Down, Home, End and Ctrl+C for themselves.
    if (frmRaderAver.TranslateKeys(message)) continue;
    // Tab and the button's keys; the window is no dialog, but its keys behave like one's.
    if (frmRaderAver.Handle() != nullptr && ::IsDialogMessageW(frmRaderAver.Handle(), &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

// --register FOLDER: the register without a window. It neither holds the mutex nor hands anything
// over: a viewer started meanwhile opens its own window, one that runs already is left alone.
int RunRegister(HINSTANCE instance, const std::vector<std::wstring>& arguments) {
  const bool quiet = ::GetEnvironmentVariableW(L"SHEETPEEK_TEST_SAVE_AS", nullptr, 0) > 0;
  const DWORD attributes =
      arguments.size() == 2 ? ::GetFileAttributesW(arguments[1].c_str()) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    const std::wstring text = arguments.size() == 2
                                  ? L"フォルダではありません: " + arguments[1]
                                  : std::wstring(L"使い方: sheetpeek.exe --register FOLDER");
    if (!quiet) ::MessageBoxW(nullptr, text.c_str(), L"エラー", MB_OK | MB_ICONWARNING);
    return arguments.size() == 2 ? 1 : 2;
  }
  switch (sheetpeek::MakeFolderRegister(instance, nullptr, sheetpeek::Narrow(arguments[1]))) {
    case sheetpeek::RegisterResult::Written:
    case sheetpeek::RegisterResult::Cancelled:
      return 0;
    case sheetpeek::RegisterResult::Failed:
      break;
  }
  return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  std::vector<std::wstring> arguments = Arguments();
  if (!arguments.empty() && arguments[0] == L"--register") {
    try {
      return RunRegister(instance, arguments);
    } catch (const std::exception& e) {
      ::MessageBoxW(nullptr, sheetpeek::Widen(e.what()).c_str(), L"SheetPeeker", MB_OK | MB_ICONERROR);
      return 1;
    }
  }
  // Held until the process ends; its existence marks a running viewer.
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, L"Sheetpeek");
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    switch (HandOver(mutex, arguments)) {
      case Handoff::Delivered:
        return 0;
      case Handoff::NoWindow:
        ::MessageBoxW(nullptr, L"Open失敗しました。", L"エラー", MB_OK);
        return 1;
      case Handoff::BecameFirst:
        break;
    }
  }
  int code = 0;
  try {
    code = RunViewer(instance, std::move(arguments), showCommand);
  } catch (const std::exception& e) {
    ::MessageBoxW(nullptr, sheetpeek::Widen(e.what()).c_str(), L"SheetPeeker", MB_OK | MB_ICONERROR);
  }
  if (mutex != nullptr) ::ReleaseMutex(mutex);
  return code;
}
