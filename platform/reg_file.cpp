// Parser of .reg files into a tree of RegKeyNode; see reg_file.h for the
// accepted format and its limits.
#include "platform/reg_file.h"

#include <vector>

#include "platform/registry.h"

namespace {

constexpr std::string_view kHeaderVersion5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderRegedit4 = "REGEDIT4";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return s.substr(0, n);
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads 1 to maxDigits hex digits at *pos into *value.
bool ParseHexNumber(std::string_view s, size_t* pos, size_t maxDigits, uint32_t* value) {
  size_t i = *pos;
  uint32_t v = 0;
  while (i < s.size() && i - *pos < maxDigits && HexDigit(s[i]) >= 0) {
    v = (v << 4) | static_cast<uint32_t>(HexDigit(s[i]));
    ++i;
  }
  if (i == *pos) return false;
  if (i < s.size() && HexDigit(s[i]) >= 0) return false;  // too many digits
  *pos = i;
  *value = v;
  return true;
}

// True when only blanks or a comment follow position pos.
bool RestIsEmpty(std::string_view s, size_t pos) {
  std::string_view rest = TrimLeft(s.substr(pos));
  return rest.empty() || rest[0] == ';';
}

// Physical lines of the text, LF or CR LF ended, numbered from 1.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool Next(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view l = text_.substr(pos_, end - pos_);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    pos_ = end + 1;
    ++number_;
    *line = l;
    return true;
  }

  size_t number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t number_ = 0;
};

// A quoted string starting at *pos (its opening quote); \\ and \" are escapes.
bool ParseQuoted(std::string_view s, size_t* pos, std::string* out) {
  size_t i = *pos + 1;
  while (i < s.size()) {
    char c = s[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out->push_back(s[i + 1]);
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

// Comma-separated hex bytes from position pos of line, following a backslash
// at the end of a line onto the next ones.
bool ParseHexBytes(std::string_view line, size_t pos, LineReader* reader, std::string* out) {
  std::string_view s = line;
  size_t i = pos;
  bool expectByte = true;
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i == s.size() || s[i] == ';') return true;
    if (s[i] == '\\') {
      if (!TrimLeft(s.substr(i + 1)).empty()) return false;
      if (!reader->Next(&s)) return true;
      i = 0;
      expectByte = true;
      continue;
    }
    if (!expectByte) return false;
    uint32_t byte = 0;
    if (!ParseHexNumber(s, &i, 2, &byte)) return false;
    out->push_back(static_cast<char>(byte));
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i < s.size() && s[i] == ',') {
      ++i;
      expectByte = true;
    } else {
      expectByte = false;
    }
  }
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// String values end as a caller of the registry reads them: with a NUL, and
// a list of strings with an empty string after the last.
void TerminateString(DWORD type, std::string* data) {
  if (data->empty() || data->back() != '\0') data->push_back('\0');
  if (type == REG_MULTI_SZ && data->size() >= 2 && (*data)[data->size() - 2] != '\0') {
    data->push_back('\0');
  }
}

enum class LineOutcome { kStored, kMalformed };

// One value line; its data is stored into key when key is not null (a null
// key still consumes the continuation lines of the value).
LineOutcome ParseValueLine(std::string_view line, LineReader* reader, RegFileFormat format,
                           RegKeyNode* key) {
  RegValue value;
  size_t i = 0;
  if (line[0] == '@') {
    i = 1;
  } else if (line[0] == '"') {
    if (!ParseQuoted(line, &i, &value.name)) return LineOutcome::kMalformed;
    if (value.name.size() > kRegMaxValueNameLength) return LineOutcome::kMalformed;
  } else {
    return LineOutcome::kMalformed;
  }
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] != '=') return LineOutcome::kMalformed;
  ++i;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return LineOutcome::kMalformed;

  std::string_view rest = line.substr(i);
  if (rest[0] == '-') {
    if (!RestIsEmpty(line, i + 1)) return LineOutcome::kMalformed;
    if (key != nullptr) key->RemoveValue(value.name);
    return LineOutcome::kStored;
  }
  if (rest[0] == '"') {
    size_t pos = i;
    if (!ParseQuoted(line, &pos, &value.data)) return LineOutcome::kMalformed;
    if (!RestIsEmpty(line, pos)) return LineOutcome::kMalformed;
    value.type = REG_SZ;
    TerminateString(REG_SZ, &value.data);
  } else if (rest.size() >= 6 && EqualsFolded(rest.substr(0, 6), "dword:")) {
    size_t pos = i + 6;
    uint32_t number = 0;
    if (!ParseHexNumber(line, &pos, 8, &number)) return LineOutcome::kMalformed;
    if (!RestIsEmpty(line, pos)) return LineOutcome::kMalformed;
    value.type = REG_DWORD;
    for (int b = 0; b < 4; ++b) value.data.push_back(static_cast<char>((number >> (8 * b)) & 0xff));
  } else if (rest.size() >= 3 && EqualsFolded(rest.substr(0, 3), "hex")) {
    size_t pos = i + 3;
    uint32_t type = REG_BINARY;
    if (pos < line.size() && line[pos] == '(') {
      ++pos;
      if (!ParseHexNumber(line, &pos, 8, &type)) return LineOutcome::kMalformed;
      if (pos >= line.size() || line[pos] != ')') return LineOutcome::kMalformed;
      ++pos;
    }
    if (pos >= line.size() || line[pos] != ':') return LineOutcome::kMalformed;
    std::string bytes;
    if (!ParseHexBytes(line, pos + 1, reader, &bytes)) return LineOutcome::kMalformed;
    value.type = type;
    if (IsStringType(type)) {
      if (format == RegFileFormat::kVersion5) {
        AppendUtf16LeAsUtf8(bytes, &value.data);
      } else {
        value.data = std::move(bytes);
      }
      TerminateString(type, &value.data);
    } else {
      value.data = std::move(bytes);
    }
  } else {
    return LineOutcome::kMalformed;
  }
  if (key != nullptr) key->SetValue(std::move(value));
  return LineOutcome::kStored;
}

