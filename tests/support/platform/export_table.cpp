#include "tests/support/platform/export_table.h"

#if defined(_WIN32)
#include <windows.h>

// The export directory of the loaded image: every name a GetProcAddress by name can find.
std::optional<std::set<std::string>> exported_names(const std::string& library_path) {
  HMODULE module = LoadLibraryA(library_path.c_str());
  if (module == nullptr) return std::nullopt;
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::set<std::string> names;
  if (directory.Size != 0) {
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* name_offsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
      names.insert(reinterpret_cast<const char*>(base + name_offsets[i]));
    }
  }
  FreeLibrary(module);
  return names;
}
#else
#include <sstream>

#include "tests/support/platform/command.h"

// The dynamic symbol table as nm lists it: address, kind, name per line.
std::optional<std::set<std::string>> exported_names(const std::string& library_path) {
  const command_result listed = run_command("nm -D --defined-only '" + library_path + "'");
  if (listed.exit_status != 0) return std::nullopt;
  std::set<std::string> names;
  std::istringstream lines(listed.output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string address, kind, name;
    if (fields >> address >> kind >> name) names.insert(name);
  }
  return names;
}
#endif
