// The group's subscription interfaces: IDataObject advices of the three 1.0 stream formats,
// and the IConnectionPointContainer with the IOPCDataCallback point.
#include "simserver/group_object.h"

namespace simserver {

namespace {

constexpr HRESULT kDvELindex = MakeHResult(0x80040068);  // DV_E_LINDEX

bool FormatOf(CLIPFORMAT cf, AdviseFormat* format) {
    for (AdviseFormat f : {AdviseFormat::Data, AdviseFormat::DataTime, AdviseFormat::WriteComplete}) {
        if (cf == StreamFormat(f)) {
            *format = f;
            return true;
        }
    }
    return false;
}

}  // namespace

HRESULT Group::DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) {
    if (!pdwConnection) return E_POINTER;
    *pdwConnection = 0;
    if (!pformatetc || !pAdvSink) return E_INVALIDARG;
    AdviseFormat format;
    if (!FormatOf(pformatetc->cfFormat, &format)) return DV_E_FORMATETC;
    if (!(pformatetc->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    if (pformatetc->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (pformatetc->lindex != -1) return kDvELindex;

    std::lock_guard lock(core_->mutex);
    if (core_->shutdown) return E_FAIL;
    for (const Advice10& a : core_->advices)
        if (a.format == format) return CONNECT_E_ADVISELIMIT;  // one advice per format
    Advice10 advice;
    advice.connection = core_->nextConnection++;
    advice.format = format;
    advice.sink = ComPtr<IAdviseSink>(pAdvSink);
    *pdwConnection = advice.connection;
    core_->advices.push_back(std::move(advice));
    return S_OK;
}

HRESULT Group::DUnadvise(DWORD dwConnection) {
    ComPtr<IAdviseSink> released;  // let go after the mutex
    std::lock_guard lock(core_->mutex);
    for (auto it = core_->advices.begin(); it != core_->advices.end(); ++it) {
        if (it->connection == dwConnection) {
            released = std::move(it->sink);
            core_->advices.erase(it);
            return S_OK;
        }
    }
    return OLE_E_NOCONNECTION;
}

HRESULT Group::EnumDAdvise(IEnumSTATDATA** ppenumAdvise) {
    if (!ppenumAdvise) return E_POINTER;
    std::vector<StatDataItem> items;
    {
        std::lock_guard lock(core_->mutex);
        for (const Advice10& a : core_->advices) {
            StatDataItem item;
            item.formatetc.cfFormat = static_cast<CLIPFORMAT>(StreamFormat(a.format));
            item.formatetc.dwAspect = DVASPECT_CONTENT;
            item.formatetc.lindex = -1;
            item.formatetc.tymed = TYMED_HGLOBAL;
            item.sink = a.sink;
            item.connection = a.connection;
            items.push_back(std::move(item));
        }
    }
    *ppenumAdvise = MakeComObject<StatDataEnum>(std::move(items)).detach();
    return S_OK;
}

// The group hands out data only through its advices.
HRESULT Group::GetData(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
HRESULT Group::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
HRESULT Group::QueryGetData(FORMATETC*) { return E_NOTIMPL; }
HRESULT Group::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) { return E_NOTIMPL; }
HRESULT Group::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }
HRESULT Group::EnumFormatEtc(DWORD, IEnumFORMATETC**) { return E_NOTIMPL; }

HRESULT Group::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    ConnectionPoint* points[] = {&core_->dataCallback};
    return EnumConnectionPointsOf(points, ppEnum);
}

HRESULT Group::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    ConnectionPoint* points[] = {&core_->dataCallback};
    return FindConnectionPointIn(points, riid, ppCP);
}

}  // namespace simserver