enum class SectionKind { kKey, kDelete, kOtherRoot, kMalformed };

// A "[...]" line: its path below the root in *components.
SectionKind ParseSectionLine(std::string_view line, std::string_view rootName,
                             std::string_view rootShortName,
                             std::vector<std::string_view>* components) {
  if (line.size() < 2 || line.back() != ']') return SectionKind::kMalformed;
  std::string_view inner = line.substr(1, line.size() - 2);
  bool deletion = false;
  if (!inner.empty() && inner[0] == '-') {
    deletion = true;
    inner.remove_prefix(1);
  }
  components->clear();
  size_t start = 0;
  for (;;) {
    size_t end = inner.find('\\', start);
    std::string_view part = inner.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty() || part.size() > kRegMaxKeyNameLength) return SectionKind::kMalformed;
    components->push_back(part);
    if (components->size() > kRegMaxKeyDepth + 1) return SectionKind::kMalformed;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  std::string_view root = components->front();
  if (!EqualsFolded(root, rootName) && !EqualsFolded(root, rootShortName)) {
    return SectionKind::kOtherRoot;
  }
  components->erase(components->begin());
  return deletion ? SectionKind::kDelete : SectionKind::kKey;
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string RegFoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldChar(c);
  return folded;
}

const RegKeyNode* RegKeyNode::FindSubkey(std::string_view name) const {
  auto it = subkeys_.find(RegFoldName(name));
  return it == subkeys_.end() ? nullptr : it->second.get();
}

RegKeyNode* RegKeyNode::FindSubkey(std::string_view name) {
  auto it = subkeys_.find(RegFoldName(name));
  return it == subkeys_.end() ? nullptr : it->second.get();
}

