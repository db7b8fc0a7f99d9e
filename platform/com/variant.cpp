#include "com/variant.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

void VariantInit(VARIANT* v) {
  if (!v) return;
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  switch (v->vt) {
    case VT_BSTR: SysFreeString(v->bstrVal); break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (v->punkVal) v->punkVal->Release();
      break;
    default: break;
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT tmp = *src;
  if (src->vt == VT_BSTR) {
    tmp.bstrVal = src->bstrVal ? SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal)) : nullptr;
    if (src->bstrVal && !tmp.bstrVal) return E_OUTOFMEMORY;
  } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal) {
    src->punkVal->AddRef();
  }
  VariantClear(dest);
  *dest = tmp;
  return S_OK;
}

namespace {

// A source value in its widest exact form.
struct Scalar {
  enum Kind { Int, UInt, Real, Text, None } kind = None;
  long long i = 0;
  unsigned long long u = 0;
  double d = 0;
  std::string text;
};

Scalar Read(const VARIANT& v) {
  Scalar s;
  switch (v.vt) {
    case VT_I1: s.kind = Scalar::Int; s.i = static_cast<signed char>(v.cVal); break;
    case VT_UI1: s.kind = Scalar::UInt; s.u = v.bVal; break;
    case VT_I2: s.kind = Scalar::Int; s.i = v.iVal; break;
    case VT_UI2: s.kind = Scalar::UInt; s.u = v.uiVal; break;
    case VT_I4: s.kind = Scalar::Int; s.i = v.lVal; break;
    case VT_INT: s.kind = Scalar::Int; s.i = v.intVal; break;
    case VT_UI4: s.kind = Scalar::UInt; s.u = v.ulVal; break;
    case VT_UINT: s.kind = Scalar::UInt; s.u = v.uintVal; break;
    case VT_I8: s.kind = Scalar::Int; s.i = v.llVal; break;
    case VT_UI8: s.kind = Scalar::UInt; s.u = v.ullVal; break;
    case VT_BOOL: s.kind = Scalar::Int; s.i = v.boolVal ? -1 : 0; break;
    case VT_R4: s.kind = Scalar::Real; s.d = v.fltVal; break;
    case VT_R8: s.kind = Scalar::Real; s.d = v.dblVal; break;
    case VT_BSTR: s.kind = Scalar::Text; s.text = com::ToUtf8(v.bstrVal); break;
    case VT_EMPTY: s.kind = Scalar::Int; s.i = 0; break;
    default: break;
  }
  return s;
}

HRESULT ParseText(const std::string& text, double* out) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  const char* first = text.data() + b;
  if (b < e && *first == '+') ++first;
  const auto [ptr, ec] = std::from_chars(first, text.data() + e, *out);
  if (ec != std::errc() || ptr != text.data() + e || first == text.data() + e) return DISP_E_TYPEMISMATCH;
  return S_OK;
}

// The source as an integer in [lo, hi], reals rounded half to even.
HRESULT ToInteger(const Scalar& s, long double lo, long double hi, long long* out, unsigned long long* uout) {
  double d = 0;
  switch (s.kind) {
    case Scalar::Int:
      if (s.i < lo || s.i > hi) return DISP_E_OVERFLOW;
      *out = s.i;
      *uout = static_cast<unsigned long long>(s.i);
      return S_OK;
    case Scalar::UInt:
      if (static_cast<long double>(s.u) > hi) return DISP_E_OVERFLOW;
      *out = static_cast<long long>(s.u);
      *uout = s.u;
      return S_OK;
    case Scalar::Real: d = s.d; break;
    case Scalar::Text:
      if (const HRESULT hr = ParseText(s.text, &d); FAILED(hr)) return hr;
      break;
    case Scalar::None: return DISP_E_TYPEMISMATCH;
  }
  if (!std::isfinite(d)) return DISP_E_OVERFLOW;
  const double r = std::nearbyint(d);  // the default rounding mode: half to even
  if (r < lo || r > hi) return DISP_E_OVERFLOW;
  if (r < 0) {
    *out = static_cast<long long>(r);
    *uout = static_cast<unsigned long long>(*out);
  } else {
    *uout = static_cast<unsigned long long>(r);
    *out = static_cast<long long>(*uout);
  }
  return S_OK;
}

HRESULT ToReal(const Scalar& s, double* out) {
  switch (s.kind) {
    case Scalar::Int: *out = static_cast<double>(s.i); return S_OK;
    case Scalar::UInt: *out = static_cast<double>(s.u); return S_OK;
    case Scalar::Real: *out = s.d; return S_OK;
    case Scalar::Text: return ParseText(s.text, out);
    case Scalar::None: break;
  }
  return DISP_E_TYPEMISMATCH;
}

