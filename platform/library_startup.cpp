// Finding a library's start-up record: the section headers of the library's
// file name the section, the loader's link map gives the load base, and the
// record is read where the two meet. Every size and offset read from the file
// is checked against the file and against the library's loaded segments
// before anything is dereferenced.
#include "platform/library_startup.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/library_startup_internal.h"

namespace {

constinit WbStartupRecord* gOwnRecord = nullptr;

constexpr unsigned char kNativeClass = __ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32;

bool ReadAt(int fd, void* out, size_t size, uint64_t offset) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = pread(fd, static_cast<char*>(out) + done, size - done,
                      static_cast<off_t>(offset + done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The section's address (relative to the load base) and size, or false.
bool FindSection(const char* path, const char* wanted, uint64_t* address, uint64_t* size,
                 std::vector<ElfW(Phdr)>* segments) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool found = false;
  do {
    struct stat st;
    if (fstat(fd, &st) != 0) break;
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    ElfW(Ehdr) header;
    if (!ReadAt(fd, &header, sizeof(header), 0)) break;
    if (memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != kNativeClass) {
      break;
    }
    if (header.e_shentsize != sizeof(ElfW(Shdr)) || header.e_shnum == 0 ||
        header.e_shstrndx >= header.e_shnum || header.e_shoff > fileSize ||
        static_cast<uint64_t>(header.e_shnum) * sizeof(ElfW(Shdr)) > fileSize - header.e_shoff) {
      break;
    }
    if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phoff > fileSize ||
        static_cast<uint64_t>(header.e_phnum) * sizeof(ElfW(Phdr)) > fileSize - header.e_phoff) {
      break;
    }
    std::vector<ElfW(Shdr)> sections(header.e_shnum);
    if (!ReadAt(fd, sections.data(), sections.size() * sizeof(ElfW(Shdr)), header.e_shoff)) break;
    segments->resize(header.e_phnum);
    if (!ReadAt(fd, segments->data(), segments->size() * sizeof(ElfW(Phdr)), header.e_phoff)) {
      break;
    }
    const ElfW(Shdr)& names = sections[header.e_shstrndx];
    if (names.sh_offset > fileSize || names.sh_size > fileSize - names.sh_offset ||
        names.sh_size > (1u << 24)) {
      break;
    }
    std::vector<char> text(names.sh_size + 1, '\0');
    if (!ReadAt(fd, text.data(), names.sh_size, names.sh_offset)) break;
    for (const ElfW(Shdr)& section : sections) {
      if (section.sh_name >= names.sh_size) continue;
      if (strcmp(text.data() + section.sh_name, wanted) != 0) continue;
      if (!(section.sh_flags & SHF_ALLOC)) continue;
      *address = section.sh_addr;
      *size = section.sh_size;
      found = true;
      break;
    }
  } while (false);
  close(fd);
  return found;
}

}  // namespace

DWORD WbGetLibraryStartupState() {
  return gOwnRecord ? __atomic_load_n(&gOwnRecord->state, __ATOMIC_ACQUIRE) : WB_STARTUP_PENDING;
}

void WbSetOwnStartupRecord(WbStartupRecord* record) { gOwnRecord = record; }

const WbStartupRecord* WbFindStartupRecord(void* dlHandle) {
  struct link_map* map = nullptr;
  if (!dlHandle || dlinfo(dlHandle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name ||
      !map->l_name[0]) {
    return nullptr;
  }
  uint64_t address = 0;
  uint64_t size = 0;
  std::vector<ElfW(Phdr)> segments;
  if (!FindSection(map->l_name, WB_STARTUP_SECTION, &address, &size, &segments)) return nullptr;
  if (size < sizeof(WbStartupRecord) || address % alignof(WbStartupRecord) != 0) return nullptr;
  // The record must lie inside one loaded, writable segment of this file.
  bool inside = false;
  for (const ElfW(Phdr)& segment : segments) {
    if (segment.p_type == PT_LOAD && (segment.p_flags & PF_W) && address >= segment.p_vaddr &&
        address + sizeof(WbStartupRecord) <= segment.p_vaddr + segment.p_memsz) {
      inside = true;
      break;
    }
  }
  if (!inside) return nullptr;
  const auto* record = reinterpret_cast<const WbStartupRecord*>(map->l_addr + address);
  if (record->magic != WB_STARTUP_MAGIC || record->size != sizeof(WbStartupRecord)) return nullptr;
  return record;
}
