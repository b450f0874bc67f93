// IPersist and IPersistFile, as the OPC DA server object exposes them for its configuration
// file.
#pragma once

#include "platform/com/unknown.h"

struct IPersist : IUnknown {
    virtual HRESULT GetClassID(CLSID* pClassID) = 0;

protected:
    ~IPersist() = default;
};

struct IPersistFile : IPersist {
    // S_OK when changed since the last save, S_FALSE otherwise.
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(LPCOLESTR pszFileName, DWORD dwMode) = 0;
    virtual HRESULT Save(LPCOLESTR pszFileName, BOOL fRemember) = 0;
    virtual HRESULT SaveCompleted(LPCOLESTR pszFileName) = 0;
    // The name is CoTaskMemAlloc'ed; S_FALSE with the default name when there is no file.
    virtual HRESULT GetCurFile(LPOLESTR* ppszFileName) = 0;

protected:
    ~IPersistFile() = default;
};

// {0000010C-0000-0000-C000-000000000046}
inline constexpr IID IID_IPersist{0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0000010B-0000-0000-C000-000000000046}
inline constexpr IID IID_IPersistFile{0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

COM_INTERFACE_IID(IPersist, IID_IPersist);
COM_INTERFACE_IID_BASE(IPersistFile, IID_IPersistFile, IPersist);
