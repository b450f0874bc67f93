// IStream and a stream over a global memory block (CreateStreamOnHGlobal).
#pragma once

#include "platform/com/global_memory.h"
#include "platform/com/unknown.h"

union LARGE_INTEGER {
    LONGLONG QuadPart;
};
union ULARGE_INTEGER {
    ULONGLONG QuadPart;
};

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;
inline constexpr DWORD STGTY_STREAM = 2;
inline constexpr DWORD STATFLAG_DEFAULT = 0;
inline constexpr DWORD STATFLAG_NONAME = 1;

struct STATSTG {
    LPOLESTR pwcsName = nullptr;
    DWORD type = 0;
    ULARGE_INTEGER cbSize{0};
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode = 0;
    DWORD grfLocksSupported = 0;
    CLSID clsid;
    DWORD grfStateBits = 0;
    DWORD reserved = 0;
};

struct ISequentialStream : IUnknown {
    // S_OK when cb bytes were read; S_FALSE when the end came first (*pcbRead tells how many).
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;

protected:
    ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
    // A position before the start is STG_E_INVALIDFUNCTION; past the end is allowed.
    virtual HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER libNewSize) = 0;
    virtual HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) = 0;
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    virtual HRESULT Clone(IStream** ppstm) = 0;

protected:
    ~IStream() = default;
};
using LPSTREAM = IStream*;

// {0C733A30-2A1C-11CE-ADE5-00AA0044773D}
inline constexpr IID IID_ISequentialStream{
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
// {0000000C-0000-0000-C000-000000000046}
inline constexpr IID IID_IStream{0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

COM_INTERFACE_IID(ISequentialStream, IID_ISequentialStream);
COM_INTERFACE_IID_BASE(IStream, IID_IStream, ISequentialStream);

// A stream over `block` (a new empty block when null), positioned at 0; its size is the
// block's size and grows with writes past the end. With deleteOnRelease the block is freed
// when the last stream on it (clones included) is released.
HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, IStream** ppstm);
// The block beneath a stream made by CreateStreamOnHGlobal.
HRESULT GetHGlobalFromStream(IStream* pstm, HGLOBAL* phglobal);
