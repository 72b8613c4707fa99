#include "platform/system_messages.h"

#include <algorithm>
#include <cstring>

namespace {

struct Entry {
  DWORD code;
  const char* text;
};

// Sorted by code.
constexpr Entry kTable[] = {
    {0, "The operation succeeded."},
    {1, "The function is not valid here."},
    {2, "The file could not be found."},
    {3, "The path could not be found."},
    {4, "Too many files are open."},
    {5, "Access was refused."},
    {6, "The handle is not valid."},
    {8, "There is not enough memory for this command."},
    {14, "There is not enough memory to finish the operation."},
    {15, "The drive could not be found."},
    {16, "The folder cannot be removed."},
    {18, "There are no more files."},
    {19, "The medium is write-protected."},
    {21, "The device is not ready."},
    {23, "A data error (cyclic redundancy check) occurred."},
    {25, "The position in the file could not be set."},
    {29, "The device could not be written."},
    {30, "The device could not be read."},
    {31, "A device attached to the system is not working."},
    {32, "The file is in use by another process and cannot be opened."},
    {33, "Part of the file is locked by another process."},
    {38, "The end of the file was reached."},
    {39, "The disk is full."},
    {50, "The request is not supported."},
    {53, "The network path could not be found."},
    {80, "The file already exists."},
    {87, "A parameter is not valid."},
    {109, "The pipe has been closed."},
    {112, "There is not enough space on the disk."},
    {122, "The buffer passed is too small."},
    {123, "The file name, folder name or volume label is not valid."},
    {126, "The module could not be found."},
    {127, "The procedure could not be found."},
    {145, "The folder is not empty."},
    {161, "The path is not valid."},
    {183, "A file of that name already exists."},
    {193, "The file is not a valid program or library."},
    {206, "The file name or extension is too long."},
    {234, "More data is available."},
    {259, "There are no more data."},
    {267, "The folder name is not valid."},
    {317, "No text exists for message number 0x%1 in the message file for %2."},
    {998, "The memory location may not be accessed."},
    {1010, "The registry key is not valid."},
    {1011, "The registry key could not be opened."},
    {1012, "The registry key could not be read."},
    {1015, "The registry is damaged."},
    {1114, "A library failed to start up."},
    {1400, "The window handle is not valid."},
    {1411, "The window class does not exist."},
    {1460, "The operation ended because its time ran out."},
    {1700, "The string binding is not valid."},
    {1701, "The binding handle is of the wrong kind."},
    {1702, "The binding handle is not valid."},
    {1703, "The RPC protocol sequence is not supported."},
    {1704, "The RPC protocol sequence is not valid."},
    {1705, "The string form of the UUID is not valid."},
    {1706, "The endpoint format is not valid."},
    {1707, "The network address is not valid."},
    {1708, "No endpoint was found."},
    {1709, "The timeout value is not valid."},
    {1710, "The object UUID was not found."},
    {1711, "The object UUID is already registered."},
    {1712, "The type UUID is already registered."},
    {1713, "The RPC server is already listening."},
    {1714, "No protocol sequences are registered."},
    {1715, "The RPC server is not listening."},
    {1716, "The manager type is not known."},
    {1717, "The interface is not known."},
    {1718, "There are no bindings."},
    {1719, "There are no protocol sequences."},
    {1720, "The endpoint cannot be created."},
    {1721, "Not enough resources are available to finish the operation."},
    {1722, "The RPC server cannot be reached."},
    {1723, "The RPC server is too busy to finish the operation."},
    {1724, "The network options are not valid."},
    {1725, "No remote procedure call is active in this thread."},
    {1726, "The remote procedure call failed."},
    {1727, "The remote procedure call failed and did not run."},
    {1728, "An RPC protocol error occurred."},
    {1730, "The RPC server does not support the transfer syntax."},
    {1732, "The UUID type is not supported."},
    {1733, "The tag is not valid."},
    {1734, "The array bounds are not valid."},
    {1735, "The binding has no entry name."},
    {1736, "The name syntax is not valid."},
    {1737, "The name syntax is not supported."},
    {1739, "No network address is available to build a UUID."},
    {1740, "The endpoint is a duplicate."},
    {1741, "The authentication type is not known."},
    {1742, "The maximum number of calls is too small."},
    {1743, "The string is too long."},
    {1744, "The RPC protocol sequence was not found."},
    {1745, "The procedure number is out of range."},
    {1746, "The binding has no authentication information."},
    {1747, "The authentication service is not known."},
    {1748, "The authentication level is not known."},
    {1749, "The security context is not valid."},
    {1750, "The authorization service is not known."},
    {1751, "The entry is not valid."},
    {1752, "The server endpoint cannot perform the operation."},
    {1753, "The endpoint mapper has no more endpoints for this interface."},
    {1754, "No interfaces have been exported."},
    {1755, "The entry name is incomplete."},
    {1756, "The version option is not valid."},
    {1757, "There are no more members."},
    {1758, "Some objects were not unexported."},
    {1759, "The interface was not found."},
    {1760, "The entry already exists."},
    {1761, "The entry was not found."},
    {1762, "The name service is not available."},
    {1763, "The network address family is not valid."},
    {1764, "The requested operation is not supported."},
    {1765, "No security context is available to allow impersonation."},
    {1766, "An internal error occurred in a remote procedure call."},
    {1767, "The RPC server tried an integer division by zero."},
    {1768, "An addressing error occurred in the RPC server."},
    {1769, "A floating-point operation in the RPC server divided by zero."},
    {1770, "A floating-point underflow occurred in the RPC server."},
    {1771, "A floating-point overflow occurred in the RPC server."},
    {1772, "The list of RPC servers for automatic binding is exhausted."},
    {1773, "The character translation table file could not be opened."},
    {1774, "The character translation table file is too short."},
    {1775, "A null context handle was passed from the client to the host."},
    {1777, "The context handle changed during a remote procedure call."},
    {1778, "The binding handles passed to a remote procedure call do not match."},
    {1779, "The stub cannot get the remote procedure call handle."},
    {1780, "A null reference pointer was passed to the stub."},
    {1781, "The enumeration value is out of range."},
    {1782, "The byte count is too small."},
    {1783, "The stub received bad data."},
    {1791, "A remote procedure call is already in progress for this thread."},
    {1806, "There are no more bindings."},
    {1813, "The principal name is not known."},
    {1818, "The remote procedure call was cancelled."},
    {1820, "A communications failure occurred during a remote procedure call."},
    {1821, "The requested authentication level is not supported."},
    {1822, "No principal name is registered."},
    {1823, "The error given is not a Windows RPC error code."},
    {1824, "A UUID was allocated that is valid only on this computer."},
    {1825, "A security package error occurred."},
    {1826, "The thread was not cancelled."},
    {1827, "The operation on the encoding or decoding handle is not valid."},
    {1828, "The encoding package has the wrong version."},
    {1829, "The RPC stub has the wrong version."},
    {1830, "The RPC pipe object is not valid or is damaged."},
};

bool LanguageKnown(DWORD languageId) {
  const DWORD primary = languageId & 0x3FF;
  return primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

}  // namespace

const char* WbSystemMessageText(DWORD code) {
  const Entry* end = kTable + sizeof kTable / sizeof kTable[0];
  const Entry* it = std::lower_bound(kTable, end, code,
                                     [](const Entry& e, DWORD c) { return e.code < c; });
  return it != end && it->code == code ? it->text : nullptr;
}

DWORD FormatMessageA(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* /*arguments*/) {
  // Without IGNORE_INSERTS the original would read values that nobody
  // passes here; this table is only read with the markers left as they are.
  const DWORD supported = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  if ((flags & ~FORMAT_MESSAGE_MAX_WIDTH_MASK) != supported || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!LanguageKnown(languageId)) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return 0;
  }
  const char* text = WbSystemMessageText(messageId);
  if (!text) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  const size_t len = std::strlen(text);
  if (len + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text, len + 1);
  return static_cast<DWORD>(len);
}
