#include "host/platform/system_text.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// windows.h first: shellapi.h builds on its types.
#include <shellapi.h>

#include <cstdio>

namespace trvhost {

namespace {

std::string utf8_of(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string text(static_cast<size_t>(size - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
  return text;
}

}  // namespace

void use_binary_console() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> utf8_arguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(utf8_of(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::filesystem::path utf8_path(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

}  // namespace trvhost
#else

namespace trvhost {

void use_binary_console() {}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::filesystem::path utf8_path(const std::string& name) { return name; }

}  // namespace trvhost
#endif
