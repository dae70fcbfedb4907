#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

ToastListener* current_listener = nullptr;

// No valid record lies in the lowest 64 KiB of an address space, so neither a
// width nor a null arrives there by mistake as an address.
constexpr std::uintptr_t kLowestRecordAddress = 0x10000;

const char kMessageName[] = "Glimmerpost_DisplayToast";

std::uintptr_t ReadPointer(const unsigned char* bytes, std::size_t offset) {
  std::uintptr_t value = 0;
  std::memcpy(&value, bytes + offset, sizeof(void*));
  return value;
}

std::u16string ReadWideText(std::uintptr_t address) {
  std::u16string text;
  const auto* units = reinterpret_cast<const unsigned char*>(address);
  for (std::size_t i = 0;; i += 2) {
    const auto unit = static_cast<char16_t>(units[i] | units[i + 1] << 8);
    if (unit == 0) return text;
    text += unit;
  }
}

#if defined(_WIN32)
// A plain window of the test's own, through USER32 alone.
HWND CreateListenerWindow(WNDPROC procedure) {
  static const ATOM window_class = [procedure] {
    WNDCLASSA description = {};
    description.lpfnWndProc = procedure;
    description.hInstance = GetModuleHandleA(nullptr);
    description.lpszClassName = "CalcTestToastListener";
    return RegisterClassA(&description);
  }();
  if (window_class == 0) return nullptr;
  return CreateWindowExA(0, "CalcTestToastListener", "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}
void DestroyListenerWindow(HWND window) {
  DestroyWindow(window);
}
#else
HWND CreateListenerWindow(WNDPROC procedure) {
  return CreateTopLevelWindow(procedure);
}
void DestroyListenerWindow(HWND window) {
  DestroyTopLevelWindow(window);
}
#endif

}  // namespace

const PluginLibrary& Plugin() {
  static const PluginLibrary plugin(DefaultPluginPath());
  if (!plugin.loaded() || plugin.display_toast == nullptr || plugin.display_toast_w == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", DefaultPluginPath().c_str(),
                 plugin.error().c_str());
    std::exit(2);
  }
  return plugin;
}

ToastListener::ToastListener(LRESULT reply)
    : message_number_(RegisterWindowMessageA(kMessageName)), reply_(reply) {
  current_listener = this;
  window_ = CreateListenerWindow(Procedure);
  if (window_ == nullptr) std::fprintf(stderr, "cannot create the listening window\n");
}

ToastListener::~ToastListener() {
  DestroyListenerWindow(window_);
  current_listener = nullptr;
}

LRESULT CALLBACK ToastListener::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  ToastListener* listener = current_listener;
  if (listener == nullptr || message != listener->message_number_) {
    return DefWindowProcA(window, message, wparam, lparam);
  }
  ReceivedToast toast;
  toast.record_address = static_cast<std::uintptr_t>(wparam);
  toast.width = static_cast<std::intptr_t>(lparam);
  if (toast.record_address >= kLowestRecordAddress && (lparam == 0 || lparam == 1)) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(toast.record_address);
    const std::size_t unit = lparam == 0 ? 1 : 2;
    toast.record.assign(bytes, bytes + kToastLayout.text + kToastTextUnits * unit);
    if (const std::uintptr_t caption = ReadPointer(bytes, kToastLayout.caption)) {
      toast.caption = reinterpret_cast<const char*>(caption);
    }
    if (const std::uintptr_t extra = ReadPointer(bytes, kToastLayout.extra)) {
      toast.extra = reinterpret_cast<const char*>(extra);
    }
    if (const std::uintptr_t text = ReadPointer(bytes, kToastLayout.message)) {
      if (lparam == 0) {
        toast.text = reinterpret_cast<const char*>(text);
      } else {
        toast.wide_text = ReadWideText(text);
      }
    }
  }
  listener->received.push_back(toast);
  return listener->reply_;
}

std::uint32_t Field32(const ReceivedToast& toast, std::size_t offset) {
  std::uint32_t value = 0;
  if (toast.record.size() >= offset + sizeof value) {
    std::memcpy(&value, toast.record.data() + offset, sizeof value);
  }
  return value;
}

std::uintptr_t PointerAt(const ReceivedToast& toast, std::size_t offset) {
  return toast.record.size() >= offset + sizeof(void*) ? ReadPointer(toast.record.data(), offset)
                                                       : 0;
}

#if defined(_WIN32)
ConsoleHostProcess::~ConsoleHostProcess() {
  if (process.hProcess != nullptr && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 1);
  }
  for (HANDLE handle : {input, output, process.hThread, process.hProcess}) {
    if (handle != nullptr) CloseHandle(handle);
  }
}

bool StartConsoleHost(const std::string& arguments, bool with_input, ConsoleHostProcess& host) {
  const std::string plugin = DefaultPluginPath();
  std::string command =
      "\"" + plugin.substr(0, plugin.find_last_of("/\\") + 1) + "calchost.exe\" " + arguments;
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE input_read = nullptr;
  HANDLE output_write = nullptr;
  if (!CreatePipe(&host.output, &output_write, &inheritable, 1 << 16)) return false;
  if (with_input && !CreatePipe(&input_read, &host.input, &inheritable, 0)) {
    CloseHandle(output_write);
    return false;
  }
  // The test's ends stay the test's.
  SetHandleInformation(host.output, HANDLE_FLAG_INHERIT, 0);
  if (host.input != nullptr) SetHandleInformation(host.input, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input_read;
  startup.hStdOutput = output_write;
  startup.hStdError = output_write;
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &host.process);
  CloseHandle(output_write);
  if (input_read != nullptr) CloseHandle(input_read);
  return started != FALSE;
}
#endif
