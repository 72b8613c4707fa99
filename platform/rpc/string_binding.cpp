// Composing, parsing and checking string bindings; see string_binding.h.
#include "platform/rpc/string_binding.h"

#include <array>

namespace wbrpc {
namespace {

bool IsReserved(char c) { return c == '@' || c == ':' || c == '[' || c == ']' || c == '\\'; }

void AppendEscaped(std::string* out, std::string_view text, bool escapeComma) {
  for (char c : text) {
    if (IsReserved(c) || (escapeComma && c == ',')) out->push_back('\\');
    out->push_back(c);
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits from text at pos into value.
bool ReadHex(std::string_view text, size_t pos, size_t digits, uint64_t* value) {
  uint64_t v = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int d = HexValue(text[pos + i]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint64_t>(d);
  }
  *value = v;
  return true;
}

// The sequences that DCE and the original platform define, apart from the one
// this runtime carries.
constexpr std::array<std::string_view, 18> kOtherSequences = {
    "ncacn_np",      "ncalrpc",       "ncadg_ip_udp",  "ncacn_http",    "ncacn_spx",
    "ncacn_nb_tcp",  "ncacn_nb_ipx",  "ncacn_nb_nb",   "ncadg_ipx",     "ncacn_dnet_nsp",
    "ncacn_at_dsp",  "ncacn_vns_spp", "ncadg_mq",      "ncacn_osi_dna", "ncacn_osi_tp4",
    "ncadg_dds",     "ncadg_nb",      "ncacn_hvsocket",
};

}  // namespace

std::string ComposeStringBinding(const StringBindingParts& parts) {
  std::string out;
  out.reserve(parts.objectUuid.size() + parts.protseq.size() + parts.networkAddress.size() +
              parts.endpoint.size() + parts.options.size() + 8);
  if (!parts.objectUuid.empty()) {
    AppendEscaped(&out, parts.objectUuid, false);
    out.push_back('@');
  }
  if (!parts.protseq.empty()) {
    AppendEscaped(&out, parts.protseq, false);
    out.push_back(':');
  }
  AppendEscaped(&out, parts.networkAddress, false);
  if (!parts.endpoint.empty() || !parts.options.empty()) {
    out.push_back('[');
    AppendEscaped(&out, parts.endpoint, true);
    if (!parts.options.empty()) {
      out.push_back(',');
      AppendEscaped(&out, parts.options, false);
    }
    out.push_back(']');
  }
  return out;
}

RPC_STATUS ParseStringBinding(std::string_view text, StringBindingParts* out) {
  // Where the scan stands: before the first '@' or ':', after an object UUID
  // (in the protocol sequence), in the address, inside the brackets, or after
  // the closing bracket.
  enum class State { kStart, kProtseq, kAddress, kEndpoint, kOptions, kDone };
  State state = State::kStart;
  StringBindingParts parts;
  std::string current;

  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (state == State::kDone) return RPC_S_INVALID_STRING_BINDING;
    if (c == '\\') {
      if (i + 1 == text.size()) return RPC_S_INVALID_STRING_BINDING;
      current.push_back(text[++i]);
      continue;
    }
    switch (state) {
      case State::kStart:
      case State::kProtseq:
        if (c == '@') {
          // A second '@', or one with nothing before it.
          if (state == State::kProtseq || current.empty()) return RPC_S_INVALID_STRING_BINDING;
          parts.objectUuid.swap(current);
          state = State::kProtseq;
        } else if (c == ':') {
          parts.protseq.swap(current);
          state = State::kAddress;
        } else if (c == '[' || c == ']') {
          return RPC_S_INVALID_STRING_BINDING;
        } else {
          current.push_back(c);
        }
        break;
      case State::kAddress:
        // Once the protocol sequence is closed, a bare ':' or '@' can only
        // belong to the address (an IPv6 address written without escapes).
        if (c == '[') {
          parts.networkAddress.swap(current);
          state = State::kEndpoint;
        } else if (c == ']') {
          return RPC_S_INVALID_STRING_BINDING;
        } else {
          current.push_back(c);
        }
        break;
      case State::kEndpoint:
        if (c == ',') {
          parts.endpoint.swap(current);
          state = State::kOptions;
        } else if (c == ']') {
          parts.endpoint.swap(current);
          state = State::kDone;
        } else if (c == '[') {
          return RPC_S_INVALID_STRING_BINDING;
        } else {
          current.push_back(c);
        }
        break;
      case State::kOptions:
        if (c == ']') {
          parts.options.swap(current);
          state = State::kDone;
        } else if (c == '[') {
          return RPC_S_INVALID_STRING_BINDING;
        } else {
          current.push_back(c);
        }
        break;
      case State::kDone:
        break;
    }
  }

  switch (state) {
    case State::kStart:
    case State::kProtseq:
    case State::kEndpoint:
    case State::kOptions:
      return RPC_S_INVALID_STRING_BINDING;
    case State::kAddress:
      parts.networkAddress.swap(current);
      break;
    case State::kDone:
      break;
  }
  *out = std::move(parts);
  return RPC_S_OK;
}

bool ParseUuidString(std::string_view text, RpcUuid* out) {
  if (text.size() != 36) return false;
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  uint64_t d1, d2, d3, clock, node;
  if (!ReadHex(text, 0, 8, &d1) || !ReadHex(text, 9, 4, &d2) || !ReadHex(text, 14, 4, &d3) ||
      !ReadHex(text, 19, 4, &clock) || !ReadHex(text, 24, 12, &node)) {
    return false;
  }
  if (out) {
    out->data1 = static_cast<uint32_t>(d1);
    out->data2 = static_cast<uint16_t>(d2);
    out->data3 = static_cast<uint16_t>(d3);
    out->data4[0] = static_cast<uint8_t>(clock >> 8);
    out->data4[1] = static_cast<uint8_t>(clock);
    for (int i = 0; i < 6; ++i) out->data4[2 + i] = static_cast<uint8_t>(node >> (8 * (5 - i)));
  }
  return true;
}

RPC_STATUS CheckProtseq(std::string_view protseq) {
  if (protseq == "ncacn_ip_tcp") return RPC_S_OK;
  for (std::string_view other : kOtherSequences) {
    if (protseq == other) return RPC_S_PROTSEQ_NOT_SUPPORTED;
  }
  return RPC_S_INVALID_RPC_PROTSEQ;
}

bool ParseTcpPort(std::string_view endpoint, uint16_t* port) {
  if (endpoint.empty()) return false;
  uint32_t value = 0;
  for (char c : endpoint) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 65535) return false;  // also keeps long digit runs from overflowing
  }
  if (value == 0) return false;
  if (port) *port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace wbrpc
