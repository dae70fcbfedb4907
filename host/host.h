// The hosts' shared parts: load a plug-in library and drive it as a chat host does.
#pragma once

#include <cstdint>
#include <string>

#include "calcplugin.h"

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

// The plug-in library built beside the running host program.
std::string DefaultPluginPath();

// Splits "/word parameter" at the first space into the command word and the
// parameter text (empty when there is no space).
void SplitCommandLine(const std::string& line, std::string& word, std::string& parameter);

// Asks the plug-in for its name and commands, as a chat host does after
// loading it, and describes them in a few lines; empty if it publishes none.
std::string DescribePlugin(const PluginLibrary& plugin);

// The line that shows the plug-in's about box (Configure) in either host.
constexpr const char* kAboutCommand = "!about";

// What RunCommandLine shows for a handled command that left the result buffer as it was.
constexpr const char* kNoValue = "(no value)";

// Runs one input line through the plug-in and returns what the host shows:
// the result text for a handled command (empty when the plug-in emptied the
// buffer, kNoValue when it left it alone), a note for an unhandled one, and
// nothing for kAboutCommand, which shows the about box until it is closed.
std::string RunCommandLine(const PluginLibrary& plugin, const std::string& line);

// A toast request as a host shows it; text in UTF-8 when it came as 16-bit text.
struct Toast {
  std::string caption;
  std::string message;
};

// Reads the request whose address arrived as the toast message's first
// parameter (`record`) and whose width arrived as its second; false, leaving
// `toast` alone, for a null record or a width other than CALC_TOAST_NARROW or CALC_TOAST_WIDE.
bool ReadToastRequest(std::uintptr_t record, std::intptr_t width, Toast& toast);

// Reads one line of input into `line`, without its line end; false at the end
// of input. At a terminal (`interactive`) it shows `prompt` and, where the
// console host was built with libedit, offers line editing and history.
bool ReadInputLine(bool interactive, const char* prompt, std::string& line);

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
