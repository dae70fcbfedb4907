// calcgui: a window to see the plug-in in, as a chat client shows it.
//
//   calcgui [--plugin PATH] [--script FILE]
//
// A transcript pane, an input line (Enter sends it, split at its first space
// as the console host splits a line; "!about" shows the about box) and a
// Plug-in menu with the plug-in's command list and its about box. Each toast
// the plug-in asks for pops up as a small window for a few seconds and is
// noted in the transcript. --script types each line of FILE into the input
// line and sends it, one after the other, as a person would.
//
// Calls into the plug-in never overlap: while one runs (the about box's own
// message loop, a toast sent during ParseCommand) input is refused with a beep
// and stays in the input line; script lines wait.
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "host/host.h"

namespace {

constexpr const char* kWindowTitle = "Calculator plug-in host";
constexpr const char* kFontFace = "Tahoma";
constexpr const char* kPrompt = "> ";

// Layout, in pixels.
constexpr int kFontHeight = 15;
constexpr int kWindowWidth = 480;
constexpr int kWindowHeight = 340;
constexpr int kMargin = 6;
constexpr int kInputHeight = 24;
constexpr int kToastWidth = 250;
constexpr int kToastLineHeight = 20;
constexpr int kToastHeight = 2 * kToastLineHeight + 2 * kMargin;

// How long a toast stays up, and how often a script tries its next line.
constexpr UINT kToastLifetimeMs = 5000;
constexpr UINT kScriptStepMs = 100;
constexpr UINT_PTR kToastTimer = 1;
constexpr UINT_PTR kScriptTimer = 2;

enum : int { kInputId = 201, kTranscriptId };

struct HostState {
  const PluginLibrary* plugin = nullptr;
  HWND window = nullptr;
  HWND transcript = nullptr;
  HWND input = nullptr;
  HFONT font = nullptr;
  HFONT bold_font = nullptr;
  WNDPROC edit_procedure = nullptr;
  UINT toast_message = 0;
  bool busy = false;  // a call into the plug-in is in progress
  int open_toasts = 0;
  std::vector<std::string> script;
  std::size_t next_script_line = 0;
};
HostState host;  // one main window per process

// Marks a call into the plug-in as in progress for its lifetime.
class PluginCall {
 public:
  PluginCall() { host.busy = true; }
  ~PluginCall() { host.busy = false; }
  PluginCall(const PluginCall&) = delete;
  PluginCall& operator=(const PluginCall&) = delete;
};

// True, with a beep, while a call into the plug-in is in progress.
bool Refused() {
  if (host.busy) MessageBeep(MB_ICONWARNING);
  return host.busy;
}

// The text of a window; empty for a null window.
std::string WindowText(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(copied));
  return text;
}

// Adds `text` to the transcript as whole lines ending in CR LF; empty text adds nothing.
void AppendTranscript(const std::string& text) {
  std::string lines;
  for (const char c : text) lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
  if (lines.empty()) return;
  if (lines.size() < 2 || lines.compare(lines.size() - 2, 2, "\r\n") != 0) lines += "\r\n";
  const auto end = static_cast<WPARAM>(GetWindowTextLengthA(host.transcript));
  SendMessageA(host.transcript, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendMessageA(host.transcript, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(lines.c_str()));
}

// Adds the plug-in's command list (PublishInfo) to the transcript, unless a call is in progress.
void ShowCommands() {
  if (Refused()) return;
  std::string description;
  {
    PluginCall call;
    description = DescribePlugin(*host.plugin);
  }
  AppendTranscript(description);
}

// Shows the plug-in's about box (Configure) until it is closed, unless a call is in progress.
void ShowAbout() {
  if (Refused() || host.plugin->configure == nullptr) return;
  PluginCall call;
  host.plugin->configure();
}

// Sends the input line to the plug-in and empties it; refused, it stays where it is.
void SubmitInput() {
  const std::string line = WindowText(host.input);
  if (line.empty() || Refused()) return;
  SetWindowTextA(host.input, "");
  AppendTranscript(kPrompt + line);
  std::string shown;
  {
    PluginCall call;
    shown = RunCommandLine(*host.plugin, line);
  }
  AppendTranscript(shown);
}

// Pops up `toast` at the screen's lower right, above those still up; never calls the plug-in.
void ShowToast(const Toast& toast) {
  RECT screen;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
  const int x = screen.right - kMargin - kToastWidth;
  const int y = screen.bottom - (host.open_toasts + 1) * (kToastHeight + kMargin);
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND popup = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kGuiToastClass,
                               toast.caption.c_str(), WS_POPUP | WS_BORDER, x, y, kToastWidth,
                               kToastHeight, host.window, nullptr, instance, nullptr);
  if (popup == nullptr) return;
  ++host.open_toasts;
  const int text_width = kToastWidth - 2 * kMargin;
  HWND caption =
      CreateWindowExA(0, "STATIC", toast.caption.c_str(), WS_CHILD | WS_VISIBLE, kMargin, kMargin,
                      text_width, kToastLineHeight, popup, nullptr, instance, nullptr);
  HWND message = CreateWindowExA(0, "STATIC", toast.message.c_str(), WS_CHILD | WS_VISIBLE, kMargin,
                                 kMargin + kToastLineHeight, text_width, kToastLineHeight, popup,
                                 nullptr, instance, nullptr);
  SendMessageA(caption, WM_SETFONT, reinterpret_cast<WPARAM>(host.bold_font), FALSE);
  SendMessageA(message, WM_SETFONT, reinterpret_cast<WPARAM>(host.font), FALSE);
  SetTimer(popup, kToastTimer, kToastLifetimeMs, nullptr);
  ShowWindow(popup, SW_SHOWNOACTIVATE);
}

