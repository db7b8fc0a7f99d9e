// Component objects: one template implements the base contract for a class and its
// interfaces, plain or aggregated inside an outer object, and the module's object and
// lock counts.
#pragma once

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

#include "com/boundary.h"
#include "com/dispatch.h"
#include "com/ptr.h"

namespace com {

// The live objects and server locks of one module, changed atomically.
class ModuleLifetime {
 public:
  void ObjectCreated() { objects_.fetch_add(1); }
  void ObjectDestroyed() { objects_.fetch_sub(1); }
  void Lock() { locks_.fetch_add(1); }
  void Unlock() { locks_.fetch_sub(1); }
  long Objects() const { return objects_.load(); }
  long Locks() const { return locks_.load(); }
  bool CanUnload() const { return Objects() == 0 && Locks() == 0; }

 private:
  std::atomic<long> objects_{0};
  std::atomic<long> locks_{0};
};

// Counts an object in its module's lifetime for as long as it lives.
template <ModuleLifetime& (*Lifetime)()>
class CountedIn {
 protected:
  CountedIn() { Lifetime().ObjectCreated(); }
  CountedIn(const CountedIn&) = delete;
  ~CountedIn() { Lifetime().ObjectDestroyed(); }
};

// Reference count, the controlling (outer) object when aggregated, and the inner,
// non-delegating base contract that an outer object holds.
class ObjectRoot {
 public:
  ObjectRoot() = default;
  ObjectRoot(const ObjectRoot&) = delete;
  ObjectRoot& operator=(const ObjectRoot&) = delete;
  virtual ~ObjectRoot() = default;

  // Non-delegating contract: what an aggregating outer object calls.
  IUnknown* InnerUnknown() { return &inner_; }

 protected:
  // Runs once the object knows whether it is aggregated (its controlling object is
  // then set); a failure fails the creation.
  virtual HRESULT FinalConstruct() { return S_OK; }
  virtual HRESULT InternalQueryInterface(REFIID riid, void** object) = 0;
  ULONG InternalAddRef() { return refs_.fetch_add(1) + 1; }
  ULONG InternalRelease() {
    const ULONG left = refs_.fetch_sub(1) - 1;  // decide deletion from the value returned
    if (left == 0) {
      // What the object does before it goes may take and give back references to itself;
      // they must not delete it a second time.
      refs_.store(1);
      FinalRelease();
      delete this;
    }
    return left;
  }
  // Runs once the last reference is released, while the whole object still stands.
  virtual void FinalRelease() {}
  IUnknown* outer_ = nullptr;

  template <class T, class... Args>
  friend HRESULT CreateObject(IUnknown* outer, REFIID riid, void** object, Args&&... args);

 public:
  HRESULT CallFinalConstruct() { return FinalConstruct(); }

 protected:

 private:
  struct Inner final : IUnknown {
    explicit Inner(ObjectRoot* o) : owner(o) {}
    HRESULT QueryInterface(REFIID riid, void** object) override {
      if (!object) return E_POINTER;
      if (riid == IUnknown::iid) {
        *object = this;
        AddRef();
        return S_OK;
      }
      return owner->InternalQueryInterface(riid, object);
    }
    ULONG AddRef() override { return owner->InternalAddRef(); }
    ULONG Release() override { return owner->InternalRelease(); }
    ObjectRoot* owner;
  };
  std::atomic<ULONG> refs_{0};
  Inner inner_{this};
};

// Implements the base contract of Derived for the listed interfaces. A dual interface
// (one derived from IDispatch) also answers for IDispatch. Derived may answer further
// interfaces by overriding QueryOther.
template <class Derived, class First, class... Rest>
class ComClass : public ObjectRoot, public First, public Rest... {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return outer_ ? outer_->QueryInterface(riid, object) : InternalQueryInterface(riid, object);
  }
  ULONG AddRef() override { return outer_ ? outer_->AddRef() : InternalAddRef(); }
  ULONG Release() override { return outer_ ? outer_->Release() : InternalRelease(); }

  // The object's identity as the base contract.
  IUnknown* Identity() { return static_cast<First*>(this); }
  // The object that answers for this one: its outer object when aggregated.
  IUnknown* ControllingUnknown() { return outer_ ? outer_ : Identity(); }

 protected:
  virtual HRESULT QueryOther(REFIID, void** object) {
    *object = nullptr;
    return E_NOINTERFACE;
  }

  HRESULT InternalQueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IUnknown::iid) {
      *object = static_cast<IUnknown*>(static_cast<First*>(this));
    } else if (!Match<First>(riid, object)) {
      if constexpr (sizeof...(Rest) > 0) (void)(Match<Rest>(riid, object) || ...);
    }
    if (!*object) return QueryOther(riid, object);
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
  }

 private:
  template <class I>
  bool Match(REFIID riid, void** object) {
    if (riid == uuidof<I>()) {
      *object = static_cast<I*>(this);
      return true;
    }
    if constexpr (std::is_base_of_v<IDispatch, I>) {
      if (riid == IDispatch::iid) {
        *object = static_cast<IDispatch*>(static_cast<I*>(this));
        return true;
      }
    }
    return false;
  }
};

// Creates a T plain (outer null) or aggregated inside outer, and queries it for riid.
// An aggregated object can only be asked for its base contract.
template <class T, class... Args>
HRESULT CreateObject(IUnknown* outer, REFIID riid, void** object, Args&&... args) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && riid != IUnknown::iid) return CLASS_E_NOAGGREGATION;
  T* obj = new (std::nothrow) T(std::forward<Args>(args)...);
  if (!obj) return E_OUTOFMEMORY;
  ObjectRoot* root = obj;
  root->outer_ = outer;
  root->InternalAddRef();
  HRESULT hr = root->FinalConstruct();
  if (SUCCEEDED(hr))
    hr = outer ? root->InnerUnknown()->QueryInterface(riid, object) : root->InternalQueryInterface(riid, object);
  root->InternalRelease();
  return hr;
}

// Creates a plain T for use inside the library that defines it.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
  ComPtr<T> object(new T(std::forward<Args>(args)...));
  if (FAILED(static_cast<ObjectRoot*>(object.get())->CallFinalConstruct())) object.reset();
  return object;
}

// Automation dispatch for a dual interface without members of its own.
template <class Derived, class Dual>
class NoMemberDispatch : public Dual {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override { return Out(UINT{0}, count); }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

}  // namespace com
