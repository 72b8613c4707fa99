// The text format of registry exports (".reg" files) and the in-memory tree
// of keys and values that a parsed hive file becomes.
//
// Accepted input:
//   - the header "Windows Registry Editor Version 5.00" or "REGEDIT4" as the
//     first line that is not blank; anything else is not a registry file;
//   - UTF-16LE (with or without its byte-order mark) or 8-bit text (UTF-8,
//     with or without its mark), lines ending in LF or CR LF;
//   - "[ROOT\path\to\key]" sections, where ROOT is the hive's root name or
//     its short form (HKEY_LOCAL_MACHINE or HKLM); a section of another root
//     is skipped with its values; "[-ROOT\path]" deletes a key with all of
//     its subkeys, and a later section may create it again;
//   - "name"=... or @=... (the default value), with "=-" deleting the value;
//     the data "string" (REG_SZ), dword:1 to 8 hex digits (REG_DWORD),
//     hex:bytes (REG_BINARY) and hex(N):bytes (type N, in hex: hex(2) is
//     REG_EXPAND_SZ, hex(7) REG_MULTI_SZ, hex(b) REG_QWORD); bytes are hex
//     pairs separated by commas, continued on the next line after a
//     backslash at the end of a line;
//   - in quoted names and strings, \\ stands for a backslash and \" for a
//     quote; a backslash before any other character is taken literally;
//   - comments (from ";" at the start of a line, or after the data) and
//     blank lines.
//
// Strings become the 8-bit code page of this platform, UTF-8. Under the
// Version 5.00 header the bytes of hex(1), hex(2) and hex(7) are UTF-16LE, as
// that format stores them, and are converted; under REGEDIT4 they are 8-bit
// already. String values are stored as a caller reads them: REG_SZ and
// REG_EXPAND_SZ end with a NUL, REG_MULTI_SZ with an empty string.
//
// A line that does not parse is skipped and counted; the values that follow
// a malformed section line are skipped up to the next good section line, so
// that none lands in the wrong key. Key names are limited to 255 characters
// and paths to 512 levels, value names to 16383 characters.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win_types.h"

struct RegValue {
  std::string name;  // as written; "" for the default value
  DWORD type = 0;
  std::string data;  // the bytes a query returns
};

// One key: its subkeys and values, each looked up by its name folded to
// lower case (ASCII letters only). A key owns its subkeys.
class RegKeyNode {
 public:
  explicit RegKeyNode(std::string name = std::string()) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }
  const RegKeyNode* FindSubkey(std::string_view name) const;
  RegKeyNode* FindSubkey(std::string_view name);
  // Returns the subkey, created when absent.
  RegKeyNode* AddSubkey(std::string_view name);
  void RemoveSubkey(std::string_view name);
  size_t SubkeyCount() const { return subkeys_.size(); }

  const RegValue* FindValue(std::string_view name) const;
  void SetValue(RegValue value);
  void RemoveValue(std::string_view name);
  size_t ValueCount() const { return values_.size(); }

 private:
  std::string name_;
  std::map<std::string, std::unique_ptr<RegKeyNode>, std::less<>> subkeys_;
  std::map<std::string, RegValue, std::less<>> values_;
};

// Key and value names compare with ASCII letters folded to lower case.
std::string RegFoldName(std::string_view name);

enum class RegFileFormat { kNone, kRegedit4, kVersion5 };

struct RegParseResult {
  RegFileFormat format = RegFileFormat::kNone;  // kNone: not a registry file
  size_t malformedLines = 0;
  size_t firstMalformedLine = 0;  // 1-based; 0 when every line parsed
};

constexpr size_t kRegMaxKeyNameLength = 255;
constexpr size_t kRegMaxKeyDepth = 512;
constexpr size_t kRegMaxValueNameLength = 16383;

// Parses the bytes of a .reg file into `root`, the root key of the hive
// named rootName (with the short form rootShortName). Returns format kNone,
// leaving root untouched, when the bytes are not a registry file.
RegParseResult ParseRegFile(std::string_view bytes, std::string_view rootName,
                            std::string_view rootShortName, RegKeyNode* root);

// Appends the UTF-8 form of little-endian UTF-16 bytes to out. Unpaired
// surrogates and a trailing odd byte that is not zero become U+FFFD.
void AppendUtf16LeAsUtf8(std::string_view utf16le, std::string* out);
