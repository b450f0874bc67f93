#include "persistence/csv_format.h"

#include "opc/client/value_text.h"

#include <array>
#include <cstdio>

namespace {

constexpr std::array<std::string_view, kCsvColumnCount> kColumnNames = {"变量ID", "访问路径", "数据类型", "Active"};

constexpr const char* kHeaderOverflow =
    "Error importing CSV item data.\n\nField buffer overflow reading identification record.";
constexpr const char* kUnrecognizedField = "Error importing CSV item data.\n\nUnrecognized field name: '%s'";
constexpr const char* kDuplicateField = "Error importing CSV item data.\n\nDuplicate field name: '%s'";
constexpr const char* kMissingHeader = "Error importing CSV item data.\n\nMissing item field identification record.";
constexpr const char* kRecordOverflow = "Error importing CSV item record %d\n\nField buffer overflow.";

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string Format(const char* format, std::string_view field) {
    std::string text(format);
    text.replace(text.find("%s"), 2, field);
    return text;
}

std::string Format(const char* format, int number) {
    std::string text(format);
    text.replace(text.find("%d"), 2, std::to_string(number));
    return text;
}

// Hands out the file's lines as a text-mode reader sees them: CR LF reads as LF, and a NUL
// ends the line's text.
class LineReader {
public:
    explicit LineReader(std::string_view file) : file_(file) {
        if (file_.starts_with(kUtf8Bom)) file_.remove_prefix(kUtf8Bom.size());
    }

    bool AtEnd() const { return pos_ >= file_.size(); }

    // The next line with its line feed, if it has one.
    std::string_view Next() {
        const std::size_t lineFeed = file_.find('\n', pos_);
        const std::size_t end = lineFeed == std::string_view::npos ? file_.size() : lineFeed + 1;
        line_.assign(file_.substr(pos_, end - pos_));
        pos_ = end;
        if (line_.size() >= 2 && line_.ends_with("\r\n")) line_.erase(line_.size() - 2, 1);
        if (const auto nul = line_.find('\0'); nul != std::string::npos) line_.resize(nul);
        return line_;
    }

private:
    std::string_view file_;
    std::size_t pos_ = 0;
    std::string line_;
};

bool IsSkippedHeaderLine(std::string_view line) {
    for (char c : line) {
        if (IsBlank(c)) continue;
        return c == ';';
    }
    return true;  // empty or white space only
}

// Parses the identification record into the chain of columns, in the order named.
bool ParseHeader(std::string_view line, std::vector<int>& chain, std::string& error) {
    std::size_t pos = 0;
    std::string field;
    std::array<bool, kCsvColumnCount> seen{};
    for (;;) {
        const CsvFieldResult result = ReadCsvField(line, pos, field, kCsvHeaderFieldLimit);
        if (result == CsvFieldResult::EndOfLine) break;
        if (result == CsvFieldResult::Overflow) {
            error = kHeaderOverflow;
            return false;
        }
        int column = -1;
        for (int c = 0; c < kCsvColumnCount; ++c)
            if (EqualsNoCase(field, kColumnNames[static_cast<std::size_t>(c)])) column = c;
        if (column < 0) {
            error = Format(kUnrecognizedField, field);
            return false;
        }
        if (seen[static_cast<std::size_t>(column)]) {
            error = Format(kDuplicateField, field);
            return false;
        }
        seen[static_cast<std::size_t>(column)] = true;
        chain.push_back(column);
    }
    if (chain.empty()) {
        error = kMissingHeader;
        return false;
    }
    return true;
}

void ApplyField(CsvItem& item, int column, const std::string& field) {
    if (field.empty()) return;
    switch (column) {
    case kCsvItemId: item.itemId = field; break;
    case kCsvAccessPath: item.accessPath = field; break;
    case kCsvDataType: item.dataType = VarTypeFromName(field); break;
    case kCsvActive: item.active = EqualsNoCase(field, "TRUE"); break;
    default: break;
    }
}

// The ItemID unquoted, as the column table has it; quoted when it holds a comma, which would
// otherwise split it on the way back in.
void AppendItemId(std::string& out, const std::string& itemId) {
    const bool quote = itemId.find(',') != std::string::npos;
    if (quote) out += '"';
    out += itemId;
    if (quote) out += '"';
}

}  // namespace

std::string_view CsvColumnName(int column) {
    if (column < 0 || column >= kCsvColumnCount) return {};
    return kColumnNames[static_cast<std::size_t>(column)];
}

CsvFieldResult ReadCsvField(std::string_view line, std::size_t& pos, std::string& field, std::size_t limit) {
    field.clear();
    if (pos >= line.size()) return CsvFieldResult::EndOfLine;
    bool quoted = false;
    bool overflow = false;
    bool taken = false;
    while (pos < line.size()) {
        const char c = line[pos++];
        if (!taken && IsBlank(c)) continue;
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == ',' || c == '\n')) break;
        taken = true;
        if (field.size() < limit)
            field += c;
        else
            overflow = true;
    }
    return overflow ? CsvFieldResult::Overflow : CsvFieldResult::Field;
}

std::string FormatCsvItems(const std::vector<CsvItem>& items) {
    std::string out;
    for (int c = 0; c < kCsvColumnCount; ++c) {
        if (c > 0) out += ',';
        out += kColumnNames[static_cast<std::size_t>(c)];
    }
    out += "\r\n";
    for (const CsvItem& item : items) {
        AppendItemId(out, item.itemId);
        out += ",\"";
        out += item.accessPath;
        out += "\",";
        out += VarTypeName(item.dataType);
        out += item.active ? ",TRUE\r\n" : ",FALSE\r\n";
    }
    return out;
}

CsvImport ParseCsvItems(std::string_view file) {
    CsvImport result;
    LineReader lines(file);

    // The identification record: the first line that is neither blank nor a comment; only
    // its first kCsvLineLimit characters are read.
    std::string header;
    for (;;) {
        if (lines.AtEnd()) return result;
        const std::string_view line = lines.Next();
        if (IsSkippedHeaderLine(line.substr(0, kCsvLineLimit))) continue;
        header.assign(line.substr(0, kCsvLineLimit));
        break;
    }
    std::vector<int> chain;
    if (!ParseHeader(header, chain, result.error)) return result;

    // Item records, one per line, until the end or an empty line. A record is read whole, so
    // a long line never turns into two items.
    std::string field;
    for (int record = 1; !lines.AtEnd(); ++record) {
        const std::string_view line = lines.Next();
        if (line.starts_with('\n')) break;
        CsvItem item;
        std::size_t pos = 0;
        for (int column : chain) {
            const CsvFieldResult read = ReadCsvField(line, pos, field, kCsvItemFieldLimit);
            if (read == CsvFieldResult::EndOfLine) break;
            if (read == CsvFieldResult::Overflow) {
                result.items.clear();
                result.error = Format(kRecordOverflow, record);
                return result;
            }
            ApplyField(item, column, field);
        }
        if (!item.itemId.empty()) result.items.push_back(std::move(item));
    }
    return result;
}
