// The window functions for platforms without USER32: a process-wide list of
// top-level windows, a table of registered message names, and the ANSI code
// page's lead bytes.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/window.h"

namespace {

constexpr UINT kFirstRegisteredMessage = 0xC000;
constexpr UINT kLastRegisteredMessage = 0xFFFF;

// The ANSI code page of a process started in a Western locale, and the one
// code page of two-byte characters the layer knows, with its lead bytes.
constexpr UINT kWesternCodePage = 1252;
constexpr UINT kJapaneseCodePage = 932;
constexpr BYTE kJapaneseLeadBytes[][2] = {{0x81, 0x9F}, {0xE0, 0xFC}};
std::atomic<UINT> ansi_code_page{kWesternCodePage};

std::string AsciiLowered(const char* text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

int WriteToStandardError(HWND, const char* text, const char* caption, UINT) {
  std::fprintf(stderr, "%s\n%s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
  return IDOK;
}

struct Window {
  HWND handle;
  WNDPROC procedure;
  DWORD thread;  // the thread that created it
};

// Everything the layer holds, guarded by one lock. Window procedures run with
// the lock released, so they may call back into the layer.
struct WindowState {
  std::mutex lock;
  std::vector<std::string> message_names;  // index + 0xC000 is the message number
  std::vector<Window> windows;             // in creation order
  std::uintptr_t next_handle = 0x10000;
  HWND active = nullptr;
  MessageBoxHandler message_box = WriteToStandardError;
};

WindowState& State() {
  static WindowState state;
  return state;
}

// True while `window` has not been destroyed; handles are never given out twice.
bool StillExists(HWND window) {
  WindowState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  for (const Window& candidate : state.windows) {
    if (candidate.handle == window) return true;
  }
  return false;
}

// How an enumeration of top-level windows went: whether memory ran out
// before it began, for how many windows the callback was called, and whether
// one of them answered 0.
struct Listing {
  bool began;
  std::size_t called;
  bool stopped;
};

// Calls `callback` for each top-level window that thread `thread` made (any
// thread's when `every_thread`), in creation order, until it answers 0; a
// window made meanwhile is not listed, one destroyed meanwhile is skipped.
Listing ListWindows(bool every_thread, DWORD thread, WNDENUMPROC callback, LPARAM context) {
  std::vector<HWND> handles;
  try {
    WindowState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    for (const Window& window : state.windows) {
      if (every_thread || window.thread == thread) handles.push_back(window.handle);
    }
  } catch (const std::bad_alloc&) {
    return {false, 0, false};
  }
  Listing listing = {true, 0, false};
  for (HWND handle : handles) {
    if (!StillExists(handle)) continue;
    ++listing.called;
    if (callback(handle, context) == 0) {
      listing.stopped = true;
      break;
    }
  }
  return listing;
}

}  // namespace

extern "C" {

// Like USER32's, these functions report running out of memory as failure (0)
// and let no C++ exception out to their callers.
WINDOW_LAYER_API UINT RegisterWindowMessageA(const char* name) {
  if (name == nullptr || *name == '\0') return 0;
  try {
    const std::string key = AsciiLowered(name);
    WindowState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    std::size_t index = 0;
    while (index < state.message_names.size() && state.message_names[index] != key) ++index;
    if (index == state.message_names.size()) {
      if (index > kLastRegisteredMessage - kFirstRegisteredMessage) return 0;
      state.message_names.push_back(key);
    }
    return kFirstRegisteredMessage + static_cast<UINT>(index);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

WINDOW_LAYER_API LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  std::vector<Window> receivers;
  try {
    WindowState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    for (const Window& candidate : state.windows) {
      if (window == HWND_BROADCAST || candidate.handle == window) receivers.push_back(candidate);
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  LRESULT result = 0;
  for (const Window& receiver : receivers) {
    if (StillExists(receiver.handle)) {
      result = receiver.procedure(receiver.handle, message, wparam, lparam);
    }
  }
  return result;
}

WINDOW_LAYER_API LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

WINDOW_LAYER_API BOOL EnumWindows(WNDENUMPROC callback, LPARAM context) {
  return ListWindows(true, 0, callback, context).began ? 1 : 0;
}

WINDOW_LAYER_API BOOL EnumThreadWindows(DWORD thread, WNDENUMPROC callback, LPARAM context) {
  const Listing listing = ListWindows(false, thread, callback, context);
  return listing.began && listing.called > 0 && !listing.stopped ? 1 : 0;
}

WINDOW_LAYER_API DWORD GetWindowThreadProcessId(HWND window, DWORD* process) {
  WindowState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  for (const Window& candidate : state.windows) {
    if (candidate.handle != window) continue;
    if (process != nullptr) *process = GetCurrentProcessId();
    return candidate.thread;
  }
  return 0;
}

WINDOW_LAYER_API DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

WINDOW_LAYER_API DWORD GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }

WINDOW_LAYER_API UINT GetACP() { return ansi_code_page; }

WINDOW_LAYER_API BOOL IsDBCSLeadByte(BYTE byte) {
  if (ansi_code_page != kJapaneseCodePage) return 0;
  for (const auto& range : kJapaneseLeadBytes) {
    if (byte >= range[0] && byte <= range[1]) return 1;
  }
  return 0;
}

WINDOW_LAYER_API HWND GetActiveWindow() {
  WindowState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.active;
}

WINDOW_LAYER_API int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  MessageBoxHandler handler;
  {
    WindowState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    handler = state.message_box;
  }
  return handler(owner, text, caption, type);
}

WINDOW_LAYER_API HWND CreateTopLevelWindow(WNDPROC procedure) {
  if (procedure == nullptr) return nullptr;
  WindowState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  auto* handle = reinterpret_cast<HWND>(state.next_handle);
  try {
    state.windows.push_back({handle, procedure, GetCurrentThreadId()});
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  state.next_handle += 0x10;
  return handle;
}

WINDOW_LAYER_API void DestroyTopLevelWindow(HWND window) {
  WindowState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  for (auto it = state.windows.begin(); it != state.windows.end(); ++it) {
    if (it->handle == window) {
      state.windows.erase(it);
      break;
    }
  }
  if (state.active == window) state.active = nullptr;
}

WINDOW_LAYER_API void SetActiveTopLevelWindow(HWND window) {
  WindowState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.active = window;
}

WINDOW_LAYER_API MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  WindowState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return std::exchange(state.message_box, handler != nullptr ? handler : WriteToStandardError);
}

WINDOW_LAYER_API UINT SetAnsiCodePage(UINT code_page) { return ansi_code_page.exchange(code_page); }

}  // extern "C"