// Types the script's next line into the input line and sends it; waits while a call is in progress.
void RunScriptStep() {
  if (host.busy) return;
  if (host.next_script_line >= host.script.size()) {
    KillTimer(host.window, kScriptTimer);
    return;
  }
  SetWindowTextA(host.input, host.script[host.next_script_line++].c_str());
  SubmitInput();
}

// A toast: closes itself when its timer fires or it is clicked.
LRESULT CALLBACK ToastProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
    case WM_LBUTTONUP:
      DestroyWindow(window);
      return 0;
    case WM_CTLCOLORSTATIC:
      SetTextColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_INFOTEXT));
      SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_INFOBK));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_INFOBK));
    case WM_DESTROY:
      KillTimer(window, kToastTimer);
      --host.open_toasts;
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

// The input line: an edit control that sends its text on Enter. An exception
// (no memory for a text) ends that line's handling; none leaves the procedure.
LRESULT CALLBACK InputProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_KEYDOWN && wparam == VK_RETURN) {
    try {
      SubmitInput();
    } catch (...) {
      MessageBeep(MB_ICONERROR);
    }
    return 0;
  }
  if (message == WM_CHAR && (wparam == '\r' || wparam == '\n')) return 0;
  return CallWindowProcA(host.edit_procedure, window, message, wparam, lparam);
}

// Creates the transcript pane and the input line inside `window`.
void CreateChildren(HWND window) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  host.transcript = CreateWindowExA(
      WS_EX_CLIENTEDGE, "EDIT", "",
      WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0, 0,
      window, reinterpret_cast<HMENU>(kTranscriptId), instance, nullptr);
  host.input = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0,
                               window, reinterpret_cast<HMENU>(kInputId), instance, nullptr);
  SendMessageA(host.transcript, EM_SETLIMITTEXT, 0, 0);
  for (HWND child : {host.transcript, host.input}) {
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(host.font), FALSE);
  }
  host.edit_procedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(host.input, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(InputProcedure)));
}

// The main window's messages: the layout, toasts, menu commands and script steps.
LRESULT HandleMainMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == host.toast_message && host.toast_message != 0) {
    Toast toast;
    if (!ReadToastRequest(window, wparam, lparam, toast)) return 0;
    AppendTranscript("[" + toast.caption + "] " + toast.message);
    ShowToast(toast);
    return 1;
  }
  switch (message) {
    case WM_CREATE:
      CreateChildren(window);
      return 0;
    case WM_SIZE: {
      const int width = LOWORD(lparam);
      const int height = HIWORD(lparam);
      MoveWindow(host.transcript, kMargin, kMargin, width - 2 * kMargin,
                 height - 3 * kMargin - kInputHeight, TRUE);
      MoveWindow(host.input, kMargin, height - kMargin - kInputHeight, width - 2 * kMargin,
                 kInputHeight, TRUE);
      return 0;
    }
    case WM_SETFOCUS:
      SetFocus(host.input);
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kGuiMenuCommands:
          ShowCommands();
          return 0;
        case kGuiMenuAbout:
          ShowAbout();
          return 0;
        case kGuiMenuExit:
          PostMessageA(window, WM_CLOSE, 0, 0);
          return 0;
        default:
          break;
      }
      break;
    case WM_TIMER:
      if (wparam == kScriptTimer) RunScriptStep();
      return 0;
    case WM_CLOSE:
      // The plug-in is unloaded after the window closes: not in the middle of a call.
      if (!Refused()) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// The main window's procedure: HandleMainMessage, except that an exception (no
