// The one place that owns raw Win32 resources. Every kernel handle, GDI
// object, icon, registry key, find handle and COM pointer in the program
// lives in one of these types and is released by its destructor; nothing
// else calls CloseHandle, DeleteObject, DestroyIcon, RegCloseKey, FindClose
// or Release.
#pragma once

#include <windows.h>
// After windows.h.
#include <restartmanager.h>
#include <unknwn.h>

#include <utility>

namespace platform {

// A move-only owner of one value of Traits::Type. Traits gives the value
// that means "nothing" (Invalid) and how to release a real one (Close).
template <typename Traits>
class Unique {
 public:
  using Type = typename Traits::Type;

  Unique() noexcept = default;
  explicit Unique(Type value) noexcept : value_(value) {}
  ~Unique() { reset(); }
  Unique(Unique&& other) noexcept : value_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  Type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }
  // Gives the value up without releasing it.
  Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void reset(Type value = Traits::Invalid()) noexcept {
    const Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  // For an out parameter: releases what is held and hands out the slot.
  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

namespace traits {

struct KernelHandle {  // process, thread, event, mapping: null when none
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { ::CloseHandle(value); }
};

struct FileHandle {  // CreateFile: INVALID_HANDLE_VALUE when none
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type value) noexcept { ::CloseHandle(value); }
};

struct FindHandle {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type value) noexcept { ::FindClose(value); }
};

struct RegistryKey {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { ::RegCloseKey(value); }
};

template <typename T>
struct GdiObject {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { ::DeleteObject(value); }
};

struct Icon {
  using Type = HICON;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { ::DestroyIcon(value); }
};

struct LocalMemory {  // what the system allocated with LocalAlloc for the caller
  using Type = HLOCAL;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { ::LocalFree(value); }
};

struct Window {
  using Type = HWND;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { ::DestroyWindow(value); }
};

struct RestartSession {  // RmStartSession: no session is (DWORD)-1
  using Type = DWORD;
  static Type Invalid() noexcept { return static_cast<DWORD>(-1); }
  static void Close(Type value) noexcept { ::RmEndSession(value); }
};

}  // namespace traits

using UniqueHandle = Unique<traits::KernelHandle>;
using UniqueFile = Unique<traits::FileHandle>;
using UniqueFind = Unique<traits::FindHandle>;
using UniqueHkey = Unique<traits::RegistryKey>;
using UniqueFont = Unique<traits::GdiObject<HFONT>>;
using UniqueBitmap = Unique<traits::GdiObject<HBITMAP>>;
using UniqueBrush = Unique<traits::GdiObject<HBRUSH>>;
using UniquePen = Unique<traits::GdiObject<HPEN>>;
using UniqueIcon = Unique<traits::Icon>;
using UniqueWindow = Unique<traits::Window>;
using UniqueLocal = Unique<traits::LocalMemory>;
using UniqueRestartSession = Unique<traits::RestartSession>;

// A COM interface pointer with one reference of its own.
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  // For CoCreateInstance and QueryInterface.
  void** put_void() noexcept {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  // Another interface of the same object; empty when it has none.
  template <typename U>
  ComPtr<U> query() const noexcept {
    ComPtr<U> other;
    if (p_) p_->QueryInterface(__uuidof(U), other.put_void());
    return other;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace platform
