// Toast requests as the host's window receives them: the record's address in
// the first message parameter, its text width in the second.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "test_support.h"

// Allocations of this many bytes or more fail throughout this program, the
// host's parts included; small ones (a message name's copy) still succeed.
constexpr std::size_t kNoFailure = static_cast<std::size_t>(-1);
std::atomic<std::size_t> failing_size{kNoFailure};

namespace {
// Returns a block from malloc; null when allocations of `size` fail.
void* Allocate(std::size_t size) {
  return size >= failing_size ? nullptr : std::malloc(size == 0 ? 1 : size);
}
// Returns a block from Allocate. Kept out of line: inlined into operator
// delete, GCC takes the free for a mismatch with operator new.
[[gnu::noinline]] void Release(void* block) { std::free(block); }
}  // namespace

void* operator new(std::size_t size) {
  void* block = Allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void operator delete(void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }

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

// `length` letters with the bytes `at` placed over them, from byte `start` on.
std::string WithBytes(std::size_t length, std::size_t start, const std::string& at) {
  std::string text = Repeated(length);
  text.replace(start, at.size(), at);
  return text;
}

// Whether the ANSI code page has no lead bytes, as 1252 has none.
bool SingleByteCodePage() {
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    if (IsDBCSLeadByte(static_cast<BYTE>(byte))) return false;
  }
  return true;
}

// Code page 932's two-byte characters: a lead byte (0x81-0x9F, 0xE0-0xFC)
// and a trail byte, which may have a lead byte's value.
const std::string kHiraganaA = "\x82\xA0";
const std::string kTrailLikeALead = "\x81\x81";
const std::string kLastLeadByte = "\xFC\x40";

// `letters` letters, then two-byte characters up to `length` bytes or one more.
std::string TwoByteText(std::size_t letters, std::size_t length) {
  std::string text = Repeated(letters);
  while (text.size() < length) text += kHiraganaA;
  return text;
}

TEST(ToastRecord, NarrowTextIsCopiedAndCut) {
  constexpr unsigned kJapaneseCodePage = 932;
  const struct {
    const char* text;
    std::string message;
    std::size_t kept;      // bytes of the copy in a code page of single bytes (1252)
    std::size_t kept_932;  // in code page 932
  } cases[] = {
      {"empty", "", 0, 0},
      {"1 letter", Repeated(1), 1, 1},
      {"254 letters", Repeated(254), 254, 254},
      {"255 letters", Repeated(255), 255, 255},
      {"256 letters", Repeated(256), 255, 255},
      {"300 letters", Repeated(300), 255, 255},
      {"a two-byte character across bytes 254 and 255", WithBytes(300, 254, kHiraganaA), 255, 254},
      {"the same, the text ending after it", WithBytes(256, 254, kHiraganaA), 255, 254},
      {"the same with the last lead byte", WithBytes(300, 254, kLastLeadByte), 255, 254},
      {"a two-byte character at bytes 253 and 254", WithBytes(300, 253, kHiraganaA), 255, 255},
      {"a lead byte at 254 that ends the text", WithBytes(255, 254, "\x82"), 255, 255},
      {"a trail byte at 254 with a lead byte's value", WithBytes(300, 253, kTrailLikeALead), 255,
       255},
      {"two-byte characters from byte 0", TwoByteText(0, 300), 255, 254},
      {"two-byte characters from byte 1", TwoByteText(1, 300), 255, 255},
  };
#if defined(_WIN32)
  // The code page of the process, which Wine takes from the Unix locale.
  const std::vector<UINT> code_pages = {GetACP()};
#else
  const std::vector<UINT> code_pages = {1252, kJapaneseCodePage};
#endif
  for (UINT code_page : code_pages) {
#if !defined(_WIN32)
    const UINT previous = SetAnsiCodePage(code_page);
#endif
    const bool japanese = code_page == kJapaneseCodePage;
    const bool known = japanese || SingleByteCodePage();
#if defined(_WIN32)
    if (!japanese) {
      std::printf("skipped: the rows for code page 932; the ANSI code page is %u\n", code_page);
    }
#endif
    for (const auto& c : cases) {
      const std::string& message = c.message;
      const bool ascii = std::all_of(message.begin(), message.end(),
                                     [](char byte) { return (byte & 0x80) == 0; });
      if (!known && !ascii) continue;
      const std::size_t kept = japanese ? c.kept_932 : c.kept;
      ToastListener listener;
      Plugin().display_toast(message.c_str(), kCaption, kExtra, 0);
      ASSERT_EQ(listener.received.size(), 1u) << c.text;
      const ReceivedToast& toast = listener.received[0];
      EXPECT_EQ(toast.width, 0);
      ASSERT_EQ(toast.record.size(), kTextOffset + 256);
      for (std::size_t i = 0; i < 256; ++i) {
        const unsigned char expected = i < kept ? static_cast<unsigned char>(message[i]) : 0;
        ASSERT_EQ(toast.record[kTextOffset + i], expected)
            << c.text << ", code page " << code_page << ", at " << i;
      }
      // The message pointer leads to the record's own copy.
      EXPECT_EQ(PointerAt(toast, kToastLayout.message), toast.record_address + kTextOffset) << c.text;
      EXPECT_EQ(toast.text, message.substr(0, kept));
      EXPECT_EQ(PointerAt(toast, kToastLayout.caption), reinterpret_cast<std::uintptr_t>(kCaption));
      EXPECT_EQ(PointerAt(toast, kToastLayout.extra), reinterpret_cast<std::uintptr_t>(kExtra));
    }
#if !defined(_WIN32)
    SetAnsiCodePage(previous);
#endif
  }
}

