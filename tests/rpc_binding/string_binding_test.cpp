// Composing and parsing string bindings, the protocol-sequence check and the
// life of binding handles.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/rpc/binding.h"
#include "platform/rpc/rpc.h"
#include "platform/rpc/string_binding.h"

namespace {

const char kUuid[] = "6b29fc40-ca47-1067-b31d-00dd010662da";

RPC_CSTR Cstr(const char* text) {
  return const_cast<RPC_CSTR>(reinterpret_cast<const unsigned char*>(text));
}

// Composes and returns the text; the status goes to *status.
std::string Compose(const char* uuid, const char* protseq, const char* address,
                    const char* endpoint, const char* options, RPC_STATUS* status) {
  RPC_CSTR out = Cstr("not touched");
  *status = RpcStringBindingComposeA(Cstr(uuid), Cstr(protseq), Cstr(address), Cstr(endpoint),
                                     Cstr(options), &out);
  if (*status != RPC_S_OK) {
    EXPECT_EQ(out, nullptr);
    return "<failed>";
  }
  EXPECT_NE(out, nullptr);
  std::string text = reinterpret_cast<const char*>(out);
  EXPECT_EQ(RpcStringFreeA(&out), RPC_S_OK);
  EXPECT_EQ(out, nullptr);
  return text;
}

// ---------------------------------------------------------------------------
// RpcNetworkIsProtseqValidA

TEST(ProtseqCheck, OnlyTcpIsCarriedOtherFamilyMembersAreUnsupportedTheRestInvalid) {
  struct Case {
    const char* protseq;
    RPC_STATUS expected;
  } cases[] = {
      {"ncacn_ip_tcp", RPC_S_OK},
      {"ncacn_np", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncalrpc", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncadg_ip_udp", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_http", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_spx", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_nb_tcp", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_nb_ipx", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_nb_nb", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncadg_ipx", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_dnet_nsp", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_at_dsp", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncacn_vns_spp", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncadg_mq", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"", RPC_S_INVALID_RPC_PROTSEQ},
      {nullptr, RPC_S_INVALID_RPC_PROTSEQ},
      {"tcp", RPC_S_INVALID_RPC_PROTSEQ},
      {"ncacn_ip_tc", RPC_S_INVALID_RPC_PROTSEQ},
      {"ncacn_ip_tcp ", RPC_S_INVALID_RPC_PROTSEQ},
      {"NCACN_IP_TCP", RPC_S_INVALID_RPC_PROTSEQ},
      {"ncacn_ip_tcp:", RPC_S_INVALID_RPC_PROTSEQ},
      {"ncacn_bogus", RPC_S_INVALID_RPC_PROTSEQ},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RpcNetworkIsProtseqValidA(Cstr(c.protseq)), c.expected)
        << (c.protseq ? c.protseq : "(null)");
  }
}

// ---------------------------------------------------------------------------
// RpcStringBindingComposeA

