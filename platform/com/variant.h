// The VARIANT subset the module and its hosts pass, with the real VT_* codes.
#pragma once

#include <string>
#include <string_view>

#include "com/bstr.h"
#include "com/unknown.h"

struct IDispatch;

using VARTYPE = std::uint16_t;
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
  };
};
static_assert(sizeof(VARIANT) == 8 + sizeof(void*) || sizeof(VARIANT) == 16);

void VariantInit(VARIANT* v);
// Frees what the variant owns (string, reference) and leaves it empty.
HRESULT VariantClear(VARIANT* v);
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Converts src to type vt into dest (which may be src). Numbers convert with range
// checks (DISP_E_OVERFLOW), reals to integers round half to even, text parses in the C
// locale (DISP_E_TYPEMISMATCH when it is no number).
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, WORD flags, VARTYPE vt);

namespace com {

// Owns one VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant& o);
  Variant& operator=(const Variant& o);
  Variant(Variant&& o) noexcept;
  Variant& operator=(Variant&& o) noexcept;
  ~Variant() { VariantClear(&v_); }
  explicit Variant(const VARIANT& v);  // copies

  static Variant I1(std::int8_t x);
  static Variant UI1(std::uint8_t x);
  static Variant I2(std::int16_t x);
  static Variant UI2(std::uint16_t x);
  static Variant I4(std::int32_t x);
  static Variant UI4(std::uint32_t x);
  static Variant R4(float x);
  static Variant R8(double x);
  static Variant Bool(bool x);
  static Variant String(std::string_view utf8);
  static Variant Unknown(IUnknown* p);  // adds a reference

  VARTYPE vt() const { return v_.vt; }
  const VARIANT& get() const { return v_; }
  VARIANT* put() {
    VariantClear(&v_);
    return &v_;
  }
  // The value converted to the type, or the failure of the conversion.
  HRESULT ToDouble(double* out) const;
  HRESULT ToInt32(std::int32_t* out) const;
  std::string ToUtf8() const;  // the text of a string variant, else ""

 private:
  VARIANT v_;
};

}  // namespace com