// `length` units of Greek letters with the units `at` placed over them, from unit `start` on.
std::u16string WideWithUnits(std::size_t length, std::size_t start, const std::u16string& at) {
  std::u16string text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char16_t>(0x3B1 + i % 20);
  text.replace(start, at.size(), at);
  return text;
}

// U+1F600 as UTF-16: a high and a low surrogate.
const std::u16string kSmiley = u"\U0001F600";

// `letters` units, then surrogate pairs up to `length` units or one more.
std::u16string SurrogateText(std::size_t letters, std::size_t length) {
  std::u16string text = WideWithUnits(letters, 0, u"");
  while (text.size() < length) text += kSmiley;
  return text;
}

TEST(ToastRecord, WideTextIsCopiedButTheCallersTextIsSent) {
  const struct {
    const char* text;
    std::u16string message;
    std::size_t kept;  // units of the copy
  } cases[] = {
      {"empty", u"", 0},
      {"3 units", WideWithUnits(3, 0, u""), 3},
      {"255 units", WideWithUnits(255, 0, u""), 255},
      {"256 units", WideWithUnits(256, 0, u""), 255},
      {"300 units", WideWithUnits(300, 0, u""), 255},
      {"a surrogate pair across units 254 and 255", WideWithUnits(300, 254, kSmiley), 254},
      {"the first high and low surrogates there", WideWithUnits(300, 254, u"\xD800\xDC00"), 254},
      {"the last high and low surrogates there", WideWithUnits(300, 254, u"\xDBFF\xDFFF"), 254},
      {"a surrogate pair at units 253 and 254", WideWithUnits(300, 253, kSmiley), 255},
      {"a lone high surrogate at 254, a letter after it", WideWithUnits(300, 254, u"\xD800"), 255},
      {"a lone high surrogate at 254 that ends the text", WideWithUnits(255, 254, u"\xDBFF"), 255},
      {"a high surrogate at 254, another at 255", WideWithUnits(300, 254, u"\xD800\xDBFF"), 255},
      {"a high surrogate at 254, U+E000 at 255", WideWithUnits(300, 254, u"\xD800\xE000"), 255},
      {"U+D7FF at 254, a low surrogate at 255", WideWithUnits(300, 254, u"\xD7FF\xDC00"), 255},
      {"a low surrogate at 254, another at 255", WideWithUnits(300, 254, u"\xDC00\xDC00"), 255},
      {"surrogate pairs from unit 0", SurrogateText(0, 300), 254},
      {"surrogate pairs from unit 1", SurrogateText(1, 300), 255},
  };
  for (const auto& c : cases) {
    const std::u16string& message = c.message;
    ToastListener listener;
    Plugin().display_toast_w(message.c_str(), kCaption, kExtra, 1);
    ASSERT_EQ(listener.received.size(), 1u);
    const ReceivedToast& toast = listener.received[0];
    EXPECT_EQ(toast.width, 1);
    ASSERT_EQ(toast.record.size(), kTextOffset + 512);
    for (std::size_t i = 0; i < 256; ++i) {
      const char16_t unit = static_cast<char16_t>(toast.record[kTextOffset + 2 * i] |
                                                  toast.record[kTextOffset + 2 * i + 1] << 8);
      ASSERT_EQ(unit, i < c.kept ? message[i] : 0) << c.text << " at " << i;
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

// --- Which requests the console host's window reads ------------------------

// Waits for `done` while this thread reads its messages, as a host's thread
// does; on Windows a send from another thread waits for them.
void ReadMessagesUntil(const std::atomic<bool>& done) {
  while (!done) {
#if defined(_WIN32)
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
#else
    std::this_thread::yield();
#endif
  }
}

// Runs `ask` on another thread of this process while this one reads its messages.
void OnAnotherThread(const std::function<void()>& ask) {
  std::atomic<bool> done{false};
  std::thread other([&] {
    ask();
    done = true;
  });
  ReadMessagesUntil(done);
  other.join();
}

// A request record of this process's memory, made as another program makes
// one: caption and message pointers at their offsets, the text at its own.
struct ForgedRecord {
  explicit ForgedRecord(const char* text) {
    const char* caption = "Forged";
    const char* message = reinterpret_cast<const char*>(bytes + kToastLayout.text);
    std::memcpy(bytes + kToastLayout.caption, &caption, sizeof caption);
    std::memcpy(bytes + kToastLayout.message, &message, sizeof message);
    std::strncpy(reinterpret_cast<char*>(bytes + kToastLayout.text), text, kToastTextUnits - 1);
  }
  WPARAM address() { return reinterpret_cast<WPARAM>(bytes); }
  unsigned char bytes[kToastLayout.text + kToastTextUnits] = {};
};

#if defined(_WIN32)
// The console host's toast window in this process (the only one of its class here).
HWND HostToastWindow() {
  for (HWND window = FindWindowExA(nullptr, nullptr, "CalcTopLevelWindow", nullptr);
       window != nullptr; window = FindWindowExA(nullptr, window, "CalcTopLevelWindow", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == GetCurrentProcessId()) return window;
  }
  return nullptr;
}

// The about box of this process, once it is up.
HWND AboutBox() {
  for (;;) {
    for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr); box != nullptr;
         box = FindWindowExA(nullptr, box, "#32770", nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(box, &owner);
      if (owner == GetCurrentProcessId() && IsWindowVisible(box)) return box;
    }
    Sleep(20);
  }
}

// While the about box is up: `ask` on a timer of this thread, then the box is closed.
std::function<void()> timer_ask;
void CALLBACK AskThenCloseTheBox(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  timer_ask();
  PostMessageA(AboutBox(), WM_COMMAND, IDOK, 0);
}
void DuringTheAboutBox(const std::function<void()>& ask) {
  timer_ask = ask;
  SetTimer(nullptr, 0, 10, AskThenCloseTheBox);
  Plugin().configure();
}

// The window of a thread of its own that, sent the plug-in's toast, sends
// `forged` to `forged_to`, the console host's window: a send from another
// thread, which comes while the host's thread waits in a send of its own.
ForgedRecord* forged = nullptr;
HWND forged_to = nullptr;
LRESULT CALLBACK SendForgedRecord(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == RegisterWindowMessageA("Glimmerpost_DisplayToast") && forged != nullptr) {
    ForgedRecord* record = std::exchange(forged, nullptr);
    SendMessageA(forged_to, message, record->address(), 0);
  }
  return DefWindowProcA(window, message, wparam, lparam);
}
// A window of this thread that runs a command through the console host's
// parts when sent WM_USER, and passes the plug-in's toast on to `relay_to`, a
// window of another thread: this thread then waits in a send inside the
// plug-in's, as a host's window that forwards its toasts would.
HWND relay_to = nullptr;
LRESULT CALLBACK RunCommandWhenSent(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER) RunCommandLine(Plugin(), reinterpret_cast<const char*>(lparam));
  if (message == RegisterWindowMessageA("Glimmerpost_DisplayToast") && relay_to != nullptr) {
    SendMessageA(relay_to, message, wparam, lparam);
  }
  return DefWindowProcA(window, message, wparam, lparam);
}
#endif

