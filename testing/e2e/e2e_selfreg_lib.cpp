// e2e_selfreg_lib: a self-registering library for the end-to-end test under Wine. Its
// registration entry points only record their calls in the registry, so the test can see
// that the uninstaller unregistered the library before removing it.
//   DllRegisterServer:   HKLM\Software\Tarn E2E, value "Library" = "registered"
//   DllUnregisterServer: the value is deleted
#include <windows.h>

namespace {

constexpr const char* kKey = "Software\\Tarn E2E";

LONG SetMark(const char* value) {
  HKEY key;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  if (value != nullptr) {
    result = RegSetValueExA(key, "Library", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(lstrlenA(value) + 1));
  } else {
    result = RegDeleteValueA(key, "Library");
  }
  RegCloseKey(key);
  return result;
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  return SetMark("registered") == ERROR_SUCCESS ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
  SetMark(nullptr);
  return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
