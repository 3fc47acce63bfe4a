// Owners for the handles and heap blocks the installer opens: each closes or releases what it
// holds when its scope ends, so every path gives back what it took. Where the order of closing
// matters (service before manager; a printer handle before the spooler restarts) the scopes in the
// callers show it.
#pragma once

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
  // The address to hand to an API that stores a new value; whatever was held is released first.
  T* Put() {
    Reset();
    return &value_;
  }
  T Release() { return std::exchange(value_, Traits::Empty()); }
  void Reset(T value = Traits::Empty()) {
    if (Traits::Valid(value_)) Traits::Close(value_);
    value_ = value;
  }

 private:
  T value_ = Traits::Empty();
};

struct PrinterHandleTraits {
  static HANDLE Empty() { return nullptr; }
  static bool Valid(HANDLE h) { return h != nullptr; }
  static void Close(HANDLE h) { ClosePrinter(h); }
};
struct ServiceHandleTraits {
  static SC_HANDLE Empty() { return nullptr; }
  static bool Valid(SC_HANDLE h) { return h != nullptr; }
  static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
struct RegistryKeyTraits {
  static HKEY Empty() { return nullptr; }
  static bool Valid(HKEY h) { return h != nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct KernelHandleTraits {
  static HANDLE Empty() { return nullptr; }
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct LocalBlockTraits {
  static void* Empty() { return nullptr; }
  static bool Valid(void* p) { return p != nullptr; }
  static void Close(void* p) { LocalFree(p); }
};

using PrinterHandle = UniqueResource<HANDLE, PrinterHandleTraits>;
using ServiceHandle = UniqueResource<SC_HANDLE, ServiceHandleTraits>;
using RegistryKey = UniqueResource<HKEY, RegistryKeyTraits>;
using KernelHandle = UniqueResource<HANDLE, KernelHandleTraits>;

// A block from the local heap, viewed as T. Released with LocalFree.
template <class T>
class LocalBlock {
 public:
  LocalBlock() = default;
  explicit LocalBlock(T* block) : block_(block) {}
  ~LocalBlock() { Reset(); }
  LocalBlock(const LocalBlock&) = delete;
  LocalBlock& operator=(const LocalBlock&) = delete;
  LocalBlock(LocalBlock&& other) noexcept : block_(other.Release()) {}
  LocalBlock& operator=(LocalBlock&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  T* Get() const { return block_; }
  T* operator->() const { return block_; }
  T& operator[](size_t i) const { return block_[i]; }
  explicit operator bool() const { return block_ != nullptr; }
  T* Release() { return std::exchange(block_, nullptr); }
  void Reset(T* block = nullptr) {
    if (block_) LocalFree(block_);
    block_ = block;
  }

 private:
  T* block_ = nullptr;
};
