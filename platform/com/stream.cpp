#include "platform/com/stream.h"

#include "platform/com/hresult.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

namespace {

// The block shared by a stream and its clones.
struct SharedBlock {
    SharedBlock(HGLOBAL h, bool deleteOnRelease) : block(h), deleteOnRelease(deleteOnRelease) {}
    ~SharedBlock() {
        if (deleteOnRelease) GlobalFree(block);
    }
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    HGLOBAL block;
    bool deleteOnRelease;
    std::mutex mutex;  // guards the contents and every position of streams on it
};

constexpr ULONGLONG kMaxPosition = std::numeric_limits<LONGLONG>::max();

class HGlobalStream final : public ComObject<IStream> {
public:
    HGlobalStream(std::shared_ptr<SharedBlock> shared, ULONGLONG position)
        : shared_(std::move(shared)), position_(position) {}

    HGLOBAL Block() const { return shared_->block; }

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb > 0) return STG_E_INVALIDPOINTER;
        std::lock_guard lock(shared_->mutex);
        const std::size_t size = GlobalSize(shared_->block);
        const ULONGLONG available = position_ < size ? size - position_ : 0;
        const ULONG count = static_cast<ULONG>(std::min<ULONGLONG>(cb, available));
        if (count > 0) {
            const char* data = static_cast<const char*>(GlobalLock(shared_->block));
            if (!data) return E_HANDLE;
            std::memcpy(pv, data + position_, count);
            GlobalUnlock(shared_->block);
        }
        position_ += count;
        if (pcbRead) *pcbRead = count;
        return count == cb ? S_OK : S_FALSE;
    }

    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv && cb > 0) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        std::lock_guard lock(shared_->mutex);
        if (position_ > kMaxPosition - cb || position_ + cb > std::numeric_limits<std::size_t>::max())
            return STG_E_MEDIUMFULL;
        const std::size_t end = static_cast<std::size_t>(position_ + cb);
        if (end > GlobalSize(shared_->block) && !GlobalReAlloc(shared_->block, end, GMEM_MOVEABLE))
            return STG_E_MEDIUMFULL;
        char* data = static_cast<char*>(GlobalLock(shared_->block));
        if (!data) return E_HANDLE;
        std::memcpy(data + position_, pv, cb);
        GlobalUnlock(shared_->block);
        position_ = end;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override {
        std::lock_guard lock(shared_->mutex);
        LONGLONG base = 0;
        switch (dwOrigin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
        case STREAM_SEEK_END: base = static_cast<LONGLONG>(GlobalSize(shared_->block)); break;
        default: return STG_E_INVALIDFUNCTION;
        }
        const LONGLONG move = dlibMove.QuadPart;
        if ((move > 0 && base > std::numeric_limits<LONGLONG>::max() - move) || base + move < 0)
            return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(base + move);
        if (plibNewPosition) plibNewPosition->QuadPart = position_;
        return S_OK;
    }

    HRESULT SetSize(ULARGE_INTEGER libNewSize) override {
        if (libNewSize.QuadPart > std::numeric_limits<std::size_t>::max() / 2) return STG_E_MEDIUMFULL;
        std::lock_guard lock(shared_->mutex);
        if (!GlobalReAlloc(shared_->block, static_cast<std::size_t>(libNewSize.QuadPart), GMEM_MOVEABLE))
            return STG_E_MEDIUMFULL;
        return S_OK;
    }

    HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override {
        if (pcbRead) pcbRead->QuadPart = 0;
        if (pcbWritten) pcbWritten->QuadPart = 0;
        if (!pstm) return STG_E_INVALIDPOINTER;
        ULONGLONG readTotal = 0, writtenTotal = 0;
        ULONGLONG left = cb.QuadPart;
        char buffer[4096];
        while (left > 0) {
            ULONG read = 0;
            HRESULT hr = Read(buffer, static_cast<ULONG>(std::min<ULONGLONG>(left, sizeof buffer)), &read);
            if (FAILED(hr)) return hr;
            if (read == 0) break;
            readTotal += read;
            left -= read;
            ULONG written = 0;
            hr = pstm->Write(buffer, read, &written);
            writtenTotal += written;
            if (FAILED(hr)) return hr;
        }
        if (pcbRead) pcbRead->QuadPart = readTotal;
        if (pcbWritten) pcbWritten->QuadPart = writtenTotal;
        return S_OK;
    }

    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

    HRESULT Stat(STATSTG* pstatstg, DWORD) override {
        if (!pstatstg) return STG_E_INVALIDPOINTER;
        *pstatstg = STATSTG();
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize.QuadPart = GlobalSize(shared_->block);
        return S_OK;
    }

    HRESULT Clone(IStream** ppstm) override {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        std::lock_guard lock(shared_->mutex);
        *ppstm = MakeComObject<HGlobalStream>(shared_, position_).detach();
        return S_OK;
    }

private:
    std::shared_ptr<SharedBlock> shared_;
    ULONGLONG position_;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, IStream** ppstm) {
    if (!ppstm) return E_INVALIDARG;
    *ppstm = nullptr;
    if (!block) {
        block = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!block) return E_OUTOFMEMORY;
    } else if (!GlobalLock(block)) {
        return E_INVALIDARG;
    } else {
        GlobalUnlock(block);
    }
    auto shared = std::make_shared<SharedBlock>(block, deleteOnRelease != FALSE);
    *ppstm = MakeComObject<HGlobalStream>(std::move(shared), 0).detach();
    return S_OK;
}

HRESULT GetHGlobalFromStream(IStream* pstm, HGLOBAL* phglobal) {
    if (!phglobal) return E_INVALIDARG;
    *phglobal = nullptr;
    auto* stream = dynamic_cast<HGlobalStream*>(pstm);
    if (!stream) return E_INVALIDARG;
    *phglobal = stream->Block();
    return S_OK;
}
