// The binding handle's inside, shared by the two halves of the runtime: the
// binding half (string bindings, handle creation and release) fills the parsed
// components; the wire half (transport, endpoint mapper, connections) keeps
// its per-binding state behind `wire`, created at the first call.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/rpc/rpc.h"

struct RpcWireState;  // owned by the wire half; see platform/rpc/wire.h

struct RpcBinding {
  // Parsed from the string binding, never changed afterwards.
  std::string objectUuid;      // text form, empty when none
  std::string protseq;         // "ncacn_ip_tcp"
  std::string networkAddress;  // empty: this machine
  std::string endpoint;        // empty: ask the server's endpoint mapper
  std::string options;

  // Created by the wire half on the first call, under wireMutex.
  std::mutex wireMutex;
  RpcWireState* wire = nullptr;
  void (*wireDelete)(RpcWireState*) = nullptr;  // set together with wire

  ~RpcBinding() {
    if (wire && wireDelete) wireDelete(wire);
  }
};