// memory for a text) ends the message's handling with 0 and a beep instead of
// running back through whoever sent it, the plug-in's toast included.
LRESULT CALLBACK MainProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  try {
    return HandleMainMessage(window, message, wparam, lparam);
  } catch (...) {
    MessageBeep(MB_ICONERROR);
    return 0;
  }
}

// Registers the two window classes; false if either fails.
bool RegisterClasses(HINSTANCE instance) {
  WNDCLASSA main_class = {};
  main_class.lpfnWndProc = MainProcedure;
  main_class.hInstance = instance;
  main_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  main_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main_class.lpszClassName = kGuiWindowClass;
  WNDCLASSA toast_class = {};
  toast_class.lpfnWndProc = ToastProcedure;
  toast_class.hInstance = instance;
  toast_class.hCursor = main_class.hCursor;
  toast_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1);
  toast_class.lpszClassName = kGuiToastClass;
  return RegisterClassA(&main_class) != 0 && RegisterClassA(&toast_class) != 0;
}

// The menu bar: Plug-in > Commands, About..., Exit.
HMENU CreateMainMenu() {
  HMENU plugin_menu = CreatePopupMenu();
  AppendMenuA(plugin_menu, MF_STRING, kGuiMenuCommands, "&Commands");
  AppendMenuA(plugin_menu, MF_STRING, kGuiMenuAbout, "&About...");
  AppendMenuA(plugin_menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(plugin_menu, MF_STRING, kGuiMenuExit, "E&xit");
  HMENU bar = CreateMenu();
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(plugin_menu), "&Plug-in");
  return bar;
}

// Reads the lines of `path` into `lines`, CR LF read as LF; false if it cannot be opened.
bool ReadScript(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream file(path);
  if (!file) return false;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return true;
}

// Shows a start-up failure; returns the program's exit status for it.
int Fail(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), kWindowTitle, MB_OK | MB_ICONERROR);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  bool path_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--plugin" && i + 1 < argc) {
      path = argv[++i];
      path_given = true;
    } else if (argument == "--script" && i + 1 < argc) {
      if (!ReadScript(argv[++i], host.script)) return Fail(std::string("No script ") + argv[i]);
    } else {
      return Fail("usage: calcgui [--plugin PATH] [--script FILE]");
    }
  }

  if (!path_given) {
    path = DefaultPluginPath();
    if (path.empty()) {
      return Fail(
          "Cannot read this program's own path, so the plug-in beside it cannot be "
          "found; give its path with --plugin PATH");
    }
  }
  PluginLibrary plugin(path);
  if (!plugin.loaded() || plugin.parse_command == nullptr) {
    return Fail("Cannot use " + path + ": " + plugin.error());
  }
  host.plugin = &plugin;
  host.toast_message = RegisterWindowMessageA(CALC_TOAST_MESSAGE_NAME);

  const HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!RegisterClasses(instance)) return Fail("Cannot register the window classes");
  const auto make_font = [](int weight) {
    return CreateFontA(-kFontHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, kFontFace);
  };
  host.font = make_font(FW_NORMAL);
  host.bold_font = make_font(FW_BOLD);
  host.window = CreateWindowExA(0, kGuiWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr,
                                CreateMainMenu(), instance, nullptr);
  if (host.window == nullptr) return Fail("Cannot create the window");
  if (!ListenForToasts(host.window)) return Fail("Cannot watch the window's toast requests");
  ShowWindow(host.window, SW_SHOWNORMAL);
  UpdateWindow(host.window);
  SetFocus(host.input);

  if (plugin.initialize != nullptr) {
    PluginCall call;
    plugin.initialize(nullptr, nullptr, nullptr);
  }
  ShowCommands();
  if (!host.script.empty()) SetTimer(host.window, kScriptTimer, kScriptStepMs, nullptr);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (plugin.uninitialize != nullptr) plugin.uninitialize();
  DeleteObject(host.font);
  DeleteObject(host.bold_font);
  return 0;
}
