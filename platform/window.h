// The window functions the plug-in uses, and the few of KERNEL32's that go with
// them. On Windows they are USER32's and KERNEL32's; elsewhere a shared library
// of ours plays their part for every module in the process, so the plug-in and
// the host that loaded it see the same messages, windows and code page.
#pragma once

#if defined(_WIN32)

#include <windows.h>

// --- For hosts and tests, over USER32 ---

// Creates a hidden top-level window served by `procedure`, which broadcasts
// reach; null for a null procedure or when creation fails.
HWND CreateTopLevelWindow(WNDPROC procedure);
// Destroys a window made by CreateTopLevelWindow.
void DestroyTopLevelWindow(HWND window);

#else

#include <cstdint>

#if defined(WINDOW_LAYER_BUILD)
#define WINDOW_LAYER_API __attribute__((visibility("default")))
#else
#define WINDOW_LAYER_API
#endif

struct WindowHandle;
using HWND = WindowHandle*;
using UINT = unsigned int;
using BOOL = int;
using BYTE = unsigned char;
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
using WNDENUMPROC = BOOL (*)(HWND window, LPARAM context);
// Shows a message box for MessageBoxA and returns the button chosen.
using MessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption, UINT type);

#define CALLBACK
#define HWND_BROADCAST (reinterpret_cast<HWND>(std::uintptr_t{0xFFFF}))
constexpr UINT MB_OK = 0x0;
constexpr int IDOK = 1;

extern "C" {

// --- As USER32 has them ---

// Returns the number for `name`, the same for every spelling that differs only
// in ASCII case, counting from 0xC000 up; 0 for a null or empty name.
WINDOW_LAYER_API UINT RegisterWindowMessageA(const char* name);
// Calls the window procedure of `window`, or of every top-level window for
// HWND_BROADCAST, synchronously in this thread; a window destroyed meanwhile,
// by an earlier receiver of a broadcast, gets nothing. Returns the (last)
// procedure's result, or 0 when no window received the message.
WINDOW_LAYER_API LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// The default for messages a window procedure does not handle: returns 0.
WINDOW_LAYER_API LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Calls `callback` for each top-level window, in creation order, until it
// returns 0; a window made meanwhile is not listed, one destroyed meanwhile is
// skipped.
// Returns 1, or 0 when memory runs out before the first call.
WINDOW_LAYER_API BOOL EnumWindows(WNDENUMPROC callback, LPARAM context);
// The same for the top-level windows that thread `thread` made; returns 1 when
// `callback` answered nonzero for each, 0 when it answered 0, when there was
// none (an unknown thread) or when memory runs out.
WINDOW_LAYER_API BOOL EnumThreadWindows(DWORD thread, WNDENUMPROC callback, LPARAM context);
// Stores the process of `window` in *process (when not null) and returns the
// thread that created it; 0, storing nothing, for an unknown window.
WINDOW_LAYER_API DWORD GetWindowThreadProcessId(HWND window, DWORD* process);
// Returns the window a host marked active, or null.
WINDOW_LAYER_API HWND GetActiveWindow();
// Passes the box to the installed handler (by default: caption and text on
// standard error, IDOK) and returns its result.
WINDOW_LAYER_API int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

// --- As KERNEL32 has it ---

// Returns this process's identifier.
WINDOW_LAYER_API DWORD GetCurrentProcessId();
// Returns this thread's identifier, as GetWindowThreadProcessId gives a window's thread.
WINDOW_LAYER_API DWORD GetCurrentThreadId();
// Returns the process's ANSI code page: 1252 unless SetAnsiCodePage chose another.
WINDOW_LAYER_API UINT GetACP();
// Whether `byte` starts a character of two bytes in the ANSI code page: for
// code page 932, 0x81-0x9F and 0xE0-0xFC; for any other, none.
WINDOW_LAYER_API BOOL IsDBCSLeadByte(BYTE byte);

// --- For hosts and tests ---

// Creates a top-level window served by `procedure`; null for a null procedure
// or when memory runs out.
WINDOW_LAYER_API HWND CreateTopLevelWindow(WNDPROC procedure);
// Removes the window; unknown handles are ignored. Clears it as active window.
WINDOW_LAYER_API void DestroyTopLevelWindow(HWND window);
// Marks `window` as the active one (null: none).
WINDOW_LAYER_API void SetActiveTopLevelWindow(HWND window);
// Installs the handler MessageBoxA calls; null restores the default. Returns the previous one.
WINDOW_LAYER_API MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
// Makes `code_page` the one GetACP and IsDBCSLeadByte answer for, as a
// process started in another locale has it; any number is taken. Returns the
// previous one.
WINDOW_LAYER_API UINT SetAnsiCodePage(UINT code_page);

}  // extern "C"

#endif
