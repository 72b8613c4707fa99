// What exists only inside wbremote.dll: the decipherer of wbcrypt.dll, bound
// by the loader, the one application object, and its start-up and teardown
// with the library's load and unload. Objects here are built in this order,
// after every static object of the libraries linked in, and destroyed in the
// reverse order: ExitInstance runs before the application object is
// destroyed.
#include "platform/framework.h"
#include "wbremote/client_app.h"
#include "wbremote/machine_identity.h"

namespace {

struct DecipherInstaller {
  DecipherInstaller() { SetDecryptToCharBuffer(&DecryptToCharBuffer); }
};
DecipherInstaller gDecipherInstaller;

}  // namespace

CClientApp theApp;

WB_LIBRARY_STARTUP();
