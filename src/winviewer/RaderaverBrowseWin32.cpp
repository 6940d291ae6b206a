// The window's keys and context menu beyond the laid-out controls: stepping through the
// folder of the shown drawing, copying what the window shows, and the enlarged preview.
#include <algorithm>
#include <cstring>
#include <memory>

#include "DrawingText.h"
#include "PathName.h"
#include "RaderaverWin32.h"
#include "RegisterMakerWin32.h"
#include "Win32Text.h"
#include "WinHandoff.h"

using sheetpeek::ControlId;
using sheetpeek::FolderStep;
using sheetpeek::Widen;

namespace {

struct MenuDeleter {
  void operator()(HMENU menu) const { ::DestroyMenu(menu); }
};
struct GlobalDeleter {
  void operator()(HGLOBAL memory) const { ::GlobalFree(memory); }
};

bool HasSelection(HWND field) {
  DWORD start = 0;
  DWORD end = 0;
  ::SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return start != end;
}

// A field keeps its own context menu only for a selection; elsewhere the window's menu opens.
// The field's own procedure is kept in its user data.
LRESULT CALLBACK FieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto own = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(field, GWLP_USERDATA));
  if (message == WM_CONTEXTMENU && !HasSelection(field))
    return ::SendMessageW(::GetAncestor(field, GA_ROOT), message, wParam, lParam);
  return ::CallWindowProcW(own, field, message, wParam, lParam);
}

// The clipboard's text format ends lines in CR LF.
std::wstring ClipboardText(const std::string& utf8) {
  std::wstring text;
  for (wchar_t c : Widen(utf8)) {
    if (c == L'\n') text += L'\r';
    text += c;
  }
  return text;
}

}  // namespace

void TfrmRaderAver::CreateBrowsingKeys() {
  ACCEL keys[] = {
      {FVIRTKEY, VK_NEXT, sheetpeek::kCommandStep + static_cast<int>(FolderStep::Next)},
      {FVIRTKEY, VK_PRIOR, sheetpeek::kCommandStep + static_cast<int>(FolderStep::Previous)},
      {FVIRTKEY, VK_HOME, sheetpeek::kCommandStep + static_cast<int>(FolderStep::First)},
      {FVIRTKEY, VK_END, sheetpeek::kCommandStep + static_cast<int>(FolderStep::Last)},
      {FVIRTKEY | FCONTROL, 'C', sheetpeek::kCommandCopy},
  };
  accelerators_.reset(::CreateAcceleratorTableW(keys, static_cast<int>(sizeof keys / sizeof keys[0])));
  for (const sheetpeek::ControlLayout& c : sheetpeek::kWindowLayout) {
    if (c.kind != sheetpeek::ControlKind::LabeledEdit) continue;
    HWND field = Control(c.id);
    const LONG_PTR own = ::GetWindowLongPtrW(field, GWLP_WNDPROC);
    ::SetWindowLongPtrW(field, GWLP_USERDATA, own);
    ::SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FieldProc));
  }
}

bool TfrmRaderAver::TranslateKeys(MSG& message) {
  if (handle_ == nullptr || !accelerators_) return false;
  // Only for this window and its controls: the enlarged preview takes its own keys.
  if (message.hwnd != handle_ && !::IsChild(handle_, message.hwnd)) return false;
  return ::TranslateAcceleratorW(handle_, accelerators_.get(), &message) != 0;
}

bool TfrmRaderAver::BrowsingCommand(int command, bool fromKey) {
  if (command >= sheetpeek::kCommandStep && command <= sheetpeek::kCommandStep + 3) {
    StepFolder(static_cast<FolderStep>(command - sheetpeek::kCommandStep));
  } else if (command == sheetpeek::kCommandCopy) {
    if (fromKey) {
      CopyKey();
    } else {
      CopyShownText();
    }
  } else if (command == sheetpeek::kCommandZoom) {
    ShowEnlargedPreview();
  } else if (command == sheetpeek::kCommandRegister) {
    if (!shownPath_.empty())
      sheetpeek::MakeFolderRegister(instance_, handle_, sheetpeek::SplitPath(shownPath_).folder);
  } else {
    return false;
  }
  return true;
}

