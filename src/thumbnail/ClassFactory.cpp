// The DLL's entry points for COM: the class factory, DllGetClassObject and DllCanUnloadNow.
#include <objbase.h>
#include <unknwn.h>

#include <atomic>
#include <new>

#include "Module.h"

namespace sheetpeek::thumbnail {
namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_moduleRefs{0};

using Creator = HRESULT (*)(REFIID riid, void** object);

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(Creator create) : create_(create) { AddModuleRef(); }
  ~ClassFactory() { ReleaseModuleRef(); }
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return create_(riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      AddModuleRef();
    else
      ReleaseModuleRef();
    return S_OK;
  }

 private:
  Creator create_;
  std::atomic<long> refs_{1};
};

}  // namespace

HMODULE ModuleHandle() {
  return g_module;
}
void AddModuleRef() {
  ++g_moduleRefs;
}
void ReleaseModuleRef() {
  --g_moduleRefs;
}
bool ModuleInUse() {
  return g_moduleRefs.load() != 0;
}

}  // namespace sheetpeek::thumbnail

using namespace sheetpeek::thumbnail;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  Creator create = nullptr;
  if (IsEqualCLSID(clsid, kClsidThumbnailProvider))
    create = CreateThumbnailProvider;
  else if (IsEqualCLSID(clsid, kClsidPreviewHandler))
    create = CreatePreviewHandler;
  else if (IsEqualCLSID(clsid, kClsidPropertyHandler))
    create = CreatePropertyHandler;
  else
    return CLASS_E_CLASSNOTAVAILABLE;
  ClassFactory* factory = new (std::nothrow) ClassFactory(create);
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(riid, object);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return ModuleInUse() ? S_FALSE : S_OK;
}
