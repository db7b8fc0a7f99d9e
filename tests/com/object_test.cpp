#include <gtest/gtest.h>

#include "com/classes.h"

namespace {

com::ModuleLifetime& TestLifetime() {
  static com::ModuleLifetime lifetime;
  return lifetime;
}

struct IThing : IUnknown {
  static constexpr IID iid = com::Guid("{6C37E45E-9E2D-4910-BDDE-3ECF0A061688}");
  virtual int Value() = 0;
};
struct IDualThing : IDispatch {
  static constexpr IID iid = com::Guid("{F1EDC33D-5B52-4BA5-8878-DC6A96CA3E08}");
};

class Thing final : public com::ComClass<Thing, IThing, com::NoMemberDispatch<Thing, IDualThing>>,
                    com::CountedIn<TestLifetime> {
 public:
  int Value() override { return 42; }
};

HRESULT CreateThing(IUnknown* outer, REFIID riid, void** object) {
  return com::CreateObject<Thing>(outer, riid, object);
}

// An outer object that aggregates a Thing and answers IThing through it.
class Outer final : public com::ComClass<Outer, IUnknown> {
 public:
  Outer() { CreateThing(Identity(), IUnknown::iid, inner_.put_void()); }
  IUnknown* inner() { return inner_.get(); }

 protected:
  HRESULT QueryOther(REFIID riid, void** object) override { return inner_->QueryInterface(riid, object); }

 private:
  com::ComPtr<IUnknown> inner_;
};

TEST(ComObject, AnswersItsInterfacesAndCountsItsModule) {
  const long before = TestLifetime().Objects();
  {
    com::ComPtr<IThing> thing;
    ASSERT_EQ(CreateThing(nullptr, IThing::iid, thing.put_void()), S_OK);
    EXPECT_EQ(TestLifetime().Objects(), before + 1);
    EXPECT_EQ(thing->Value(), 42);
    auto dispatch = thing.query<IDispatch>();
    ASSERT_TRUE(dispatch);
    UINT n = 7;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&n), S_OK);
    EXPECT_EQ(n, 0u);
    // One identity whichever interface is asked for it.
    EXPECT_EQ(thing.query<IUnknown>().get(), dispatch.query<IUnknown>().get());
    IUnknown* none = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(thing->QueryInterface(IClassFactory::iid, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
  }
  EXPECT_EQ(TestLifetime().Objects(), before);
}

TEST(ComObject, AggregatedObjectDelegatesToItsOuterIdentity) {
  const long before = TestLifetime().Objects();
  {
    auto outer = com::MakeObject<Outer>();
    auto thing = outer.query<IThing>();
    ASSERT_TRUE(thing);
    EXPECT_EQ(thing->Value(), 42);
    EXPECT_EQ(thing.query<IUnknown>().get(), outer->Identity());
    // Asking for anything but the base contract of an aggregated object is refused.
    void* p = nullptr;
    EXPECT_EQ(CreateThing(outer->Identity(), IThing::iid, &p), CLASS_E_NOAGGREGATION);
  }
  EXPECT_EQ(TestLifetime().Objects(), before);
}

TEST(ClassTable, LaterRegistrationHidesEarlierUntilRevoked) {
  constexpr CLSID id = com::Guid("{889C7EE7-D641-4465-A437-575A8B59B823}");
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IThing::iid, &p), REGDB_E_CLASSNOTREG);
  auto factory = com::MakeObject<com::ClassFactory>(&CreateThing, &TestLifetime());
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(id, factory->Identity(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
  auto thing = com::CreateInstance<IThing>(id);
  ASSERT_TRUE(thing);
  EXPECT_EQ(thing->Value(), 42);
  factory->LockServer(TRUE);
  EXPECT_FALSE(TestLifetime().CanUnload());
  factory->LockServer(FALSE);
  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_FALSE(com::CreateInstance<IThing>(id));
}

}  // namespace