void TfrmRaderAver::StepFolder(FolderStep step) {
  if (shownPath_.empty()) return;
  // Only a file that opens replaces the held header.
  std::unique_ptr<sheetpeek::COrvicHeader> next = sheetpeek::LoadSteppedDrawing(shownPath_, step);
  if (!next) return;
  Header = std::move(next);
  ShowDrawingInfo();
}

void TfrmRaderAver::NoteShown(const sheetpeek::COrvicHeader& header) {
  shownPath_ = header.Path;
  shownText_ = sheetpeek::DrawingInfoText(header);
}

void TfrmRaderAver::CopyKey() {
  HWND focus = ::GetFocus();
  wchar_t kind[8] = {};
  if (focus != nullptr && ::IsChild(handle_, focus) && ::GetClassNameW(focus, kind, 8) > 0 &&
      ::lstrcmpiW(kind, L"Edit") == 0 && HasSelection(focus)) {
    ::SendMessageW(focus, WM_COPY, 0, 0);
    return;
  }
  CopyShownText();
}

void TfrmRaderAver::CopyShownText() {
  if (shownText_.empty()) return;
  const std::wstring text = ClipboardText(shownText_);
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  std::unique_ptr<void, GlobalDeleter> memory(::GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) return;
  void* target = ::GlobalLock(memory.get());
  if (target == nullptr) return;
  std::memcpy(target, text.c_str(), bytes);
  ::GlobalUnlock(memory.get());
  if (!::OpenClipboard(handle_)) return;
  ::EmptyClipboard();
  // The clipboard owns the memory once it took it.
  if (::SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr) memory.release();
  ::CloseClipboard();
}

void TfrmRaderAver::ShowContextMenu(POINT at) {
  std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter> menu(::CreatePopupMenu());
  if (!menu) return;
  // Each item names its key, right-aligned after the tab.
  const wchar_t* const stepKeys[] = {L"\tPage Down", L"\tPage Up", L"\tHome", L"\tEnd"};
  for (std::size_t i = 0; i < sheetpeek::kStepCaptions.size(); ++i) {
    ::AppendMenuW(menu.get(), MF_STRING, static_cast<UINT_PTR>(sheetpeek::kCommandStep) + i,
                  (Widen(sheetpeek::kStepCaptions[i]) + stepKeys[i]).c_str());
  }
  ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu.get(), MF_STRING, sheetpeek::kCommandCopy,
                (Widen(sheetpeek::kCopyCaption) + L"\tCtrl+C").c_str());
  ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  // Only a shown drawing has a folder to list.
  ::AppendMenuW(menu.get(), MF_STRING | (shownPath_.empty() ? MF_GRAYED : 0), sheetpeek::kCommandRegister,
                Widen(sheetpeek::kRegisterCaption).c_str());
  const int command = static_cast<int>(::TrackPopupMenuEx(
      menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, handle_, nullptr));
  if (command != 0) BrowsingCommand(command, false);
}

void TfrmRaderAver::ShowEnlargedPreview() {
  HWND image = Control(ControlId::ImageOrvic);
  if (!::IsWindowVisible(image) || surfaceDc_ == nullptr) return;
  // What the control shows: the surface's top-left part of the control's size.
  RECT shown;
  ::GetClientRect(image, &shown);
  const int scale = sheetpeek::PreviewScale(dpi_);
  const int width = std::min<int>(shown.right / scale, sheetpeek::kSurfaceWidth);
  const int height = std::min<int>(shown.bottom / scale, sheetpeek::kSurfaceHeight);
  if (width <= 0 || height <= 0) return;
  zoom_.reset();
  zoom_ = std::make_unique<sheetpeek::PreviewZoomWindow>(instance_, handle_, surfaceDc_, width, height);
}