// Sends the toast message with `record` and `width` to the console host's
// window from this thread: natively to every window of the process.
void SendToHostWindow(WPARAM record, LPARAM width) {
  const UINT message = RegisterWindowMessageA("Glimmerpost_DisplayToast");
#if defined(_WIN32)
  SendMessageA(HostToastWindow(), message, record, width);
#else
  SendMessageA(HWND_BROADCAST, message, record, width);
#endif
}

TEST(ToastScope, TheHostsWindowReadsWhatItsOwnThreadAsksForAndNothingElse) {
  const struct {
    const char* request;
    std::function<void()> ask;
    const char* shown;
  } cases[] = {
    {"DisplayToast on the host's thread, outside any ParseCommand",
     [] { Plugin().display_toast("direct", "Caller", "", 0); }, "[Caller] direct\n"},
    {"DisplayToastW on the host's thread",
     [] { Plugin().display_toast_w(u"\u00E9t\u00E9", "Caller", "", 0); },
     "[Caller] \xC3\xA9t\xC3\xA9\n"},
    {"DisplayToast on the host's thread, with no memory left in the host for the text",
     [] {
       const std::string text(250, 'x');
       failing_size = text.size();
       Plugin().display_toast(text.c_str(), "Caller", "", 0);
       failing_size = kNoFailure;
     },
     ""},
    {"a record of this process sent by the host's thread, not through the plug-in",
     [] {
       ForgedRecord record("by hand");
       SendToHostWindow(record.address(), 0);
     },
     "[Forged] by hand\n"},
    {"no record, sent by the host's thread", [] { SendToHostWindow(0, 0); }, ""},
    {"a record of a width the host does not know, sent by the host's thread",
     [] {
       ForgedRecord record("width 2");
       SendToHostWindow(record.address(), 2);
     },
     ""},
    {"the plug-in's own, during ParseCommand", [] { RunCommandLine(Plugin(), "/xprecis 2"); },
     "[Calculator Options...] Floatting point precision: 2\n"},
    {"DisplayToast on another thread of the host's process",
     [] { OnAnotherThread([] { Plugin().display_toast("other thread", "Caller", "", 0); }); }, ""},
    {"DisplayToastW on another thread",
     [] { OnAnotherThread([] { Plugin().display_toast_w(u"other thread", "Caller", "", 0); }); },
     ""},
#if defined(_WIN32)
    {"a record of this process sent from another thread",
     [] {
       ForgedRecord record("sent");
       OnAnotherThread([&] {
         SendMessageA(HostToastWindow(), RegisterWindowMessageA("Glimmerpost_DisplayToast"),
                      record.address(), 0);
       });
     },
     ""},
    {"a record of this process posted while the about box is up",
     [] {
       ForgedRecord record("posted");
       DuringTheAboutBox([&] {
         PostMessageA(HostToastWindow(), RegisterWindowMessageA("Glimmerpost_DisplayToast"),
                      record.address(), 0);
       });
     },
     ""},
    {"DisplayToast on the host's thread, from a timer while the about box is up",
     [] { DuringTheAboutBox([] { Plugin().display_toast("timer", "Caller", "", 0); }); },
     "[Caller] timer\n"},
    {"a record sent from another thread while the host's ParseCommand, inside a message sent "
     "from a second, waits in a send to a third that its own window makes on the plug-in's toast",
     [] {
       ForgedRecord record("nested");
       forged_to = HostToastWindow();  // while it is the only window of its class
       std::atomic<HWND> third_window{nullptr};
       std::atomic<bool> stop{false};
       std::thread third([&] {
         HWND window = CreateTopLevelWindow(SendForgedRecord);
         third_window = window;
         ReadMessagesUntil(stop);
         DestroyTopLevelWindow(window);
       });
       while (third_window == nullptr) Sleep(1);
       HWND runner = CreateTopLevelWindow(RunCommandWhenSent);
       forged = &record;
       relay_to = third_window;
       OnAnotherThread(
           [&] { SendMessageA(runner, WM_USER, 0, reinterpret_cast<LPARAM>("/xprecis 2")); });
       EXPECT_EQ(forged, nullptr) << "the third thread's window was sent the toast";
       relay_to = nullptr;
       forged = nullptr;
       DestroyTopLevelWindow(runner);
       stop = true;
       third.join();
     },
     "[Calculator Options...] Floatting point precision: 2\n"},
#endif
  };
  ToastWindow host;
  ASSERT_TRUE(host.created());
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    c.ask();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.shown) << c.request;
  }
}

