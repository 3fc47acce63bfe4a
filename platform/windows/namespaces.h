// Private namespaces on Windows, reached through kernel32's exports at run time.
//
// MinGW's import libraries lack some of these functions, and Wine 8 exports
// AddSIDToBoundaryDescriptor as a stub that ends the process when it is called: a static import
// would not link, or the exe would not load everywhere. A function kernel32 does not export fails
// with ERROR_CALL_NOT_IMPLEMENTED. Included by platform/win32.h after the SDK; the names the
// product calls stay the Win32 ones.
#pragma once

namespace platform_namespaces {

template <class Function>
Function Kernel32Export(const char* name) {
  HMODULE kernel32 = GetModuleHandleW(TEXT("kernel32.dll"));
  FARPROC address = kernel32 ? GetProcAddress(kernel32, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

inline HANDLE WINAPI CreateBoundaryDescriptor(LPCWSTR name, ULONG flags) {
  auto f = Kernel32Export<HANDLE(WINAPI*)(LPCWSTR, ULONG)>("CreateBoundaryDescriptorW");
  if (!f) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  return f(name, flags);
}

inline BOOL WINAPI AddSIDToBoundary(HANDLE* boundary, PSID sid) {
  auto f = Kernel32Export<BOOL(WINAPI*)(HANDLE*, PSID)>("AddSIDToBoundaryDescriptor");
  if (!f) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return f(boundary, sid);
}

inline VOID WINAPI DeleteBoundary(HANDLE boundary) {
  auto f = Kernel32Export<VOID(WINAPI*)(HANDLE)>("DeleteBoundaryDescriptor");
  if (f) f(boundary);
}

inline HANDLE WINAPI CreateNamespace(LPSECURITY_ATTRIBUTES security, LPVOID boundary,
                                     LPCWSTR alias) {
  auto f = Kernel32Export<HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR)>(
      "CreatePrivateNamespaceW");
  if (!f) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  return f(security, boundary, alias);
}

inline HANDLE WINAPI OpenNamespace(LPVOID boundary, LPCWSTR alias) {
  auto f = Kernel32Export<HANDLE(WINAPI*)(LPVOID, LPCWSTR)>("OpenPrivateNamespaceW");
  if (!f) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  return f(boundary, alias);
}

inline BOOLEAN WINAPI CloseNamespace(HANDLE space, ULONG flags) {
  auto f = Kernel32Export<BOOLEAN(WINAPI*)(HANDLE, ULONG)>("ClosePrivateNamespace");
  if (!f) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return f(space, flags);
}

}  // namespace platform_namespaces

#define CreateBoundaryDescriptorW platform_namespaces::CreateBoundaryDescriptor
#define AddSIDToBoundaryDescriptor platform_namespaces::AddSIDToBoundary
#define DeleteBoundaryDescriptor platform_namespaces::DeleteBoundary
#define CreatePrivateNamespaceW platform_namespaces::CreateNamespace
#define OpenPrivateNamespaceW platform_namespaces::OpenNamespace
#define ClosePrivateNamespace platform_namespaces::CloseNamespace
