// Replays every kept input of the reply-path fuzzer (tests/corpus/rpc_reply),
// crashes it once found included, through the same entry point, so that the
// sanitizer build checks them on every run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "reply_fuzz_entry.h"

namespace {

TEST(ReplyFuzzCorpus, EveryKeptInputIsHandled) {
  const char* env = getenv("WB_SOURCE_DIR");
  const std::filesystem::path dir = std::filesystem::path(env ? env : WB_DEFAULT_SOURCE_DIR) / "tests/corpus/rpc_reply";
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(wbtest::FuzzRpcReply(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0)
        << entry.path();
    ++replayed;
  }
  EXPECT_GE(replayed, 8);  // the seeds at least
}

}  // namespace
