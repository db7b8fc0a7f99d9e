// Counted references to component objects. Calling through an empty reference raises
// the host-call error (E_POINTER), as the host's smart pointers do.
#pragma once

#include <stdexcept>
#include <utility>

#include "com/unknown.h"

namespace com {

// The host-call error: a call made through an empty reference, or a failed call that a
// caller chose to raise. It leaves the module's operation that made the call; the host
// that called the module catches it.
class HostCallError : public std::runtime_error {
 public:
  explicit HostCallError(HRESULT code, const char* what = "call through an empty host reference");
  ~HostCallError() override;
  HRESULT code() const { return code_; }

 private:
  HRESULT code_;
};

// Raises the host-call error for a failed status code; returns the code otherwise.
HRESULT Check(HRESULT hr);

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).swap(*this);
    return *this;
  }
  ComPtr& operator=(T* p) {
    ComPtr(p).swap(*this);
    return *this;
  }

  void swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

  // The host-call error on an empty reference.
  T* operator->() const {
    if (!p_) throw HostCallError(E_POINTER);
    return p_;
  }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // Releases the current object and hands out the slot for an out argument.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Takes over a reference without adding one.
  void attach(T* p) {
    reset();
    p_ = p;
  }
  [[nodiscard]] T* detach() { return std::exchange(p_, nullptr); }

  // Hands out a new reference through an out argument (E_POINTER when it is missing).
  HRESULT CopyTo(T** out) const {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }

  // Queries the object for another interface; an empty reference answers E_POINTER.
  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    if (!p_) {
      out->reset();
      return E_POINTER;
    }
    return p_->QueryInterface(uuidof<U>(), out->put_void());
  }
  // The other interface, or an empty reference when the object lacks it.
  template <class U>
  ComPtr<U> query() const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(uuidof<U>(), out.put_void());
    return out;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Adopts a reference that a call handed out (no AddRef).
template <class T>
ComPtr<T> Adopt(T* p) {
  ComPtr<T> out;
  out.attach(p);
  return out;
}

}  // namespace com
