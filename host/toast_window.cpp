// A top-level window that shows the toasts a plug-in asks for.
#include <cstdio>

#include "host/host.h"
#include "platform/window.h"

namespace {

UINT toast_message = 0;
HWND toast_window = nullptr;  // the ToastWindow's, while one exists
HWND listening = nullptr;     // the window whose requests ReadToastRequest reads

#if defined(_WIN32)
// The last toast message that the listening window's thread was about to hand
// to that window's procedure, as its WH_CALLWNDPROC hook saw it: every send,
// from this thread or another, passes the hook just before the procedure is
// called; a posted message never does.
struct SeenSend {
  bool seen;
  bool from_this_thread;
  WPARAM record;
  LPARAM width;
};
SeenSend last_send = {false, false, 0, 0};
HHOOK send_hook = nullptr;

// Notes each toast message sent to the listening window, and whether this thread sent it.
LRESULT CALLBACK WatchSends(int code, WPARAM sent_by_this_thread, LPARAM details) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(details);
  if (code == HC_ACTION && sent->hwnd == listening && sent->message == toast_message) {
    last_send = {true, sent_by_this_thread != 0, sent->wParam, sent->lParam};
  }
  return CallNextHookEx(send_hook, code, sent_by_this_thread, details);
}

// True when the toast message now being handled with these parameters was sent
// by the window's own thread, a direct call; uses up what the hook saw, so a
// message posted later finds nothing.
bool SentByThisThread(WPARAM record, LPARAM width) {
  const SeenSend seen = last_send;
  last_send = {false, false, 0, 0};
  return seen.seen && seen.from_this_thread && seen.record == record && seen.width == width;
}
#else
// True when the procedure runs on the window's own thread: here every send is
// a direct call on the sending thread, and nothing is posted.
bool SentByThisThread(WPARAM, LPARAM) {
  return GetWindowThreadProcessId(listening, nullptr) == GetCurrentThreadId();
}
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

// Prints each toast request it reads; lets no exception out to the sender.
LRESULT CALLBACK ToastProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != toast_message || toast_message == 0) {
    return DefWindowProcA(window, message, wparam, lparam);
  }
  try {
    Toast toast;
    if (!ReadToastRequest(window, wparam, lparam, toast)) return 0;
    std::printf("[%s] %s\n", toast.caption.c_str(), toast.message.c_str());
    std::fflush(stdout);
    return 1;
  } catch (...) {
    return 0;  // out of memory for the texts: the toast is not shown
  }
}

}  // namespace

bool ListenForToasts(HWND window) {
  toast_message = RegisterWindowMessageA(CALC_TOAST_MESSAGE_NAME);
  listening = window;
#if defined(_WIN32)
  last_send = {false, false, 0, 0};
  if (send_hook != nullptr) UnhookWindowsHookEx(send_hook);
  send_hook = nullptr;
  if (window == nullptr) return true;
  send_hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchSends, nullptr, GetCurrentThreadId());
  if (send_hook == nullptr) listening = nullptr;
  return send_hook != nullptr;
#else
  return true;
#endif
}

bool ReadToastRequest(HWND window, std::uintptr_t record, std::intptr_t width, Toast& toast) {
  // Whatever else it is, the hook's note of this message is used up here.
  const bool own = window == listening && window != nullptr && SentByThisThread(record, width);
  // A request without a record, or of a width this host does not know, is not read.
  if (!own || record == 0 || (width != CALC_TOAST_NARROW && width != CALC_TOAST_WIDE)) {
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
  toast_window = CreateTopLevelWindow(ToastProcedure);
  created_ = toast_window != nullptr && ListenForToasts(toast_window);
  if (!created_ && toast_window != nullptr) {
    DestroyTopLevelWindow(toast_window);
    toast_window = nullptr;
  }
}

ToastWindow::~ToastWindow() {
  if (!created_) return;
  ListenForToasts(nullptr);
  DestroyTopLevelWindow(toast_window);
  toast_window = nullptr;
}
