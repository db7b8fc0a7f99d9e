#include "com/stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "com/object.h"

namespace {

// A global memory block: its bytes live in a separate allocation so that a block can
// grow while its handle stays the same.
struct Block {
  std::size_t size = 0;
  unsigned char* bytes = nullptr;
  int locks = 0;
};

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) {
  auto* b = new (std::nothrow) Block;
  if (!b) return nullptr;
  b->bytes = static_cast<unsigned char*>(bytes ? std::calloc(bytes, 1) : nullptr);
  if (bytes && !b->bytes) {
    delete b;
    return nullptr;
  }
  (void)flags;  // every block starts zeroed
  b->size = bytes;
  return b;
}

HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t bytes, UINT) {
  auto* b = static_cast<Block*>(block);
  if (!b) return nullptr;
  auto* grown = static_cast<unsigned char*>(std::realloc(b->bytes, bytes ? bytes : 1));
  if (!grown) return nullptr;
  if (bytes > b->size) std::memset(grown + b->size, 0, bytes - b->size);
  b->bytes = grown;
  b->size = bytes;
  return b;
}

void* GlobalLock(HGLOBAL block) {
  auto* b = static_cast<Block*>(block);
  if (!b) return nullptr;
  ++b->locks;
  return b->bytes;
}

BOOL GlobalUnlock(HGLOBAL block) {
  auto* b = static_cast<Block*>(block);
  if (!b || b->locks == 0) return FALSE;
  return --b->locks > 0 ? TRUE : FALSE;
}

std::size_t GlobalSize(HGLOBAL block) { return block ? static_cast<Block*>(block)->size : 0; }

HGLOBAL GlobalFree(HGLOBAL block) {
  if (auto* b = static_cast<Block*>(block)) {
    std::free(b->bytes);
    delete b;
  }
  return nullptr;
}

namespace {

class MemoryStream final : public com::ComClass<MemoryStream, IStream> {
 public:
  MemoryStream(HGLOBAL block, bool owns) : block_(block), owns_(owns) {}
  ~MemoryStream() override {
    if (owns_) GlobalFree(block_);
  }

  HRESULT Read(void* buffer, ULONG bytes, ULONG* read) override {
    if (!buffer) return E_POINTER;
    const std::size_t size = GlobalSize(block_);
    const std::size_t n = position_ < size ? std::min<std::size_t>(bytes, size - position_) : 0;
    if (n) std::memcpy(buffer, static_cast<Block*>(block_)->bytes + position_, n);
    position_ += n;
    if (read) *read = static_cast<ULONG>(n);
    return n == bytes ? S_OK : S_FALSE;
  }

  HRESULT Write(const void* buffer, ULONG bytes, ULONG* written) override {
    if (!buffer) return E_POINTER;
    if (position_ + bytes > GlobalSize(block_) && !GlobalReAlloc(block_, position_ + bytes, 0))
      return STG_E_MEDIUMFULL;
    std::memcpy(static_cast<Block*>(block_)->bytes + position_, buffer, bytes);
    position_ += bytes;
    if (written) *written = bytes;
    return S_OK;
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    long long base = 0;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<long long>(position_); break;
      case STREAM_SEEK_END: base = static_cast<long long>(GlobalSize(block_)); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<std::size_t>(base + move.QuadPart);
    if (position) position->QuadPart = position_;
    return S_OK;
  }

  HRESULT SetSize(ULARGE_INTEGER size) override {
    return GlobalReAlloc(block_, static_cast<std::size_t>(size.QuadPart), 0) ? S_OK : STG_E_MEDIUMFULL;
  }
  HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT Clone(IStream**) override { return E_NOTIMPL; }

 protected:
  HRESULT QueryOther(REFIID riid, void** object) override {
    if (riid == ISequentialStream::iid) {
      *object = static_cast<ISequentialStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  HGLOBAL block_;
  bool owns_;
  std::size_t position_ = 0;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, IStream** stream) {
  if (!stream) return E_POINTER;
  *stream = nullptr;
  if (!block) {
    block = GlobalAlloc(GMEM_MOVEABLE, 0);
    if (!block) return E_OUTOFMEMORY;
  }
  auto s = com::MakeObject<MemoryStream>(block, deleteOnRelease != FALSE);
  *stream = s.get();
  (*stream)->AddRef();
  return S_OK;
}