TEST(Compose, WritesOnlyTheComponentsThatAreGiven) {
  const char* u = kUuid;
  const char* p = "ncacn_ip_tcp";
  struct Case {
    const char *uuid, *protseq, *address, *endpoint, *options;
    std::string expected;
  } cases[] = {
      {nullptr, nullptr, nullptr, nullptr, nullptr, ""},
      {"", "", "", "", "", ""},
      {nullptr, p, nullptr, nullptr, nullptr, "ncacn_ip_tcp:"},
      {"", p, "", "", "", "ncacn_ip_tcp:"},
      {nullptr, nullptr, "host", nullptr, nullptr, "host"},
      {"", "", "host", "", "", "host"},
      {nullptr, p, "host", nullptr, nullptr, "ncacn_ip_tcp:host"},
      {u, p, "host", "", "", std::string(kUuid) + "@ncacn_ip_tcp:host"},
      {u, nullptr, nullptr, nullptr, nullptr, std::string(kUuid) + "@"},
      {u, p, nullptr, nullptr, nullptr, std::string(kUuid) + "@ncacn_ip_tcp:"},
      {nullptr, p, "host", "135", nullptr, "ncacn_ip_tcp:host[135]"},
      {nullptr, p, "", "135", "", "ncacn_ip_tcp:[135]"},
      {nullptr, p, "host", nullptr, "opt=1", "ncacn_ip_tcp:host[,opt=1]"},
      {nullptr, p, "host", "", "opt=1", "ncacn_ip_tcp:host[,opt=1]"},
      {nullptr, p, "host", "135", "opt=1", "ncacn_ip_tcp:host[135,opt=1]"},
      {u, p, "host", "135", "opt=1", std::string(kUuid) + "@ncacn_ip_tcp:host[135,opt=1]"},
      {nullptr, nullptr, nullptr, "135", nullptr, "[135]"},
      {nullptr, nullptr, nullptr, nullptr, "opt=1", "[,opt=1]"},
      // Reserved characters inside components carry a backslash.
      {nullptr, p, "a@b:c[d]e\\f", nullptr, nullptr, "ncacn_ip_tcp:a\\@b\\:c\\[d\\]e\\\\f"},
      {nullptr, p, "::1", "135", nullptr, "ncacn_ip_tcp:\\:\\:1[135]"},
      {nullptr, "x@y", "h", nullptr, nullptr, "x\\@y:h"},
      // The endpoint's comma would end it; the options keep theirs.
      {nullptr, p, "h", "x,y", "a=1,b=[2]", "ncacn_ip_tcp:h[x\\,y,a=1,b=\\[2\\]]"},
      // Text outside the reserved set passes unchanged.
      {nullptr, p, "h st,=é", nullptr, nullptr, "ncacn_ip_tcp:h st,=é"},
  };
  for (const Case& c : cases) {
    RPC_STATUS status;
    EXPECT_EQ(Compose(c.uuid, c.protseq, c.address, c.endpoint, c.options, &status), c.expected);
    EXPECT_EQ(status, RPC_S_OK) << c.expected;
  }
}

TEST(Compose, NullAndEmptyComponentsAreTheSameInEveryCombination) {
  const char* given[5] = {kUuid, "ncacn_ip_tcp", "host", "135", "o=1"};
  for (int mask = 0; mask < 243; ++mask) {  // 3^5: null, empty or given per component
    const char* withNull[5];
    const char* withEmpty[5];
    int m = mask;
    for (int i = 0; i < 5; ++i, m /= 3) {
      const int choice = m % 3;
      withNull[i] = choice == 2 ? given[i] : (choice == 1 ? "" : nullptr);
      withEmpty[i] = choice == 2 ? given[i] : "";
    }
    RPC_STATUS s1, s2;
    const std::string a =
        Compose(withNull[0], withNull[1], withNull[2], withNull[3], withNull[4], &s1);
    const std::string b =
        Compose(withEmpty[0], withEmpty[1], withEmpty[2], withEmpty[3], withEmpty[4], &s2);
    EXPECT_EQ(a, b) << "mask " << mask;
    EXPECT_EQ(s1, RPC_S_OK);
    EXPECT_EQ(s2, RPC_S_OK);
  }
}

TEST(Compose, RejectsABadObjectUuidAndProducesNoString) {
  const char* bad[] = {"not-a-uuid", "6b29fc40-ca47-1067-b31d-00dd010662d",
                       "6b29fc40-ca47-1067-b31d-00dd010662daa", "6b29fc40xca47-1067-b31d-00dd010662da",
                       "6g29fc40-ca47-1067-b31d-00dd010662da", "{6b29fc40-ca47-1067-b31d-00dd010662da}"};
  for (const char* uuid : bad) {
    RPC_STATUS status;
    Compose(uuid, "ncacn_ip_tcp", "host", nullptr, nullptr, &status);
    EXPECT_EQ(status, RPC_S_INVALID_STRING_UUID) << uuid;
  }
  RPC_STATUS status;
  EXPECT_EQ(Compose("6B29FC40-CA47-1067-B31D-00DD010662DA", "ncacn_ip_tcp", "h", nullptr, nullptr,
                    &status),
            "6B29FC40-CA47-1067-B31D-00DD010662DA@ncacn_ip_tcp:h");
  // Without a place for the result only the check is made.
  EXPECT_EQ(RpcStringBindingComposeA(Cstr("bad"), Cstr("ncacn_ip_tcp"), nullptr, nullptr, nullptr,
                                     nullptr),
            RPC_S_INVALID_STRING_UUID);
  EXPECT_EQ(RpcStringBindingComposeA(Cstr(kUuid), Cstr("ncacn_ip_tcp"), nullptr, nullptr, nullptr,
                                     nullptr),
            RPC_S_OK);
}

