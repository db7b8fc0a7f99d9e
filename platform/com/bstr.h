// OLE strings: UTF-16, length-prefixed, allocated by the sender and freed by the receiver.
// "The system's ANSI code page" is UTF-8 on this platform.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "com/types.h"
#include "com/utf8.h"

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

namespace com {

std::string ToUtf8(const OLECHAR* text);  // a null text gives ""

// A new OLE string holding the UTF-8 text; the receiver frees it.
BSTR AllocBstr(std::string_view utf8);

// Hands a new OLE string holding the text out through an out argument (E_POINTER when
// it is missing).
HRESULT OutString(std::string_view utf8, BSTR* out);

// Copies text into a fixed buffer of `size` bytes (terminator included), cut without
// splitting a UTF-8 character. Returns false when the text had to be cut.
bool CopyToBuffer(char* buffer, std::size_t size, std::string_view text);

// Owns one OLE string.
class BStr {
 public:
  BStr() = default;
  explicit BStr(std::string_view utf8) : s_(AllocBstr(utf8)) {}
  BStr(const BStr&) = delete;
  BStr& operator=(const BStr&) = delete;
  BStr(BStr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
  BStr& operator=(BStr&& o) noexcept {
    if (this != &o) {
      SysFreeString(s_);
      s_ = std::exchange(o.s_, nullptr);
    }
    return *this;
  }
  ~BStr() { SysFreeString(s_); }

  BSTR get() const { return s_; }
  BSTR* put() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  [[nodiscard]] BSTR detach() { return std::exchange(s_, nullptr); }
  std::string utf8() const { return ToUtf8(s_); }
  UINT length() const { return SysStringLen(s_); }

 private:
  BSTR s_ = nullptr;
};

}  // namespace com
