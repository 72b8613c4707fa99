// The fault status table. NCA codes without a counterpart of their own on the
// original platform become a failed call.
#include "platform/rpc/nca_status.h"

namespace wbrpc {

namespace {
// Platform codes that rpc.h does not name.
constexpr RPC_STATUS kErrorInvalidHandle = 6;
constexpr RPC_STATUS kErrorNotEnoughServerMemory = 1130;
constexpr RPC_STATUS kRpcXPipeClosed = 1916;
constexpr RPC_STATUS kRpcXPipeDisciplineError = 1917;
constexpr RPC_STATUS kRpcXPipeEmpty = 1918;
constexpr RPC_STATUS kRpcXWrongPipeOrder = 1831;

struct Entry {
  uint32_t nca;
  RPC_STATUS status;
};

constexpr Entry kTable[] = {
    {0x1c010001, RPC_S_COMM_FAILURE},             // nca_s_comm_failure
    {0x1c010002, RPC_S_PROCNUM_OUT_OF_RANGE},     // nca_s_op_rng_error
    {0x1c010003, RPC_S_UNKNOWN_IF},               // nca_s_unk_if
    {0x1c010006, RPC_S_CALL_FAILED},              // nca_s_wrong_boot_time
    {0x1c010009, RPC_S_CALL_FAILED},              // nca_s_you_crashed
    {0x1c01000b, RPC_S_PROTOCOL_ERROR},           // nca_s_proto_error
    {0x1c010013, kErrorNotEnoughServerMemory},    // nca_s_out_args_too_big
    {0x1c010014, RPC_S_SERVER_TOO_BUSY},          // nca_s_server_too_busy
    {0x1c010015, RPC_S_STRING_TOO_LONG},          // nca_s_fault_string_too_long
    {0x1c010017, RPC_S_UNSUPPORTED_TYPE},         // nca_s_unsupported_type
    {0x1c000001, RPC_S_ZERO_DIVIDE},              // nca_s_fault_int_div_by_zero
    {0x1c000002, RPC_S_ADDRESS_ERROR},            // nca_s_fault_addr_error
    {0x1c000003, RPC_S_FP_DIV_ZERO},              // nca_s_fault_fp_div_zero
    {0x1c000004, RPC_S_FP_UNDERFLOW},             // nca_s_fault_fp_underflow
    {0x1c000005, RPC_S_FP_OVERFLOW},              // nca_s_fault_fp_overflow
    {0x1c000006, RPC_S_INVALID_TAG},              // nca_s_fault_invalid_tag
    {0x1c000007, RPC_S_INVALID_BOUND},            // nca_s_fault_invalid_bound
    {0x1c000008, RPC_S_PROTOCOL_ERROR},           // nca_s_rpc_version_mismatch
    {0x1c000009, RPC_S_CALL_FAILED},              // nca_s_unspec_reject
    {0x1c00000a, RPC_S_CALL_FAILED},              // nca_s_bad_actid
    {0x1c00000b, RPC_S_CALL_FAILED},              // nca_s_who_are_you_failed
    {0x1c00000c, RPC_S_CALL_FAILED_DNE},          // nca_s_manager_not_entered
    {0x1c00000d, RPC_S_CALL_CANCELLED},           // nca_s_fault_cancel
    {0x1c00000e, RPC_S_CALL_FAILED},              // nca_s_fault_ill_inst
    {0x1c00000f, RPC_S_FP_OVERFLOW},              // nca_s_fault_fp_error
    {0x1c000010, RPC_S_CALL_FAILED},              // nca_s_fault_int_overflow
    {0x1c000012, RPC_S_CALL_FAILED},              // nca_s_fault_unspec
    {0x1c000013, RPC_S_COMM_FAILURE},             // nca_s_fault_remote_comm_failure
    {0x1c000014, kRpcXPipeEmpty},                 // nca_s_fault_pipe_empty
    {0x1c000015, kRpcXPipeClosed},                // nca_s_fault_pipe_closed
    {0x1c000016, kRpcXWrongPipeOrder},            // nca_s_fault_pipe_order
    {0x1c000017, kRpcXPipeDisciplineError},       // nca_s_fault_pipe_discipline
    {0x1c000018, RPC_S_COMM_FAILURE},             // nca_s_fault_pipe_comm_error
    {0x1c000019, RPC_S_OUT_OF_MEMORY},            // nca_s_fault_pipe_memory
    {0x1c00001a, kErrorInvalidHandle},            // nca_s_fault_context_mismatch
    {0x1c00001b, kErrorNotEnoughServerMemory},    // nca_s_fault_remote_no_memory
    {0x1c00001c, RPC_S_PROTOCOL_ERROR},           // nca_s_invalid_pres_context_id
    {0x1c00001d, RPC_S_UNSUPPORTED_AUTHN_LEVEL},  // nca_s_unsupported_authn_level
    {0x1c00001f, RPC_S_CALL_FAILED_DNE},          // nca_s_invalid_checksum
    {0x1c000020, RPC_S_CALL_FAILED_DNE},          // nca_s_invalid_crc
    {0x1c000021, RPC_S_CALL_FAILED},              // nca_s_fault_user_defined
    {0x1c000022, RPC_S_CALL_FAILED},              // nca_s_fault_tx_open_failed
    {0x1c000023, RPC_S_CALL_FAILED},              // nca_s_fault_codeset_conv_error
    {0x1c000024, RPC_S_OBJECT_NOT_FOUND},         // nca_s_fault_object_not_found
    {0x1c000025, RPC_S_CALL_FAILED},              // nca_s_fault_no_client_stub
};
}  // namespace

RPC_STATUS MapFaultStatus(uint32_t status) {
  for (const Entry& e : kTable) {
    if (e.nca == status) return e.status;
  }
  // The rest of the NCA range has no meaning to the caller beyond failure;
  // zero would read as success, so it fails too.
  if ((status & 0xfffe0000u) == 0x1c000000u || status == 0) return RPC_S_CALL_FAILED;
  return static_cast<RPC_STATUS>(status);
}

}  // namespace wbrpc
