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

void* OpenLibrary(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) error = "LoadLibrary failed with error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
constexpr const char* kPluginFileName = "libcalcplugin.so";

void* OpenLibrary(const std::string& path, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) error = dlerror();
  return handle;
}
void* FindSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void CloseLibrary(void* handle) { dlclose(handle); }
#endif

template <typename Function>
void Resolve(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(FindSymbol(handle, name));
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : handle_(OpenLibrary(path, error_)) {
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
  if (parse_command == nullptr) error_ = "the library has no ParseCommand entry point";
}

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) CloseLibrary(handle_);
}

std::string DefaultPluginPath() {
  std::string program;
#if defined(_WIN32)
  char buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) program.assign(buffer, length);
#else
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length > 0 && static_cast<std::size_t>(length) < sizeof buffer) {
    program.assign(buffer, static_cast<std::size_t>(length));
  }
#endif
  const std::size_t slash = program.find_last_of("/\\");
  const std::string directory = slash == std::string::npos ? "." : program.substr(0, slash);
  return directory + "/" + kPluginFileName;
}
