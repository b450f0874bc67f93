// The CSV item file of a group: an identification record that names the columns, then one
// record per item. Export writes the four columns in table order; import follows the columns
// in the order the identification record names them. Pure text in, text out: the document
// turns the rows into items.
#pragma once

#include "platform/com/types.h"

#include <string>
#include <string_view>
#include <vector>

// One item as a CSV record holds it.
struct CsvItem {
    std::string itemId;
    std::string accessPath;
    VARTYPE dataType = VT_EMPTY;
    bool active = false;

    bool operator==(const CsvItem&) const = default;
};

enum CsvColumn : int { kCsvItemId = 0, kCsvAccessPath = 1, kCsvDataType = 2, kCsvActive = 3 };
inline constexpr int kCsvColumnCount = 4;

// The column name of `column` ("变量ID", "访问路径", "数据类型", "Active").
std::string_view CsvColumnName(int column);

// Limits of the reader: characters per header line, per header field, per item field.
inline constexpr std::size_t kCsvLineLimit = 2047;
inline constexpr std::size_t kCsvHeaderFieldLimit = 63;
inline constexpr std::size_t kCsvItemFieldLimit = 511;

// The export file: identification record and one record per item, lines ended by CR LF.
std::string FormatCsvItems(const std::vector<CsvItem>& items);

struct CsvImport {
    std::vector<CsvItem> items;  // records with an ItemID, in file order
    std::string error;           // the message to show; empty when the import succeeded
};

// Reads a whole CSV file. On an error the items are empty and `error` holds the message.
// A file without an identification record gives no items and no message.
CsvImport ParseCsvItems(std::string_view file);

// Field reading, shared by both kinds of record: reads the field that starts at `pos` of
// `line` and moves `pos` past it. Leading white space is skipped; double quotes switch
// quoting and are dropped; outside quotes a comma or a line feed ends the field.
enum class CsvFieldResult { EndOfLine, Field, Overflow };
CsvFieldResult ReadCsvField(std::string_view line, std::size_t& pos, std::string& field, std::size_t limit);
