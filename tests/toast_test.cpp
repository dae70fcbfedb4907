// Toast requests as the host's window receives them: the record's address in
// the first message parameter, its text width in the second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

constexpr std::size_t kFlagOffset = kToastLayout.flag;
constexpr std::size_t kTextOffset = kToastLayout.text;

const char kCaption[] = "Caption";
const char kExtra[] = "extra text";

extern "C" const std::size_t calc_c_header_layout[];

TEST(ToastRecord, HeaderCompiledAsCGivesTheLayoutHostsRead) {
  const std::size_t narrow_size = kToastLayout.text + kToastTextUnits;
  const std::size_t wide_size = kToastLayout.text + 2 * kToastTextUnits;
  const std::size_t expected[] = {
      kToastLayout.caption, kToastLayout.message, kToastLayout.extra, kToastLayout.flag,
      kToastLayout.unused,  kToastLayout.text,    kToastLayout.caption, kToastLayout.message,
      kToastLayout.extra,   kToastLayout.flag,    kToastLayout.unused, kToastLayout.text,
      narrow_size,          wide_size,            2377,
  };
  for (std::size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i) {
    EXPECT_EQ(calc_c_header_layout[i], expected[i]) << "entry " << i;
  }
}

std::string Repeated(std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

TEST(ToastRecord, NarrowTextIsCopiedAndCut) {
  for (std::size_t length : {0u, 1u, 254u, 255u, 256u, 300u}) {
    const std::string message = Repeated(length);
    ToastListener listener;
    Plugin().display_toast(message.c_str(), kCaption, kExtra, 0);
    ASSERT_EQ(listener.received.size(), 1u) << "length " << length;
    const ReceivedToast& toast = listener.received[0];
    EXPECT_EQ(toast.width, 0);
    ASSERT_EQ(toast.record.size(), kTextOffset + 256);
    const std::size_t kept = length < 255 ? length : 255;
    for (std::size_t i = 0; i < 256; ++i) {
      const unsigned char expected = i < kept ? static_cast<unsigned char>(message[i]) : 0;
      ASSERT_EQ(toast.record[kTextOffset + i], expected) << "length " << length << " at " << i;
    }
    // The message pointer leads to the record's own copy.
    EXPECT_EQ(PointerAt(toast, kToastLayout.message), toast.record_address + kTextOffset) << "length " << length;
    EXPECT_EQ(toast.text, message.substr(0, kept));
    EXPECT_EQ(PointerAt(toast, kToastLayout.caption), reinterpret_cast<std::uintptr_t>(kCaption));
    EXPECT_EQ(PointerAt(toast, kToastLayout.extra), reinterpret_cast<std::uintptr_t>(kExtra));
  }
}

TEST(ToastRecord, WideTextIsCopiedButTheCallersTextIsSent) {
  for (std::size_t length : {0u, 3u, 255u, 256u, 300u}) {
    std::u16string message;
    for (std::size_t i = 0; i < length; ++i) message += static_cast<char16_t>(0x3B1 + i % 20);
    ToastListener listener;
    Plugin().display_toast_w(message.c_str(), kCaption, kExtra, 1);
    ASSERT_EQ(listener.received.size(), 1u);
    const ReceivedToast& toast = listener.received[0];
    EXPECT_EQ(toast.width, 1);
    ASSERT_EQ(toast.record.size(), kTextOffset + 512);
    const std::size_t kept = length < 255 ? length : 255;
    for (std::size_t i = 0; i < 256; ++i) {
      const char16_t unit = static_cast<char16_t>(toast.record[kTextOffset + 2 * i] |
                                                  toast.record[kTextOffset + 2 * i + 1] << 8);
      ASSERT_EQ(unit, i < kept ? message[i] : 0) << "length " << length << " at " << i;
    }
    EXPECT_EQ(PointerAt(toast, kToastLayout.message), reinterpret_cast<std::uintptr_t>(message.c_str()));
    EXPECT_EQ(toast.wide_text, message);  // the whole text, through the caller's pointer
    EXPECT_EQ(toast.caption, kCaption);
    EXPECT_EQ(toast.extra, kExtra);
  }
}

TEST(ToastRecord, FlagKeepsOnlyTheLowByte) {
  const struct {
    std::uint32_t argument;
    std::uint32_t stored;
  } cases[] = {
      {0, 0},           {1, 0xFFFFFFFF},    {0x7F, 0xFFFFFFFF},     {0x80, 0xFFFFFFFF},
      {0xFF, 0xFFFFFFFF}, {0x100, 0},       {0xFFFFFF00, 0},        {0xFFFFFFFF, 0xFFFFFFFF},
      {0x12345601, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    ToastListener listener;
    const auto argument = static_cast<std::int32_t>(c.argument);
    Plugin().display_toast("flag", kCaption, kExtra, argument);
    Plugin().display_toast_w(u"flag", kCaption, kExtra, argument);
    ASSERT_EQ(listener.received.size(), 2u);
    EXPECT_EQ(Field32(listener.received[0], kFlagOffset), c.stored) << std::hex << c.argument;
    EXPECT_EQ(Field32(listener.received[1], kFlagOffset), c.stored) << std::hex << c.argument;
  }
}

TEST(ToastRecord, NullMessageSendsEmptyText) {
  ToastListener listener;
  Plugin().display_toast(nullptr, nullptr, nullptr, 0);
  Plugin().display_toast_w(nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(listener.received.size(), 2u);
  for (const ReceivedToast& toast : listener.received) {
    EXPECT_EQ(PointerAt(toast, kToastLayout.message), toast.record_address + kTextOffset);
    EXPECT_EQ(PointerAt(toast, kToastLayout.caption), 0u);
    EXPECT_EQ(PointerAt(toast, kToastLayout.extra), 0u);
    for (std::size_t i = kTextOffset; i < toast.record.size(); ++i) ASSERT_EQ(toast.record[i], 0);
  }
}

TEST(ToastMessage, RegisteredNameAndParameters) {
  ToastListener listener;
  EXPECT_GE(listener.message_number(), 0xC000u);
  EXPECT_EQ(RegisterWindowMessageA("glimmerpost_displaytoast"), listener.message_number());
  EXPECT_NE(RegisterWindowMessageA("Glimmerpost_DisplayToastX"), listener.message_number());
  // The window procedure only records the registered message, so receiving
  // anything at all proves the number; both variants use the same one.
  Plugin().display_toast("a", kCaption, kExtra, 0);
  Plugin().display_toast_w(u"b", kCaption, kExtra, 0);
  ASSERT_EQ(listener.received.size(), 2u);
  EXPECT_EQ(listener.received[0].width, 0);
  EXPECT_EQ(listener.received[1].width, 1);
}

TEST(ToastMessage, SendIsSynchronousAndReturnsOneWhateverTheWindowAnswers) {
  for (LRESULT reply : {0, 1, 12345, -1}) {
    ToastListener listener(reply);
    // The record lives on the sender's stack: the window must have read it
    // before the call returns, so it has been received by then.
    const std::int32_t returned = Plugin().display_toast("sync", kCaption, kExtra, 0);
    ASSERT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(listener.received[0].text, "sync");
    EXPECT_EQ(returned, 1) << "reply " << reply;
    EXPECT_EQ(Plugin().display_toast_w(u"sync", kCaption, kExtra, 0), 1) << "reply " << reply;
    ASSERT_EQ(listener.received.size(), 2u);
#if defined(_WIN32)
    // What a broadcast of the message returned, which the toast returned before
    // it kept to this process's windows.
    unsigned char probe[276] = {};
    EXPECT_EQ(returned, static_cast<std::int32_t>(
                            SendMessageA(HWND_BROADCAST, listener.message_number(),
                                         reinterpret_cast<WPARAM>(probe), 0)));
#endif
  }
}

TEST(ToastMessage, NobodyListening) {
  EXPECT_EQ(Plugin().display_toast("nobody", kCaption, kExtra, 1), 1);
  EXPECT_EQ(Plugin().display_toast_w(u"nobody", kCaption, kExtra, 1), 1);
}

#if !defined(_WIN32)
std::vector<HWND> toast_receivers;

TEST(ToastScope, EveryTopLevelWindowOfThisProcessGetsTheRequestInTurn) {
  const WNDPROC record = [](HWND window, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == RegisterWindowMessageA("Glimmerpost_DisplayToast")) {
      toast_receivers.push_back(window);
    }
    return 0;
  };
  const HWND made[] = {CreateTopLevelWindow(record), CreateTopLevelWindow(record),
                       CreateTopLevelWindow(record)};
  Plugin().display_toast("each", kCaption, kExtra, 0);
  Plugin().display_toast_w(u"each", kCaption, kExtra, 0);
  EXPECT_EQ(toast_receivers,
            (std::vector<HWND>{made[0], made[1], made[2], made[0], made[1], made[2]}));
  for (HWND window : made) DestroyTopLevelWindow(window);
}
#endif

#if defined(_WIN32)
// --- What other programs on the same desktop see ---------------------------

// How many toast messages the test's own windows have received, read or not.
LONG counted = 0;
UINT toast_number = 0;

// Counts the toast message without reading its address, which may be another process's.
LRESULT CALLBACK Count(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == toast_number) {
    InterlockedIncrement(&counted);
    return 1;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// A top-level window of this process, made by the calling thread, that counts toast messages.
HWND CreateCountingWindow(DWORD style) {
  static const ATOM window_class = [] {
    WNDCLASSA description = {};
    description.lpfnWndProc = Count;
    description.hInstance = GetModuleHandleA(nullptr);
    description.lpszClassName = "CalcTestCountingWindow";
    return RegisterClassA(&description);
  }();
  if (window_class == 0) return nullptr;
  toast_number = RegisterWindowMessageA("Glimmerpost_DisplayToast");
  return CreateWindowExA(0, "CalcTestCountingWindow", "", style, 0, 0, 0, 0, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

// Runs the console host built beside the tests with `arguments`, in a process
// of its own, while this thread reads its messages; returns the host's output
// with CR LF read as LF, or "(still running)" if it did not finish in time.
std::string RunConsoleHost(const std::string& arguments) {
  ConsoleHostProcess host;
  if (!StartConsoleHost(arguments, false, host)) return "(could not start the console host)";
  const DWORD start = GetTickCount();
  DWORD waited = WAIT_TIMEOUT;
  while (waited != WAIT_OBJECT_0 && GetTickCount() - start < kPatienceMs) {
    waited = MsgWaitForMultipleObjects(1, &host.process.hProcess, FALSE, 100, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  if (waited != WAIT_OBJECT_0) return "(still running)";
  std::string output;
  char chunk[4096];
  DWORD count = 0;
  while (ReadFile(host.output, chunk, sizeof chunk, &count, nullptr) && count > 0) {
    for (DWORD i = 0; i < count; ++i) {
      if (chunk[i] != '\r') output += chunk[i];
    }
  }
  return output;
}

constexpr const char* kPrecisionToast = "[Calculator Options...] Floatting point precision: 5\n";

TEST(ToastScope, OtherProgramsReceiveNothingWhileTheSendersOwnWindowGetsTheRecord) {
  HWND window = CreateCountingWindow(WS_OVERLAPPEDWINDOW);
  ASSERT_NE(window, nullptr);
  counted = 0;
  // The console host prints each record its own window reads.
  EXPECT_EQ(RunConsoleHost("\"/xprecis 5\""), kPrecisionToast);
  EXPECT_EQ(counted, 0);
  DestroyWindow(window);
}

// A window whose thread never reads its messages: it says when the window is
// made, then waits until the test lets it go.
struct Unresponsive {
  HANDLE made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};
DWORD WINAPI HoldUnresponsiveWindow(void* context) {
  const auto* events = static_cast<const Unresponsive*>(context);
  HWND window = CreateCountingWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  SetEvent(events->made);
  WaitForSingleObject(events->release, INFINITE);
  DestroyWindow(window);
  return 0;
}

TEST(ToastScope, AnUnresponsiveWindowOfAnotherProgramDoesNotStallTheSend) {
  Unresponsive events;
  HANDLE holder = CreateThread(nullptr, 0, HoldUnresponsiveWindow, &events, 0, nullptr);
  ASSERT_NE(holder, nullptr);
  WaitForSingleObject(events.made, INFINITE);
  // Finished while the window still ignores its messages: nothing waited on it.
  EXPECT_EQ(RunConsoleHost("\"/xprecis 5\""), kPrecisionToast);
  SetEvent(events.release);
  WaitForSingleObject(holder, INFINITE);
  CloseHandle(holder);
  CloseHandle(events.made);
  CloseHandle(events.release);
}

// Which of the windows `made` received the toast message during `send`.
template <typename Send>
std::vector<bool> Receivers(const std::vector<HWND>& made, Send send) {
  struct Seen {
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
      if (message == toast_number) receivers().push_back(window);
      return DefWindowProcA(window, message, wparam, lparam);
    }
    static std::vector<HWND>& receivers() {
      static std::vector<HWND> list;
      return list;
    }
  };
  for (HWND window : made) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Seen::Procedure));
  }
  Seen::receivers().clear();
  send();
  std::vector<bool> received;
  for (HWND window : made) {
    received.push_back(std::find(Seen::receivers().begin(), Seen::receivers().end(), window) !=
                       Seen::receivers().end());
  }
  return received;
}

TEST(ToastScope, ReachesTheWindowsABroadcastReachesInThisProcess) {
  std::vector<HWND> made;
  const DWORD styles[] = {WS_OVERLAPPED, WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_POPUP,
                          WS_POPUP | WS_VISIBLE, WS_DISABLED};
  for (DWORD style : styles) made.push_back(CreateCountingWindow(style));
  // An owned pop-up, a child and a message-only window.
  made.push_back(CreateWindowExA(WS_EX_TOOLWINDOW, "CalcTestCountingWindow", "", WS_POPUP, 0, 0, 0,
                                 0, made[0], nullptr, GetModuleHandleA(nullptr), nullptr));
  made.push_back(CreateWindowExA(0, "CalcTestCountingWindow", "", WS_CHILD, 0, 0, 0, 0, made[0],
                                 nullptr, GetModuleHandleA(nullptr), nullptr));
  made.push_back(CreateWindowExA(0, "CalcTestCountingWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, GetModuleHandleA(nullptr), nullptr));
  for (HWND window : made) ASSERT_NE(window, nullptr);
  unsigned char record[276] = {};
  const std::vector<bool> broadcast = Receivers(made, [&] {
    SendMessageA(HWND_BROADCAST, toast_number, reinterpret_cast<WPARAM>(record), 0);
  });
  const std::vector<bool> narrow = Receivers(made, [] { Plugin().display_toast("a", "", "", 0); });
  const std::vector<bool> wide = Receivers(made, [] { Plugin().display_toast_w(u"a", "", "", 0); });
  EXPECT_EQ(broadcast, (std::vector<bool>{true, true, true, true, true, true, false, false}));
  EXPECT_EQ(narrow, broadcast);
  EXPECT_EQ(wide, broadcast);
  for (auto it = made.rbegin(); it != made.rend(); ++it) DestroyWindow(*it);
}
#endif

}  // namespace
