#include "RegisterMakerWin32.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "Register.h"
#include "Win32Text.h"
#include "WindowLayout.h"

namespace sheetpeek {
namespace {

constexpr wchar_t kProgressClass[] = L"SheetpeekRegisterProgress";
constexpr UINT kProgressMessage = WM_APP + 1;  // wParam: percent
constexpr UINT kDoneMessage = WM_APP + 2;
constexpr int kCancelId = 2;
constexpr int kBarId = 100;

std::wstring TestAnswer() {
  wchar_t buffer[32768];
  const DWORD n = ::GetEnvironmentVariableW(L"SHEETPEEK_TEST_SAVE_AS", buffer, 32768);
  return n > 0 && n < 32768 ? std::wstring(buffer, n) : std::wstring();
}

std::wstring AskForName(HWND owner, const std::wstring& folder) {
  std::vector<wchar_t> name(32768, L'\0');
  const std::wstring suggested = Widen(kRegisterFileName);
  std::copy(suggested.begin(), suggested.end(), name.begin());
  const std::wstring title = L"図面台帳を作成";
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = L"Excel ブック (*.xlsx)\0*.xlsx\0";
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrInitialDir = folder.c_str();
  ofn.lpstrTitle = title.c_str();
  ofn.lpstrDefExt = L"xlsx";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!::GetSaveFileNameW(&ofn)) return L"";
  std::wstring chosen(name.data());
  if (!HasRegisterExtension(Narrow(chosen))) chosen += L".xlsx";
  return chosen;
}

// Shared by the worker and the window; the worker is joined before it goes.
struct Job {
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  RegisterResult result = RegisterResult::Cancelled;
  std::string message;
};

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* job = reinterpret_cast<Job*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kCancelId && job != nullptr) {
        job->cancel = true;
        ::EnableWindow(::GetDlgItem(window, kCancelId), FALSE);
      }
      return 0;
    case WM_CLOSE:
      if (job != nullptr) job->cancel = true;
      return 0;
    case kProgressMessage:
      ::SendDlgItemMessageW(window, kBarId, PBM_SETPOS, wParam, 0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

struct WindowDeleter {
  void operator()(HWND window) const { ::DestroyWindow(window); }
};

// A small window with a bar and a cancel button, centred over `owner`.
std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter> CreateProgressWindow(HINSTANCE instance,
                                                                                 HWND owner, Job* job) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ProgressProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32650));  // IDC_APPSTARTING: busy, yet usable
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kProgressClass;
  ::RegisterClassExW(&wc);  // fails harmlessly when registered before
  const int width = 360, height = 130;
  RECT area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  if (owner != nullptr) ::GetWindowRect(owner, &area);
  std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter> window(::CreateWindowExW(
      WS_EX_DLGMODALFRAME, kProgressClass, L"図面台帳を作成", WS_POPUP | WS_CAPTION | WS_SYSMENU,
      (area.left + area.right - width) / 2, (area.top + area.bottom - height) / 2, width, height, owner,
      nullptr, instance, nullptr));
  if (!window) return window;
  ::SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(job));
  const HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  HWND text = ::CreateWindowExW(0, L"STATIC", L"図面台帳を作成しています…", WS_CHILD | WS_VISIBLE, 12, 10,
                                320, 18, window.get(), nullptr, instance, nullptr);
  HWND bar =
      ::CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 12, 32, 320, 18, window.get(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBarId)), instance, nullptr);
  HWND cancel = ::CreateWindowExW(
      0, L"BUTTON", L"キャンセル", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 242, 60, 90, 24,
      window.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCancelId)), instance, nullptr);
  for (HWND control : {text, cancel})
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  ::ShowWindow(window.get(), SW_SHOW);
  return window;
}

}  // namespace

RegisterResult MakeFolderRegister(HINSTANCE instance, HWND owner, const std::string& folder) {
  const std::wstring answer = TestAnswer();
  const std::wstring out = answer.empty() ? AskForName(owner, Widen(folder)) : answer;
  if (out.empty()) return RegisterResult::Cancelled;

  Job job;
  auto progress = CreateProgressWindow(instance, owner, &job);
  HWND progressWindow = progress.get();
  if (owner != nullptr) ::EnableWindow(owner, FALSE);
  const std::string outUtf8 = Narrow(out);
  std::thread worker([&job, progressWindow, folder, outUtf8] {
    RegisterCallbacks callbacks;
    int shown = -1;
    callbacks.progress = [&](std::size_t done, std::size_t total) {
      const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
      if (percent != shown && progressWindow != nullptr) {
        shown = percent;
        ::PostMessageW(progressWindow, kProgressMessage, static_cast<WPARAM>(percent), 0);
      }
      return !job.cancel.load();
    };
    try {
      const RegisterOutcome outcome = WriteFolderRegister(folder, outUtf8, callbacks);
      job.result = outcome.cancelled ? RegisterResult::Cancelled : RegisterResult::Written;
    } catch (const std::exception& e) {
      job.result = RegisterResult::Failed;
      job.message = e.what();
    }
    job.finished = true;
    if (progressWindow != nullptr) ::PostMessageW(progressWindow, kDoneMessage, 0, 0);
  });
  // The window's own loop, until the worker says it is done.
  MSG message;
  while (!job.finished) {
    if (progressWindow == nullptr) {
      ::Sleep(20);
      continue;
    }
    if (::GetMessageW(&message, nullptr, 0, 0) <= 0) {
      // WM_QUIT belongs to the caller's loop: stop the work and hand the message on.
      job.cancel = true;
      worker.join();
      ::PostQuitMessage(static_cast<int>(message.wParam));
      if (owner != nullptr) ::EnableWindow(owner, TRUE);
      return RegisterResult::Cancelled;
    }
    if (message.message == kDoneMessage) break;
    if (::IsDialogMessageW(progressWindow, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  worker.join();
  if (owner != nullptr) ::EnableWindow(owner, TRUE);
  progress.reset();
  if (owner != nullptr) ::SetForegroundWindow(owner);

  if (job.result == RegisterResult::Written && answer.empty()) {
    ::ShellExecuteW(owner, L"open", out.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  } else if (job.result == RegisterResult::Failed && answer.empty()) {
    const std::wstring text = L"図面台帳を作成できませんでした。\n" + out + L"\n" + Widen(job.message);
    ::MessageBoxW(owner, text.c_str(), L"エラー", MB_OK | MB_ICONWARNING);
  }
  return job.result;
}

}  // namespace sheetpeek
