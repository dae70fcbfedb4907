// The hosts' shared parts: load a plug-in library and drive it as a chat host does.
#pragma once

#include <cstdint>
#include <string>

#include "calcplugin.h"
#include "platform/window.h"

// A loaded plug-in library and its entry points; a missing one is null.
class PluginLibrary {
 public:
  // Loads the library at `path`; on failure error() gives the system loader's
  // reason and the entry points are null. A library without ParseCommand
  // stays loaded, and error() says that it lacks it.
  explicit PluginLibrary(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }

  CalcInitializeFn initialize = nullptr;
  CalcUninitializeFn uninitialize = nullptr;
  CalcConfigureFn configure = nullptr;
  CalcPublishInfoFn publish_info = nullptr;
  CalcParseCommandFn parse_command = nullptr;
  CalcParseTagFn parse_tag = nullptr;
  CalcReceiveNotifyFn receive_notify = nullptr;
  CalcDisplayToastFn display_toast = nullptr;
  CalcDisplayToastWFn display_toast_w = nullptr;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The plug-in library built beside the running host program; empty when the
// program's own path cannot be read whole, never a path in the current directory.
std::string DefaultPluginPath();

// Splits "/word parameter" at the first space into the command word and the
// parameter text (empty when there is no space).
void SplitCommandLine(const std::string& line, std::string& word, std::string& parameter);

// Asks the plug-in for its name and commands, as a chat host does after
// loading it, and describes them in a few lines; empty if it publishes none.
std::string DescribePlugin(const PluginLibrary& plugin);

// The line that shows the plug-in's about box (Configure) in either host.
constexpr const char* kAboutCommand = "!about";
// The words of the lines that ask for a toast as any other code in the host's
// process does: "!toast TEXT" through DisplayToast, "!toastw TEXT" through
// DisplayToastW (the UTF-8 TEXT as 16-bit text); with this caption.
constexpr const char* kToastCommand = "!toast";
constexpr const char* kToastWCommand = "!toastw";
constexpr const char* kHostToastCaption = "Host";

// What RunCommandLine shows for a handled command that left the result buffer as it was.
constexpr const char* kNoValue = "(no value)";

// Runs one input line through the plug-in and returns what the host shows:
// the result text for a handled command (empty when the plug-in emptied the
// buffer, kNoValue when it left it alone), a note for an unhandled one, and
// nothing for kAboutCommand, which shows the about box until it is closed, nor
// for kToastCommand and kToastWCommand, whose toast the host's window shows;
// a note when the library lacks the entry point a line needs.
std::string RunCommandLine(const PluginLibrary& plugin, const std::string& line);

// UTF-8 to UTF-16; each byte of an invalid, overlong or surrogate sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(const std::string& text);

// A toast request as a host shows it; text in UTF-8 when it came as 16-bit text.
struct Toast {
  std::string caption;
  std::string message;
};

// Makes `window`, a top-level window of the calling thread, the one whose toast
// requests ReadToastRequest reads (null: none); on Windows it watches that
// thread's sends for it. False, and none is read, when it cannot watch them.
bool ListenForToasts(HWND window);

// Reads the request whose address arrived at `window` as the toast message's
// first parameter (`record`) and whose width arrived as its second; false,
// leaving `toast` alone, for any window but the listening one, a null record,
// a width other than CALC_TOAST_NARROW or CALC_TOAST_WIDE, and any message but
// one sent by the window's own thread, as a direct call: a send from another
// thread cannot be told apart from another program's, whose address means
// nothing here, and a posted message is never a request. Call it from the
// window's procedure for each toast message, before anything else is sent.
bool ReadToastRequest(HWND window, std::uintptr_t record, std::intptr_t width, Toast& toast);

// Reads one line of input into `line`, without its line end; false at the end
// of input. At a terminal (`interactive`) it shows `prompt` and, where the
// console host was built with libedit, offers line editing and history.
bool ReadInputLine(bool interactive, const char* prompt, std::string& line);

// The console host's input lines, read as ReadInputLine reads them. On Windows
// they are read on a thread of their own while the calling thread reads its
// window messages, so that no window of the host sits unread, stalling every
// other program's broadcast, while it waits for input; elsewhere directly.
class InputLines {
 public:
  InputLines(bool interactive, const char* prompt);
  ~InputLines();
  InputLines(const InputLines&) = delete;
  InputLines& operator=(const InputLines&) = delete;

  // Stores the next line in `line`; false at the end of input.
  bool Next(std::string& line);

 private:
  bool interactive_;
  const char* prompt_;
#if defined(_WIN32)
  static unsigned long __stdcall Read(void* lines);
  void* thread_ = nullptr;
  void* ready_ = nullptr;  // set by the reader: line_ and ended_ hold the next line
  void* taken_ = nullptr;  // set by Next: the reader may read on
  std::string line_;
  bool ended_ = false;
#endif
};

// The GUI host's window classes, by which tools find its main window and the
// toasts it pops up, and its menu's commands (WM_COMMAND), by which they use it.
constexpr const char* kGuiWindowClass = "CalcGuiWindow";
constexpr const char* kGuiToastClass = "CalcGuiToast";
enum GuiMenuCommand : int { kGuiMenuCommands = 101, kGuiMenuAbout, kGuiMenuExit };

// Receives toast requests in a top-level window and writes each to standard
// output as one line: "[caption] message". Only one may exist at a time.
class ToastWindow {
 public:
  ToastWindow();
  ~ToastWindow();
  ToastWindow(const ToastWindow&) = delete;
  ToastWindow& operator=(const ToastWindow&) = delete;

  bool created() const { return created_; }

 private:
  bool created_ = false;
};
