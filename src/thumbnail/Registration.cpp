// DllRegisterServer and DllUnregisterServer: the handler registered for ".cad" for the current
// user only (HKCU), so that no administrator is needed.
#include <shlobj.h>

#include <string>

#include "Module.h"

namespace sheetpeek::thumbnail {
namespace {

const wchar_t kClasses[] = L"Software\\Classes\\";
const wchar_t kExtension[] = L".cad";

std::wstring ClassKey() {
  return std::wstring(kClasses) + L"CLSID\\" + kClsidText;
}
std::wstring HandlerKey() {
  return std::wstring(kClasses) + kExtension + L"\\ShellEx\\" + kIidThumbnailProviderText;
}

LSTATUS SetString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  LSTATUS rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE, nullptr, &handle, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(handle);
  return rc;
}

std::wstring GetString(const std::wstring& key) {
  wchar_t buffer[128] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS)
    return std::wstring();
  return buffer;
}

// Removes `key` when nothing is left in it: the type's keys may belong to other programs too.
void DeleteIfEmpty(const std::wstring& key) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
  DWORD subkeys = 0, values = 0;
  const LSTATUS rc = ::RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                        &values, nullptr, nullptr, nullptr, nullptr);
  ::RegCloseKey(handle);
  if (rc == ERROR_SUCCESS && subkeys == 0 && values == 0) ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

HRESULT Register() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(ModuleHandle(), path, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return HRESULT_FROM_WIN32(::GetLastError());
  const std::wstring server = ClassKey() + L"\\InprocServer32";
  for (LSTATUS rc :
       {SetString(ClassKey(), nullptr, L"SheetPeeker thumbnail handler"), SetString(server, nullptr, path),
        SetString(server, L"ThreadingModel", L"Apartment"), SetString(HandlerKey(), nullptr, kClsidText)}) {
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  }
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return S_OK;
}

HRESULT Unregister() {
  const LSTATUS rc = ::RegDeleteTreeW(HKEY_CURRENT_USER, ClassKey().c_str());
  DeleteIfEmpty(std::wstring(kClasses) + L"CLSID");
  // Another handler registered since is left in place.
  if (_wcsicmp(GetString(HandlerKey()).c_str(), kClsidText) == 0) {
    ::RegDeleteKeyW(HKEY_CURRENT_USER, HandlerKey().c_str());
    DeleteIfEmpty(std::wstring(kClasses) + kExtension + L"\\ShellEx");
    DeleteIfEmpty(std::wstring(kClasses) + kExtension);
  }
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
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

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return sheetpeek::thumbnail::Guarded(sheetpeek::thumbnail::Register);
}
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return sheetpeek::thumbnail::Guarded(sheetpeek::thumbnail::Unregister);
}
