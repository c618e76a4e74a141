// The auto-update product's client object "Ambrixon.ClientUpdate" as the testbed offers it: an
// in-process COM automation server with a hand-written IDispatch whose one method is
// UpdateNow(first, second). Each call is recorded in C:\ProgramData\ZorvanTestbed\ClientUpdate.log
// with its arguments. Switches (HKLM\SOFTWARE\ZorvanTestbed\ClientUpdate, read at each call):
//   FailHResult      non-zero: the call fails with this HRESULT (e.g. 0x80042F05)
//   FailDescription  the error's description
//   FailMode         "excepinfo" (default): DISP_E_EXCEPTION with the HRESULT and description
//                    in EXCEPINFO; "errorinfo": the HRESULT itself, with the description in the
//                    thread's IErrorInfo (SetErrorInfo)
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <cwchar>
#include <new>

#include "testbed_state.h"

namespace {

constexpr wchar_t kComponent[] = L"ClientUpdate";
constexpr wchar_t kProgId[] = L"Ambrixon.ClientUpdate";
constexpr wchar_t kClsidText[] = L"{A9D9FF78-E721-4530-A65F-EC503EB9B5C6}";
constexpr CLSID kClsid = {0xA9D9FF78, 0xE721, 0x4530, {0xA6, 0x5F, 0xEC, 0x50, 0x3E, 0xB9, 0xB5, 0xC6}};
constexpr DISPID kDispIdUpdateNow = 1;

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

// Sets the calling thread's error object to `description` from `source`.
void SetThreadError(const wchar_t* description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return;
  create->SetGUID(IID_IDispatch);
  create->SetSource(const_cast<LPOLESTR>(kProgId));
  create->SetDescription(const_cast<LPOLESTR>(description));
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
}

class ClientUpdate final : public IDispatch, public ISupportErrorInfo {
 public:
  ClientUpdate() { InterlockedIncrement(&g_objects); }
  ~ClientUpdate() { InterlockedDecrement(&g_objects); }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == IID_IDispatch ? S_OK : S_FALSE;
  }

  // IDispatch: no type information; the one name is resolved by hand.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (names[0] && _wcsicmp(names[0], L"UpdateNow") == 0) {
      ids[0] = kDispIdUpdateNow;
    } else {
      hr = DISP_E_UNKNOWNNAME;
    }
    if (count > 1) hr = DISP_E_UNKNOWNNAME;  // UpdateNow has no named parameters
    return hr;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    if (id != kDispIdUpdateNow) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;

    // Arguments arrive last first: rgvarg[1] is the first one written by the caller.
    LONG values[2] = {0, 0};
    for (UINT position = 0; position < 2; ++position) {
      UINT slot = 1 - position;
      VARIANT converted;
      VariantInit(&converted);
      if (FAILED(VariantChangeType(&converted, &params->rgvarg[slot], 0, VT_I4))) {
        if (argError) *argError = slot;
        return DISP_E_TYPEMISMATCH;
      }
      values[position] = converted.lVal;
    }

    DWORD failure = TestbedReadNumber(kComponent, L"FailHResult", 0);
    wchar_t line[128];
    if (failure == 0) {
      std::swprintf(line, 128, L"UpdateNow %ld %ld accepted", values[0], values[1]);
      TestbedRecord(kComponent, line);
      if (result) VariantInit(result);
      return S_OK;
    }
    std::swprintf(line, 128, L"UpdateNow %ld %ld failed 0x%08lX", values[0], values[1],
                  static_cast<unsigned long>(failure));
    TestbedRecord(kComponent, line);

    wchar_t description[512];
    wchar_t mode[32];
    TestbedReadText(kComponent, L"FailDescription", L"", description, 512);
    TestbedReadText(kComponent, L"FailMode", L"excepinfo", mode, 32);
    HRESULT hr = static_cast<HRESULT>(failure);
    if (_wcsicmp(mode, L"errorinfo") == 0 || !exception) {
      SetThreadError(description);
      return hr;
    }
    ZeroMemory(exception, sizeof *exception);
    exception->scode = hr;
    exception->bstrSource = SysAllocString(kProgId);
    exception->bstrDescription = SysAllocString(description);
    return DISP_E_EXCEPTION;
  }

 private:
  LONG refs_ = 1;
};

class Factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }   // a static object
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ClientUpdate* object = new (std::nothrow) ClientUpdate();
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) InterlockedIncrement(&g_locks); else InterlockedDecrement(&g_locks);
    return S_OK;
  }
};

Factory g_factory;

// Writes HKCR\<key> with its default value (and one named value when `name` is given).
bool WriteClassKey(const wchar_t* key, const wchar_t* defaultValue, const wchar_t* name = nullptr,
                   const wchar_t* value = nullptr) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  bool ok = RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(defaultValue),
                           static_cast<DWORD>((wcslen(defaultValue) + 1) * sizeof(wchar_t))) ==
            ERROR_SUCCESS;
  if (ok && name) {
    ok = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                        static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  RegCloseKey(h);
  return ok;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return (g_objects == 0 && g_locks == 0) ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t modulePath[MAX_PATH];
  DWORD n = GetModuleFileNameW(g_module, modulePath, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return SELFREG_E_CLASS;
  wchar_t clsidKey[64], inproc[96], progIdKey[96], clsidUnderProgId[96];
  std::swprintf(clsidKey, 64, L"CLSID\\%ls", kClsidText);
  std::swprintf(inproc, 96, L"CLSID\\%ls\\InprocServer32", kClsidText);
  std::swprintf(progIdKey, 96, L"CLSID\\%ls\\ProgID", kClsidText);
  std::swprintf(clsidUnderProgId, 96, L"%ls\\CLSID", kProgId);
  bool ok = WriteClassKey(kProgId, L"Ambrixon ClientUpdate") &&
            WriteClassKey(clsidUnderProgId, kClsidText) &&
            WriteClassKey(clsidKey, L"Ambrixon ClientUpdate") &&
            WriteClassKey(progIdKey, kProgId) &&
            WriteClassKey(inproc, modulePath, L"ThreadingModel", L"Both");
  return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
  wchar_t clsidKey[64];
  std::swprintf(clsidKey, 64, L"CLSID\\%ls", kClsidText);
  LONG a = RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  LONG b = RegDeleteTreeW(HKEY_CLASSES_ROOT, clsidKey);
  bool ok = (a == ERROR_SUCCESS || a == ERROR_FILE_NOT_FOUND) &&
            (b == ERROR_SUCCESS || b == ERROR_FILE_NOT_FOUND);
  return ok ? S_OK : SELFREG_E_CLASS;
}

}  // extern "C"
