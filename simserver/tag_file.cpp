#include "simserver/tag_file.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"

namespace simserver {

namespace {

// Larger files are not configuration files of this server.
constexpr std::uintmax_t kMaxFileSize = 4 * 1024 * 1024;

bool IsKept(const Tag& tag) {
    return tag.Shape() == SignalShape::Memory && (tag.AccessRights() & OPC_WRITEABLE) &&
           !(tag.CanonicalType() & VT_ARRAY);
}

// Dates travel as their day number so that the text does not depend on date formats.
VARTYPE TextType(VARTYPE canonical) { return canonical == VT_DATE ? VT_R8 : VT_BSTR; }

struct Entry {
    Tag* tag;
    Variant value;
};

}  // namespace

std::uint64_t WrittenStateVersion(const AddressSpace& space) {
    std::uint64_t sum = 0;
    const FILETIME now{};
    for (const Tag* tag : space.Tags())
        if (tag->Shape() == SignalShape::Memory) sum += tag->Version(now);
    return sum;
}

HRESULT SaveTagFile(const AddressSpace& space, const std::string& path) {
    std::ostringstream text;
    const FILETIME now{};
    for (const Tag* tag : space.Tags()) {
        if (!IsKept(*tag)) continue;
        Variant value;
        WORD quality = 0;
        FILETIME stamp;
        tag->Read(now, value.get(), &quality, &stamp);
        if (tag->CanonicalType() == VT_DATE && FAILED(value.ChangeType(VT_R8))) continue;
        if (FAILED(value.ChangeType(VT_BSTR))) continue;
        std::string valueText = Utf8FromBstr(value->bstrVal);
        // Tabs and line breaks would break the line format; such texts are not kept.
        if (valueText.find_first_of("\t\r\n") != std::string::npos) continue;
        text << Utf8FromWide(tag->ItemId()) << '\t' << tag->CanonicalType() << '\t' << valueText << '\n';
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return STG_E_ACCESSDENIED;
    file << text.str();
    file.close();
    return file ? S_OK : STG_E_ACCESSDENIED;
}

HRESULT LoadTagFile(AddressSpace& space, const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return STG_E_FILENOTFOUND;
    file.seekg(0, std::ios::end);
    const auto size = static_cast<std::uintmax_t>(file.tellg());
    if (size > kMaxFileSize) return OPC_E_INVALIDCONFIGFILE;
    file.seekg(0);

    std::vector<Entry> entries;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const auto tab1 = line.find('\t');
        const auto tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) return OPC_E_INVALIDCONFIGFILE;
        Tag* tag = space.Find(WideFromUtf8(line.substr(0, tab1)));
        if (!tag || !IsKept(*tag) || line.substr(tab1 + 1, tab2 - tab1 - 1) != std::to_string(tag->CanonicalType()))
            return OPC_E_INVALIDCONFIGFILE;
        Variant value = Variant::Str(line.substr(tab2 + 1));
        if (TextType(tag->CanonicalType()) != VT_BSTR && FAILED(value.ChangeType(TextType(tag->CanonicalType()))))
            return OPC_E_INVALIDCONFIGFILE;
        if (FAILED(value.ChangeType(tag->CanonicalType()))) return OPC_E_INVALIDCONFIGFILE;
        entries.push_back({tag, std::move(value)});
    }
    for (auto& entry : entries)
        if (FAILED(entry.tag->Write(*entry.value))) return OPC_E_INVALIDCONFIGFILE;
    return S_OK;
}

}  // namespace simserver
