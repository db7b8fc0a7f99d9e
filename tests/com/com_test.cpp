#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "com/boundary.h"
#include "com/bstr.h"
#include "com/guid.h"
#include "com/ptr.h"
#include "com/stream.h"
#include "com/variant.h"

namespace {

TEST(Guid, PrintsBracedUpperCaseAndParsesBothCases) {
  constexpr GUID g = com::Guid("{438e9aaf-4555-4806-8445-d9d721bdb5b8}");
  EXPECT_EQ(com::GuidToString(g), "{438E9AAF-4555-4806-8445-D9D721BDB5B8}");
  EXPECT_EQ(com::ParseGuid("438E9AAF-4555-4806-8445-D9D721BDB5B8"), g);
  for (const char* bad : {"", "{438E9AAF-4555-4806-8445-D9D721BDB5B}", "{438E9AAG-4555-4806-8445-D9D721BDB5B8}",
                          "{438E9AAF+4555-4806-8445-D9D721BDB5B8}", "438E9AAF-4555-4806-8445-D9D721BDB5B8}"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(com::ParseGuid(bad).has_value());
  }
}

TEST(Guid, WideTextRoundTrip) {
  constexpr GUID g = com::Guid("{B56A7C42-83D4-11D2-A2E9-080009B6F22B}");
  OLECHAR buf[39];
  EXPECT_EQ(StringFromGUID2(g, buf, 38), 0);  // no room for the terminator
  ASSERT_EQ(StringFromGUID2(g, buf, 39), 39);
  EXPECT_EQ(com::ToUtf8(buf), "{B56A7C42-83D4-11D2-A2E9-080009B6F22B}");
  CLSID back{};
  EXPECT_EQ(CLSIDFromString(buf, &back), S_OK);
  EXPECT_EQ(back, g);
  com::BStr junk("not a class id");
  EXPECT_EQ(CLSIDFromString(junk.get(), &back), E_INVALIDARG);
}

TEST(Bstr, Utf8RoundTripAndLengthPrefix) {
  const std::string text = "Höhe \xF0\x9F\x97\xBA map";
  com::BStr s(text);
  EXPECT_EQ(s.utf8(), text);
  EXPECT_EQ(s.length(), 11u);  // the map sign takes a surrogate pair
  EXPECT_EQ(SysStringLen(nullptr), 0u);
}

TEST(Bstr, CutNeverSplitsACharacter) {
  char buf[5];
  EXPECT_FALSE(com::CopyToBuffer(buf, sizeof buf, "abcé"));  // é needs bytes 3 and 4
  EXPECT_STREQ(buf, "abc");
  EXPECT_TRUE(com::CopyToBuffer(buf, sizeof buf, "abcd"));
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(com::CutUtf8("ééé", 5), "éé");
}

TEST(Variant, ConversionsFollowTheStoreRules) {
  struct Case {
    com::Variant in;
    VARTYPE to;
    HRESULT hr;
    double expect;
  };
  const Case cases[] = {
      {com::Variant::R8(2.5), VT_I4, S_OK, 2},  // half to even
      {com::Variant::R8(3.5), VT_I4, S_OK, 4},
      {com::Variant::R8(-2.5), VT_I2, S_OK, -2},
      {com::Variant::R8(3e9), VT_I4, DISP_E_OVERFLOW, 0},
      {com::Variant::I4(-1), VT_UI1, DISP_E_OVERFLOW, 0},
      {com::Variant::I4(255), VT_UI1, S_OK, 255},
      {com::Variant::String(" 12.25 "), VT_R8, S_OK, 12.25},
      {com::Variant::String("12,5"), VT_R8, DISP_E_TYPEMISMATCH, 0},
      {com::Variant::R8(1e300), VT_R4, DISP_E_OVERFLOW, 0},
      {com::Variant::UI4(4294967295u), VT_R8, S_OK, 4294967295.0},
  };
  for (const Case& c : cases) {
    VARIANT out;
    VariantInit(&out);
    const HRESULT hr = VariantChangeType(&out, &c.in.get(), 0, c.to);
    EXPECT_EQ(hr, c.hr) << "to vt " << c.to;
    if (SUCCEEDED(hr)) {
      com::Variant v(out);
      double d = 0;
      EXPECT_EQ(v.ToDouble(&d), S_OK);
      EXPECT_EQ(d, c.expect);
    }
    VariantClear(&out);
  }
}

TEST(Variant, NumberToTextIsShortest) {
  VARIANT out;
  VariantInit(&out);
  const com::Variant in = com::Variant::R8(0.1);
  ASSERT_EQ(VariantChangeType(&out, &in.get(), 0, VT_BSTR), S_OK);
  EXPECT_EQ(com::ToUtf8(out.bstrVal), "0.1");
  VariantClear(&out);
}

TEST(ComPtr, EmptyReferenceRaisesTheHostCallError) {
  com::ComPtr<IUnknown> empty;
  try {
    empty->AddRef();
    FAIL() << "no error raised";
  } catch (const com::HostCallError& e) {
    EXPECT_EQ(e.code(), E_POINTER);
  }
  com::ComPtr<IUnknown> other;
  EXPECT_EQ(empty.As(&other), E_POINTER);
  EXPECT_EQ(empty.CopyTo(nullptr), E_POINTER);
}

}  // namespace

TEST(Boundary, GuardTurnsErrorsIntoStatusCodesButLetsTheHostCallErrorThrough) {
  EXPECT_EQ(com::Guard([] {}), S_OK);
  EXPECT_EQ(com::Guard([] { return S_FALSE; }), S_FALSE);
  EXPECT_EQ(com::Guard([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  EXPECT_EQ(com::Guard([]() -> HRESULT { throw std::runtime_error("disk"); }), E_FAIL);
  EXPECT_EQ(com::Guard([]() -> HRESULT { throw 7; }), E_FAIL);
  EXPECT_THROW(com::Guard([] { com::ComPtr<IUnknown>()->AddRef(); }), com::HostCallError);
  EXPECT_EQ(com::GuardAll([] { com::ComPtr<IUnknown>()->AddRef(); }), E_POINTER);
  EXPECT_EQ(com::GuardAll([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
}

TEST(Boundary, OutHandsValuesReferencesAndTextsOut) {
  LONG width = 0;
  EXPECT_EQ(com::Out(LONG{42}, &width), S_OK);
  EXPECT_EQ(width, 42);
  EXPECT_EQ(com::Out(LONG{42}, static_cast<LONG*>(nullptr)), E_POINTER);

  BSTR text = nullptr;
  EXPECT_EQ(com::Out("H\xC3\xA9", &text), S_OK);
  EXPECT_EQ(com::ToUtf8(text), "H\xC3\xA9");
  SysFreeString(text);
  EXPECT_EQ(com::Out("x", static_cast<BSTR*>(nullptr)), E_POINTER);

  com::ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  IStream* out = nullptr;
  EXPECT_EQ(com::Out(stream, &out), S_OK);
  ASSERT_EQ(out, stream.get());
  EXPECT_EQ(out->Release(), 1u);  // the reference handed out was its own
  IStream* empty = reinterpret_cast<IStream*>(1);
  EXPECT_EQ(com::Out(com::ComPtr<IStream>(), &empty), S_OK);
  EXPECT_EQ(empty, nullptr);
  EXPECT_EQ(com::Out(stream, static_cast<IStream**>(nullptr)), E_POINTER);
}
