// Owners for the handles and heap blocks the installer opens: each closes or releases what it
// holds when its scope ends, so every path gives back what it took. Where the order of closing
// matters (service before manager; a printer handle before the spooler restarts) the scopes in the
// callers show it. One template owns every kind; a kind is its traits (the empty value, which
// values are open, how to close one). Beside them, the keeper of the thread's last error.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/win32.h"

template <class T, class Traits>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  T Get() const { return value_; }
  explicit operator bool() const { return Traits::Valid(value_); }
  // Blocks: their fields and elements.
  template <class Pointer = T>
  Pointer operator->() const {
    return value_;
  }
  template <class Index>
  auto& operator[](Index i) const {
    return value_[i];
  }
  // The address to hand to an API that stores a new value; whatever was held is released first.
  T* Put() {
    Reset();
    return &value_;
  }
  T Release() { return std::exchange(value_, Traits::Empty()); }
  // Closing never changes the thread's last error: what a failing call left for its caller to
  // report survives the clean-up of the scopes it returns through.
  void Reset(T value = Traits::Empty()) {
    if (Traits::Valid(value_)) {
      DWORD error = GetLastError();
      Traits::Close(value_);
      SetLastError(error);
    }
    value_ = value;
  }

 private:
  T value_ = Traits::Empty();
};

// Kinds whose empty value is null.
template <class T>
struct NullIsEmpty {
  static T Empty() { return nullptr; }
  static bool Valid(T value) { return value != nullptr; }
};

struct PrinterHandleTraits : NullIsEmpty<HANDLE> {
  static void Close(HANDLE h) { ClosePrinter(h); }
};
struct ServiceHandleTraits : NullIsEmpty<SC_HANDLE> {
  static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
struct RegistryKeyTraits : NullIsEmpty<HKEY> {
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct KernelHandleTraits : NullIsEmpty<HANDLE> {
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct PrivateNamespaceTraits : NullIsEmpty<HANDLE> {
  static void Close(HANDLE h) { ClosePrivateNamespace(h, 0); }
};
struct BoundaryDescriptorTraits : NullIsEmpty<HANDLE> {
  static void Close(HANDLE h) { DeleteBoundaryDescriptor(h); }
};
template <class T>
struct LocalBlockTraits : NullIsEmpty<T*> {
  static void Close(T* block) { LocalFree(block); }
};
struct GlobalBlockTraits : NullIsEmpty<LPWSTR*> {
  static void Close(LPWSTR* block) { GlobalFree(block); }
};

using PrinterHandle = UniqueResource<HANDLE, PrinterHandleTraits>;
using ServiceHandle = UniqueResource<SC_HANDLE, ServiceHandleTraits>;
using RegistryKey = UniqueResource<HKEY, RegistryKeyTraits>;
using KernelHandle = UniqueResource<HANDLE, KernelHandleTraits>;
// A private namespace (closed without destroying it: other installers may have it open) and a
// boundary descriptor.
using PrivateNamespace = UniqueResource<HANDLE, PrivateNamespaceTraits>;
using BoundaryDescriptor = UniqueResource<HANDLE, BoundaryDescriptorTraits>;
// A block from the local heap, viewed as T; heap strings (strings.h) are LocalBlock<WCHAR>.
template <class T>
using LocalBlock = UniqueResource<T*, LocalBlockTraits<T>>;
// The argument vector CommandLineToArgvW gives, released with GlobalFree.
using ArgumentVector = UniqueResource<LPWSTR*, GlobalBlockTraits>;

// Keeps the thread's last error across its scope: what a failing call left for its caller to
// report survives the clean-up and logging done meanwhile.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : error_(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(error_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  DWORD error_;
};