TEST(StringFree, ReleasesAndClearsAcceptsANullString) {
  RPC_CSTR none = nullptr;
  EXPECT_EQ(RpcStringFreeA(&none), RPC_S_OK);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(RpcStringFreeA(nullptr), RPC_S_INVALID_ARG);
}

// ---------------------------------------------------------------------------
// Parsing: the syntax level reads back exactly what the composer writes.

TEST(ParseStringBinding, ReadsBackEveryComposedCombinationWithReservedCharacters) {
  // Every reserved character in every component, the endpoint's comma too.
  const wbrpc::StringBindingParts awkward = {"u@:[]\\,u", "p@:[]\\,p", "a@:[]\\,=a", "e@:[]\\,e",
                                             "o@:[]\\,=o,o"};
  for (int mask = 0; mask < 32; ++mask) {
    if (!(mask & 2)) continue;  // without a protocol sequence there is no binding to read
    wbrpc::StringBindingParts given;
    if (mask & 1) given.objectUuid = awkward.objectUuid;
    if (mask & 2) given.protseq = awkward.protseq;
    if (mask & 4) given.networkAddress = awkward.networkAddress;
    if (mask & 8) given.endpoint = awkward.endpoint;
    if (mask & 16) given.options = awkward.options;
    const std::string text = wbrpc::ComposeStringBinding(given);
    wbrpc::StringBindingParts read;
    ASSERT_EQ(wbrpc::ParseStringBinding(text, &read), RPC_S_OK) << text;
    EXPECT_EQ(read.objectUuid, given.objectUuid) << text;
    EXPECT_EQ(read.protseq, given.protseq) << text;
    EXPECT_EQ(read.networkAddress, given.networkAddress) << text;
    EXPECT_EQ(read.endpoint, given.endpoint) << text;
    EXPECT_EQ(read.options, given.options) << text;
  }
}

// ---------------------------------------------------------------------------
// RpcBindingFromStringBindingA and RpcBindingFree

struct Parsed {
  const char* text;
  const char* uuid;
  const char* address;
  const char* endpoint;
  const char* options;
};

TEST(BindingFromString, FillsTheParsedComponents) {
  const std::string withUuid = std::string(kUuid) + "@ncacn_ip_tcp:host[135,opt=1]";
  const Parsed cases[] = {
      {"ncacn_ip_tcp:host", "", "host", "", ""},
      {"ncacn_ip_tcp:", "", "", "", ""},
      {withUuid.c_str(), kUuid, "host", "135", "opt=1"},
      {"ncacn_ip_tcp:host[,opt=1]", "", "host", "", "opt=1"},
      {"ncacn_ip_tcp:host[135]", "", "host", "135", ""},
      {"ncacn_ip_tcp:[1]", "", "", "1", ""},
      {"ncacn_ip_tcp:h[65535]", "", "h", "65535", ""},
      {"ncacn_ip_tcp:h[]", "", "h", "", ""},
      {"ncacn_ip_tcp:h[135,a=1,b=2]", "", "h", "135", "a=1,b=2"},
      {"ncacn_ip_tcp:\\:\\:1[135]", "", "::1", "135", ""},
      {"ncacn_ip_tcp:::1[135]", "", "::1", "135", ""},  // unescaped IPv6 is unambiguous
      {"ncacn_ip_tcp:a\\@b\\[c\\]\\\\d", "", "a@b[c]\\d", "", ""},
      {"ncacn_ip_tcp:h[,x=\\[1\\]]", "", "h", "", "x=[1]"},
      {"ncacn_\\ip_tcp:h", "", "h", "", ""},  // a backslash before any character keeps it
  };
  for (const Parsed& c : cases) {
    RPC_BINDING_HANDLE h = nullptr;
    ASSERT_EQ(RpcBindingFromStringBindingA(Cstr(c.text), &h), RPC_S_OK) << c.text;
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->objectUuid, c.uuid) << c.text;
    EXPECT_EQ(h->protseq, "ncacn_ip_tcp") << c.text;
    EXPECT_EQ(h->networkAddress, c.address) << c.text;
    EXPECT_EQ(h->endpoint, c.endpoint) << c.text;
    EXPECT_EQ(h->options, c.options) << c.text;
    EXPECT_EQ(h->wire, nullptr);  // nothing connects before the first call
    EXPECT_EQ(RpcBindingFree(&h), RPC_S_OK);
    EXPECT_EQ(h, nullptr);
  }
}

