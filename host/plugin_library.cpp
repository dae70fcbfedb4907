// Loading a plug-in library and finding its entry points.
#include "host/host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#endif

namespace {

#if defined(_WIN32)
constexpr const char* kPluginFileName = "calcplugin.dll";

// The system's text for error `code`, then the number: "The specified module
// could not be found. (error 126)"; the number alone where the system has no text.
std::string DescribeError(DWORD code) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ')) {
    --length;
  }
  const std::string number = "(error " + std::to_string(code) + ")";
  return length == 0 ? number : std::string(text, length) + " " + number;
}

// Loads the DLL at `path`; null on failure, with the system's reason in `error`.
void* OpenLibrary(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) error = DescribeError(GetLastError());
  return reinterpret_cast<void*>(module);
}
// The address of the export `name`; null when the DLL has none.
void* FindSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
// Unloads a library OpenLibrary loaded.
void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
constexpr const char* kPluginFileName = "libcalcplugin.so";

// Loads the shared library at `path`; null on failure, with the loader's reason in `error`.
void* OpenLibrary(const std::string& path, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "dlopen failed";
  }
  return handle;
}
// The address of the symbol `name`; null when the library has none.
void* FindSymbol(void* handle, const char* name) { return dlsym(handle, name); }
// Unloads a library OpenLibrary loaded.
void CloseLibrary(void* handle) { dlclose(handle); }
#endif

// Sets `function` to the entry point named `name`, or to null when there is none.
template <typename Function>
void Resolve(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(FindSymbol(handle, name));
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) {
  // In the body, once every member is constructed: OpenLibrary writes into error_.
  handle_ = OpenLibrary(path, error_);
  if (handle_ == nullptr) return;
  Resolve(handle_, CALC_NAME_INITIALIZE, initialize);
  Resolve(handle_, CALC_NAME_UNINITIALIZE, uninitialize);
  Resolve(handle_, CALC_NAME_CONFIGURE, configure);
  Resolve(handle_, CALC_NAME_PUBLISH_INFO, publish_info);
  Resolve(handle_, CALC_NAME_PARSE_COMMAND, parse_command);
  Resolve(handle_, CALC_NAME_PARSE_TAG, parse_tag);
  Resolve(handle_, CALC_NAME_RECEIVE_NOTIFY, receive_notify);
  Resolve(handle_, CALC_NAME_DISPLAY_TOAST, display_toast);
  Resolve(handle_, CALC_NAME_DISPLAY_TOAST_W, display_toast_w);
  if (parse_command == nullptr) {
    error_ = "the library has no entry point named " CALC_NAME_PARSE_COMMAND;
  }
}

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) CloseLibrary(handle_);
}

std::string DefaultPluginPath() {
  std::string program;
#if defined(_WIN32)
  // GetModuleFileNameA fills the whole buffer when the path does not fit: then
  // once more with room for the longest path Windows has.
  constexpr DWORD kLongestPath = 32768;
  for (const DWORD size : {static_cast<DWORD>(MAX_PATH), kLongestPath}) {
    std::string buffer(size, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
    if (length == 0) break;
    if (length < size) {
      program.assign(buffer.data(), length);
      break;
    }
  }
#else
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length > 0 && static_cast<std::size_t>(length) < sizeof buffer) {
    program.assign(buffer, static_cast<std::size_t>(length));
  }
#endif
  // Without the program's own folder there is no library beside it: the current
  // directory is no stand-in, as any library there would be loaded.
  const std::size_t slash = program.find_last_of("/\\");
  if (slash == std::string::npos) return "";
  return program.substr(0, slash) + "/" + kPluginFileName;
}
