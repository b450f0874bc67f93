// libFuzzer target for the CSV item import. The input is a whole file. An import that
// succeeds is exported and imported again: the items must come back unchanged, except where a
// field holds a line feed (only a quote left open at the end of a line puts one there, and a
// record cannot carry it).
#include "persistence/csv_format.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    const CsvImport import = ParseCsvItems(file);
    if (!import.error.empty()) {
        if (!import.items.empty()) std::abort();  // all or nothing
        return 0;
    }
    for (const CsvItem& item : import.items) {
        if (item.itemId.empty()) std::abort();
        if (item.itemId.size() > kCsvItemFieldLimit || item.accessPath.size() > kCsvItemFieldLimit) std::abort();
        if (item.itemId.find('\n') != std::string::npos || item.accessPath.find('\n') != std::string::npos) return 0;
    }
    const CsvImport again = ParseCsvItems(FormatCsvItems(import.items));
    if (!again.error.empty() || again.items != import.items) std::abort();
    return 0;
}