TEST(BindingFromString, RefusesBadInputWithItsStatusAndLeavesTheHandleNull) {
  const std::string u = kUuid;
  struct Case {
    std::string text;
    RPC_STATUS expected;
  } cases[] = {
      {"", RPC_S_INVALID_STRING_BINDING},
      {"host", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp", RPC_S_INVALID_STRING_BINDING},
      {u + "@", RPC_S_INVALID_STRING_BINDING},
      {"[135]", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp:host[135", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp:host[135,opt", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp:host[135]x", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp:host[135][1]", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp:host]", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp:host[1[2]]", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp:host[1,a[2]]", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp:host\\", RPC_S_INVALID_STRING_BINDING},
      {u + "@x@ncacn_ip_tcp:h", RPC_S_INVALID_STRING_BINDING},
      {"@ncacn_ip_tcp:host", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_ip_tcp[135]:h", RPC_S_INVALID_STRING_BINDING},
      {"ncacn_np:host", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncalrpc:", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {"ncadg_ip_udp:host[135]", RPC_S_PROTSEQ_NOT_SUPPORTED},
      {":host", RPC_S_INVALID_RPC_PROTSEQ},
      {"bogus:host", RPC_S_INVALID_RPC_PROTSEQ},
      {"NCACN_IP_TCP:host", RPC_S_INVALID_RPC_PROTSEQ},
      {"not-a-uuid@ncacn_ip_tcp:host", RPC_S_INVALID_STRING_UUID},
      {u.substr(1) + "@ncacn_ip_tcp:host", RPC_S_INVALID_STRING_UUID},
      {"ncacn_ip_tcp:h[0]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[65536]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[99999999999999999999999]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[-1]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[ 135]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[http,opt]", RPC_S_INVALID_ENDPOINT_FORMAT},
      {"ncacn_ip_tcp:h[\\pipe\\x]", RPC_S_INVALID_ENDPOINT_FORMAT},
  };
  for (const Case& c : cases) {
    // A stale value in the caller's variable must not survive a failure.
    RPC_BINDING_HANDLE h = reinterpret_cast<RPC_BINDING_HANDLE>(&h);
    EXPECT_EQ(RpcBindingFromStringBindingA(Cstr(c.text.c_str()), &h), c.expected) << c.text;
    EXPECT_EQ(h, nullptr) << c.text;
  }
  RPC_BINDING_HANDLE h = reinterpret_cast<RPC_BINDING_HANDLE>(&h);
  EXPECT_EQ(RpcBindingFromStringBindingA(nullptr, &h), RPC_S_INVALID_STRING_BINDING);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(RpcBindingFromStringBindingA(Cstr("ncacn_ip_tcp:h"), nullptr), RPC_S_INVALID_ARG);
}

TEST(BindingFromString, ReadsBackWhatComposeWroteForEveryCombination) {
  // Valid values for the checked components, awkward ones for the free text.
  const char* given[5] = {kUuid, "ncacn_ip_tcp", "a@b:[c]\\d,e", "4321", "x=[1],y\\z:@"};
  for (int mask = 0; mask < 32; ++mask) {
    if (!(mask & 2)) continue;
    const char* part[5];
    for (int i = 0; i < 5; ++i) part[i] = (mask >> i) & 1 ? given[i] : nullptr;
    RPC_STATUS status;
    const std::string text = Compose(part[0], part[1], part[2], part[3], part[4], &status);
    ASSERT_EQ(status, RPC_S_OK);
    RPC_BINDING_HANDLE h = nullptr;
    ASSERT_EQ(RpcBindingFromStringBindingA(Cstr(text.c_str()), &h), RPC_S_OK) << text;
    EXPECT_EQ(h->objectUuid, part[0] ? part[0] : "") << text;
    EXPECT_EQ(h->protseq, "ncacn_ip_tcp");
    EXPECT_EQ(h->networkAddress, part[2] ? part[2] : "") << text;
    EXPECT_EQ(h->endpoint, part[3] ? part[3] : "") << text;
    EXPECT_EQ(h->options, part[4] ? part[4] : "") << text;
    RpcBindingFree(&h);
  }
}

TEST(BindingFree, NullHandleIsReportedAndLeftAlone) {
  RPC_BINDING_HANDLE h = nullptr;
  EXPECT_EQ(RpcBindingFree(&h), RPC_S_INVALID_BINDING);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(RpcBindingFree(nullptr), RPC_S_INVALID_ARG);
}

// The wire half hangs its state on the handle; the handle's release frees it.
// The state's type belongs to the wire half, so a marker stands in for it.
int gWireMarker;
int gWireReleased;

TEST(BindingFree, ReleasesTheWireHalfsState) {
  RPC_BINDING_HANDLE h = nullptr;
  ASSERT_EQ(RpcBindingFromStringBindingA(Cstr("ncacn_ip_tcp:h"), &h), RPC_S_OK);
  gWireReleased = 0;
  h->wire = reinterpret_cast<RpcWireState*>(&gWireMarker);
  h->wireDelete = [](RpcWireState* state) {
    if (state == reinterpret_cast<RpcWireState*>(&gWireMarker)) ++gWireReleased;
  };
  EXPECT_EQ(RpcBindingFree(&h), RPC_S_OK);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(gWireReleased, 1);
}

TEST(BindingHandle, ManyThreadsReadOneHandleAtOnce) {
  const std::string text = std::string(kUuid) + "@ncacn_ip_tcp:scanhost[2048,opt=1]";
  RPC_BINDING_HANDLE h = nullptr;
  ASSERT_EQ(RpcBindingFromStringBindingA(Cstr(text.c_str()), &h), RPC_S_OK);
  std::atomic<int> mismatches{0};
  std::atomic<int> reads{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([h, &mismatches, &reads] {
      for (int i = 0; i < 2000; ++i) {
        // What a client stub does at each call: read the parsed parts, and
        // look at the wire state under its mutex.
        const bool same = h->objectUuid == kUuid && h->protseq == "ncacn_ip_tcp" &&
                          h->networkAddress == "scanhost" && h->endpoint == "2048" &&
                          h->options == "opt=1";
        if (!same) mismatches.fetch_add(1);
        std::lock_guard<std::mutex> lock(h->wireMutex);
        if (h->wire != nullptr) mismatches.fetch_add(1);
        reads.fetch_add(1);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(reads.load(), 8 * 2000);
  EXPECT_EQ(RpcBindingFree(&h), RPC_S_OK);
}

TEST(Uuid, ParsesIntoItsFields) {
  wbrpc::RpcUuid uuid;
  ASSERT_TRUE(wbrpc::ParseUuidString("db08f627-f2e9-11d0-9382-00C04FC9C7D4", &uuid));
  EXPECT_EQ(uuid.data1, 0xdb08f627u);
  EXPECT_EQ(uuid.data2, 0xf2e9);
  EXPECT_EQ(uuid.data3, 0x11d0);
  const uint8_t data4[8] = {0x93, 0x82, 0x00, 0xc0, 0x4f, 0xc9, 0xc7, 0xd4};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(uuid.data4[i], data4[i]) << i;
}

}  // namespace
