// The GUI host driven as a person drives it: its window found on the screen,
// lines typed into its input line and sent with Enter, its menu's commands
// chosen, the transcript read back, the toasts and the about box found
// as the windows they are.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/host.h"

namespace {

// Wine under an emulator starts a program in seconds, not milliseconds.
constexpr DWORD kPatienceMs = 90000;
constexpr DWORD kPollMs = 50;
constexpr const char* kAboutCaption = "About Calculator Plugin...";

// Polls `condition` until it holds or kPatienceMs pass; returns it then.
template <typename Condition>
bool WaitFor(Condition condition) {
  for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs) {
    if (condition()) return true;
    Sleep(kPollMs);
  }
  return condition();
}

// The window's text, asked of the window itself (GetWindowText reads a caption instead).
std::string Text(HWND window) {
  const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
  SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return text.data();
}

// The visible top-level window of `class_name` that process `process` owns, or null.
HWND FindProcessWindow(DWORD process, const char* class_name) {
  for (HWND window = FindWindowExA(nullptr, nullptr, class_name, nullptr); window != nullptr;
       window = FindWindowExA(nullptr, window, class_name, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == process && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// The texts of a window's children, in creation order.
std::vector<std::string> ChildTexts(HWND window) {
  std::vector<std::string> texts;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    texts.push_back(Text(child));
  }
  return texts;
}

class GuiHost {
 public:
  GuiHost() {
    // The host program is built beside the plug-in; it is given the plug-in's path all the same.
    const std::string plugin = DefaultPluginPath();
    const std::string program = plugin.substr(0, plugin.find_last_of("/\\") + 1) + "calcgui.exe";
    std::string command = "\"" + program + "\" --plugin \"" + plugin + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_)) {
      return;
    }
    WaitFor([this] { return (window = FindProcessWindow(process_.dwProcessId, kGuiWindowClass)); });
    // The transcript is the multi-line edit control, the input line the other one.
    for (HWND child = FindWindowExA(window, nullptr, "EDIT", nullptr); child != nullptr;
         child = FindWindowExA(window, child, "EDIT", nullptr)) {
      const bool multiline = (GetWindowLongA(child, GWL_STYLE) & ES_MULTILINE) != 0;
      (multiline ? transcript : input) = child;
    }
  }
  ~GuiHost() {
    if (process_.hProcess == nullptr) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  GuiHost(const GuiHost&) = delete;
  GuiHost& operator=(const GuiHost&) = delete;

  // Types `line` into the input line and presses Enter.
  void Type(const std::string& line) const {
    SendMessageA(input, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageA(input, WM_KEYDOWN, VK_RETURN, 0);
  }
  // Chooses a command of the menu, as a click on its item does.
  void Choose(GuiMenuCommand command) const { PostMessageA(window, WM_COMMAND, command, 0); }
  // Waits until the transcript reads `expected`, and returns what it reads then.
  std::string TranscriptOnceItReads(const std::string& expected) const {
    WaitFor([&] { return Text(transcript) == expected; });
    return Text(transcript);
  }
  // Closes the window as its close box does and returns the exit status.
  DWORD Close() const {
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD status = STILL_ACTIVE;
    if (WaitForSingleObject(process_.hProcess, kPatienceMs) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process_.hProcess, &status);
    }
    return status;
  }
  DWORD id() const { return process_.dwProcessId; }
  // Writes an 8-bit toast record into the host's own memory, as another
  // program could, with caption "Another program" and `text`, and returns its
  // address there: at offset 0 the caption, at 4 the message, at 20 the text.
  WPARAM PlaceRecord(const std::string& text) const {
    constexpr std::size_t kCaptionAt = 300;
    unsigned char record[512] = {};
    void* remote = VirtualAllocEx(process_.hProcess, nullptr, sizeof record,
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const auto base = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(remote));
    const std::uint32_t caption = base + kCaptionAt;
    const std::uint32_t message = base + 20;
    std::memcpy(record + 0, &caption, sizeof caption);
    std::memcpy(record + 4, &message, sizeof message);
    std::memcpy(record + 20, text.c_str(), text.size() + 1);
    std::memcpy(record + kCaptionAt, "Another program", sizeof "Another program");
    WriteProcessMemory(process_.hProcess, remote, record, sizeof record, nullptr);
    return reinterpret_cast<WPARAM>(remote);
  }

  HWND window = nullptr;
  HWND transcript = nullptr;
  HWND input = nullptr;

 private:
  PROCESS_INFORMATION process_ = {};
};

const char kCommandList[] =
    "Calculator Plugin\r\n"
    "  /xcalc expression: Performs algebrical expression\r\n"
    "  /xprecis precision: Set floating point precision\r\n";

TEST(GuiHost, TypedLinesToastsAndTheAboutBox) {
  GuiHost gui;
  ASSERT_NE(gui.window, nullptr) << "the host's window never showed";
  ASSERT_NE(gui.transcript, nullptr);
  ASSERT_NE(gui.input, nullptr);
  std::string expected = kCommandList;
  EXPECT_EQ(gui.TranscriptOnceItReads(expected), expected);

  const char kOptions[] = "Calculator Options...";
  const struct {
    const char* line;
    const char* adds;     // to the transcript
    const char* caption;  // of the toast it pops up, if any
    const char* toast;    // the toast's message
  } cases[] = {
      {"/xcalc (666/77)*8+3-(2.5*8)+10",
       "> /xcalc (666/77)*8+3-(2.5*8)+10\r\n(666/77)*8+3-(2.5*8)+10=\r\n62.19\r\n", nullptr,
       nullptr},
      {"/xprecis 5", "> /xprecis 5\r\n[Calculator Options...] Floatting point precision: 5\r\n",
       kOptions, "Floatting point precision: 5"},
      // Asked for as other code in the host's process asks: DisplayToast, DisplayToastW.
      {"!toast Asked for by other code",
       "> !toast Asked for by other code\r\n[Host] Asked for by other code\r\n", "Host",
       "Asked for by other code"},
      {"!toastw In 16-bit text", "> !toastw In 16-bit text\r\n[Host] In 16-bit text\r\n", "Host",
       "In 16-bit text"},
      {"/xcalc a=1/3", "> /xcalc a=1/3\r\na=1/3=\r\n0.33333\r\n", nullptr, nullptr},
      {"/xcalc 2+", "> /xcalc 2+\r\n(no value)\r\n", nullptr, nullptr},
      {"/xprecis 7", "> /xprecis 7\r\n[Calculator Options...] Floatting point precision: 7\r\n",
       nullptr, nullptr},
      {"/calc 2", "> /calc 2\r\n(/calc: not a command of this plug-in)\r\n", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    gui.Type(c.line);
    expected += c.adds;
    EXPECT_EQ(gui.TranscriptOnceItReads(expected), expected) << c.line;
    EXPECT_EQ(Text(gui.input), "") << c.line;
    if (c.toast == nullptr) continue;
    HWND toast = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (toast = FindProcessWindow(gui.id(), kGuiToastClass)); }))
        << c.line;
    EXPECT_EQ(ChildTexts(toast), (std::vector<std::string>{c.caption, c.toast}));
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(toast); })) << "the toast never closed";
  }

  gui.Choose(kGuiMenuCommands);
  expected += kCommandList;
  EXPECT_EQ(gui.TranscriptOnceItReads(expected), expected);

  // While the about box is up, Enter is refused and the line stays; once it is closed, it goes.
  gui.Choose(kGuiMenuAbout);
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindProcessWindow(gui.id(), "#32770")); }));
  EXPECT_EQ(Text(box), kAboutCaption);
  gui.Type("/xcalc 1+1");
  EXPECT_EQ(Text(gui.transcript), expected);
  EXPECT_EQ(Text(gui.input), "/xcalc 1+1");
  // A record readable in the host, posted to its window: the box's own loop
  // hands it on before the box closes, and the transcript below shows no toast.
  PostMessageA(gui.window, RegisterWindowMessageA("Glimmerpost_DisplayToast"),
               gui.PlaceRecord("Posted while the about box is up"), 0);
  PostMessageA(gui.window, WM_CLOSE, 0, 0);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }));
  EXPECT_TRUE(IsWindow(gui.window)) << "closed during the about box";
  SendMessageA(gui.input, WM_KEYDOWN, VK_RETURN, 0);
  expected += "> /xcalc 1+1\r\n1+1=\r\n2.0000000\r\n";
  EXPECT_EQ(gui.TranscriptOnceItReads(expected), expected);

  EXPECT_EQ(gui.Close(), 0u);
}

