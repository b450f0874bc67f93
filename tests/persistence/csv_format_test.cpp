// The CSV item file: the field reader, the identification record, item records, every error
// message, and export.
#include "persistence/csv_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kHeader = "变量ID,访问路径,数据类型,Active\r\n";

std::vector<std::string> Fields(std::string_view line, std::size_t limit = kCsvItemFieldLimit) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    std::string field;
    for (;;) {
        const CsvFieldResult result = ReadCsvField(line, pos, field, limit);
        if (result == CsvFieldResult::EndOfLine) break;
        fields.push_back(result == CsvFieldResult::Overflow ? "<overflow>" : field);
    }
    return fields;
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

}  // namespace

TEST(CsvFieldReader, Fields) {
    struct Case {
        std::string line;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        {"a,b,c\n", {"a", "b", "c"}},
        {"a,b,c", {"a", "b", "c"}},
        {"  a,\t b  ,c", {"a", "b  ", "c"}},  // leading blanks dropped, trailing ones kept
        {"\"a,b\",c", {"a,b", "c"}},
        {"\"\",x", {"", "x"}},
        {"a\"b\"c", {"abc"}},    // a quote anywhere only switches quoting
        {"\"  a\"", {"a"}},      // blanks before the first character are skipped inside quotes too
        {"\"a\nb\"", {"a\nb"}},  // a quoted line feed belongs to the field
        {",,", {"", ""}},
        {",", {""}},
        {"", {}},
        {"\n", {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Fields(c.line), c.fields);
    }
}

TEST(CsvFieldReader, OverflowReadsToTheFieldsEnd) {
    EXPECT_EQ(Fields(std::string(4, 'x') + ",y", 4), (std::vector<std::string>{"xxxx", "y"}));
    EXPECT_EQ(Fields(std::string(5, 'x') + ",y", 4), (std::vector<std::string>{"<overflow>", "y"}));
}

TEST(CsvExport, OneActiveFloatItem) {
    const std::vector<CsvItem> items = {{"Channel1.Device1.Tag1", "", VT_R4, true}};
    EXPECT_EQ(FormatCsvItems(items), kHeader + "Channel1.Device1.Tag1,\"\",Float,TRUE\r\n");
}

TEST(CsvExport, TypesAccessPathsAndCommas) {
    const std::vector<CsvItem> items = {
        {"A", "p", VT_ARRAY | VT_I2, false},
        {"B", "", VT_EMPTY, true},
        {"C,D", "x,y", VT_BSTR, false},
    };
    EXPECT_EQ(FormatCsvItems(items), kHeader +
                                         "A,\"p\",Short Array,FALSE\r\n"
                                         "B,\"\",Native,TRUE\r\n"
                                         "\"C,D\",\"x,y\",String,FALSE\r\n");
    EXPECT_EQ(ParseCsvItems(FormatCsvItems(items)).items, items);
}

TEST(CsvImport, GoodFiles) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<CsvItem> items;
    };
    const Case cases[] = {
        {"header in another order", "Active,变量ID\nTRUE,A.B\n", {{"A.B", "", VT_EMPTY, true}}},
        {"names in another letter case", "active,变量id\ntrue,A\n", {{"A", "", VT_EMPTY, true}}},
        {"CR LF lines",
         kHeader + "A,\"p\",Float,TRUE\r\nB,,long array,false\r\n",
         {{"A", "p", VT_R4, true}, {"B", "", VT_ARRAY | VT_I4, false}}},
        {"comments and blank lines before the header",
         "\n   \n; a comment\n  ;another\n变量ID\nX\n",
         {{"X", "", VT_EMPTY, false}}},
        {"empty ItemID dropped, the others kept", "变量ID,Active\n,TRUE\nB,TRUE\n  \n", {{"B", "", VT_EMPTY, true}}},
        {"short record keeps the defaults", "变量ID,数据类型,Active\nA\n", {{"A", "", VT_EMPTY, false}}},
        {"unknown type is native",
         "变量ID,数据类型\nA,Int64\nB,String Array\n",
         {{"A", "", VT_EMPTY, false}, {"B", "", VT_EMPTY, false}}},
        {"an empty line ends the records", "变量ID\nA\n\nB\n", {{"A", "", VT_EMPTY, false}}},
        {"an empty CR LF line ends the records", "变量ID\r\nA\r\n\r\nB\r\n", {{"A", "", VT_EMPTY, false}}},
        {"last line without a line feed", "变量ID\nA\nB", {{"A", "", VT_EMPTY, false}, {"B", "", VT_EMPTY, false}}},
        {"extra fields ignored", "变量ID\nA,B,C\n", {{"A", "", VT_EMPTY, false}}},
        {"quoted comma", "变量ID,访问路径\n\"a,b\",\"c,d\"\n", {{"a,b", "c,d", VT_EMPTY, false}}},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF变量ID\nA\n", {{"A", "", VT_EMPTY, false}}},
        {"active only when TRUE",
         "变量ID,Active\nA,yes\nB,1\nC,True\n",
         {{"A", "", VT_EMPTY, false}, {"B", "", VT_EMPTY, false}, {"C", "", VT_EMPTY, true}}},
        {"a NUL ends the line's text",
         std::string("变量ID,Active\nA,TR") + '\0' + "UE\n",
         {{"A", "", VT_EMPTY, false}}},
        {"a long record stays one item",
         "变量ID,访问路径\nA,p" + Repeat(",x", 1500) + "\nB\n",
         {{"A", "p", VT_EMPTY, false}, {"B", "", VT_EMPTY, false}}},
        {"no header at all", "\n  \n;only comments\n", {}},
        {"empty file", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CsvImport import = ParseCsvItems(c.file);
        EXPECT_EQ(import.error, "");
        EXPECT_EQ(import.items, c.items);
    }
}

