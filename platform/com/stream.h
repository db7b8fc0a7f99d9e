// Global memory blocks and the in-memory stream over one, as the drop data and the
// marshaler pass them.
#pragma once

#include "com/unknown.h"

using HGLOBAL = void*;
constexpr UINT GMEM_FIXED = 0x0;
constexpr UINT GMEM_MOVEABLE = 0x2;
constexpr UINT GMEM_ZEROINIT = 0x40;

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t bytes, UINT flags);
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
std::size_t GlobalSize(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);  // null on success

union LARGE_INTEGER {
  LONGLONG QuadPart;
};
union ULARGE_INTEGER {
  ULONGLONG QuadPart;
};
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;
constexpr HRESULT STG_E_INVALIDFUNCTION = MakeHresult(0x80030001u);
constexpr HRESULT STG_E_MEDIUMFULL = MakeHresult(0x80030070u);

struct STATSTG;

struct ISequentialStream : IUnknown {
  static constexpr IID iid = com::Guid("{0C733A30-2A1C-11CE-ADE5-00AA0044773D}");
  virtual HRESULT Read(void* buffer, ULONG bytes, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG bytes, ULONG* written) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
  static constexpr IID iid = com::Guid("{0000000C-0000-0000-C000-000000000046}");
  virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
  virtual HRESULT CopyTo(IStream* to, ULARGE_INTEGER bytes, ULARGE_INTEGER* read, ULARGE_INTEGER* written) = 0;
  virtual HRESULT Commit(DWORD flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER bytes, DWORD type) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER bytes, DWORD type) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
  virtual HRESULT Clone(IStream** copy) = 0;

 protected:
  ~IStream() = default;
};

// A stream over a global memory block (a new one when block is null); the block is
// freed with the stream when deleteOnRelease is set.
HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, IStream** stream);
