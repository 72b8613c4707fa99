// The .reg parser, case by case: what each kind of line becomes in the key
// tree, and which lines are refused.
#include "platform/reg_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "reg_test_util.h"

namespace {

using namespace std::string_literals;

const RegKeyNode* FindKey(const RegKeyNode& root, std::string_view path) {
  const RegKeyNode* node = &root;
  size_t start = 0;
  while (node != nullptr && start <= path.size() && !path.empty()) {
    size_t end = path.find('\\', start);
    node = node->FindSubkey(path.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return node;
}

struct Expect {
  std::string key;
  std::string value;  // "" for the default value
  std::optional<DWORD> type;  // nullopt: the value must be absent
  std::string data;
};

struct ParseCase {
  const char* name;
  std::string text;
  RegFileFormat format;
  size_t malformed;
  std::vector<Expect> expects;
  std::vector<const char*> absentKeys = {};
};

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kV4 = "REGEDIT4\n\n";

std::string Dword(uint32_t v) {
  return std::string{static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff),
                     static_cast<char>((v >> 16) & 0xff), static_cast<char>(v >> 24)};
}

const std::vector<ParseCase>& Cases() {
  static const std::vector<ParseCase> cases = {
      {"EveryValueTypeVersion5",
       kV5 + "[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
             "\"Str\"=\"hello\"\r\n"
             "@=\"the default\"\r\n"
             "\"Num\"=dword:0001e240\r\n"
             "\"Short\"=dword:7\r\n"
             "\"Bin\"=hex:de,ad,BE,ef\r\n"
             "\"Empty\"=hex:\r\n"
             "\"Expand\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"
             "\"Multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00\r\n"
             "\"Q\"=hex(b):08,07,06,05,04,03,02,01\r\n"
             "\"None\"=hex(0):01\r\n"
             "\"Big\"=hex(5):00,00,00,01\r\n",
       RegFileFormat::kVersion5, 0,
       {{"Software\\Test", "Str", REG_SZ, "hello\0"s},
        {"Software\\Test", "", REG_SZ, "the default\0"s},
        {"Software\\Test", "Num", REG_DWORD, Dword(123456)},
        {"Software\\Test", "Short", REG_DWORD, Dword(7)},
        {"Software\\Test", "Bin", REG_BINARY, "\xde\xad\xbe\xef"s},
        {"Software\\Test", "Empty", REG_BINARY, ""},
        {"Software\\Test", "Expand", REG_EXPAND_SZ, "%PATH%\0"s},
        {"Software\\Test", "Multi", REG_MULTI_SZ, "a\0bc\0\0"s},
        {"Software\\Test", "Q", REG_QWORD, "\x08\x07\x06\x05\x04\x03\x02\x01"s},
        {"Software\\Test", "None", REG_NONE, "\x01"s},
        {"Software\\Test", "Big", REG_DWORD_BIG_ENDIAN, "\0\0\0\x01"s}}},
      {"Regedit4StringTypesAre8Bit",
       kV4 + "[HKEY_LOCAL_MACHINE\\Software\\Old]\n"
             "\"Expand\"=hex(2):25,54,4d,50,25,00\n"
             "\"Multi\"=hex(7):78,00,79,00,00\n"
             "\"Str\"=\"plain\"\n",
       RegFileFormat::kRegedit4, 0,
       {{"Software\\Old", "Expand", REG_EXPAND_SZ, "%TMP%\0"s},
        {"Software\\Old", "Multi", REG_MULTI_SZ, "x\0y\0\0"s},
        {"Software\\Old", "Str", REG_SZ, "plain\0"s}}},
      {"StringsWithoutTerminatorAreTerminated",
       kV5 + "[HKLM\\K]\n"
             "\"Sz\"=hex(1):61,00,62,00\n"
             "\"Exp\"=hex(2):\n"
             "\"Multi\"=hex(7):61,00\n"
             "\"MultiEmpty\"=hex(7):00,00\n",
       RegFileFormat::kVersion5, 0,
       {{"K", "Sz", REG_SZ, "ab\0"s},
        {"K", "Exp", REG_EXPAND_SZ, "\0"s},
        {"K", "Multi", REG_MULTI_SZ, "a\0\0"s},
        {"K", "MultiEmpty", REG_MULTI_SZ, "\0"s}}},
      {"EscapesInNamesAndStrings",
       kV5 + "[HKEY_LOCAL_MACHINE\\E]\n"
             "\"Path\"=\"C:\\\\Program Files\\\\App\\\\\"\n"
             "\"Quote\"=\"say \\\"hi\\\"\"\n"
             "\"Na\\\"me\\\\x\"=\"v\"\n"
             "\"Other\"=\"C:\\temp\"\n"
             "\"Semi\"=\"a;b\" ; a comment after the data\n",
       RegFileFormat::kVersion5, 0,
       {{"E", "Path", REG_SZ, "C:\\Program Files\\App\\\0"s},
        {"E", "Quote", REG_SZ, "say \"hi\"\0"s},
        {"E", "Na\"me\\x", REG_SZ, "v\0"s},
        {"E", "Other", REG_SZ, "C:\\temp\0"s},
        {"E", "Semi", REG_SZ, "a;b\0"s}}},
      {"HexContinuationLines",
       kV5 + "[HKEY_LOCAL_MACHINE\\C]\r\n"
             "\"Long\"=hex:01,02,03,\\\r\n"
             "  04,05,\\\r\n"
             "\t06\r\n"
             "\"After\"=\"next\"\r\n"
             "\"AtEnd\"=hex(2):41,00,\\\r\n",
       RegFileFormat::kVersion5, 0,
       {{"C", "Long", REG_BINARY, "\x01\x02\x03\x04\x05\x06"s},
        {"C", "After", REG_SZ, "next\0"s},
        {"C", "AtEnd", REG_EXPAND_SZ, "A\0"s}}},
      {"CommentsBlankLinesAndLeadingBlankLines",
       "\n  \nREGEDIT4  \n; a comment\n\n[HKEY_LOCAL_MACHINE\\A]\n  ; indented comment\n"
       "  \"x\" = \"spaced\"\n\n\"y\"=dword:00000001 ; one\n",
       RegFileFormat::kRegedit4, 0,
       {{"A", "x", REG_SZ, "spaced\0"s}, {"A", "y", REG_DWORD, Dword(1)}}},
      {"MalformedLinesAreSkippedAndCounted",
       kV5 + "\"Orphan\"=\"before any key\"\n"              // 3: value without a key: dropped, fine
             "[HKEY_LOCAL_MACHINE\\M]\n"
             "\"NoEquals\" \"x\"\n"                         // 5
             "\"Open=\"unterminated\n"                      // 6
             "\"D9\"=dword:123456789\n"                     // 7
             "\"DX\"=dword:xyz\n"                           // 8
             "\"H\"=hex:01,zz\n"                            // 9
             "\"HT\"=hex(zz):01\n"                          // 10
             "\"Trail\"=\"ok\" junk\n"                      // 11
             "bare words\n"                                 // 12
             "\"Unknown\"=qword:1\n"                        // 13
             "\"Good\"=\"kept\"\n"
             "[HKEY_LOCAL_MACHINE\\Broken\n"                // 15
             "\"Lost\"=\"not in M\"\n"
             "[HKEY_LOCAL_MACHINE\\a\\\\b]\n"               // 17
             "\"Lost2\"=\"x\"\n"
             "[]\n",                                        // 19
       RegFileFormat::kVersion5, 12,
       {{"M", "Good", REG_SZ, "kept\0"s},
        {"M", "NoEquals", std::nullopt, ""},
        {"M", "D9", std::nullopt, ""},
        {"M", "H", std::nullopt, ""},
        {"M", "Trail", std::nullopt, ""},
        {"M", "Lost", std::nullopt, ""},
        {"M", "Lost2", std::nullopt, ""}},
       {"Broken", "a"}},
      {"OtherRootsAreSkippedShortRootNamesAccepted",
       kV5 + "[HKEY_CURRENT_USER\\Software\\Mine]\n\"u\"=hex:01,\\\n 02\n"
             "[HKLM\\Software\\Mine]\n\"m\"=\"machine\"\n",
       RegFileFormat::kVersion5, 0,
       {{"Software\\Mine", "m", REG_SZ, "machine\0"s}, {"Software\\Mine", "u", std::nullopt, ""}}},
      {"DeletionsOfKeysAndValues",
       kV5 + "[HKEY_LOCAL_MACHINE\\D\\Gone\\Deep]\n\"v\"=\"1\"\n"
             "[HKEY_LOCAL_MACHINE\\D\\Back]\n\"old\"=\"1\"\n"
             "[-HKEY_LOCAL_MACHINE\\D\\Gone]\n\"ignored\"=\"after a deletion\"\n"
             "[-HKEY_LOCAL_MACHINE\\D\\Back]\n"
             "[HKEY_LOCAL_MACHINE\\D\\Back]\n\"new\"=\"2\"\n"
             "[-HKEY_LOCAL_MACHINE\\D\\NeverThere\\X]\n"
             "[-HKEY_LOCAL_MACHINE]\n"
             "[HKEY_LOCAL_MACHINE\\D]\n\"keep\"=\"k\"\n\"drop\"=\"d\"\n@=\"def\"\n"
             "\"drop\"=-\n@=-\n",
       RegFileFormat::kVersion5, 0,
       {{"D\\Back", "new", REG_SZ, "2\0"s},
        {"D\\Back", "old", std::nullopt, ""},
        {"D", "keep", REG_SZ, "k\0"s},
        {"D", "drop", std::nullopt, ""},
        {"D", "", std::nullopt, ""}},
       {"D\\Gone", "D\\Gone\\Deep"}},
      {"NamesAreCaseInsensitiveAndLaterLinesWin",
       kV5 + "[HKEY_LOCAL_MACHINE\\Software\\Case]\n\"Value\"=\"first\"\n"
             "[hkey_local_machine\\SOFTWARE\\case]\n\"VALUE\"=\"second\"\n\"Other\"=dword:2\n",
       RegFileFormat::kVersion5, 0,
       {{"software\\CASE", "value", REG_SZ, "second\0"s}, {"SoftWare\\Case", "OTHER", REG_DWORD, Dword(2)}}},
      {"Utf8MarkAndUtf8Text",
       "\xEF\xBB\xBF" + kV5 + "[HKEY_LOCAL_MACHINE\\U]\n\"Caf\xC3\xA9\"=\"na\xC3\xAFve\"\n",
       RegFileFormat::kVersion5, 0,
       {{"U", "Caf\xC3\xA9", REG_SZ, "na\xC3\xAFve\0"s}}},
      {"Version5HexStringsBecomeUtf8",
       kV5 + "[HKEY_LOCAL_MACHINE\\W]\n"
             "\"Clef\"=hex(1):34,d8,1e,dd,e9,00,00,00\n"
             "\"Lone\"=hex(1):00,d8,41,00,00,00\n",
       RegFileFormat::kVersion5, 0,
       {{"W", "Clef", REG_SZ, "\xF0\x9D\x84\x9E\xC3\xA9\0"s}, {"W", "Lone", REG_SZ, "\xEF\xBF\xBD" "A\0"s}}},
      {"KeyLimits",
       kV5 + "[HKEY_LOCAL_MACHINE\\" + std::string(255, 'k') + "]\n\"ok\"=\"255\"\n" + "[HKEY_LOCAL_MACHINE\\" +
           std::string(256, 'k') + "]\n",
       RegFileFormat::kVersion5, 1, {{std::string(255, 'k'), "ok", REG_SZ, "255\0"s}}},
      {"NoHeader", "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"y\"\n", RegFileFormat::kNone, 0, {}, {"A"}},
      {"WrongHeaderVersion", "Windows Registry Editor Version 6.00\n[HKLM\\A]\n", RegFileFormat::kNone, 0, {}, {"A"}},
      {"EmptyFile", "", RegFileFormat::kNone, 0, {}},
      {"BinaryFile", "\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0"s, RegFileFormat::kNone, 0, {}},
      {"Utf16BigEndianIsRefused", "\xFE\xFF\0R\0E\0G"s, RegFileFormat::kNone, 0, {}},
  };
  return cases;
}

// The cases whose text is well-formed Unicode without a mark of its own.
std::vector<ParseCase> TextCases() {
  std::vector<ParseCase> out;
  for (const ParseCase& c : Cases()) {
    std::string_view name = c.name;
    if (name != "Utf8MarkAndUtf8Text" && name != "Utf16BigEndianIsRefused") out.push_back(c);
  }
  return out;
}

class RegFileParse : public testing::TestWithParam<ParseCase> {};
class RegFileParseUtf16 : public testing::TestWithParam<ParseCase> {};

void CheckCase(const ParseCase& c, const RegKeyNode& root, const RegParseResult& result) {
  EXPECT_EQ(result.format, c.format);
  EXPECT_EQ(result.malformedLines, c.malformed);
  for (const Expect& e : c.expects) {
    SCOPED_TRACE(e.key + " : " + e.value);
    const RegKeyNode* key = FindKey(root, e.key);
    if (!e.type) {
      EXPECT_TRUE(key == nullptr || key->FindValue(e.value) == nullptr);
      continue;
    }
    ASSERT_NE(key, nullptr);
    const RegValue* value = key->FindValue(e.value);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, *e.type);
    EXPECT_EQ(value->data, e.data);
  }
  for (const char* path : c.absentKeys) EXPECT_EQ(FindKey(root, path), nullptr) << path;
}

TEST_P(RegFileParse, Utf8Text) {
  const ParseCase& c = GetParam();
  RegKeyNode root("HKEY_LOCAL_MACHINE");
  CheckCase(c, root, ParseRegFile(c.text, "HKEY_LOCAL_MACHINE", "HKLM", &root));
}

// The same cases saved as UTF-16LE, with and without the byte-order mark.
TEST_P(RegFileParseUtf16, Utf16LeText) {
  const ParseCase& c = GetParam();
  for (bool mark : {true, false}) {
    SCOPED_TRACE(mark ? "with mark" : "without mark");
    RegKeyNode root("HKEY_LOCAL_MACHINE");
    CheckCase(c, root, ParseRegFile(regtest::Utf16Le(c.text, mark), "HKEY_LOCAL_MACHINE", "HKLM", &root));
  }
}

std::string CaseName(const testing::TestParamInfo<ParseCase>& info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(Cases, RegFileParse, testing::ValuesIn(Cases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Cases, RegFileParseUtf16, testing::ValuesIn(TextCases()), CaseName);

TEST(RegFile, RefusedFileLeavesTreeUntouched) {
  RegKeyNode root("HKEY_LOCAL_MACHINE");
  root.AddSubkey("Existing");
  RegParseResult r = ParseRegFile("not a registry file\n[HKLM\\New]\n", "HKEY_LOCAL_MACHINE", "HKLM", &root);
  EXPECT_EQ(r.format, RegFileFormat::kNone);
  EXPECT_EQ(root.SubkeyCount(), 1u);
  EXPECT_NE(root.FindSubkey("existing"), nullptr);
}

TEST(RegFile, FirstMalformedLineIsReported) {
  RegKeyNode root;
  RegParseResult r = ParseRegFile(kV4 + "[HKLM\\A]\n\"ok\"=\"1\"\nnonsense\nmore nonsense\n",
                                  "HKEY_LOCAL_MACHINE", "HKLM", &root);
  EXPECT_EQ(r.malformedLines, 2u);
  EXPECT_EQ(r.firstMalformedLine, 5u);
}

// Paths as deep as the platform allows parse; deeper ones are refused
// rather than built (a tree thousands of levels deep would exhaust the stack
// when it is destroyed).
TEST(RegFile, KeyDepthIsBounded) {
  auto section = [](size_t depth) {
    std::string s = "[HKEY_LOCAL_MACHINE";
    for (size_t i = 0; i < depth; ++i) s += "\\k";
    return s + "]\n\"leaf\"=\"x\"\n";
  };
  RegKeyNode root;
  RegParseResult r = ParseRegFile(kV4 + section(kRegMaxKeyDepth) + section(kRegMaxKeyDepth + 1) +
                                      section(100000),
                                  "HKEY_LOCAL_MACHINE", "HKLM", &root);
  EXPECT_EQ(r.malformedLines, 2u);
  const RegKeyNode* node = &root;
  size_t depth = 0;
  while (const RegKeyNode* next = node->FindSubkey("k")) {
    node = next;
    ++depth;
  }
  EXPECT_EQ(depth, kRegMaxKeyDepth);
  EXPECT_NE(node->FindValue("leaf"), nullptr);
}

TEST(RegFile, ValueNameLengthIsBounded) {
  RegKeyNode root;
  std::string ok(kRegMaxValueNameLength, 'v');
  std::string tooLong(kRegMaxValueNameLength + 1, 'w');
  RegParseResult r = ParseRegFile(kV4 + "[HKLM\\A]\n\"" + ok + "\"=\"1\"\n\"" + tooLong + "\"=\"2\"\n",
                                  "HKEY_LOCAL_MACHINE", "HKLM", &root);
  EXPECT_EQ(r.malformedLines, 1u);
  ASSERT_NE(root.FindSubkey("A"), nullptr);
  EXPECT_NE(root.FindSubkey("A")->FindValue(ok), nullptr);
  EXPECT_EQ(root.FindSubkey("A")->FindValue(tooLong), nullptr);
}

TEST(RegFile, Utf16ConversionEdges) {
  std::string out;
  AppendUtf16LeAsUtf8("\x41\x00\x00\xDC\x42"s, &out);  // 'A', lone low surrogate, odd byte
  EXPECT_EQ(out, "A\xEF\xBF\xBD\xEF\xBF\xBD");
  out.clear();
  AppendUtf16LeAsUtf8("\x41\x00\x00"s, &out);  // odd zero byte: dropped
  EXPECT_EQ(out, "A");
  out.clear();
  AppendUtf16LeAsUtf8("\x3D\xD8"s, &out);  // high surrogate at the end
  EXPECT_EQ(out, "\xEF\xBF\xBD");
}

}  // namespace