#if !defined(_WIN32)
std::vector<HWND> toast_receivers;

TEST(ToastScope, EveryTopLevelWindowOfTheCallingThreadGetsTheRequestInTurn) {
  const WNDPROC record = [](HWND window, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == RegisterWindowMessageA("Glimmerpost_DisplayToast")) {
      toast_receivers.push_back(window);
    }
    return 0;
  };
  // Another thread makes two top-level windows between this thread's first
  // and second, then, when told, asks for a toast of its own.
  std::vector<HWND> own = {CreateTopLevelWindow(record)};
  std::vector<HWND> others;
  std::atomic<int> stage{0};  // 1: its windows made; 2: told to ask; 3: asked
  std::thread other([&] {
    others = {CreateTopLevelWindow(record), CreateTopLevelWindow(record)};
    stage = 1;
    while (stage != 2) std::this_thread::yield();
    Plugin().display_toast("other", kCaption, kExtra, 0);
    stage = 3;
  });
  while (stage != 1) std::this_thread::yield();
  own.push_back(CreateTopLevelWindow(record));
  own.push_back(CreateTopLevelWindow(record));
  const struct {
    const char* asker;
    std::function<void()> ask;
    std::vector<HWND> reached;
  } cases[] = {
      {"DisplayToast on this thread", [] { Plugin().display_toast("each", kCaption, kExtra, 0); },
       own},
      {"DisplayToastW on this thread", [] { Plugin().display_toast_w(u"each", kCaption, kExtra, 0); },
       own},
      {"DisplayToast on the other thread",
       [&] {
         stage = 2;
         while (stage != 3) std::this_thread::yield();
       },
       others},
  };
  for (const auto& c : cases) {
    toast_receivers.clear();
    c.ask();
    EXPECT_EQ(toast_receivers, c.reached) << c.asker;
  }
  other.join();
  for (HWND window : own) DestroyTopLevelWindow(window);
  for (HWND window : others) DestroyTopLevelWindow(window);
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
// made, then waits until the test lets it go, or `hold_ms` at most.
struct Unresponsive {
  HANDLE made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD hold_ms = INFINITE;
};
DWORD WINAPI HoldUnresponsiveWindow(void* context) {
  const auto* events = static_cast<const Unresponsive*>(context);
  HWND window = CreateCountingWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  SetEvent(events->made);
  WaitForSingleObject(events->release, events->hold_ms);
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

// While alive, ends this program unless finished() is called within
// kPatienceMs: a toast that waits for a thread that waits for the toast's
// thread never returns, and the test would hang instead of failing.
class Watchdog {
 public:
  explicit Watchdog(const char* what) : what_(what) {
    thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
  }
  ~Watchdog() {
    finished();
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(finished_);
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  void finished() { SetEvent(finished_); }

 private:
  static DWORD WINAPI Watch(void* context) {
    const auto* watchdog = static_cast<const Watchdog*>(context);
    if (WaitForSingleObject(watchdog->finished_, kPatienceMs) == WAIT_TIMEOUT) {
      std::fprintf(stderr, "toast_test: %s never returned: it waited for another thread\n",
                   watchdog->what_);
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 1);
    }
    return 0;
  }
  const char* what_;
  HANDLE finished_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread_;
};

// Well under the second for which another thread reads no messages below.
constexpr DWORD kNoWaitMs = 500;

TEST(ToastScope, AnotherThreadsWindowNeitherStallsNorDeadlocksTheToast) {
  static char result[CALC_RESULT_BUFFER_SIZE];
  const struct {
    const char* request;
    DWORD hold_ms;  // how long the other thread reads no messages; INFINITE: until the toast returned
    std::function<void()> ask;
  } cases[] = {
      {"DisplayToast, the other thread reading no messages for a second", 1000,
       [] { Plugin().display_toast("held", kCaption, kExtra, 0); }},
      {"DisplayToastW, the other thread reading no messages for a second", 1000,
       [] { Plugin().display_toast_w(u"held", kCaption, kExtra, 0); }},
      {"DisplayToast, the other thread waiting for this one", INFINITE,
       [] { Plugin().display_toast("held", kCaption, kExtra, 0); }},
      {"DisplayToastW, the other thread waiting for this one", INFINITE,
       [] { Plugin().display_toast_w(u"held", kCaption, kExtra, 0); }},
      {"the plug-in's own toast in ParseCommand, the other thread waiting for this one", INFINITE,
       [] { Plugin().parse_command("/xprecis", "2", nullptr, result); }},
  };
  for (const auto& c : cases) {
    Unresponsive events;
    events.hold_ms = c.hold_ms;
    HANDLE holder = CreateThread(nullptr, 0, HoldUnresponsiveWindow, &events, 0, nullptr);
    ASSERT_NE(holder, nullptr);
    WaitForSingleObject(events.made, INFINITE);
    counted = 0;
    ToastListener own;  // a window of this thread
    DWORD took = 0;
    {
      Watchdog watchdog(c.request);
      const DWORD start = GetTickCount();
      c.ask();
      took = GetTickCount() - start;
    }
    // Only now: a toast that waited for the other thread would have waited for ever.
    SetEvent(events.release);
    WaitForSingleObject(holder, INFINITE);
    CloseHandle(holder);
    CloseHandle(events.made);
    CloseHandle(events.release);
    EXPECT_LT(took, kNoWaitMs) << c.request;
    EXPECT_EQ(own.received.size(), 1u) << c.request;
    EXPECT_EQ(counted, 0) << c.request;
  }
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
