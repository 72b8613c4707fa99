// Raising the runtime's exception and reading its status inside RpcExcept.
#include <exception>
#include <new>

#include "platform/rpc/rpc.h"

void RpcRaiseException(RPC_STATUS code) { throw RpcException(code); }

namespace wbrpc_detail {
// Called only from inside a catch block (RpcExcept).
RPC_STATUS CurrentExceptionCode() {
  try {
    throw;
  } catch (const RpcException& e) {
    return e.code();
  } catch (const std::bad_alloc&) {
    return RPC_S_OUT_OF_MEMORY;
  } catch (...) {
    return RPC_S_INTERNAL_ERROR;
  }
}
}  // namespace wbrpc_detail