TEST(CsvImport, RefusedFiles) {
    struct Case {
        const char* name;
        std::string file;
        std::string error;
    };
    const Case cases[] = {
        {"duplicate column", "变量ID,Active,变量ID\nA\n",
         "Error importing CSV item data.\n\nDuplicate field name: '变量ID'"},
        {"unknown column", "变量ID,Value\nA,1\n", "Error importing CSV item data.\n\nUnrecognized field name: 'Value'"},
        {"empty column name", "变量ID,,Active\n", "Error importing CSV item data.\n\nUnrecognized field name: ''"},
        {"header field over 63 characters", std::string(64, 'h') + "\nA\n",
         "Error importing CSV item data.\n\nField buffer overflow reading identification record."},
        {"record field over 511 characters", "变量ID\nA\nB\n" + std::string(512, 'x') + "\nC\n",
         "Error importing CSV item record 3\n\nField buffer overflow."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CsvImport import = ParseCsvItems(c.file);
        EXPECT_EQ(import.error, c.error);
        EXPECT_TRUE(import.items.empty());
    }
}

TEST(CsvImport, FieldLimitsAreInclusive) {
    const CsvImport import = ParseCsvItems(std::string("变量ID\n") + std::string(511, 'x') + "\n");
    ASSERT_EQ(import.items.size(), 1u);
    EXPECT_EQ(import.items[0].itemId.size(), 511u);
}

TEST(CsvImport, HeaderLineIsReadUpToTheBuffer) {
    // Only the first 2047 characters of the identification record count: a column named
    // beyond them is never seen.
    const std::string header = "变量ID," + std::string(2100, ' ') + "Active\n";
    EXPECT_EQ(ParseCsvItems(header + "A,TRUE\n").error,
              "Error importing CSV item data.\n\nUnrecognized field name: ''");
    const std::string shortHeader = "变量ID," + std::string(2000, ' ') + "Active\n";
    EXPECT_EQ(ParseCsvItems(shortHeader + "A,TRUE\n").items, (std::vector<CsvItem>{{"A", "", VT_EMPTY, true}}));
}
