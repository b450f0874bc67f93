// The standard component categories manager (ICatInformation) over the class registry.
#include "platform/com/bstr.h"
#include "platform/com/class_registry_store.h"
#include "platform/com/hresult.h"

#include <algorithm>
#include <limits>

namespace {

constexpr ULONG kIgnore = std::numeric_limits<ULONG>::max();

using CategoryInfoEnum = VectorEnum<IEnumCATEGORYINFO, CATEGORYINFO, PlainEnumPolicy<CATEGORYINFO>>;

bool Contains(const std::vector<CATID>& list, REFCATID catid) {
    return std::find(list.begin(), list.end(), catid) != list.end();
}

// Implements one of the listed categories (any class when the count is kIgnore). Classes
// here require no categories, so the required list never excludes one.
bool Matches(const ClassRegistration& entry, ULONG cImplemented, const CATID rgcatidImpl[]) {
    if (cImplemented == kIgnore) return true;
    for (ULONG i = 0; i < cImplemented; ++i)
        if (Contains(entry.implementedCategories, rgcatidImpl[i])) return true;
    return false;
}

class CategoryManager final : public ComObject<ICatInformation> {
public:
    HRESULT EnumCategories(LCID lcid, IEnumCATEGORYINFO** ppenumCategoryInfo) override {
        if (!ppenumCategoryInfo) return E_POINTER;
        std::vector<CATEGORYINFO> infos;
        for (const class_registry::CategoryEntry& entry : class_registry::AllCategories()) {
            CATEGORYINFO info;
            info.catid = entry.catid;
            info.lcid = lcid;
            const std::u16string text = WideFromUtf8(entry.description);
            const std::size_t n = std::min<std::size_t>(text.size(), std::size(info.szDescription) - 1);
            std::copy_n(text.begin(), n, info.szDescription);
            info.szDescription[n] = 0;
            infos.push_back(info);
        }
        *ppenumCategoryInfo = MakeComObject<CategoryInfoEnum>(std::move(infos)).detach();
        return S_OK;
    }

    HRESULT GetCategoryDesc(REFCATID rcatid, LCID, LPWSTR* pszDesc) override {
        if (!pszDesc) return E_POINTER;
        *pszDesc = nullptr;
        for (const class_registry::CategoryEntry& entry : class_registry::AllCategories()) {
            if (entry.catid == rcatid) {
                *pszDesc = CoTaskWideFromUtf8(entry.description);
                return *pszDesc ? S_OK : E_OUTOFMEMORY;
            }
        }
        return CAT_E_CATIDNOEXIST;
    }

    HRESULT EnumClassesOfCategories(ULONG cImplemented, const CATID rgcatidImpl[], ULONG, const CATID[],
                                    IEnumGUID** ppenumClsid) override {
        if (!ppenumClsid) return E_POINTER;
        *ppenumClsid = nullptr;
        if (cImplemented != kIgnore && cImplemented > 0 && !rgcatidImpl) return E_INVALIDARG;
        std::vector<GUID> found;
        for (const ClassRegistration& entry : class_registry::AllClasses())
            if (Matches(entry, cImplemented, rgcatidImpl)) found.push_back(entry.clsid);
        *ppenumClsid = MakeEnumGUID(std::move(found)).detach();
        return S_OK;
    }

    HRESULT IsClassOfCategories(REFCLSID rclsid, ULONG cImplemented, const CATID rgcatidImpl[], ULONG,
                                const CATID[]) override {
        if (cImplemented != kIgnore && cImplemented > 0 && !rgcatidImpl) return E_INVALIDARG;
        const auto entry = class_registry::FindByClsid(rclsid);
        if (!entry) return REGDB_E_CLASSNOTREG;
        return Matches(*entry, cImplemented, rgcatidImpl) ? S_OK : S_FALSE;
    }

    HRESULT EnumImplCategoriesOfClass(REFCLSID rclsid, IEnumGUID** ppenumCatid) override {
        if (!ppenumCatid) return E_POINTER;
        *ppenumCatid = nullptr;
        const auto entry = class_registry::FindByClsid(rclsid);
        if (!entry) return REGDB_E_CLASSNOTREG;
        *ppenumCatid = MakeEnumGUID(entry->implementedCategories).detach();
        return S_OK;
    }

    HRESULT EnumReqCategoriesOfClass(REFCLSID rclsid, IEnumGUID** ppenumCatid) override {
        if (!ppenumCatid) return E_POINTER;
        *ppenumCatid = nullptr;
        if (!class_registry::FindByClsid(rclsid)) return REGDB_E_CLASSNOTREG;
        *ppenumCatid = MakeEnumGUID({}).detach();
        return S_OK;
    }
};

}  // namespace

namespace class_registry {

ComPtr<IClassFactory> MakeCategoryManagerFactory() {
    return MakeClassFactory(
        [](REFIID riid, void** ppv) { return MakeComObject<CategoryManager>()->QueryInterface(riid, ppv); });
}

}  // namespace class_registry