TEST(GuiHost, AnotherProgramsToastRecordShowsNothing) {
  GuiHost gui;
  ASSERT_NE(gui.window, nullptr) << "the host's window never showed";
  std::string expected = kCommandList;
  ASSERT_EQ(gui.TranscriptOnceItReads(expected), expected);

  // A record in this process's memory, sent the old way to every program's
  // windows: at offset 0 the caption, at 4 the message, at 8 the extra text,
  // at 12 the flag, at 20 the text.
  const char caption[] = "Another program";
  const char text[] = "Not for this host";
  unsigned char record[532] = {};
  const auto put_pointer = [&](std::size_t offset, const void* pointer) {
    const auto value = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
    std::memcpy(record + offset, &value, sizeof value);
  };
  put_pointer(0, caption);
  put_pointer(4, record + 20);
  put_pointer(8, caption);
  std::memcpy(record + 20, text, sizeof text);
  const UINT toast = RegisterWindowMessageA("Glimmerpost_DisplayToast");
  for (LPARAM width : {0, 1}) {
    SendMessageA(HWND_BROADCAST, toast, reinterpret_cast<WPARAM>(record), width);
    PostMessageA(gui.window, toast, reinterpret_cast<WPARAM>(record), width);
  }
  // And one that the host could read: in its own memory, sent and posted.
  const WPARAM placed = gui.PlaceRecord(text);
  SendMessageA(gui.window, toast, placed, 0);
  PostMessageA(gui.window, toast, placed, 0);
  // Posted messages come in order: once the command list is there again, the posted toasts were handled.
  gui.Choose(kGuiMenuCommands);
  expected += kCommandList;
  EXPECT_EQ(gui.TranscriptOnceItReads(expected), expected);
  EXPECT_EQ(FindProcessWindow(gui.id(), kGuiToastClass), nullptr);

  // It keeps running, and its own toasts still show.
  gui.Type("/xprecis 3");
  expected += "> /xprecis 3\r\n[Calculator Options...] Floatting point precision: 3\r\n";
  EXPECT_EQ(gui.TranscriptOnceItReads(expected), expected);
  EXPECT_EQ(gui.Close(), 0u);
}

}  // namespace
