// The DCE RPC runtime of the platform layer, as the product code sees it: the
// binding operations, the statuses with the original platform's numbers, and
// the try/except shape that client code wraps around a remote call.
//
// Ownership: a string that RpcStringBindingComposeA returns belongs to the
// caller until RpcStringFreeA; a binding handle belongs to the caller until
// RpcBindingFree. A binding handle may be used by many threads at once.
#pragma once

#include <cxxabi.h>

#include "platform/win_types.h"

typedef LONG RPC_STATUS;
typedef unsigned char* RPC_CSTR;
struct RpcBinding;                    // defined in platform/rpc/binding.h
typedef RpcBinding* RPC_BINDING_HANDLE;
typedef RPC_BINDING_HANDLE handle_t;

enum : RPC_STATUS {
  RPC_S_OK = 0,
  RPC_S_OUT_OF_MEMORY = 14,
  RPC_S_INVALID_ARG = 87,
  RPC_S_INVALID_STRING_BINDING = 1700,
  RPC_S_WRONG_KIND_OF_BINDING = 1701,
  RPC_S_INVALID_BINDING = 1702,
  RPC_S_PROTSEQ_NOT_SUPPORTED = 1703,
  RPC_S_INVALID_RPC_PROTSEQ = 1704,
  RPC_S_INVALID_STRING_UUID = 1705,
  RPC_S_INVALID_ENDPOINT_FORMAT = 1706,
  RPC_S_INVALID_NET_ADDR = 1707,
  RPC_S_NO_ENDPOINT_FOUND = 1708,
  RPC_S_INVALID_TIMEOUT = 1709,
  RPC_S_OBJECT_NOT_FOUND = 1710,
  RPC_S_ALREADY_REGISTERED = 1711,
  RPC_S_TYPE_ALREADY_REGISTERED = 1712,
  RPC_S_ALREADY_LISTENING = 1713,
  RPC_S_NO_PROTSEQS_REGISTERED = 1714,
  RPC_S_NOT_LISTENING = 1715,
  RPC_S_UNKNOWN_MGR_TYPE = 1716,
  RPC_S_UNKNOWN_IF = 1717,
  RPC_S_NO_BINDINGS = 1718,
  RPC_S_NO_PROTSEQS = 1719,
  RPC_S_CANT_CREATE_ENDPOINT = 1720,
  RPC_S_OUT_OF_RESOURCES = 1721,
  RPC_S_SERVER_UNAVAILABLE = 1722,
  RPC_S_SERVER_TOO_BUSY = 1723,
  RPC_S_INVALID_NETWORK_OPTIONS = 1724,
  RPC_S_NO_CALL_ACTIVE = 1725,
  RPC_S_CALL_FAILED = 1726,
  RPC_S_CALL_FAILED_DNE = 1727,
  RPC_S_PROTOCOL_ERROR = 1728,
  RPC_S_UNSUPPORTED_TRANS_SYN = 1730,
  RPC_S_UNSUPPORTED_TYPE = 1732,
  RPC_S_INVALID_TAG = 1733,
  RPC_S_INVALID_BOUND = 1734,
  RPC_S_NO_ENTRY_NAME = 1735,
  RPC_S_INVALID_NAME_SYNTAX = 1736,
  RPC_S_UNSUPPORTED_NAME_SYNTAX = 1737,
  RPC_S_UUID_NO_ADDRESS = 1739,
  RPC_S_DUPLICATE_ENDPOINT = 1740,
  RPC_S_UNKNOWN_AUTHN_TYPE = 1741,
  RPC_S_MAX_CALLS_TOO_SMALL = 1742,
  RPC_S_STRING_TOO_LONG = 1743,
  RPC_S_PROTSEQ_NOT_FOUND = 1744,
  RPC_S_PROCNUM_OUT_OF_RANGE = 1745,
  RPC_S_BINDING_HAS_NO_AUTH = 1746,
  RPC_S_UNKNOWN_AUTHN_SERVICE = 1747,
  RPC_S_UNKNOWN_AUTHN_LEVEL = 1748,
  RPC_S_INVALID_AUTH_IDENTITY = 1749,
  RPC_S_UNKNOWN_AUTHZ_SERVICE = 1750,
  EPT_S_INVALID_ENTRY = 1751,
  EPT_S_CANT_PERFORM_OP = 1752,
  EPT_S_NOT_REGISTERED = 1753,
  RPC_S_NOTHING_TO_EXPORT = 1754,
  RPC_S_INCOMPLETE_NAME = 1755,
  RPC_S_INVALID_VERS_OPTION = 1756,
  RPC_S_NO_MORE_MEMBERS = 1757,
  RPC_S_NOT_ALL_OBJS_UNEXPORTED = 1758,
  RPC_S_INTERFACE_NOT_FOUND = 1759,
  RPC_S_ENTRY_ALREADY_EXISTS = 1760,
  RPC_S_ENTRY_NOT_FOUND = 1761,
  RPC_S_NAME_SERVICE_UNAVAILABLE = 1762,
  RPC_S_INVALID_NAF_ID = 1763,
  RPC_S_CANNOT_SUPPORT = 1764,
  RPC_S_NO_CONTEXT_AVAILABLE = 1765,
  RPC_S_INTERNAL_ERROR = 1766,
  RPC_S_ZERO_DIVIDE = 1767,
  RPC_S_ADDRESS_ERROR = 1768,
  RPC_S_FP_DIV_ZERO = 1769,
  RPC_S_FP_UNDERFLOW = 1770,
  RPC_S_FP_OVERFLOW = 1771,
  RPC_X_NO_MORE_ENTRIES = 1772,
  RPC_X_SS_CHAR_TRANS_OPEN_FAIL = 1773,
  RPC_X_SS_CHAR_TRANS_SHORT_FILE = 1774,
  RPC_X_SS_IN_NULL_CONTEXT = 1775,
  RPC_X_SS_CONTEXT_DAMAGED = 1777,
  RPC_X_SS_HANDLES_MISMATCH = 1778,
  RPC_X_SS_CANNOT_GET_CALL_HANDLE = 1779,
  RPC_X_NULL_REF_POINTER = 1780,
  RPC_X_ENUM_VALUE_OUT_OF_RANGE = 1781,
  RPC_X_BYTE_COUNT_TOO_SMALL = 1782,
  RPC_X_BAD_STUB_DATA = 1783,
  RPC_S_CALL_IN_PROGRESS = 1791,
  RPC_S_NO_MORE_BINDINGS = 1806,
  RPC_S_UNKNOWN_PRINCIPAL = 1813,
  RPC_S_CALL_CANCELLED = 1818,
  RPC_S_INVALID_OBJECT = 1900,
  RPC_S_COMM_FAILURE = 1820,
  RPC_S_UNSUPPORTED_AUTHN_LEVEL = 1821,
  RPC_S_NO_PRINC_NAME = 1822,
  RPC_S_NOT_RPC_ERROR = 1823,
  RPC_S_UUID_LOCAL_ONLY = 1824,
  RPC_S_SEC_PKG_ERROR = 1825,
  RPC_S_NOT_CANCELLED = 1826,
  RPC_X_INVALID_ES_ACTION = 1827,
  RPC_X_WRONG_ES_VERSION = 1828,
  RPC_X_WRONG_STUB_VERSION = 1829,
  RPC_X_INVALID_PIPE_OBJECT = 1830,
};

