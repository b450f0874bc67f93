// libFuzzer target for the project file reader. The input is a whole file, copied to a heap
// buffer of exactly its size so that any read past the end is caught. A file that loads is
// written again and read back: the second reading must give the same project, and the
// written form must be a fixed point. The same bytes are also read as the clipboard's group
// and item payloads, under the same rules.
#include "persistence/project_codec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <class Record>
void CheckList(std::span<const std::uint8_t> bytes,
               ProjectLoadError (*decode)(std::span<const std::uint8_t>, std::vector<Record>&),
               std::vector<std::uint8_t> (*encode)(const std::vector<Record>&)) {
    std::vector<Record> records;
    if (decode(bytes, records) != ProjectLoadError::None) {
        if (!records.empty()) std::abort();  // a refused payload leaves nothing behind
        return;
    }
    const std::vector<std::uint8_t> written = encode(records);
    std::vector<Record> again;
    if (decode(written, again) != ProjectLoadError::None) std::abort();
    if (encode(again) != written) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto copy = std::make_unique<std::uint8_t[]>(size);
    if (size > 0) std::memcpy(copy.get(), data, size);
    CheckList<GroupRecord>(std::span(copy.get(), size), DecodeGroupRecords, EncodeGroupRecords);
    CheckList<ItemRecord>(std::span(copy.get(), size), DecodeItemRecords, EncodeItemRecords);

    ProjectRecord project;
    if (DecodeProject(std::span(copy.get(), size), project) != ProjectLoadError::None) {
        if (!project.servers.empty()) std::abort();  // a refused file leaves nothing behind
        return 0;
    }
    const std::vector<std::uint8_t> written = EncodeProject(project);
    ProjectRecord again;
    if (DecodeProject(written, again) != ProjectLoadError::None) std::abort();
    if (!(again == project)) {
        // NaN deadbands compare unequal to themselves; the bytes must still be a fixed point.
        if (EncodeProject(again) != written) std::abort();
    }
    return 0;
}
