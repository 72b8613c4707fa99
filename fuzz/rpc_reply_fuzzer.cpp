// libFuzzer target on the client's reply path: PDU framing and reassembly,
// then the NDR decoding of every ScannerService reply, ept_map replies and
// bind answers. Built with clang by fuzz/CMakeLists.txt, run from ctest.
#include <cstddef>
#include <cstdint>

#include "tests/rpc_wire/reply_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return wbtest::FuzzRpcReply(data, size);
}
