// The CSV grammar byte by byte, and the preset line format read back through it.
#include <gtest/gtest.h>

#include "CsvLoader.h"
#include "PresetStore.h"
#include "TestFiles.h"

namespace korvale {
namespace {

using Records = std::vector<std::vector<std::string>>;

void WriteText(const std::string& path, const std::string& text) {
    test::WriteFile(path, test::Bytes(text.begin(), text.end()));
}

Records ReadAll(const std::string& content) {
    test::TempDir dir;
    WriteText(dir.File("f.csv"), content);
    CCSVLoader loader;
    EXPECT_TRUE(loader.Open(dir.File("f.csv")));
    Records records;
    std::vector<std::string> fields;
    for (int n; (n = loader.ReadRecord(fields)) != -1;) {
        records.emplace_back(fields.begin(), fields.begin() + n);
        fields.clear();
    }
    EXPECT_FALSE(loader.ReadFailed());
    return records;
}

struct GrammarCase {
    const char* name;
    std::string input;
    Records expected;
};

void PrintTo(const GrammarCase& c, std::ostream* os) {
    *os << c.name;
}

class CsvGrammar : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(CsvGrammar, ReadsRecords) {
    EXPECT_EQ(ReadAll(GetParam().input), GetParam().expected);
}

const GrammarCase kGrammarCases[] = {
    {"EmptyFile", "", {}},
    {"NoFinalLineEnd", "a,b\nc,d", {{"a", "b"}, {"c", "d"}}},
    {"CrLf", "a,b\r\nc\r\n", {{"a", "b"}, {"c"}}},
    {"LoneCr", "a\rb\r", {{"a"}, {"b"}}},
    {"MixedLineEnds", "a\r\nb\nc\rd", {{"a"}, {"b"}, {"c"}, {"d"}}},
    {"BlankLineIsOneEmptyField", "a\n\n\r\nb\n", {{"a"}, {""}, {""}, {"b"}}},
    {"EmptyFields", ",,\n", {{"", "", ""}}},
    {"NoTrimming", " a , b \n", {{" a ", " b "}}},
    {"QuotedComma", "\"a,b\",1\n", {{"a,b", "1"}}},
    {"QuotedLineEnds", "\"a\nb\r\nc\rd\",1\n", {{"a\nb\r\nc\rd", "1"}}},
    {"DoubledQuote", "\"say \"\"hi\"\"\",2\n", {{"say \"hi\"", "2"}}},
    {"OnlyADoubledQuote", "\"\"\"\"\n", {{"\""}}},
    {"EmptyQuotedField", "\"\",1\n", {{"", "1"}}},
    {"StrayQuoteIsDropped", "\"ab\"cd\",1\n", {{"abcd", "1"}}},
    {"QuoteInsideUnquotedFieldIsData", "ab\"c,1\"\n", {{"ab\"c", "1\""}}},
    {"ClosingQuoteAtEndOfFile", "\"x\"", {{"x"}}},
    {"FileEndsInsideQuotedField", "\"abc", {{"abc"}}},
    {"QuotedFieldThenCrLf", "\"a\"\r\n\"b\"\n", {{"a"}, {"b"}}},
    {"EveryByteIsData", std::string("\0\xff,\x1a\n", 5), {{std::string("\0\xff", 2), "\x1a"}}},
    {"ByteOrderMarkIsSkipped", "\xEF\xBB\xBF\"A4\",1\n", {{"A4", "1"}}},
    {"OnlyAByteOrderMark", "\xEF\xBB\xBF", {}},
    {"ByteOrderMarkLaterIsData", "a\n\xEF\xBB\xBF,b\n", {{"a"}, {"\xEF\xBB\xBF", "b"}}},
    {"PartOfAByteOrderMarkIsData", "\xEF\xBB,1", {{"\xEF\xBB", "1"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CsvGrammar, ::testing::ValuesIn(kGrammarCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CsvLoader, FieldKeepsItsFirst1023Bytes) {
    const std::string longText(2000, 'n');
    const Records records = ReadAll(longText + ",1\n\"" + longText + "\",2\n");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0][0], std::string(1023, 'n'));
    EXPECT_EQ(records[0][1], "1");
    EXPECT_EQ(records[1][0], std::string(1023, 'n'));
    EXPECT_EQ(records[1][1], "2");
}

TEST(CsvLoader, DoubledQuotesAreKeptPastTheCap) {
    const Records records = ReadAll("\"" + std::string(1030, 'n') + "\"\"\"\"x\"\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][0], std::string(1023, 'n') + "\"\"");
}

TEST(CsvLoader, DoubledQuotesStopAtTheHardCap) {
    std::string doubled;
    for (int i = 0; i < 5000; ++i) {
        doubled += "\"\"";
    }
    const Records records = ReadAll("\"" + doubled + "\",1\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][0], std::string(CCSVLoader::kFieldHardCap, '"'));
    EXPECT_EQ(records[0][1], "1");
}

std::string Commas(size_t count) {
    return std::string(count, ',');
}

// A record past the field limit says limit + 1 and stores no more than that; the record after
// it is read as usual.
TEST(CsvLoader, FieldsPastTheLimitAreNotStored) {
    struct Case {
        size_t commas;
        size_t count;
    };
    const size_t limit = CCSVLoader::kFieldLimit;
    for (const Case& c : {Case{limit - 1, limit}, Case{limit, limit + 1},
                          Case{limit + 1, limit + 1}, Case{100000, limit + 1}}) {
        SCOPED_TRACE(c.commas);
        const Records records = ReadAll("x" + Commas(c.commas) + "y\n\"A\",1\n");
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].size(), c.count);
        EXPECT_EQ(records[0][0], "x");
        EXPECT_EQ(records[1], (std::vector<std::string>{"A", "1"}));
    }
}

TEST(CsvLoader, AFileOfCommasKeepsTheVectorSmall) {
    test::TempDir dir;
    WriteText(dir.File("f.csv"), Commas(4 << 20));
    CCSVLoader loader;
    ASSERT_TRUE(loader.Open(dir.File("f.csv")));
    std::vector<std::string> fields;
    EXPECT_EQ(loader.ReadRecord(fields), CCSVLoader::kFieldLimit + 1);
    EXPECT_EQ(fields.size(), static_cast<size_t>(CCSVLoader::kFieldLimit + 1));
    EXPECT_EQ(loader.ReadRecord(fields), -1);
    EXPECT_FALSE(loader.ReadFailed());
}

TEST(CsvLoader, FieldsVectorGrowsAndKeepsElementsPastTheRecord) {
    test::TempDir dir;
    WriteText(dir.File("f.csv"), "a,b,c\nd\n");
    CCSVLoader loader;
    ASSERT_TRUE(loader.Open(dir.File("f.csv")));
    std::vector<std::string> fields;
    EXPECT_EQ(loader.ReadRecord(fields), 3);
    EXPECT_EQ(loader.ReadRecord(fields), 1);
    EXPECT_EQ(fields, (std::vector<std::string>{"d", "b", "c"}));
    EXPECT_EQ(loader.ReadRecord(fields), -1);
    EXPECT_EQ(loader.ReadRecord(fields), -1);
}

TEST(CsvLoader, OpenRefusesMissingFilesAndFolders) {
    test::TempDir dir;
    CCSVLoader loader;
    EXPECT_FALSE(loader.Open(dir.File("missing.csv")));
    EXPECT_FALSE(loader.Open(dir.path()));
    std::vector<std::string> fields;
    EXPECT_EQ(loader.ReadRecord(fields), -1);
}

TEST(PresetLine, NameIsQuotedWithItsQuotesDoubled) {
    EXPECT_EQ(FormatPresetLine({"A4", 2480, 3508, 300}), "\"A4\",2480,3508,300\n");
    EXPECT_EQ(FormatPresetLine({"a \"b\"", 32, 65535, 0}), "\"a \"\"b\"\"\",32,65535,0\n");
}

TEST(PresetLine, EveryNameReadsBackAsWritten) {
    const PresetList presets = {
        {"A4", 2480, 3508, 300},
        {"with, comma", 32, 32, 0},
        {"two\nlines", 100, 200, 300},
        {"cr lf\r\ninside", 100, 200, 300},
        {"say \"hi\"", 100, 200, 300},
        {"\"", 100, 200, 300},
        {"\"\",\"\"", 100, 200, 300},
        {" blanks ", 100, 200, 300},
        {"ハガキ 300dpi", 1181, 1748, 300},
        {std::string("nul\0byte", 8), 65535, 65535, 10000},
    };
    std::string content;
    for (const Preset& preset : presets) {
        content += FormatPresetLine(preset);
    }
    test::TempDir dir;
    WriteText(dir.File("f.csv"), content);
    CCSVLoader loader;
    ASSERT_TRUE(loader.Open(dir.File("f.csv")));
    const PresetReadResult read = ReadPresets(loader);
    EXPECT_EQ(read.presets, presets);
    EXPECT_EQ(read.errorCount, 0);
    EXPECT_FALSE(read.readFailed);
}

}  // namespace
}  // namespace korvale
