// The window functions that stand in for USER32 off Windows.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"

namespace {

struct Delivery {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};
std::vector<Delivery> deliveries;

LRESULT Record(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  deliveries.push_back({window, message, wparam, lparam});
  return static_cast<LRESULT>(deliveries.size());
}

HWND nested_window = nullptr;

// Creates and destroys a window while a broadcast is under way.
LRESULT ReenterTheLayer(HWND, UINT, WPARAM, LPARAM) {
  nested_window = CreateTopLevelWindow(Record);
  DestroyTopLevelWindow(nested_window);
  return 5;
}

TEST(RegisteredMessages, SameNameSameNumberIgnoringAsciiCase) {
  const UINT first = RegisterWindowMessageA("LayerTest_First");
  const UINT second = RegisterWindowMessageA("LayerTest_Second");
  EXPECT_GE(first, 0xC000u);
  EXPECT_LE(first, 0xFFFFu);
  EXPECT_NE(first, second);
  const struct {
    const char* name;
    UINT number;
  } cases[] = {
      {"LayerTest_First", first},
      {"layertest_first", first},
      {"LAYERTEST_FIRST", first},
      {"LayerTest_Second", second},
      {"", 0},
      {nullptr, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RegisterWindowMessageA(c.name), c.number) << (c.name ? c.name : "(null)");
  }
  // Non-ASCII bytes are compared as they are.
  EXPECT_NE(RegisterWindowMessageA("LayerTest_\xC9"), RegisterWindowMessageA("LayerTest_\xE9"));
}

TEST(SendMessage, BroadcastReachesEveryTopLevelWindowInOrder) {
  deliveries.clear();
  EXPECT_EQ(SendMessageA(HWND_BROADCAST, 0xC123, 1, 2), 0);  // nobody there
  HWND a = CreateTopLevelWindow(Record);
  HWND b = CreateTopLevelWindow(Record);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(a, b);
  EXPECT_EQ(SendMessageA(HWND_BROADCAST, 0xC123, 1, -7), 2);  // the last window's answer
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_EQ(deliveries[0].window, a);
  EXPECT_EQ(deliveries[1].window, b);
  for (const Delivery& d : deliveries) {
    EXPECT_EQ(d.message, 0xC123u);
    EXPECT_EQ(d.wparam, 1u);
    EXPECT_EQ(d.lparam, -7);
  }

  deliveries.clear();
  EXPECT_EQ(SendMessageA(b, 0xC124, 0, 0), 1);  // to one window only
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_EQ(deliveries[0].window, b);

  DestroyTopLevelWindow(a);
  deliveries.clear();
  SendMessageA(HWND_BROADCAST, 0xC125, 0, 0);
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_EQ(deliveries[0].window, b);
  DestroyTopLevelWindow(b);
  DestroyTopLevelWindow(b);  // unknown handles are ignored
  EXPECT_EQ(SendMessageA(a, 0xC125, 0, 0), 0);
  EXPECT_EQ(CreateTopLevelWindow(nullptr), nullptr);
}

TEST(SendMessage, WindowProceduresMayCallBackIntoTheLayer) {
  HWND window = CreateTopLevelWindow(ReenterTheLayer);
  EXPECT_EQ(SendMessageA(HWND_BROADCAST, 0xC126, 0, 0), 5);
  EXPECT_NE(nested_window, nullptr);
  DestroyTopLevelWindow(window);
}

// The windows a broadcast's first receiver destroys, as the answer to it.
std::vector<HWND> to_destroy;
LRESULT DestroyOthers(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  for (HWND other : to_destroy) DestroyTopLevelWindow(other);
  return Record(window, message, wparam, lparam);
}

TEST(SendMessage, AWindowDestroyedDuringABroadcastGetsNothingFromIt) {
  HWND first = CreateTopLevelWindow(DestroyOthers);
  HWND second = CreateTopLevelWindow(Record);
  HWND third = CreateTopLevelWindow(Record);
  const struct {
    std::vector<HWND> destroyed;
    std::vector<HWND> reached;
  } cases[] = {{{}, {first, second, third}}, {{third}, {first, second}}, {{second}, {first}}};
  for (const auto& c : cases) {
    to_destroy = c.destroyed;
    deliveries.clear();
    SendMessageA(HWND_BROADCAST, 0xC127, 0, 0);
    std::vector<HWND> reached;
    for (const Delivery& d : deliveries) reached.push_back(d.window);
    EXPECT_EQ(reached, c.reached) << c.destroyed.size();
  }
  to_destroy.clear();
  DestroyTopLevelWindow(first);
}

std::vector<HWND> listed;
HWND to_destroy_when_listed = nullptr;  // a window the first one listed destroys
BOOL List(HWND window, LPARAM stop_after) {
  listed.push_back(window);
  // A window made during the enumeration is not listed in it, nor one destroyed before its turn.
  DestroyTopLevelWindow(CreateTopLevelWindow(Record));
  if (listed.size() == 1) DestroyTopLevelWindow(to_destroy_when_listed);
  return static_cast<std::size_t>(stop_after) != listed.size();
}

TEST(EnumWindows, ListsTheTopLevelWindowsInOrderAndTheirProcess) {
  HWND a = CreateTopLevelWindow(Record);
  HWND b = CreateTopLevelWindow(Record);
  // A window of another thread, made between this thread's.
  HWND other = nullptr;
  DWORD other_thread = 0;
  std::thread([&] {
    other = CreateTopLevelWindow(Record);
    other_thread = GetCurrentThreadId();
  }).join();
  HWND c = CreateTopLevelWindow(Record);
  const DWORD this_thread = GetCurrentThreadId();
  constexpr DWORD kEveryThread = 0;  // EnumWindows; any other: EnumThreadWindows for that thread
  constexpr DWORD kNoSuchThread = 0xFFFFFFFF;
  const struct {
    DWORD thread;
    LPARAM stop_after;
    HWND destroyed;  // when the first window is listed
    std::vector<HWND> listed;
    BOOL returned;
  } cases[] = {{kEveryThread, 0, nullptr, {a, b, other, c}, 1},
               {kEveryThread, 1, nullptr, {a}, 1},
               {kEveryThread, 2, nullptr, {a, b}, 1},
               {this_thread, 0, nullptr, {a, b, c}, 1},
               {other_thread, 0, nullptr, {other}, 1},
               {this_thread, 2, nullptr, {a, b}, 0},
               {this_thread, 3, nullptr, {a, b, c}, 0},
               {kNoSuchThread, 0, nullptr, {}, 0},
               {kEveryThread, 0, c, {a, b, other}, 1},
               {kEveryThread, 0, b, {a, other}, 1},
               {this_thread, 0, nullptr, {a}, 1}};
  for (const auto& row : cases) {
    listed.clear();
    to_destroy_when_listed = row.destroyed;
    const BOOL returned = row.thread == kEveryThread
                              ? EnumWindows(List, row.stop_after)
                              : EnumThreadWindows(row.thread, List, row.stop_after);
    EXPECT_EQ(returned, row.returned) << "thread " << row.thread << ", stop after " << row.stop_after;
    EXPECT_EQ(listed, row.listed) << "thread " << row.thread << ", stop after " << row.stop_after;
  }
  to_destroy_when_listed = nullptr;
  DWORD process = 0;
  EXPECT_EQ(GetWindowThreadProcessId(a, &process), static_cast<DWORD>(gettid()));
  EXPECT_EQ(process, static_cast<DWORD>(getpid()));
  EXPECT_EQ(GetWindowThreadProcessId(other, nullptr), other_thread);
  EXPECT_NE(other_thread, this_thread);
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
  EXPECT_EQ(GetCurrentThreadId(), static_cast<DWORD>(gettid()));
  // A thread whose every window is gone has none to list.
  to_destroy_when_listed = a;
  listed.clear();
  EXPECT_EQ(EnumThreadWindows(this_thread, List, 0), 1);
  EXPECT_EQ(listed, std::vector<HWND>{a});
  to_destroy_when_listed = nullptr;
  listed.clear();
  EXPECT_EQ(EnumThreadWindows(this_thread, List, 0), 0);
  EXPECT_EQ(listed, std::vector<HWND>{});
  DestroyTopLevelWindow(other);
  process = 7;
  EXPECT_EQ(GetWindowThreadProcessId(b, &process), 0u);
  EXPECT_EQ(process, 7u);
  EXPECT_EQ(GetWindowThreadProcessId(nullptr, nullptr), 0u);
}

TEST(CodePage, LeadBytesAreThoseOfCodePage932Only) {
  EXPECT_EQ(GetACP(), 1252u);
  const struct {
    UINT code_page;
    BYTE byte;
    BOOL lead;
  } cases[] = {
      {1252, 0x81, 0}, {1252, 0xE0, 0}, {932, 0x41, 0}, {932, 0x80, 0}, {932, 0x81, 1},
      {932, 0x9F, 1},  {932, 0xA0, 0},  {932, 0xDF, 0}, {932, 0xE0, 1}, {932, 0xFC, 1},
      {932, 0xFD, 0},  {932, 0xFF, 0},  {936, 0x81, 0},
  };
  for (const auto& c : cases) {
    SetAnsiCodePage(c.code_page);
    EXPECT_EQ(GetACP(), c.code_page);
    EXPECT_EQ(IsDBCSLeadByte(c.byte), c.lead) << "code page " << c.code_page << ", byte " << +c.byte;
  }
  EXPECT_EQ(SetAnsiCodePage(1252), 936u);
}

TEST(ActiveWindow, IsWhatTheHostMarked) {
  EXPECT_EQ(GetActiveWindow(), nullptr);
  HWND window = CreateTopLevelWindow(Record);
  SetActiveTopLevelWindow(window);
  EXPECT_EQ(GetActiveWindow(), window);
  DestroyTopLevelWindow(window);
  EXPECT_EQ(GetActiveWindow(), nullptr);
}

std::string box_text;
int Answer(HWND, const char* text, const char* caption, UINT type) {
  box_text = std::string(caption) + "|" + text + "|" + std::to_string(type);
  return 7;
}

TEST(MessageBox, GoesToTheInstalledHandler) {
  EXPECT_EQ(SetMessageBoxHandler(Answer) != nullptr, true);
  EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK), 7);
  EXPECT_EQ(box_text, "caption|text|0");
  SetMessageBoxHandler(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "shown", "title", MB_OK), IDOK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "title\nshown\n");
}

}  // namespace
