// Protected print mode as the Windows Runtime class answers it, through combase's raw ABI.
#include "installation/protected_print.h"

#include "support/handles.h"

namespace {

constexpr WCHAR ProtectedPrintInfoClass[] =
    TEXT("Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo");

// IWindowsProtectedPrintInfoStatics, {A7D212F3-4168-5485-98AB-D89D04603B40}. Source: the Windows
// SDK's metadata for Windows.Graphics.Printing.ProtectedPrint (UniversalApiContract 19), as the
// C++/WinRT projection generated from it states it: winrt/impl/
// Windows.Graphics.Printing.ProtectedPrint.0.h, guid_v of the interface (C++/WinRT 2.0.250303).
// A second binding generated from the same metadata gives the same value.
constexpr IID ProtectedPrintInfoStaticsIid = {
    0xA7D212F3, 0x4168, 0x5485, {0x98, 0xAB, 0xD8, 0x9D, 0x04, 0x60, 0x3B, 0x40}};

// The statics interface as its ABI lays it out: IUnknown's and IInspectable's slots, then the
// property's getter. Only Release and the getter are called.
struct ProtectedPrintInfoStatics;
struct ProtectedPrintInfoStaticsTable {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(ProtectedPrintInfoStatics*, REFIID, void**);
  ULONG(STDMETHODCALLTYPE* AddRef)(ProtectedPrintInfoStatics*);
  ULONG(STDMETHODCALLTYPE* Release)(ProtectedPrintInfoStatics*);
  HRESULT(STDMETHODCALLTYPE* GetIids)(ProtectedPrintInfoStatics*, ULONG*, IID**);
  HRESULT(STDMETHODCALLTYPE* GetRuntimeClassName)(ProtectedPrintInfoStatics*, HSTRING*);
  HRESULT(STDMETHODCALLTYPE* GetTrustLevel)(ProtectedPrintInfoStatics*, int*);
  HRESULT(STDMETHODCALLTYPE* get_IsProtectedPrintEnabled)(ProtectedPrintInfoStatics*, boolean*);
};
struct ProtectedPrintInfoStatics {
  const ProtectedPrintInfoStaticsTable* table;
};

struct RuntimeStringTraits : NullIsEmpty<HSTRING> {
  static void Close(HSTRING text) { WindowsDeleteString(text); }
};
struct StaticsTraits : NullIsEmpty<ProtectedPrintInfoStatics*> {
  static void Close(ProtectedPrintInfoStatics* statics) { statics->table->Release(statics); }
};

bool AskFactory(bool* enabled, HRESULT* result) {
  UniqueResource<HSTRING, RuntimeStringTraits> className;
  *result = WindowsCreateString(ProtectedPrintInfoClass, lstrlenW(ProtectedPrintInfoClass),
                                className.Put());
  if (FAILED(*result)) return false;
  UniqueResource<ProtectedPrintInfoStatics*, StaticsTraits> statics;
  *result = RoGetActivationFactory(className.Get(), ProtectedPrintInfoStaticsIid,
                                   reinterpret_cast<void**>(statics.Put()));
  if (FAILED(*result) || !statics) return false;
  boolean on = 0;
  *result = statics->table->get_IsProtectedPrintEnabled(statics.Get(), &on);
  if (FAILED(*result)) return false;
  *enabled = on != 0;
  return true;
}

}  // namespace

bool AskWindowsProtectedPrintInfo(bool* enabled, HRESULT* result) {
  // The runtime is initialised for the query's length. A thread already in a single-threaded
  // apartment (RPC_E_CHANGED_MODE) can ask from there and stays as it is.
  HRESULT initialised = RoInitialize(RO_INIT_MULTITHREADED);
  if (FAILED(initialised) && initialised != RPC_E_CHANGED_MODE) {
    *result = initialised;
    return false;
  }
  bool answered = AskFactory(enabled, result);
  if (SUCCEEDED(initialised)) RoUninitialize();
  return answered;
}
