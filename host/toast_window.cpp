// A top-level window that shows the toasts a plug-in asks for.
#include <cstdio>

#include "host/host.h"
#include "platform/window.h"

namespace {

UINT toast_message = 0;
HWND toast_window = nullptr;
bool parsing = false;  // this host's thread is in CallParseCommand

#if defined(_WIN32)
DWORD send_state_at_call = ISMEX_NOSEND;  // InSendMessageEx as CallParseCommand began

// True when the message being handled comes from this thread's own call into
// ParseCommand. The plug-in's requests are direct calls on this thread, which
// leave InSendMessageEx as it was when the call began; a message that another
// thread or program sends meanwhile changes it from ISMEX_NOSEND, and outside
// the call (sent or posted) nothing is the plug-in's.
bool IsOwnToast() { return parsing && InSendMessageEx(nullptr) == send_state_at_call; }
#else
// True when the message comes during this thread's call into ParseCommand:
// here every message is a direct call within this process.
bool IsOwnToast() { return parsing; }
#endif

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(const char16_t* text) {
  std::string out;
  for (; *text != 0; ++text) {
    char32_t code = *text;
    if (code >= 0xD800 && code <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[1] - 0xDC00);
      ++text;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

LRESULT CALLBACK ToastProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Toast toast;
  if (message == toast_message && toast_message != 0 && ReadToastRequest(wparam, lparam, toast)) {
    std::printf("[%s] %s\n", toast.caption.c_str(), toast.message.c_str());
    std::fflush(stdout);
    return 1;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

std::int32_t CallParseCommand(const PluginLibrary& plugin, const char* command,
                              const char* parameter, char* result) {
#if defined(_WIN32)
  send_state_at_call = InSendMessageEx(nullptr);
#endif
  parsing = true;
  const std::int32_t handled = plugin.parse_command(command, parameter, nullptr, result);
  parsing = false;
  return handled;
}

bool ReadToastRequest(std::uintptr_t record, std::intptr_t width, Toast& toast) {
  // A request without a record, or of a width this host does not know, is not read.
  if (!IsOwnToast() || record == 0 || (width != CALC_TOAST_NARROW && width != CALC_TOAST_WIDE)) {
    return false;
  }
  toast = Toast();
  if (width == CALC_TOAST_NARROW) {
    const auto* request = reinterpret_cast<const CalcToastRequest*>(record);
    if (request->caption != nullptr) toast.caption = request->caption;
    if (request->message != nullptr) toast.message = request->message;
  } else {
    const auto* request = reinterpret_cast<const CalcToastRequestW*>(record);
    if (request->caption != nullptr) toast.caption = request->caption;
    if (request->message != nullptr) toast.message = Utf8FromUtf16(request->message);
  }
  return true;
}

ToastWindow::ToastWindow() {
  if (toast_window != nullptr) return;
  toast_message = RegisterWindowMessageA(CALC_TOAST_MESSAGE_NAME);
  toast_window = CreateTopLevelWindow(ToastProcedure);
  created_ = toast_window != nullptr;
}

ToastWindow::~ToastWindow() {
  if (!created_) return;
  DestroyTopLevelWindow(toast_window);
  toast_window = nullptr;
}
