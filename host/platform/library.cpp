#include "host/platform/library.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>

#include <filesystem>

#include "host/platform/system_text.h"

namespace trvhost {

namespace {

// Loads the library and pins it, so that FreeLibrary never unmaps it. The path is UTF-8.
HMODULE load_pinned(const std::string& path) {
  const std::filesystem::path file = utf8_path(path);
  HMODULE handle = LoadLibraryW(file.c_str());
  HMODULE pinned = nullptr;
  if (handle == nullptr ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, file.c_str(), &pinned)) {
    const DWORD reason = GetLastError();
    if (handle != nullptr) FreeLibrary(handle);
    throw std::runtime_error("cannot open " + path + ": error " + std::to_string(reason));
  }
  return handle;
}

}  // namespace

shared_library::shared_library(const std::string& path) : handle_(load_pinned(path)) {}

shared_library::~shared_library() { FreeLibrary(static_cast<HMODULE>(handle_)); }

void* shared_library::symbol(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace trvhost
#else
#include <dlfcn.h>

namespace trvhost {

// RTLD_LOCAL keeps the module's symbols out of the lookups of other libraries; RTLD_NODELETE
// keeps its code mapped after dlclose.
shared_library::shared_library(const std::string& path)
    : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
  if (handle_ == nullptr) throw std::runtime_error(std::string("cannot open ") + dlerror());
}

shared_library::~shared_library() { dlclose(handle_); }

void* shared_library::symbol(const char* name) const { return dlsym(handle_, name); }

}  // namespace trvhost
#endif
