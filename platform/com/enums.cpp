#include "platform/com/enums.h"

#include "platform/com/memory.h"

void StringEnumPolicy::Free(LPOLESTR& element) {
    CoTaskMemFree(element);
    element = nullptr;
}

ComPtr<IEnumString> MakeEnumString(std::vector<std::u16string> items) {
    return MakeComObject<StringEnum>(std::move(items));
}

ComPtr<IEnumString> MakeEnumStringUtf8(const std::vector<std::string>& items) {
    std::vector<std::u16string> wide;
    wide.reserve(items.size());
    for (const std::string& item : items) wide.push_back(WideFromUtf8(item));
    return MakeEnumString(std::move(wide));
}

ComPtr<IEnumUnknown> MakeEnumUnknown(std::vector<ComPtr<IUnknown>> items) {
    return MakeComObject<UnknownEnum>(std::move(items));
}

ComPtr<IEnumGUID> MakeEnumGUID(std::vector<GUID> items) { return MakeComObject<GuidEnum>(std::move(items)); }
