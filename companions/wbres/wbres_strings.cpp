// wbres.dll: the client library's user-facing texts, as a resource-only
// library. 32779 names this computer when the registry gives no name; 32780
// to 32785 word a refused check-out and a failed remote call.
#include "platform/resource_table.h"

namespace {

#define WB_STRING(id, text) {WB_RT_STRING, id, text, sizeof(text) - 1}

constexpr WbResourceEntry kEntries[] = {
    WB_STRING(32779, "UNNAMED-WORKSTATION"),
    // The service's own explanation goes in place of %s.
    WB_STRING(32780, "The scanner could not be checked out. The scanner service says: %s"),
    WB_STRING(32781, "Scanner Check-Out"),
    WB_STRING(32782, "The scanner is checked out to another computer. Try again when it has been returned."),
    WB_STRING(32783, "The scanner service refused to check the scanner out."),
    // The exception code, then the system's description of it.
    WB_STRING(32784, "The scanner service could not be reached (error %d): %s"),
    WB_STRING(32785, "Scanner Connection Error"),
};

constexpr WbResourceDirectory kDirectory = {
    WB_RESOURCE_MAGIC, sizeof(kEntries) / sizeof(kEntries[0]), kEntries};

}  // namespace

WB_EXPORT_RESOURCES(kDirectory)
