// IPersistFile of the server object: the values of the writable tags in a file.
#include "platform/com/bstr.h"
#include "platform/com/memory.h"
#include "simserver/server.h"
#include "simserver/tag_file.h"

namespace simserver {

namespace {

// What GetCurFile proposes while no file has been loaded or saved.
constexpr char16_t kDefaultFileName[] = u"Simulation.opcsim";

}  // namespace

HRESULT SimServer::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = clsid_;
    return S_OK;
}

HRESULT SimServer::IsDirty() {
    std::lock_guard lock(mutex_);
    return WrittenStateVersion(*space_) != savedVersion_ ? S_OK : S_FALSE;
}

HRESULT SimServer::Load(LPCOLESTR pszFileName, DWORD /*dwMode*/) {
    if (!pszFileName || !*pszFileName) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    const HRESULT hr = LoadTagFile(*space_, Utf8FromWide(pszFileName));
    if (FAILED(hr)) return hr;
    currentFile_ = pszFileName;
    savedVersion_ = WrittenStateVersion(*space_);
    return S_OK;
}

HRESULT SimServer::Save(LPCOLESTR pszFileName, BOOL fRemember) {
    std::lock_guard lock(mutex_);
    // A null name saves to the current file.
    const std::u16string target = pszFileName ? std::u16string(pszFileName) : currentFile_;
    if (target.empty()) return E_INVALIDARG;
    const std::uint64_t version = WrittenStateVersion(*space_);
    const HRESULT hr = SaveTagFile(*space_, Utf8FromWide(target));
    if (FAILED(hr)) return hr;
    if (fRemember || !pszFileName) {
        currentFile_ = target;
        savedVersion_ = version;
    }
    return S_OK;
}

HRESULT SimServer::SaveCompleted(LPCOLESTR /*pszFileName*/) { return S_OK; }

HRESULT SimServer::GetCurFile(LPOLESTR* ppszFileName) {
    if (!ppszFileName) return E_POINTER;
    std::lock_guard lock(mutex_);
    const bool hasFile = !currentFile_.empty();
    *ppszFileName = CoTaskWideFromWide(hasFile ? currentFile_ : std::u16string(kDefaultFileName));
    if (!*ppszFileName) return E_OUTOFMEMORY;
    return hasFile ? S_OK : S_FALSE;
}

}  // namespace simserver
