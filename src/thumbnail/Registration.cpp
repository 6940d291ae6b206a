// DllRegisterServer and DllUnregisterServer: the thumbnail and preview handlers for the current
// user only (HKCU), so that no administrator is needed. DllInstall with "allusers": the same
// for every user (HKLM), plus the property handler and its schema, which Windows reads only
// machine-wide. A value we replace is kept aside and put back when we go.
#include <propsys.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "Module.h"

namespace sheetpeek::thumbnail {
namespace {

const wchar_t kClasses[] = L"Software\\Classes\\";
const wchar_t kExtension[] = L".cad";
const wchar_t kProgId[] = L"SheetPeeker.Drawing";
const wchar_t kPreviewHandlers[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";
const wchar_t kPropertyHandlers[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\.cad";
// Where a replaced default value waits, one value per key, named by the key.
const wchar_t kReplaced[] = L"Software\\SheetPeeker\\Replaced";
const wchar_t kSchemaFile[] = L"sheetpeeker.propdesc";

// The lists Explorer shows for a drawing: the details page, the preview pane's details, tips.
const wchar_t kFullDetails[] =
    L"prop:System.PropGroup.Description;System.Title;SheetPeeker.DrawingNumber;SheetPeeker.ProjectName;"
    L"System.Keywords;System.Comment;SheetPeeker.SheetSize;SheetPeeker.Scale;SheetPeeker.FileKind;"
    L"SheetPeeker.ElementCount;System.Document.DateCreated;System.Document.DateSaved;"
    L"System.PropGroup.FileSystem;System.ItemNameDisplay;System.ItemFolderPathDisplay;System.Size;"
    L"System.DateModified";
const wchar_t kPreviewDetails[] =
    L"prop:System.Title;SheetPeeker.DrawingNumber;SheetPeeker.ProjectName;SheetPeeker.SheetSize;"
    L"SheetPeeker.Scale;System.Document.DateSaved;System.Size";
const wchar_t kInfoTip[] = L"prop:System.Title;SheetPeeker.DrawingNumber;SheetPeeker.ProjectName;System.Size";

class Registry {
 public:
  explicit Registry(HKEY root) : root_(root) {}

  LSTATUS Set(const std::wstring& key, const wchar_t* name, const std::wstring& value) const {
    HKEY handle = nullptr;
    LSTATUS rc = ::RegCreateKeyExW(root_, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                   nullptr, &handle, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(handle);
    return rc;
  }

  bool Get(const std::wstring& key, const wchar_t* name, std::wstring& out) const {
    DWORD size = 0;
    if (::RegGetValueW(root_, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
      return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::RegGetValueW(root_, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer.data(), &size) !=
        ERROR_SUCCESS)
      return false;
    out = buffer.data();
    return true;
  }

  void DeleteValue(const std::wstring& key, const wchar_t* name) const {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(root_, key.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(handle, name);
    ::RegCloseKey(handle);
  }

  // Removes `key` and then its parents up to `stop` while nothing is left in them: the type's
  // keys may belong to other programs too.
  void DeleteIfEmpty(std::wstring key, const std::wstring& stop) const {
    while (key.size() > stop.size()) {
      HKEY handle = nullptr;
      if (::RegOpenKeyExW(root_, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
      DWORD subkeys = 0, values = 0;
      const LSTATUS rc = ::RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                            &values, nullptr, nullptr, nullptr, nullptr);
      ::RegCloseKey(handle);
      if (rc != ERROR_SUCCESS || subkeys != 0 || values != 0) return;
      ::RegDeleteKeyW(root_, key.c_str());
      key.resize(key.find_last_of(L'\\') == std::wstring::npos ? 0 : key.find_last_of(L'\\'));
    }
  }

  // Sets the default value of `key` to `ours`, keeping aside another program's value first.
  LSTATUS Take(const std::wstring& key, const std::wstring& ours) const {
    std::wstring before;
    if (Get(key, nullptr, before) && _wcsicmp(before.c_str(), ours.c_str()) != 0) {
      const LSTATUS rc = Set(kReplaced, key.c_str(), before);
      if (rc != ERROR_SUCCESS) return rc;
    }
    return Set(key, nullptr, ours);
  }

  // Undoes Take when the value is still ours: the kept value comes back, else the key goes.
  void Give(const std::wstring& key, const std::wstring& ours, const std::wstring& stop) const {
    std::wstring now;
    if (!Get(key, nullptr, now) || _wcsicmp(now.c_str(), ours.c_str()) != 0) return;
    std::wstring before;
    if (Get(kReplaced, key.c_str(), before)) {
      Set(key, nullptr, before);
      DeleteValue(kReplaced, key.c_str());
      DeleteIfEmpty(kReplaced, L"Software");
      return;
    }
    DeleteValue(key, nullptr);
    DeleteIfEmpty(key, stop);
  }

 private:
  HKEY root_;
};

std::wstring ClassKey(const wchar_t* clsid) {
  return std::wstring(kClasses) + L"CLSID\\" + clsid;
}
std::wstring ShellExKey(const wchar_t* handler) {
  return std::wstring(kClasses) + kExtension + L"\\ShellEx\\" + handler;
}

bool ModulePath(std::wstring& path) {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(ModuleHandle(), buffer, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return false;
  path.assign(buffer, length);
  return true;
}

HRESULT Check(std::initializer_list<LSTATUS> results) {
  for (LSTATUS rc : results)
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  return S_OK;
}

HRESULT RegisterClass(const Registry& reg, const wchar_t* clsid, const wchar_t* name,
                      const std::wstring& path, const wchar_t* threading) {
  const std::wstring server = ClassKey(clsid) + L"\\InprocServer32";
  return Check({reg.Set(ClassKey(clsid), nullptr, name), reg.Set(server, nullptr, path),
                reg.Set(server, L"ThreadingModel", threading)});
}

HRESULT Register(HKEY root) {
  std::wstring path;
  if (!ModulePath(path)) return HRESULT_FROM_WIN32(::GetLastError());
  const Registry reg(root);
  HRESULT hr = RegisterClass(reg, kClsidText, L"SheetPeeker thumbnail handler", path, L"Apartment");
  if (SUCCEEDED(hr)) hr = Check({reg.Take(ShellExKey(kIidThumbnailProviderText), kClsidText)});
  if (SUCCEEDED(hr))
    hr = RegisterClass(reg, kClsidPreviewText, L"SheetPeeker preview handler", path, L"Apartment");
  if (SUCCEEDED(hr))
    hr = Check({reg.Set(ClassKey(kClsidPreviewText), L"AppID", kPreviewHostAppIdText),
                reg.Set(ClassKey(kClsidPreviewText), L"DisplayName", L"SheetPeeker preview handler"),
                reg.Take(ShellExKey(kPreviewHandlerKeyText), kClsidPreviewText),
                reg.Set(kPreviewHandlers, kClsidPreviewText, L"SheetPeeker preview handler")});
  if (SUCCEEDED(hr) && root == HKEY_LOCAL_MACHINE) {
    const std::wstring progId = std::wstring(kClasses) + kProgId;
    const std::wstring typeKey = std::wstring(kClasses) + L"SystemFileAssociations\\" + kExtension;
    hr = RegisterClass(reg, kClsidPropertyText, L"SheetPeeker property handler", path, L"Both");
    if (SUCCEEDED(hr))
      hr = Check(
          {reg.Take(kPropertyHandlers, kClsidPropertyText), reg.Set(progId, L"FullDetails", kFullDetails),
           reg.Set(progId, L"PreviewDetails", kPreviewDetails), reg.Set(progId, L"InfoTip", kInfoTip),
           reg.Set(typeKey, L"FullDetails", kFullDetails),
           reg.Set(typeKey, L"PreviewDetails", kPreviewDetails), reg.Set(typeKey, L"InfoTip", kInfoTip)});
    if (SUCCEEDED(hr)) {
      // The schema lies beside the DLL.
      const std::wstring schema = path.substr(0, path.find_last_of(L'\\') + 1) + kSchemaFile;
      hr = ::PSRegisterPropertySchema(schema.c_str());
    }
  }
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return hr;
}

HRESULT Unregister(HKEY root) {
  const Registry reg(root);
  const std::wstring classes = std::wstring(kClasses);
  const std::wstring type = classes + kExtension;
  reg.Give(ShellExKey(kIidThumbnailProviderText), kClsidText, classes.substr(0, classes.size() - 1));
  reg.Give(ShellExKey(kPreviewHandlerKeyText), kClsidPreviewText, classes.substr(0, classes.size() - 1));
  reg.DeleteValue(kPreviewHandlers, kClsidPreviewText);
  // The machine's list is the system's own, even when empty; the user's we may have made.
  if (root == HKEY_CURRENT_USER)
    reg.DeleteIfEmpty(kPreviewHandlers, L"Software\\Microsoft\\Windows\\CurrentVersion");
  for (const wchar_t* clsid : {kClsidText, kClsidPreviewText, kClsidPropertyText})
    ::RegDeleteTreeW(root, ClassKey(clsid).c_str());
  reg.DeleteIfEmpty(classes + L"CLSID", L"Software");
  if (root == HKEY_LOCAL_MACHINE) {
    std::wstring path;
    if (ModulePath(path)) {
      const std::wstring schema = path.substr(0, path.find_last_of(L'\\') + 1) + kSchemaFile;
      ::PSUnregisterPropertySchema(schema.c_str());
    }
    reg.Give(kPropertyHandlers, kClsidPropertyText, L"Software\\Microsoft\\Windows\\CurrentVersion");
    for (const std::wstring& key : {classes + kProgId, classes + L"SystemFileAssociations\\" + kExtension}) {
      for (const wchar_t* name : {L"FullDetails", L"PreviewDetails", L"InfoTip"}) reg.DeleteValue(key, name);
      reg.DeleteIfEmpty(key, L"Software");
    }
  }
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return S_OK;
}

template <typename Fn>
HRESULT Guarded(Fn fn) {
  try {
    return fn();
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace
}  // namespace sheetpeek::thumbnail

using sheetpeek::thumbnail::Guarded;

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return Guarded([] { return sheetpeek::thumbnail::Register(HKEY_CURRENT_USER); });
}
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return Guarded([] { return sheetpeek::thumbnail::Unregister(HKEY_CURRENT_USER); });
}
// regsvr32 /n /i:allusers: every user's registration; /u /n /i:allusers takes it away.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR command) {
  if (command == nullptr || _wcsicmp(command, L"allusers") != 0) return E_INVALIDARG;
  return Guarded([install] {
    return install ? sheetpeek::thumbnail::Register(HKEY_LOCAL_MACHINE)
                   : sheetpeek::thumbnail::Unregister(HKEY_LOCAL_MACHINE);
  });
}
