// Small helpers shared by the wire tests.
#pragma once

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/rpc/rpc.h"

namespace wbtest {

// "01 0a ff" (blanks ignored) to octets.
inline std::string Hex(const std::string& text) {
  std::string out, digits;
  for (char c : text) {
    if (c != ' ' && c != '\n') digits.push_back(c);
  }
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline std::string ToHex(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string s;
  for (unsigned char c : bytes) {
    if (!s.empty()) s.push_back(' ');
    s.push_back(kHex[c >> 4]);
    s.push_back(kHex[c & 15]);
  }
  return s;
}

// Runs f and returns the status of the RpcException it raises (0 if none).
template <typename F>
RPC_STATUS StatusOf(F&& f) {
  RpcTryExcept { f(); }
  RpcExcept(1) { return RpcExceptionCode(); }
  RpcEndExcept
  return 0;
}

// Points the client at a test endpoint mapper for the life of the object.
class EpmapPortScope {
 public:
  explicit EpmapPortScope(uint16_t port) { setenv("WB_EPMAP_PORT", std::to_string(port).c_str(), 1); }
  ~EpmapPortScope() { unsetenv("WB_EPMAP_PORT"); }
};

}  // namespace wbtest