std::string ToText(const Scalar& s) {
  char buf[64];
  std::to_chars_result r{};
  switch (s.kind) {
    case Scalar::Int: r = std::to_chars(buf, buf + sizeof buf, s.i); break;
    case Scalar::UInt: r = std::to_chars(buf, buf + sizeof buf, s.u); break;
    case Scalar::Real: r = std::to_chars(buf, buf + sizeof buf, s.d); break;
    case Scalar::Text: return s.text;
    case Scalar::None: return {};
  }
  return std::string(buf, r.ptr);
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, WORD, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (src->vt == vt) return VariantCopy(dest, src);
  const Scalar s = Read(*src);
  if (s.kind == Scalar::None) return DISP_E_TYPEMISMATCH;
  VARIANT out;
  VariantInit(&out);
  out.vt = vt;
  long long i = 0;
  unsigned long long u = 0;
  double d = 0;
  HRESULT hr = S_OK;
  using L = long double;
  switch (vt) {
    case VT_I1: hr = ToInteger(s, -128, 127, &i, &u); out.cVal = static_cast<CHAR>(i); break;
    case VT_UI1: hr = ToInteger(s, 0, 255, &i, &u); out.bVal = static_cast<BYTE>(u); break;
    case VT_I2: hr = ToInteger(s, -32768, 32767, &i, &u); out.iVal = static_cast<SHORT>(i); break;
    case VT_UI2: hr = ToInteger(s, 0, 65535, &i, &u); out.uiVal = static_cast<USHORT>(u); break;
    case VT_I4:
    case VT_INT:
      hr = ToInteger(s, -2147483648.0L, 2147483647.0L, &i, &u);
      out.lVal = static_cast<LONG>(i);
      break;
    case VT_UI4:
    case VT_UINT: hr = ToInteger(s, 0, 4294967295.0L, &i, &u); out.ulVal = static_cast<ULONG>(u); break;
    case VT_I8:
      hr = ToInteger(s, static_cast<L>(std::numeric_limits<long long>::min()),
                     static_cast<L>(std::numeric_limits<long long>::max()), &i, &u);
      out.llVal = i;
      break;
    case VT_UI8:
      hr = ToInteger(s, 0, static_cast<L>(std::numeric_limits<unsigned long long>::max()), &i, &u);
      out.ullVal = u;
      break;
    case VT_R4:
      hr = ToReal(s, &d);
      if (SUCCEEDED(hr) && std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
        hr = DISP_E_OVERFLOW;
      out.fltVal = static_cast<float>(d);
      break;
    case VT_R8: hr = ToReal(s, &d); out.dblVal = d; break;
    case VT_BOOL:
      hr = ToReal(s, &d);
      out.boolVal = d != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_BSTR: out.bstrVal = com::AllocBstr(ToText(s)); break;
    default: return DISP_E_BADVARTYPE;
  }
  if (FAILED(hr)) return hr;
  VariantClear(dest);
  *dest = out;
  return S_OK;
}

namespace com {

Variant::Variant(const Variant& o) : Variant() { VariantCopy(&v_, &o.v_); }
Variant::Variant(const VARIANT& v) : Variant() { VariantCopy(&v_, &v); }
Variant& Variant::operator=(const Variant& o) {
  if (this != &o) VariantCopy(&v_, &o.v_);
  return *this;
}
Variant::Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
Variant& Variant::operator=(Variant&& o) noexcept {
  if (this != &o) {
    VariantClear(&v_);
    v_ = o.v_;
    VariantInit(&o.v_);
  }
  return *this;
}

#define PLENTH_VARIANT_MAKER(Name, Type, Vt, Field) \
  Variant Variant::Name(Type x) {                   \
    Variant v;                                      \
    v.v_.vt = Vt;                                   \
    v.v_.Field = x;                                 \
    return v;                                       \
  }
PLENTH_VARIANT_MAKER(I1, std::int8_t, VT_I1, cVal)
PLENTH_VARIANT_MAKER(UI1, std::uint8_t, VT_UI1, bVal)
PLENTH_VARIANT_MAKER(I2, std::int16_t, VT_I2, iVal)
PLENTH_VARIANT_MAKER(UI2, std::uint16_t, VT_UI2, uiVal)
PLENTH_VARIANT_MAKER(I4, std::int32_t, VT_I4, lVal)
PLENTH_VARIANT_MAKER(UI4, std::uint32_t, VT_UI4, ulVal)
PLENTH_VARIANT_MAKER(R4, float, VT_R4, fltVal)
PLENTH_VARIANT_MAKER(R8, double, VT_R8, dblVal)
#undef PLENTH_VARIANT_MAKER

Variant Variant::Bool(bool x) {
  Variant v;
  v.v_.vt = VT_BOOL;
  v.v_.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
Variant Variant::String(std::string_view utf8) {
  Variant v;
  v.v_.vt = VT_BSTR;
  v.v_.bstrVal = AllocBstr(utf8);
  return v;
}
Variant Variant::Unknown(IUnknown* p) {
  Variant v;
  v.v_.vt = VT_UNKNOWN;
  v.v_.punkVal = p;
  if (p) p->AddRef();
  return v;
}

HRESULT Variant::ToDouble(double* out) const {
  VARIANT tmp;
  VariantInit(&tmp);
  const HRESULT hr = VariantChangeType(&tmp, &v_, 0, VT_R8);
  if (SUCCEEDED(hr)) *out = tmp.dblVal;
  return hr;
}
HRESULT Variant::ToInt32(std::int32_t* out) const {
  VARIANT tmp;
  VariantInit(&tmp);
  const HRESULT hr = VariantChangeType(&tmp, &v_, 0, VT_I4);
  if (SUCCEEDED(hr)) *out = tmp.lVal;
  return hr;
}
std::string Variant::ToUtf8() const { return v_.vt == VT_BSTR ? com::ToUtf8(v_.bstrVal) : std::string(); }

}  // namespace com