// Binding operations (the binding half of the runtime).
RPC_STATUS RpcNetworkIsProtseqValidA(RPC_CSTR protseq);
RPC_STATUS RpcStringBindingComposeA(RPC_CSTR objUuid, RPC_CSTR protseq, RPC_CSTR networkAddr,
                                    RPC_CSTR endpoint, RPC_CSTR options, RPC_CSTR* stringBinding);
RPC_STATUS RpcStringFreeA(RPC_CSTR* string);
RPC_STATUS RpcBindingFromStringBindingA(RPC_CSTR stringBinding, RPC_BINDING_HANDLE* binding);
RPC_STATUS RpcBindingFree(RPC_BINDING_HANDLE* binding);

// The runtime's exception: every failure of a remote call is raised as one of
// these, carrying the original platform's status.
class RpcException {
 public:
  explicit RpcException(RPC_STATUS code) : code_(code) {}
  RPC_STATUS code() const { return code_; }

 private:
  RPC_STATUS code_;
};

[[noreturn]] void RpcRaiseException(RPC_STATUS code);

// The original's try/except around a remote call, on C++ exceptions. Any
// exception is caught; RpcExceptionCode() gives the runtime's status for an
// RpcException and RPC_S_INTERNAL_ERROR... for anything else, as the
// exception filter of the original sees every fault.
//
//   RpcTryExcept { result = RemoteX(...); }
//   RpcExcept(1) { code = RpcExceptionCode(); }
//   RpcEndExcept
namespace wbrpc_detail {
RPC_STATUS CurrentExceptionCode();
}
#define RpcTryExcept try
// A thread being cancelled unwinds with abi::__forced_unwind, which must go on
// through: swallowing it aborts the process.
#define RpcExcept(filter)                                                   \
  catch (abi::__forced_unwind&) {                                           \
    throw;                                                                  \
  }                                                                         \
  catch (...) {                                                             \
    const RPC_STATUS wb_rpc_exception_code_ = wbrpc_detail::CurrentExceptionCode(); \
    (void)wb_rpc_exception_code_;                                           \
    if (!(filter)) throw;
#define RpcEndExcept }
#define RpcExceptionCode() (wb_rpc_exception_code_)
