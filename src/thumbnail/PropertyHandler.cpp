// The property handler: a drawing's header as Details columns and Search values, read-only.
// Every PROPVARIANT is built by hand: some of the property system's helpers are missing or
// abort on the hosts we are tested on, and the values are simple.
#include <objbase.h>
#include <propsys.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DrawingProperties.h"
#include "Module.h"
#include "Orvicheader.h"

namespace sheetpeek::thumbnail {
namespace {

constexpr GUID kFmtidSummary = {0xf29f85e0, 0x4ff9, 0x1068, {0xab, 0x91, 0x08, 0x00, 0x2b, 0x27, 0xb3, 0xd9}};
constexpr PROPERTYKEY kTitle = {kFmtidSummary, 2};
constexpr PROPERTYKEY kKeywords = {kFmtidSummary, 5};
constexpr PROPERTYKEY kComment = {kFmtidSummary, 6};
constexpr PROPERTYKEY kDateCreated = {kFmtidSummary, 12};
constexpr PROPERTYKEY kDateSaved = {kFmtidSummary, 13};
// SheetPeeker.DrawingNumber, ProjectName, SheetSize, Scale, FileKind, ElementCount.
constexpr PROPERTYKEY kDrawingNumber = {kFmtidSheetPeeker, 2};
constexpr PROPERTYKEY kProjectName = {kFmtidSheetPeeker, 3};
constexpr PROPERTYKEY kSheetSize = {kFmtidSheetPeeker, 4};
constexpr PROPERTYKEY kScale = {kFmtidSheetPeeker, 5};
constexpr PROPERTYKEY kFileKind = {kFmtidSheetPeeker, 6};
constexpr PROPERTYKEY kElementCount = {kFmtidSheetPeeker, 7};

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
  return IsEqualGUID(a.fmtid, b.fmtid) && a.pid == b.pid;
}

// One value as read; turned into a fresh PROPVARIANT on every GetValue.
struct Value {
  PROPERTYKEY key;
  VARTYPE type;  // VT_LPWSTR, VT_VECTOR | VT_LPWSTR, VT_FILETIME or VT_UI4
  std::vector<std::wstring> texts{};
  FILETIME time{};
  ULONG number = 0;
};

wchar_t* CoTaskCopy(const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* out = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
  if (out != nullptr) std::memcpy(out, text.c_str(), bytes);
  return out;
}

HRESULT ToPropVariant(const Value& v, PROPVARIANT* out) {
  PropVariantInit(out);
  switch (v.type) {
    case VT_LPWSTR:
      out->pwszVal = CoTaskCopy(v.texts.front());
      if (out->pwszVal == nullptr) return E_OUTOFMEMORY;
      break;
    case VT_VECTOR | VT_LPWSTR: {
      const std::size_t n = v.texts.size();
      auto* elems = static_cast<LPWSTR*>(::CoTaskMemAlloc(n * sizeof(LPWSTR)));
      if (elems == nullptr) return E_OUTOFMEMORY;
      for (std::size_t i = 0; i < n; ++i) {
        elems[i] = CoTaskCopy(v.texts[i]);
        if (elems[i] == nullptr) {
          while (i > 0) ::CoTaskMemFree(elems[--i]);
          ::CoTaskMemFree(elems);
          return E_OUTOFMEMORY;
        }
      }
      out->calpwstr.cElems = static_cast<ULONG>(n);
      out->calpwstr.pElems = elems;
      break;
    }
    case VT_FILETIME:
      out->filetime = v.time;
      break;
    default:
      out->ulVal = v.number;
      break;
  }
  out->vt = v.type;
  return S_OK;
}

// The office's local time as UTC through the system's time zone rules for that date.
bool ToFileTime(const TDrawingDate& d, FILETIME& out) {
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(d.Year);
  local.wMonth = static_cast<WORD>(d.Month);
  local.wDay = static_cast<WORD>(d.Day);
  local.wHour = static_cast<WORD>(d.Hour);
  local.wMinute = static_cast<WORD>(d.Minute);
  SYSTEMTIME utc{};
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) utc = local;
  return ::SystemTimeToFileTime(&utc, &out) != FALSE;
}

std::vector<Value> ValuesOf(const DrawingProperties& p) {
  std::vector<Value> out;
  const auto text = [&](const PROPERTYKEY& key, const std::string& utf8) {
    if (!utf8.empty()) out.push_back({key, VT_LPWSTR, {Widen(utf8)}});
  };
  const auto date = [&](const PROPERTYKEY& key, const std::optional<TDrawingDate>& d) {
    Value v{key, VT_FILETIME};
    if (d && ToFileTime(*d, v.time)) out.push_back(v);
  };
  text(kTitle, p.title);
  if (!p.keywords.empty()) {
    Value v{kKeywords, VT_VECTOR | VT_LPWSTR};
    for (const std::string& k : p.keywords) v.texts.push_back(Widen(k));
    out.push_back(std::move(v));
  }
  text(kComment, p.comment);
  date(kDateCreated, p.created);
  date(kDateSaved, p.saved);
  text(kDrawingNumber, p.drawingNumber);
  text(kProjectName, p.projectName);
  text(kSheetSize, p.sheetSize);
  text(kScale, p.scale);
  text(kFileKind, p.fileKind);
  if (p.elementCount) {
    Value v{kElementCount, VT_UI4};
    v.number = *p.elementCount;
    out.push_back(v);
  }
  return out;
}

class PropertyHandler final : public IInitializeWithStream,
                              public IPropertyStore,
                              public IPropertyStoreCapabilities {
 public:
  PropertyHandler() { AddModuleRef(); }
  ~PropertyHandler() { ReleaseModuleRef(); }
  PropertyHandler(const PropertyHandler&) = delete;
  PropertyHandler& operator=(const PropertyHandler&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IInitializeWithStream)) {
      *object = static_cast<IInitializeWithStream*>(this);
    } else if (IsEqualIID(riid, IID_IPropertyStore)) {
      *object = static_cast<IPropertyStore*>(this);
    } else if (IsEqualIID(riid, IID_IPropertyStoreCapabilities)) {
      *object = static_cast<IPropertyStoreCapabilities*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // Reads everything at once; the stream is not kept.
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD) override {
    if (stream == nullptr) return E_INVALIDARG;
    if (initialized_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    try {
      std::unique_ptr<COrvicHeader> header;
      const HRESULT hr = ReadDrawing(stream, header, false);
      if (FAILED(hr)) return hr;
      values_ = ValuesOf(PropertiesOf(*header));
      initialized_ = true;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }

  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<DWORD>(values_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
    if (key == nullptr) return E_POINTER;
    if (index >= values_.size()) return E_INVALIDARG;
    *key = values_[index].key;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
    if (value == nullptr) return E_POINTER;
    PropVariantInit(value);
    for (const Value& v : values_) {
      if (SameKey(v.key, key)) return ToPropVariant(v, value);
    }
    return S_OK;  // an empty value: the drawing has none
  }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Commit() override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE IsPropertyWritable(REFPROPERTYKEY) override { return S_FALSE; }

 private:
  std::atomic<long> refs_{1};
  bool initialized_ = false;
  std::vector<Value> values_;
};

}  // namespace

HRESULT CreatePropertyHandler(REFIID riid, void** object) {
  PropertyHandler* handler = new (std::nothrow) PropertyHandler;
  if (handler == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = handler->QueryInterface(riid, object);
  handler->Release();
  return hr;
}

}  // namespace sheetpeek::thumbnail
