// The binding operations of the runtime: protocol-sequence check, composing
// and releasing string bindings, creating and releasing binding handles.
// Nothing here touches the network; the wire half connects at the first call.
//
// Strings returned by RpcStringBindingComposeA come from malloc and go back
// through RpcStringFreeA; handles come from new and go back through
// RpcBindingFree, whose delete also releases the wire half's state.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/rpc/binding.h"
#include "platform/rpc/rpc.h"
#include "platform/rpc/string_binding.h"

namespace {

std::string_view View(RPC_CSTR text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

}  // namespace

RPC_STATUS RpcNetworkIsProtseqValidA(RPC_CSTR protseq) {
  return wbrpc::CheckProtseq(View(protseq));
}

RPC_STATUS RpcStringBindingComposeA(RPC_CSTR objUuid, RPC_CSTR protseq, RPC_CSTR networkAddr,
                                    RPC_CSTR endpoint, RPC_CSTR options, RPC_CSTR* stringBinding) {
  if (stringBinding) *stringBinding = nullptr;
  const std::string_view uuid = View(objUuid);
  if (!uuid.empty() && !wbrpc::ParseUuidString(uuid, nullptr)) return RPC_S_INVALID_STRING_UUID;
  if (!stringBinding) return RPC_S_OK;  // the caller only wanted the check

  std::string text;
  try {
    wbrpc::StringBindingParts parts;
    parts.objectUuid = uuid;
    parts.protseq = View(protseq);
    parts.networkAddress = View(networkAddr);
    parts.endpoint = View(endpoint);
    parts.options = View(options);
    text = wbrpc::ComposeStringBinding(parts);
  } catch (const std::bad_alloc&) {
    return RPC_S_OUT_OF_MEMORY;
  }
  auto* copy = static_cast<unsigned char*>(std::malloc(text.size() + 1));
  if (!copy) return RPC_S_OUT_OF_MEMORY;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  *stringBinding = copy;
  return RPC_S_OK;
}

RPC_STATUS RpcStringFreeA(RPC_CSTR* string) {
  if (!string) return RPC_S_INVALID_ARG;
  std::free(*string);
  *string = nullptr;
  return RPC_S_OK;
}

RPC_STATUS RpcBindingFromStringBindingA(RPC_CSTR stringBinding, RPC_BINDING_HANDLE* binding) {
  if (!binding) return RPC_S_INVALID_ARG;
  *binding = nullptr;
  if (!stringBinding) return RPC_S_INVALID_STRING_BINDING;

  try {
    wbrpc::StringBindingParts parts;
    RPC_STATUS status = wbrpc::ParseStringBinding(View(stringBinding), &parts);
    if (status != RPC_S_OK) return status;
    status = wbrpc::CheckProtseq(parts.protseq);
    if (status != RPC_S_OK) return status;
    if (!parts.objectUuid.empty() && !wbrpc::ParseUuidString(parts.objectUuid, nullptr)) {
      return RPC_S_INVALID_STRING_UUID;
    }
    // No endpoint is fine: the wire half asks the server's endpoint mapper.
    if (!parts.endpoint.empty() && !wbrpc::ParseTcpPort(parts.endpoint, nullptr)) {
      return RPC_S_INVALID_ENDPOINT_FORMAT;
    }

    auto* handle = new (std::nothrow) RpcBinding;
    if (!handle) return RPC_S_OUT_OF_MEMORY;
    handle->objectUuid = std::move(parts.objectUuid);
    handle->protseq = std::move(parts.protseq);
    handle->networkAddress = std::move(parts.networkAddress);
    handle->endpoint = std::move(parts.endpoint);
    handle->options = std::move(parts.options);
    *binding = handle;
    return RPC_S_OK;
  } catch (const std::bad_alloc&) {
    return RPC_S_OUT_OF_MEMORY;
  }
}

RPC_STATUS RpcBindingFree(RPC_BINDING_HANDLE* binding) {
  if (!binding) return RPC_S_INVALID_ARG;
  // The original reports a null handle as an invalid binding and does nothing.
  if (!*binding) return RPC_S_INVALID_BINDING;
  delete *binding;
  *binding = nullptr;
  return RPC_S_OK;
}
