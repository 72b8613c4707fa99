// scanapp: a sample scanning application. It loads wbremote.dll the way a
// scanning application does (LoadLibraryA by bare name), scans one page
// through the library's exports and writes the page to an image file.
//
//   scanapp [--output FILE] [--chunk BYTES]
//
// The page arrives as a binary PNM stream (the reference service's scanner
// sends one); it is written as it comes. Exit status: 0 a page was written,
// 2 the library could not be loaded, 3 the service could not be reached,
// 4 the check-out was refused, 5 the scan failed, 1 bad usage or output error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/module.h"
#include "platform/system_messages.h"
#include "wbremote/scanner_exports.h"

namespace {

constexpr size_t kMaxPage = 256u * 1024 * 1024;

struct Exports {
  CheckOutScannerFn CheckOutScanner;
  GetScannerIDFn GetScannerID;
  RefreshScannerFn RefreshScanner;
  WriteToScannerFn WriteToScanner;
  ReadFromScannerFn ReadFromScanner;
  ReturnScannerFn ReturnScanner;
  PreFreeLibraryFn PreFreeLibrary;
};

template <typename Fn>
bool Find(HMODULE library, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(GetProcAddress(library, name));
  if (!*out) std::fprintf(stderr, "scanapp: wbremote.dll has no export %s\n", name);
  return *out != nullptr;
}

std::string ErrorText(DWORD code) {
  char text[512];
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                      MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), text, sizeof text, nullptr)) {
    std::snprintf(text, sizeof text, "error %u", static_cast<unsigned>(code));
  }
  return text;
}

std::string Narrow(const WCHAR* id, size_t count) {
  std::string out;
  for (size_t i = 0; i < count && id[i]; ++i) out.push_back(id[i] < 0x80 ? static_cast<char>(id[i]) : '?');
  return out;
}

int Usage() {
  std::fprintf(stderr, "usage: scanapp [--output FILE] [--chunk BYTES]\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output = "page.pnm";
  long chunk = 65536;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--output") == 0 && i + 1 < argc) {
      output = argv[++i];
    } else if (std::strcmp(argv[i], "--chunk") == 0 && i + 1 < argc) {
      chunk = std::strtol(argv[++i], nullptr, 10);
      if (chunk < 1 || chunk > 16 * 1024 * 1024) return Usage();
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::printf("usage: scanapp [--output FILE] [--chunk BYTES]\n"
                  "Loads wbremote.dll, scans one page from the shared scanner and writes it to FILE\n"
                  "(default page.pnm). hold Ctrl (or set WB_HELD_KEYS=ctrl) to have wbremote.log written.\n");
      return 0;
    } else {
      return Usage();
    }
  }

  HMODULE library = LoadLibraryA("wbremote.dll");
  if (!library) {
    const DWORD error = GetLastError();
    std::fprintf(stderr, "scanapp: cannot load wbremote.dll: %s (%u)\n", ErrorText(error).c_str(),
                 static_cast<unsigned>(error));
    return 2;
  }
  std::printf("scanapp: loaded wbremote.dll\n");

  Exports x{};
  if (!Find(library, "CheckOutScanner", &x.CheckOutScanner) || !Find(library, "GetScannerID", &x.GetScannerID) ||
      !Find(library, "RefreshScanner", &x.RefreshScanner) || !Find(library, "WriteToScanner", &x.WriteToScanner) ||
      !Find(library, "ReadFromScanner", &x.ReadFromScanner) || !Find(library, "ReturnScanner", &x.ReturnScanner) ||
      !Find(library, "PreFreeLibrary", &x.PreFreeLibrary)) {
    FreeLibrary(library);
    return 2;
  }

  int status = 0;
  // The reference service answers a refresh with 1; 0 means the call failed.
  if (x.RefreshScanner() == 0) {
    std::fprintf(stderr,
                 "scanapp: the scanner-sharing service could not be reached (result 0); check the "
                 "service, the registry's stored identity and wbremote.log\n");
    status = 3;
  } else {
    const LONG session = x.CheckOutScanner(0);
    if (session <= 0) {
      std::fprintf(stderr,
                   "scanapp: the service refused the check-out (result %d): another computer holds the "
                   "scanner, or the stored password is wrong\n",
                   static_cast<int>(session));
      status = 4;
    } else {
      std::printf("scanapp: checked out the scanner (session %d)\n", static_cast<int>(session));
      WCHAR id[64] = {};
      if (x.GetScannerID(id, 64) > 0) std::printf("scanapp: scanner %s\n", Narrow(id, 64).c_str());

      char command[] = "SCAN";
      const LONG accepted = x.WriteToScanner(reinterpret_cast<BYTE*>(command), static_cast<LONG>(std::strlen(command)));
      std::vector<BYTE> page;
      std::vector<BYTE> buffer(static_cast<size_t>(chunk));
      LONG got = 0;
      size_t reads = 0;
      if (accepted > 0) {
        // Read until the service says the page is done (0) or fails (<0).
        while (page.size() < kMaxPage && (got = x.ReadFromScanner(buffer.data(), static_cast<LONG>(chunk), 0)) > 0) {
          const size_t n = static_cast<size_t>(got) < buffer.size() ? static_cast<size_t>(got) : buffer.size();
          page.insert(page.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
          ++reads;
        }
      }
      if (accepted <= 0 || got < 0 || page.empty()) {
        std::fprintf(stderr, "scanapp: the scan failed (command result %d, read result %d)\n",
                     static_cast<int>(accepted), static_cast<int>(got));
        status = 5;
      } else {
        std::FILE* f = std::fopen(output.c_str(), "wb");
        if (!f || std::fwrite(page.data(), 1, page.size(), f) != page.size() || std::fclose(f) != 0) {
          std::fprintf(stderr, "scanapp: cannot write %s\n", output.c_str());
          status = 1;
        } else {
          std::printf("scanapp: read %zu bytes in %zu chunks; page written to %s\n", page.size(), reads,
                      output.c_str());
        }
      }
      std::printf("scanapp: returned the scanner (result %d)\n", static_cast<int>(x.ReturnScanner(0)));
    }
  }
  x.PreFreeLibrary();
  FreeLibrary(library);
  std::printf("scanapp: unloaded wbremote.dll\n");
  return status;
}
