// Uniform data transfer: FORMATETC / STGMEDIUM, IAdviseSink and IDataObject, over global
// memory blocks and streams.
#pragma once

#include "platform/com/enums.h"
#include "platform/com/global_memory.h"
#include "platform/com/stream.h"
#include "platform/com/unknown.h"

using CLIPFORMAT = WORD;

struct DVTARGETDEVICE {
    DWORD tdSize = 0;
    WORD tdDriverNameOffset = 0;
    WORD tdDeviceNameOffset = 0;
    WORD tdPortNameOffset = 0;
    WORD tdExtDevmodeOffset = 0;
    BYTE tdData[1] = {};
};

inline constexpr DWORD DVASPECT_CONTENT = 1;
inline constexpr DWORD DVASPECT_THUMBNAIL = 2;
inline constexpr DWORD DVASPECT_ICON = 4;
inline constexpr DWORD DVASPECT_DOCPRINT = 8;

inline constexpr DWORD TYMED_NULL = 0;
inline constexpr DWORD TYMED_HGLOBAL = 1;
inline constexpr DWORD TYMED_FILE = 2;
inline constexpr DWORD TYMED_ISTREAM = 4;
inline constexpr DWORD TYMED_ISTORAGE = 8;
inline constexpr DWORD TYMED_GDI = 16;
inline constexpr DWORD TYMED_MFPICT = 32;
inline constexpr DWORD TYMED_ENHMF = 64;

// DAdvise flags.
inline constexpr DWORD ADVF_NODATA = 1;
inline constexpr DWORD ADVF_PRIMEFIRST = 2;
inline constexpr DWORD ADVF_ONLYONCE = 4;
inline constexpr DWORD ADVF_DATAONSTOP = 64;

// EnumFormatEtc directions.
inline constexpr DWORD DATADIR_GET = 1;
inline constexpr DWORD DATADIR_SET = 2;

struct FORMATETC {
    CLIPFORMAT cfFormat = 0;
    DVTARGETDEVICE* ptd = nullptr;
    DWORD dwAspect = 0;
    LONG lindex = 0;
    DWORD tymed = 0;
};

struct STGMEDIUM {
    DWORD tymed = TYMED_NULL;
    union {
        HGLOBAL hGlobal;
        LPOLESTR lpszFileName;
        IStream* pstm;
    };
    // When set, releasing the medium releases this instead of freeing the data.
    IUnknown* pUnkForRelease = nullptr;
    STGMEDIUM() : hGlobal(nullptr) {}
};

// Frees the data of the medium (or releases pUnkForRelease) and empties it. A file medium's
// name is freed; the file itself is left alone.
void ReleaseStgMedium(STGMEDIUM* medium);

struct IMoniker;  // named by IAdviseSink::OnRename only

struct IAdviseSink : IUnknown {
    // The medium stays the caller's.
    virtual void OnDataChange(FORMATETC* pFormatetc, STGMEDIUM* pStgmed) = 0;
    virtual void OnViewChange(DWORD dwAspect, LONG lindex) = 0;
    virtual void OnRename(IMoniker* pmk) = 0;
    virtual void OnSave() = 0;
    virtual void OnClose() = 0;

protected:
    ~IAdviseSink() = default;
};

struct STATDATA {
    FORMATETC formatetc;
    DWORD advf = 0;
    IAdviseSink* pAdvSink = nullptr;
    DWORD dwConnection = 0;
};

struct IEnumFORMATETC : IEnumOf<FORMATETC, IEnumFORMATETC> {
protected:
    ~IEnumFORMATETC() = default;
};
// Each returned STATDATA holds a reference to its sink for the caller.
struct IEnumSTATDATA : IEnumOf<STATDATA, IEnumSTATDATA> {
protected:
    ~IEnumSTATDATA() = default;
};

struct IDataObject : IUnknown {
    virtual HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) = 0;
    virtual HRESULT GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) = 0;
    virtual HRESULT QueryGetData(FORMATETC* pformatetc) = 0;
    virtual HRESULT GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) = 0;
    virtual HRESULT SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) = 0;
    virtual HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) = 0;
    virtual HRESULT DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) = 0;
    virtual HRESULT DUnadvise(DWORD dwConnection) = 0;
    virtual HRESULT EnumDAdvise(IEnumSTATDATA** ppenumAdvise) = 0;

protected:
    ~IDataObject() = default;
};

// {0000010F-0000-0000-C000-000000000046}
inline constexpr IID IID_IAdviseSink{0x0000010F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0000010E-0000-0000-C000-000000000046}
inline constexpr IID IID_IDataObject{0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000103-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumFORMATETC{0x00000103, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000105-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumSTATDATA{0x00000105, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

COM_INTERFACE_IID(IAdviseSink, IID_IAdviseSink);
COM_INTERFACE_IID(IDataObject, IID_IDataObject);
COM_INTERFACE_IID(IEnumFORMATETC, IID_IEnumFORMATETC);
COM_INTERFACE_IID(IEnumSTATDATA, IID_IEnumSTATDATA);

// Enumerators of formats (target devices are not carried) and of advise connections.
struct FormatEtcEnumPolicy {
    using Stored = FORMATETC;
    static HRESULT Copy(const FORMATETC& item, FORMATETC* out) {
        *out = item;
        out->ptd = nullptr;
        return S_OK;
    }
    static void Free(FORMATETC&) {}
};
struct StatDataItem {
    FORMATETC formatetc;
    DWORD advf = 0;
    ComPtr<IAdviseSink> sink;
    DWORD connection = 0;
};
struct StatDataEnumPolicy {
    using Stored = StatDataItem;
    static HRESULT Copy(const StatDataItem& item, STATDATA* out) {
        *out = STATDATA{item.formatetc, item.advf, item.sink.copy(), item.connection};
        out->formatetc.ptd = nullptr;
        return S_OK;
    }
    static void Free(STATDATA& element) {
        if (element.pAdvSink) element.pAdvSink->Release();
        element.pAdvSink = nullptr;
    }
};
using FormatEtcEnum = VectorEnum<IEnumFORMATETC, FORMATETC, FormatEtcEnumPolicy>;
using StatDataEnum = VectorEnum<IEnumSTATDATA, STATDATA, StatDataEnumPolicy>;