RegKeyNode* RegKeyNode::AddSubkey(std::string_view name) {
  std::unique_ptr<RegKeyNode>& slot = subkeys_[RegFoldName(name)];
  if (!slot) slot = std::make_unique<RegKeyNode>(std::string(name));
  return slot.get();
}

void RegKeyNode::RemoveSubkey(std::string_view name) { subkeys_.erase(RegFoldName(name)); }

const RegValue* RegKeyNode::FindValue(std::string_view name) const {
  auto it = values_.find(RegFoldName(name));
  return it == values_.end() ? nullptr : &it->second;
}

void RegKeyNode::SetValue(RegValue value) {
  std::string folded = RegFoldName(value.name);
  values_[std::move(folded)] = std::move(value);
}

void RegKeyNode::RemoveValue(std::string_view name) { values_.erase(RegFoldName(name)); }

void AppendUtf16LeAsUtf8(std::string_view utf16le, std::string* out) {
  const size_t units = utf16le.size() / 2;
  auto unitAt = [&](size_t k) {
    return static_cast<uint32_t>(static_cast<uint8_t>(utf16le[2 * k])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(utf16le[2 * k + 1])) << 8);
  };
  for (size_t k = 0; k < units; ++k) {
    uint32_t u = unitAt(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      uint32_t low = unitAt(k + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(u, out);
  }
  if (utf16le.size() % 2 != 0 && utf16le.back() != '\0') AppendUtf8(0xFFFD, out);
}

RegParseResult ParseRegFile(std::string_view bytes, std::string_view rootName,
                            std::string_view rootShortName, RegKeyNode* root) {
  RegParseResult result;
  std::string decoded;
  std::string_view text = bytes;
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
      static_cast<uint8_t>(bytes[1]) == 0xFE) {
    AppendUtf16LeAsUtf8(bytes.substr(2), &decoded);
    text = decoded;
  } else if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') {
    // UTF-16LE without its mark: no 8-bit .reg file has a NUL second byte.
    AppendUtf16LeAsUtf8(bytes, &decoded);
    text = decoded;
  } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    text = bytes.substr(3);
  }

  LineReader reader(text);
  std::string_view line;
  for (;;) {
    if (!reader.Next(&line)) return result;
    line = Trim(line);
    if (!line.empty()) break;
  }
  if (line == kHeaderVersion5) {
    result.format = RegFileFormat::kVersion5;
  } else if (line == kHeaderRegedit4) {
    result.format = RegFileFormat::kRegedit4;
  } else {
    return result;
  }

  auto malformed = [&](size_t lineNumber) {
    if (result.malformedLines++ == 0) result.firstMalformedLine = lineNumber;
  };

  RegKeyNode* current = nullptr;  // null: values here are not stored
  std::vector<std::string_view> components;
  while (reader.Next(&line)) {
    const size_t lineNumber = reader.number();
    line = TrimLeft(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      current = nullptr;
      switch (ParseSectionLine(TrimRight(line), rootName, rootShortName, &components)) {
        case SectionKind::kMalformed:
          malformed(lineNumber);
          break;
        case SectionKind::kOtherRoot:
          break;
        case SectionKind::kKey: {
          RegKeyNode* node = root;
          for (std::string_view part : components) node = node->AddSubkey(part);
          current = node;
          break;
        }
        case SectionKind::kDelete: {
          if (components.empty()) break;  // the root itself stays
          RegKeyNode* parent = root;
          for (size_t k = 0; parent != nullptr && k + 1 < components.size(); ++k) {
            parent = parent->FindSubkey(components[k]);
          }
          if (parent != nullptr) parent->RemoveSubkey(components.back());
          break;
        }
      }
      continue;
    }
    if (ParseValueLine(line, &reader, result.format, current) == LineOutcome::kMalformed) {
      malformed(lineNumber);
    }
  }
  return result;
}
