// The shipped DLL as a Windows chat host meets it: loaded by LoadLibrary, its
// exports read from its own export directory, every entry point called as
// __stdcall, the about box read from the real dialog, and the deepest
// expressions run on a thread with half of Windows' default stack.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <cpuid.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/host.h"
#include "platform/window.h"
#include "tests/sse2_refusal_seam.h"

namespace {

// The file `name` in the folder of the plug-in, which is the test programs'.
std::string BesideThePlugin(const char* name) {
  const std::string plugin = DefaultPluginPath();
  return plugin.substr(0, plugin.find_last_of("\\/") + 1) + name;
}

HMODULE Library() {
  static const HMODULE module = LoadLibraryA(DefaultPluginPath().c_str());
  return module;
}

// The names in the loaded module's export directory.
std::vector<std::string> ExportedNames(HMODULE module) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  const auto* name_offsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::vector<std::string> names;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    names.emplace_back(reinterpret_cast<const char*>(base + name_offsets[i]));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Exports, ExactlyTheNineEntryPoints) {
  ASSERT_NE(Library(), nullptr);
  const std::vector<std::string> expected = {
      "Configure",     "Initialize",   "ParseCommand",     "ParseTag",         "PublishInfo",
      "ReceiveNotify", "Uninitialize", "_DisplayToast@16", "_DisplayToastW@16"};
  EXPECT_EQ(ExportedNames(Library()), expected);
  for (const char* absent : {"ParseCommand@16", "_ParseCommand@16", "DisplayToast",
                             "DisplayToast@16", "DisplayToastW", "_DisplayToast", "RunCommand"}) {
    EXPECT_EQ(GetProcAddress(Library(), absent), nullptr) << absent;
  }
}

// Calls `function` with four 32-bit arguments pushed and returns how far the
// stack pointer moved: 16 minus what the callee removed. A __stdcall function
// of n arguments removes 4n bytes; a __cdecl one would remove none.
std::uint32_t StackLeftAfterCall(FARPROC function, const std::uint32_t (&arguments)[4],
                                 std::uint32_t& returned) {
  std::uint32_t left;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "pushl 12(%%edi)\n\t"
      "pushl 8(%%edi)\n\t"
      "pushl 4(%%edi)\n\t"
      "pushl (%%edi)\n\t"
      "call *%%ebx\n\t"
      "movl %%esi, %%ecx\n\t"
      "subl %%esp, %%ecx\n\t"
      "movl %%esi, %%esp\n\t"
      : "=c"(left), "=a"(returned)
      : "b"(function), "D"(arguments)
      : "edx", "esi", "memory", "cc");
  return left;
}

// Dismisses the about box from another thread once it shows, reading it first.
struct AboutBoxWatch {
  HWND box = nullptr;
  HWND owner = nullptr;
  char text[512] = {};
};

DWORD WINAPI DismissAboutBox(void* parameter) {
  auto* watch = static_cast<AboutBoxWatch*>(parameter);
  for (int attempt = 0; attempt < 3000; ++attempt) {
    HWND box = FindWindowA("#32770", "About Calculator Plugin...");
    if (box != nullptr && IsWindowVisible(box)) {
      watch->box = box;
      watch->owner = GetWindow(box, GW_OWNER);
      GetDlgItemTextA(box, 0xFFFF, watch->text, sizeof watch->text);
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return 0;
    }
    Sleep(10);
  }
  return 1;
}

LRESULT CALLBACK PlainWindow(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(window, message, wparam, lparam);
}

TEST(EntryPoints, EachIsStdcallAndAnswers) {
  ASSERT_NE(Library(), nullptr);
  char result[CALC_RESULT_BUFFER_SIZE] = {};
  std::vector<unsigned char> record(16384, 0);
  char name[64] = {};
  std::int32_t flags = 5;
  const auto address = [](const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
  };
  const struct {
    const char* name;
    std::uint32_t arguments[4];
    std::uint32_t removed;   // bytes the callee takes off the stack
    std::uint32_t returned;  // low 32 bits of EAX
  } cases[] = {
      {"Initialize", {1, 2, 3, 0}, 12, 1},
      {"ParseTag", {1, 2, 3, 0}, 12, 0},
      {"ReceiveNotify", {1, 2, 3, 4}, 16, 0},
      {"ParseCommand", {address("/xcalc"), address("6*7"), 0, address(result)}, 16, 1},
      {"ParseCommand", {address("/nothing"), address("6*7"), 0, address(result)}, 16, 0},
      {"PublishInfo", {address(name), address(record.data()), address(&flags), 0}, 12, 1},
  };
  for (const auto& c : cases) {
    std::uint32_t returned = 0;
    const std::uint32_t left =
        StackLeftAfterCall(GetProcAddress(Library(), c.name), c.arguments, returned);
    EXPECT_EQ(left, 16 - c.removed) << c.name;
    EXPECT_EQ(returned, c.returned) << c.name;
  }
  EXPECT_STREQ(result, "6*7=\n42.00");
  EXPECT_STREQ(name, "Calculator Plugin");
  EXPECT_EQ(flags, 0);

  std::uint32_t returned = 0;
  EXPECT_EQ(StackLeftAfterCall(GetProcAddress(Library(), "Uninitialize"), {0, 0, 0, 0}, returned),
            16u);
  // The toast functions with a null message and no caption: nothing for a window to misread.
  for (const char* toast : {"_DisplayToast@16", "_DisplayToastW@16"}) {
    EXPECT_EQ(StackLeftAfterCall(GetProcAddress(Library(), toast), {0, 0, 0, 0}, returned), 0u)
        << toast;
  }

  // Configure shows the about box, owned by the active window, until it is dismissed.
  HWND owner = CreateTopLevelWindow(PlainWindow);
  ASSERT_NE(owner, nullptr);
  ShowWindow(owner, SW_SHOW);
  SetActiveWindow(owner);
  const HWND active = GetActiveWindow();
  AboutBoxWatch watch;
  HANDLE dismisser = CreateThread(nullptr, 0, DismissAboutBox, &watch, 0, nullptr);
  ASSERT_NE(dismisser, nullptr);
  EXPECT_EQ(StackLeftAfterCall(GetProcAddress(Library(), "Configure"), {0, 0, 0, 0}, returned),
            16u);
  WaitForSingleObject(dismisser, 30000);
  CloseHandle(dismisser);
  DestroyTopLevelWindow(owner);
  EXPECT_EQ(returned, static_cast<std::uint32_t>(IDOK));
  ASSERT_NE(watch.box, nullptr) << "the about box never showed";
  EXPECT_EQ(watch.owner, active);
  EXPECT_STREQ(watch.text,
               "\tCalculator plugin v1.0\n\n/xcalc algebric_expression\nexample:\n"
               "/xcalc (666/77)*8+3-(2.5*8)+10\n\n/xprecis floatting_precision\nexample:\n"
               "/xprecis 10\nprecision must be beetween 0 and 16\n\n\tAuthor: Quenholt");
}

// --- Stack ------------------------------------------------------------------

constexpr std::size_t kThreadStack = 512 * 1024;
constexpr unsigned char kPaint = 0xCD;

struct DeepRun {
  std::vector<std::string> expressions;
  std::vector<std::string> results;
  std::size_t deepest = 0;  // bytes of stack below the thread's top ever written
};

// Paints the stack below this frame down to the 512 KiB line, runs the
// commands, and finds the lowest byte they changed. Wine reserves at least
// 1 MiB for any thread, so the line is checked here rather than left to a fault.
DWORD WINAPI RunDeepCommands(void* parameter) {
  auto* run = static_cast<DeepRun*>(parameter);
  const NT_TIB* tib;
  __asm__("movl %%fs:0x18, %0" : "=r"(tib));  // the thread's own information block
  auto* top = static_cast<unsigned char*>(tib->StackBase);
  volatile unsigned char* line = top - kThreadStack + 8192;  // above Windows' guard page
  volatile unsigned char marker = 0;
  auto* below_here =
      reinterpret_cast<volatile unsigned char*>(reinterpret_cast<std::uintptr_t>(&marker) - 4096);
  // Downwards, so that each guard page is met in turn.
  for (volatile unsigned char* byte = below_here; byte >= line; --byte) *byte = kPaint;

  const auto parse_command = reinterpret_cast<CalcParseCommandFn>(
      reinterpret_cast<void*>(GetProcAddress(Library(), "ParseCommand")));
  static char result[CALC_RESULT_BUFFER_SIZE];
  for (const std::string& expression : run->expressions) {
    result[0] = '\0';
    parse_command("/xcalc", expression.c_str(), nullptr, result);
    run->results.emplace_back(result);
  }
  volatile unsigned char* lowest = line;
  while (lowest < below_here && *lowest == kPaint) ++lowest;
  run->deepest = static_cast<std::size_t>(top - lowest);
  return 0;
}

TEST(Stack, DeepestExpressionsFitHalfTheDefaultStack) {
  ASSERT_NE(Library(), nullptr);
  DeepRun run;
  std::string chain;
  while (chain.size() + 3 <= 2047) chain += "q=";
  chain += "5";
  std::string minus_paren;
  for (int i = 0; i < 1023; ++i) minus_paren += "(-";
  run.expressions = {std::string(2046, '(') + "1", std::string(2046, '-') + "1", chain,
                     minus_paren + "1"};
  std::string sum = "1";
  while (sum.size() < 2047) sum += "+1";
  run.expressions.push_back(sum);

  HANDLE thread = CreateThread(nullptr, kThreadStack, RunDeepCommands, &run,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  DWORD exit_code = 1;
  GetExitCodeThread(thread, &exit_code);
  CloseHandle(thread);
  ASSERT_EQ(exit_code, 0u);

  const char* values[] = {"1.00", "1.00", "5.00", "-1.00", "1024.00"};
  ASSERT_EQ(run.results.size(), std::size(values));
  for (std::size_t i = 0; i < run.results.size(); ++i) {
    EXPECT_EQ(run.results[i], run.expressions[i] + "=\n" + values[i])
        << run.expressions[i].substr(0, 16) << "...";
  }
  EXPECT_LT(run.deepest, kThreadStack - 8192);
  RecordProperty("deepest_stack_bytes", static_cast<int>(run.deepest));
  std::printf("deepest stack of the thread: %zu bytes\n", run.deepest);
}

// --- Load and unload ----------------------------------------------------------

// The child processes below report through a block shared with the test: a
// 32-bit count, then a text.
constexpr char kCountVariable[] = "CALC_TEST_SHARED_COUNT";
constexpr std::size_t kSharedTextSize = 1024;
struct SharedBlock {
  volatile LONG count;
  char text[kSharedTextSize];
};

// The block shared between the test and its children: made under a name of
// the test's process, which the children find in their inherited environment.
SharedBlock* Shared() {
  char name[64];
  if (GetEnvironmentVariableA(kCountVariable, name, sizeof name) == 0) {
    std::snprintf(name, sizeof name, "calc-test-count-%lu", GetCurrentProcessId());
    SetEnvironmentVariableA(kCountVariable, name);
  }
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(SharedBlock), name);
  if (mapping == nullptr) return nullptr;
  return static_cast<SharedBlock*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
}

// The shared count, or null.
volatile LONG* SharedCount() {
  SharedBlock* block = Shared();
  return block != nullptr ? &block->count : nullptr;
}

// Points `module`'s import of `function` from `library` at `replacement`; false if it imports none.
bool ReplaceImport(HMODULE module, const char* library, const char* function, void* replacement) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), library) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) != 0) continue;
      DWORD protection = 0;
      VirtualProtect(&addresses->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
      addresses->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
      VirtualProtect(&addresses->u1.Function, sizeof(void*), protection, &protection);
      return true;
    }
  }
  return false;
}

volatile LONG* free_calls = nullptr;
long malloc_calls = 0;
long fail_from_call = 0;  // from this call of malloc on, every one fails; 0: none
bool malloc_failed = false;  // a call failed since fail_from_call was set

// The plug-in's `free` while a child counts: the call counted, then freed as it asked.
void CountingFree(void* block) {
  if (free_calls != nullptr) InterlockedIncrement(free_calls);
  std::free(block);
}

// The plug-in's `malloc` in a child: counted, and failing from fail_from_call on.
void* FailingMalloc(std::size_t size) {
  ++malloc_calls;
  if (fail_from_call != 0 && malloc_calls >= fail_from_call) {
    malloc_failed = true;
    return nullptr;
  }
  return std::malloc(size);
}

// Loads the plug-in with its malloc and free replaced; its ParseCommand, or null.
CalcParseCommandFn LoadWithReplacedHeap(HMODULE& module) {
  module = LoadLibraryA(DefaultPluginPath().c_str());
  if (module == nullptr ||
      !ReplaceImport(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(FailingMalloc)) ||
      !ReplaceImport(module, "msvcrt.dll", "free", reinterpret_cast<void*>(CountingFree))) {
    return nullptr;
  }
  return reinterpret_cast<CalcParseCommandFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "ParseCommand")));
}

// Runs "/xcalc `expression`" with every allocation failing from its next one
// on; whether it returned 1 and left the result buffer as it was.
bool FailsQuietly(CalcParseCommandFn parse_command, const std::string& expression) {
  char result[CALC_RESULT_BUFFER_SIZE] = "untouched";
  malloc_calls = 0;
  fail_from_call = 1;
  const std::int32_t returned = parse_command("/xcalc", expression.c_str(), nullptr, result);
  fail_from_call = 0;
  return returned == 1 && std::strcmp(result, "untouched") == 0;
}

constexpr int kVariablesMade = 2000;

// In a child process: loads the plug-in, counts its calls of free, makes
// kVariablesMade variables, then (with kFailedCommandThenExitProcess) runs a
// command that runs out of memory, and ends as `finish` says, with the count
// from then on shared.
enum class Finish { kFreeLibraryThenExit, kExitProcess, kFailedCommandThenExitProcess };
[[noreturn]] void MakeVariablesThen(Finish finish) {
  HMODULE module = nullptr;
  const CalcParseCommandFn parse_command = LoadWithReplacedHeap(module);
  free_calls = SharedCount();
  if (free_calls == nullptr || parse_command == nullptr) ExitProcess(2);
  char result[CALC_RESULT_BUFFER_SIZE];
  for (int i = 0; i < kVariablesMade; ++i) {
    const std::string name = "v" + std::to_string(i) + "=1";
    parse_command("/xcalc", name.c_str(), nullptr, result);
  }
  if (finish == Finish::kFailedCommandThenExitProcess &&
      !FailsQuietly(parse_command, "fresh=(1+2)*v1")) {
    ExitProcess(3);
  }
  *free_calls = 0;
  if (finish == Finish::kFreeLibraryThenExit) FreeLibrary(module);
  ExitProcess(0);
}

TEST(Unload, FreeLibraryFreesTheVariables) {
  volatile LONG* count = SharedCount();
  ASSERT_NE(count, nullptr);
  *count = -1;
  EXPECT_EXIT(MakeVariablesThen(Finish::kFreeLibraryThenExit), ::testing::ExitedWithCode(0), "");
  EXPECT_GE(*count, kVariablesMade);
  std::printf("calls of free from FreeLibrary on: %ld\n", static_cast<long>(*count));
}

// Windows has ended the process's other threads, perhaps holding the heap's
// lock: nothing is freed then, also after a command that ran out of memory.
TEST(Unload, AnEndingProcessFreesNothing) {
  volatile LONG* count = SharedCount();
  ASSERT_NE(count, nullptr);
  for (Finish finish : {Finish::kExitProcess, Finish::kFailedCommandThenExitProcess}) {
    *count = -1;
    EXPECT_EXIT(MakeVariablesThen(finish), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(*count, 0) << static_cast<int>(finish);
    std::printf("calls of free from ExitProcess on: %ld\n", static_cast<long>(*count));
  }
}

// --- Out of memory, in hosts as they are ---------------------------------------

// In a child process: every allocation of a command failing from each of its
// allocations on in turn, as when memory is really exhausted; exits with 0
// when each such command returned 1 with the result buffer as it was and the
// plug-in then still computed, else with the failing allocation's number + 10.
[[noreturn]] void RunOutOfMemoryFromEachPoint() {
  HMODULE module = nullptr;
  const CalcParseCommandFn parse_command = LoadWithReplacedHeap(module);
  if (parse_command == nullptr) ExitProcess(2);
  // New names each time, so that every command allocates as the first did.
  const auto expression = [](long n) {
    const std::string k = std::to_string(n);
    return "a" + k + "=(b" + k + "+2)*c" + k + "-4/d" + k;
  };
  char result[CALC_RESULT_BUFFER_SIZE];
  malloc_calls = 0;
  parse_command("/xcalc", expression(0).c_str(), nullptr, result);
  const long allocations = malloc_calls;
  if (allocations < 4) ExitProcess(3);
  for (long from = 1; from <= allocations; ++from) {
    char untouched[CALC_RESULT_BUFFER_SIZE] = "untouched";
    malloc_calls = 0;
    malloc_failed = false;
    fail_from_call = from;
    const std::int32_t returned = parse_command("/xcalc", expression(from).c_str(), nullptr, untouched);
    fail_from_call = 0;
    // The first command also made the variable index, so a later one may allocate less.
    if (!malloc_failed) continue;
    if (returned != 1 || std::strcmp(untouched, "untouched") != 0) {
      ExitProcess(static_cast<UINT>(10 + from));
    }
  }
  parse_command("/xcalc", "6*7", nullptr, result);
  ExitProcess(std::strcmp(result, "6*7=\n42.00") == 0 ? 0 : 4);
}

TEST(OutOfMemory, FromAnyPointOfACommandOnTheHostGoesOn) {
  EXPECT_EXIT(RunOutOfMemoryFromEachPoint(), ::testing::ExitedWithCode(0), "");
}

// The shared unwinder of MinGW-built programs, which many hosts and their
// other plug-ins load, copied beside the test programs.
constexpr char kMingwUnwinder[] = "libgcc_s_dw2-1.dll";

// In a child process: `before` loaded first when not null, then `cycles`
// times the plug-in loaded, one command run out of memory and the plug-in
// unloaded, then once more; exits with 0 when every such command returned 1
// with the result buffer as it was.
[[noreturn]] void RunOutOfMemoryInCycles(const char* before, int cycles) {
  if (before != nullptr && LoadLibraryA(BesideThePlugin(before).c_str()) == nullptr) {
    ExitProcess(2);
  }
  for (int cycle = 0; cycle <= cycles; ++cycle) {
    HMODULE module = nullptr;
    const CalcParseCommandFn parse_command = LoadWithReplacedHeap(module);
    if (parse_command == nullptr) ExitProcess(3);
    if (!FailsQuietly(parse_command, "x=(1+2)*y")) ExitProcess(4);
    if (cycle < cycles) FreeLibrary(module);
  }
  ExitProcess(0);
}

TEST(OutOfMemory, BesideAMingwNeighbourAndAfterManyLoads) {
  const struct {
    const char* before;
    int cycles;
  } rows[] = {
      {nullptr, 0},
      {kMingwUnwinder, 0},
      {nullptr, 1200},  // more than the 1,088 thread-storage slots of a process
  };
  for (const auto& row : rows) {
    EXPECT_EXIT(RunOutOfMemoryInCycles(row.before, row.cycles), ::testing::ExitedWithCode(0), "")
        << (row.before != nullptr ? row.before : "alone") << ", " << row.cycles << " cycles";
  }
}

// msvcrt's heap: its bytes and blocks in use.
struct HeapInUse {
  std::size_t bytes = 0, blocks = 0;
  bool operator==(const HeapInUse& other) const {
    return bytes == other.bytes && blocks == other.blocks;
  }
};
HeapInUse MsvcrtHeapInUse() {
  HeapInUse in_use;
  _HEAPINFO entry = {};
  while (_heapwalk(&entry) == _HEAPOK) {
    if (entry._useflag != _USEDENTRY) continue;
    in_use.bytes += entry._size;
    ++in_use.blocks;
  }
  return in_use;
}

// In a child process: the plug-in loaded and unloaded `cycles` times;
// exits with 0 when msvcrt's heap then holds what it held before, with the
// figures in the shared text.
[[noreturn]] void LoadAndUnload(int cycles) {
  SharedBlock* block = Shared();
  if (block == nullptr) ExitProcess(2);
  const HeapInUse before = MsvcrtHeapInUse();
  for (int cycle = 0; cycle < cycles; ++cycle) {
    const HMODULE module = LoadLibraryA(DefaultPluginPath().c_str());
    if (module == nullptr) ExitProcess(3);
    FreeLibrary(module);
  }
  const HeapInUse after = MsvcrtHeapInUse();
  std::snprintf(block->text, kSharedTextSize,
                "%zu bytes in %zu blocks before, %zu bytes in %zu blocks after", before.bytes,
                before.blocks, after.bytes, after.blocks);
  ExitProcess(after == before ? 0 : 1);
}

// Loading and unloading takes nothing from the heap that it does not give back.
TEST(OutOfMemory, LoadAndUnloadLeaveTheHeapAsItWas) {
  SharedBlock* block = Shared();
  ASSERT_NE(block, nullptr);
  block->text[0] = '\0';
  EXPECT_EXIT(LoadAndUnload(200), ::testing::ExitedWithCode(0), "") << block->text;
  std::printf("200 loads and unloads: %s\n", block->text);
}

// The plug-in refuses to load on a processor without SSE2 and loads on one
// with it. The dll_without_sse2 test runs this one under qemu's user-mode
// emulator with a Pentium III, whose CPUID reports SSE but not SSE2, and
// sets CALC_EXPECT_NO_SSE2: then a processor that reports SSE2 fails it.
TEST(Load, RefusedExactlyWhenTheProcessorLacksSse2) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid_max(0, nullptr) >= 1) __cpuid(1, eax, ebx, ecx, edx);
  const bool has_sse2 = (edx & (1u << 26)) != 0;
  char expected[4];
  if (GetEnvironmentVariableA("CALC_EXPECT_NO_SSE2", expected, sizeof expected) != 0) {
    ASSERT_FALSE(has_sse2) << "to run on a processor without SSE2, but CPUID reports SSE2";
  }
  SetLastError(0);
  const HMODULE module = LoadLibraryA(DefaultPluginPath().c_str());
  if (has_sse2) {
    EXPECT_NE(module, nullptr);
  } else {
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  }
  std::printf("SSE2: %s; the plug-in %s\n", has_sse2 ? "yes" : "no",
              module != nullptr ? "loaded" : "was refused");
  if (module != nullptr) FreeLibrary(module);
}

// The processor check's refusal on any processor, through a DLL linked as
// the plug-in is, with its entry point and start-up, whose check reports no
// SSE2: LoadLibrary fails with ERROR_DLL_INIT_FAILED. In both rows the check
// runs, and runs before the stack protector's canary is chosen.
TEST(Sse2Seam, RefusedBeforeTheCanaryIsChosen) {
  ASSERT_FALSE(DefaultPluginPath().empty());
  const std::string seam = BesideThePlugin(kSeamFileName);
  const struct {
    bool reports_sse2;
    bool loads;
    DWORD error;
  } rows[] = {
      {false, false, ERROR_DLL_INIT_FAILED},
      {true, true, 0},
  };
  for (const auto& row : rows) {
    SetEnvironmentVariableA(kSeamReportsSse2, row.reports_sse2 ? "1" : nullptr);
    SetEnvironmentVariableA(kSeamCanaryAtCheck, nullptr);
    SetLastError(0);
    const HMODULE module = LoadLibraryA(seam.c_str());
    const DWORD error = GetLastError();
    char canary[16] = {};
    GetEnvironmentVariableA(kSeamCanaryAtCheck, canary, sizeof canary);
    EXPECT_EQ(module != nullptr, row.loads) << "reports SSE2: " << row.reports_sse2;
    if (!row.loads) {
      EXPECT_EQ(error, row.error);
    }
    EXPECT_STREQ(canary, kSeamUnchosen) << "reports SSE2: " << row.reports_sse2;
    if (module != nullptr) FreeLibrary(module);
  }
  SetEnvironmentVariableA(kSeamReportsSse2, nullptr);
}

// --- The DLL's start-up, as a host sees it -------------------------------------

// The bytes of the file at `path`; empty if it cannot be read.
std::vector<unsigned char> FileBytes(const std::string& path) {
  std::vector<unsigned char> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  unsigned char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  std::fclose(file);
  return bytes;
}

// The little-endian value of `size` bytes at `at` in `bytes`, or 0 past their end.
std::uint32_t ReadLe(const unsigned char* bytes, std::size_t length, std::size_t at,
                     std::size_t size) {
  std::uint32_t value = 0;
  for (std::size_t i = size; i-- > 0;) {
    value = (value << 8) | (at + i < length ? bytes[at + i] : 0u);
  }
  return value;
}

// The PE header read from the file at the offsets of the format: the PE
// header's offset at 0x3C, the optional header 24 bytes after the signature;
// in it the subsystem at 68, DllCharacteristics at 70, the data directory at
// 96 with 8 bytes an entry, the thread storage (TLS) directory its tenth.
TEST(StartUp, HeaderAsWindowsReadsIt) {
  const std::vector<unsigned char> file = FileBytes(DefaultPluginPath());
  ASSERT_GT(file.size(), 0x400u);
  const auto read = [&](std::size_t at, std::size_t size) {
    return ReadLe(file.data(), file.size(), at, size);
  };
  const std::size_t pe = read(0x3C, 4);
  ASSERT_EQ(read(pe, 4), 0x00004550u);  // "PE\0\0"
  const std::size_t optional = pe + 24;
  EXPECT_EQ(read(optional, 2), 0x10Bu);                       // PE32
  EXPECT_EQ(read(optional + 68, 2), 2u);                      // the Windows GUI subsystem
  EXPECT_EQ(read(optional + 70, 2) & 0x0400u, 0x0400u);       // NO_SEH
  EXPECT_EQ(read(optional + 96 + 9 * 8, 4), 0u);              // no TLS directory
  EXPECT_EQ(read(optional + 96 + 9 * 8 + 4, 4), 0u);
}

// A scenario that runs in a child process of the test: this program run
// again with its name in kChildScenario, before GoogleTest starts, so that
// the test can end a child that hangs.
constexpr char kChildScenario[] = "CALC_TEST_CHILD_SCENARIO";
// The exit code that RunChild gives a child it had to end.
constexpr DWORD kChildHung = 0xDEAD;
// How long a child may take; a hung one is ended after it.
constexpr DWORD kChildMilliseconds = 60000;

// Runs `scenario` in a child; its exit code, or kChildHung.
DWORD RunChild(const char* scenario) {
  char program[MAX_PATH];
  if (GetModuleFileNameA(nullptr, program, sizeof program) == 0) return 1;
  char command_line[MAX_PATH + 2];
  std::snprintf(command_line, sizeof command_line, "\"%s\"", program);
  SetEnvironmentVariableA(kChildScenario, scenario);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(program, command_line, nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process);
  SetEnvironmentVariableA(kChildScenario, nullptr);
  if (!started) return 1;
  DWORD code = kChildHung;
  if (WaitForSingleObject(process.hProcess, kChildMilliseconds) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, kChildHung);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

// msvcrt's named locks, 0 to 15 of its _lock table (the exit lock that the
// C runtime's DLL start-up takes is 8; the stream locks from 16 on guard one
// FILE each), and msvcrt's own heap, as another thread of a host holds them.
constexpr int kMsvcrtNamedLocks = 16;
HANDLE locks_held = nullptr;
HANDLE release_locks = nullptr;
DWORD WINAPI HoldMsvcrtLocks(void*) {
  const HMODULE msvcrt = GetModuleHandleA("msvcrt.dll");
  using LockFn = void(__cdecl*)(int);
  using HeapFn = std::intptr_t(__cdecl*)();
  const auto lock = reinterpret_cast<LockFn>(reinterpret_cast<void*>(GetProcAddress(msvcrt, "_lock")));
  const auto unlock = reinterpret_cast<LockFn>(reinterpret_cast<void*>(GetProcAddress(msvcrt, "_unlock")));
  const auto heap_handle =
      reinterpret_cast<HeapFn>(reinterpret_cast<void*>(GetProcAddress(msvcrt, "_get_heap_handle")));
  if (lock == nullptr || unlock == nullptr || heap_handle == nullptr) ExitProcess(2);
  const auto heap = reinterpret_cast<HANDLE>(heap_handle());
  for (int number = 0; number < kMsvcrtNamedLocks; ++number) lock(number);
  HeapLock(heap);
  SetEvent(locks_held);
  WaitForSingleObject(release_locks, INFINITE);
  HeapUnlock(heap);
  for (int number = kMsvcrtNamedLocks; number-- > 0;) unlock(number);
  return 0;
}

// Starts a thread that holds msvcrt's locks and heap; returns once they are held.
HANDLE StartHoldingMsvcrtLocks() {
  locks_held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  release_locks = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const HANDLE holder = CreateThread(nullptr, 0, HoldMsvcrtLocks, nullptr, 0, nullptr);
  if (holder == nullptr || WaitForSingleObject(locks_held, kChildMilliseconds) != WAIT_OBJECT_0) {
    ExitProcess(2);
  }
  return holder;
}

// The first addresses at which code of the plug-in ran while its code was
// guarded, and how many there were; each page of code reports the first
// instruction run on it, after which it is no longer guarded.
constexpr std::size_t kGuardHitsKept = 8;
struct GuardHits {
  volatile LONG count;
  std::uintptr_t at[kGuardHitsKept];
  std::uintptr_t entry_point;
};
static_assert(sizeof(GuardHits) <= kSharedTextSize, "the shared block holds the record");
std::uintptr_t code_start = 0, code_end = 0;  // the loaded plug-in's image
GuardHits* guard_hits = nullptr;

// Records a guarded page's first instruction. A processor raises a guard
// page violation and lifts the guard itself; qemu's user-mode emulator, which
// runs Wine on some machines, reports an illegal instruction at a guarded
// page instead, and the guard is lifted here.
LONG WINAPI RecordGuardHit(EXCEPTION_POINTERS* exception) {
  const auto at = reinterpret_cast<std::uintptr_t>(exception->ExceptionRecord->ExceptionAddress);
  if (at < code_start || at >= code_end) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  if (code == STATUS_ILLEGAL_INSTRUCTION) {
    MEMORY_BASIC_INFORMATION page = {};
    void* address = exception->ExceptionRecord->ExceptionAddress;
    DWORD old = 0;
    if (VirtualQuery(address, &page, sizeof page) == 0 || (page.Protect & PAGE_GUARD) == 0 ||
        !VirtualProtect(address, 1, page.Protect & ~static_cast<DWORD>(PAGE_GUARD), &old)) {
      return EXCEPTION_CONTINUE_SEARCH;
    }
  } else if (code != STATUS_GUARD_PAGE_VIOLATION) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const LONG hit = InterlockedIncrement(&guard_hits->count) - 1;
  if (hit < static_cast<LONG>(kGuardHitsKept)) guard_hits->at[hit] = at;
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Guards every executable section of the loaded `module`, read from its
// headers at the format's offsets (the section table after the optional
// header, 40 bytes a section: size at 8, address at 12, characteristics at
// 36), so that the next instruction run on each page is recorded.
void GuardCode(HMODULE module) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const std::size_t length = 0x1000;  // the headers' page
  const std::size_t pe = ReadLe(base, length, 0x3C, 4);
  const std::size_t sections = ReadLe(base, length, pe + 6, 2);
  const std::size_t table = pe + 24 + ReadLe(base, length, pe + 20, 2);
  constexpr std::uint32_t kExecutable = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE
  code_start = reinterpret_cast<std::uintptr_t>(base);
  code_end = code_start + ReadLe(base, length, pe + 24 + 56, 4);  // SizeOfImage
  bool guarded = false;
  for (std::size_t i = 0; i < sections; ++i) {
    const std::size_t section = table + i * 40;
    if ((ReadLe(base, length, section + 36, 4) & kExecutable) == 0) continue;
    auto* start = const_cast<unsigned char*>(base) + ReadLe(base, length, section + 12, 4);
    const std::size_t size = ReadLe(base, length, section + 8, 4);
    DWORD old = 0;
    if (!VirtualProtect(start, size, PAGE_EXECUTE_READ | PAGE_GUARD, &old)) ExitProcess(3);
    guarded = true;
  }
  if (!guarded) ExitProcess(3);
}

DWORD WINAPI DoNothing(void*) { return 0; }

// Child scenarios. "load while locked": LoadLibrary while another thread
// holds msvcrt's locks and heap, the loading thread calling nothing of
// msvcrt meanwhile; 0 when it loaded. "thread": a thread started and ended
// after the load while the plug-in's code is guarded, then (the control) one
// call of ParseTag; 0 when the thread ran nothing of the plug-in and the call
// did, 5 when the thread ran some, 6 when the call was not seen. "exit":
// ExitProcess while another thread holds msvcrt's locks and heap and the
// plug-in's code is guarded, with variables made; what ran is left in the
// shared block.
[[noreturn]] void RunChildScenario(const std::string& scenario) {
  SharedBlock* block = Shared();
  if (block == nullptr) ExitProcess(2);
  guard_hits = reinterpret_cast<GuardHits*>(block->text);
  const std::string plugin = DefaultPluginPath();
  if (scenario == "load while locked") {
    const HANDLE holder = StartHoldingMsvcrtLocks();
    const HMODULE module = LoadLibraryA(plugin.c_str());
    SetEvent(release_locks);
    WaitForSingleObject(holder, INFINITE);
    ExitProcess(module != nullptr ? 0 : 4);
  }
  const HMODULE module = LoadLibraryA(plugin.c_str());
  if (module == nullptr) ExitProcess(4);
  AddVectoredExceptionHandler(1, RecordGuardHit);
  if (scenario == "thread") {
    guard_hits->count = 0;
    GuardCode(module);
    const HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    const LONG by_thread = guard_hits->count;
    guard_hits->count = 0;
    GuardCode(module);
    const auto parse_tag =
        reinterpret_cast<CalcParseTagFn>(reinterpret_cast<void*>(GetProcAddress(module, "ParseTag")));
    parse_tag(nullptr, nullptr, nullptr);
    ExitProcess(by_thread != 0 ? 5 : guard_hits->count == 0 ? 6 : 0);
  }
  if (scenario == "exit") {
    const auto parse_command = reinterpret_cast<CalcParseCommandFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "ParseCommand")));
    char result[CALC_RESULT_BUFFER_SIZE];
    parse_command("/xcalc", "a=(1+2)*4", nullptr, result);
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const std::size_t pe = ReadLe(base, 0x1000, 0x3C, 4);
    guard_hits->entry_point =
        reinterpret_cast<std::uintptr_t>(base) + ReadLe(base, 0x1000, pe + 24 + 16, 4);
    StartHoldingMsvcrtLocks();
    guard_hits->count = 0;
    GuardCode(module);
    ExitProcess(0);
  }
  ExitProcess(1);
}

// Runs the scenario this process was started for, if any.
const bool child_scenario_ran = [] {
  char scenario[64];
  if (GetEnvironmentVariableA(kChildScenario, scenario, sizeof scenario) != 0) {
    RunChildScenario(scenario);
  }
  return false;
}();

// LoadLibrary runs the plug-in's load notification, which takes no lock but
// the loader's, so it completes while another thread of the host holds
// msvcrt's locks (0 to 15) and its heap's.
TEST(StartUp, LoadsWhileAnotherThreadHoldsMsvcrtLocks) {
  ASSERT_NE(Shared(), nullptr);
  EXPECT_EQ(RunChild("load while locked"), 0u) << "0xDEAD: LoadLibrary waited for a lock";
}

// A thread started and ended after the load runs no code of the plug-in
// (no thread notification, no thread-local storage callback); a call of an
// entry point, guarded the same way, is seen.
TEST(StartUp, ThreadStartAndEndRunNothingOfThePlugin) {
  ASSERT_NE(Shared(), nullptr);
  EXPECT_EQ(RunChild("thread"), 0u) << "5: the thread ran code of the plug-in; 6: no call seen";
}

// ExitProcess, with another thread ended while it held msvcrt's locks and
// heap, ends at once, and the first and only code of the plug-in it runs is
// its entry point (which returns at once).
TEST(StartUp, ExitProcessCallsOnlyTheEntryPoint) {
  SharedBlock* block = Shared();
  ASSERT_NE(block, nullptr);
  auto* hits = reinterpret_cast<GuardHits*>(block->text);
  *hits = GuardHits{};
  ASSERT_EQ(RunChild("exit"), 0u) << "0xDEAD: ExitProcess waited for a lock";
  ASSERT_NE(hits->entry_point, 0u);
  EXPECT_EQ(hits->count, 1) << "pages of the plug-in's code run at exit";
  EXPECT_EQ(hits->at[0], hits->entry_point) << "the first code of the plug-in run at exit";
}

// --- The DLL's own runtime, as a host sees it --------------------------------

// The address in the loaded `module` of `name`, a symbol in the COFF symbol
// table of the debug file beside the DLL (calcplugin.dll.debug), as a
// debugger finds it: the section's address plus the symbol's value. Null if
// the file or the symbol is missing.
void* DebugSymbol(HMODULE module, const char* name) {
  const std::vector<unsigned char> bytes = FileBytes(DefaultPluginPath() + ".debug");
  if (bytes.empty()) return nullptr;
  const auto read32 = [&](std::size_t at) { return ReadLe(bytes.data(), bytes.size(), at, 4); };
  const auto read16 = [&](std::size_t at) { return ReadLe(bytes.data(), bytes.size(), at, 2); };
  // The PE signature, the file header (20 bytes), then the optional header.
  const std::size_t pe = read32(0x3C);
  if (read32(pe) != 0x00004550) return nullptr;
  const std::size_t sections_count = read16(pe + 6);
  const std::size_t symbols = read32(pe + 12), symbols_count = read32(pe + 16);
  const std::size_t sections = pe + 24 + read16(pe + 20);
  const std::size_t strings = symbols + symbols_count * 18;  // 18 bytes a symbol
  for (std::size_t i = 0; i < symbols_count; ++i) {
    const std::size_t symbol = symbols + i * 18;
    if (symbol + 18 > bytes.size()) break;
    std::string symbol_name;
    if (read32(symbol) == 0) {  // a long name, in the string table
      for (std::size_t at = strings + read32(symbol + 4); at < bytes.size() && bytes[at]; ++at) {
        symbol_name += static_cast<char>(bytes[at]);
      }
    } else {
      symbol_name.assign(reinterpret_cast<const char*>(&bytes[symbol]), 8);
      symbol_name.resize(std::strlen(symbol_name.c_str()));
    }
    const std::size_t section = read16(symbol + 12);  // numbered from 1
    if (symbol_name == name && section >= 1 && section <= sections_count) {
      const std::uint32_t address = read32(sections + (section - 1) * 40 + 12) + read32(symbol + 8);
      return reinterpret_cast<unsigned char*>(module) + address;
    }
    i += bytes[symbol + 17];  // its auxiliary records
  }
  return nullptr;
}

// The names of the libraries loaded while a child watched, each followed by a space.
void NTAPI RecordLoadedLibrary(ULONG reason, const void* data, void*) {
  constexpr ULONG kLoaded = 1;  // LDR_DLL_NOTIFICATION_REASON_LOADED
  // LDR_DLL_NOTIFICATION_DATA: flags, the full name, the base name (UNICODE_STRINGs), ...
  struct Names {
    ULONG flags;
    const UNICODE_STRING* full_name;
    const UNICODE_STRING* base_name;
  };
  SharedBlock* block = Shared();
  if (reason != kLoaded || block == nullptr) return;
  const UNICODE_STRING* base = static_cast<const Names*>(data)->base_name;
  std::size_t at = std::strlen(block->text);
  for (USHORT i = 0; i < base->Length / 2 && at + 2 < kSharedTextSize; ++i) {
    block->text[at++] = static_cast<char>(base->Buffer[i] < 128 ? base->Buffer[i] : '?');
  }
  block->text[at++] = ' ';
  block->text[at] = '\0';
}

// In a child process: loads the plug-in's imports as the host's own, then
// the plug-in, with every library loaded meanwhile recorded in the shared text.
[[noreturn]] void LoadThePluginWatched() {
  for (const char* import : {"kernel32.dll", "user32.dll", "msvcrt.dll"}) {
    if (LoadLibraryA(import) == nullptr) ExitProcess(2);
  }
  using Callback = void(NTAPI*)(ULONG, const void*, void*);
  using Register = LONG(NTAPI*)(ULONG, Callback, void*, void**);
  const auto register_notification = reinterpret_cast<Register>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrRegisterDllNotification")));
  void* cookie = nullptr;
  if (register_notification == nullptr ||
      register_notification(0, RecordLoadedLibrary, nullptr, &cookie) != 0) {
    ExitProcess(3);
  }
  ExitProcess(LoadLibraryA(DefaultPluginPath().c_str()) != nullptr ? 0 : 4);
}

// Loading the plug-in loads no library besides itself under the loader lock.
TEST(Runtime, LoadingLoadsNoOtherLibrary) {
  SharedBlock* block = Shared();
  ASSERT_NE(block, nullptr);
  block->text[0] = '\0';
  EXPECT_EXIT(LoadThePluginWatched(), ::testing::ExitedWithCode(0), "");
  EXPECT_STRCASEEQ(block->text, "calcplugin.dll ");
}

// In a child process: loads the plug-in and shares its stack canary.
[[noreturn]] void ShareTheCanary() {
  volatile LONG* shared = SharedCount();
  const HMODULE module = LoadLibraryA(DefaultPluginPath().c_str());
  const auto* canary = static_cast<const std::uint32_t*>(DebugSymbol(module, "___stack_chk_guard"));
  if (shared == nullptr || module == nullptr || canary == nullptr) ExitProcess(2);
  *shared = static_cast<LONG>(*canary);
  ExitProcess(0);
}

TEST(Runtime, EachProcessChoosesItsOwnCanary) {
  volatile LONG* shared = SharedCount();
  ASSERT_NE(shared, nullptr);
  std::uint32_t canaries[2] = {};
  for (std::uint32_t& canary : canaries) {
    *shared = 0;
    EXPECT_EXIT(ShareTheCanary(), ::testing::ExitedWithCode(0), "");
    canary = static_cast<std::uint32_t>(*shared);
    EXPECT_NE(canary, 0u);
  }
  EXPECT_NE(canaries[0], canaries[1]);
}

// The plug-in's own atexit, found through the debug file, as the C library
// code linked into it calls it: it refuses (answers nonzero) and registers
// nothing, so nothing of the plug-in runs at unload or at exit. In a child:
// 0 when it refused, 5 when it answered success.
void CountAtExit() { InterlockedIncrement(SharedCount()); }
[[noreturn]] void RegisterWithThePluginsAtexit() {
  const HMODULE module = LoadLibraryA(DefaultPluginPath().c_str());
  const auto plugin_atexit = reinterpret_cast<int (*)(void (*)())>(DebugSymbol(module, "_atexit"));
  if (module == nullptr || plugin_atexit == nullptr) ExitProcess(2);
  const int refused = plugin_atexit(CountAtExit) != 0;
  FreeLibrary(module);
  ExitProcess(refused ? 0 : 5);
}

TEST(Runtime, AtexitRegistersNothing) {
  volatile LONG* count = SharedCount();
  ASSERT_NE(count, nullptr);
  *count = 0;
  EXPECT_EXIT(RegisterWithThePluginsAtexit(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(*count, 0) << "a function given to the plug-in's atexit ran";
}

// A host's vectored exception handler and unhandled-exception filter: each
// counts in the shared block, and the filter ends the process with 3.
LONG WINAPI CountingHandler(EXCEPTION_POINTERS*) {
  InterlockedIncrement(SharedCount());
  return EXCEPTION_CONTINUE_SEARCH;
}
LONG WINAPI CountingFilter(EXCEPTION_POINTERS*) {
  InterlockedIncrement(SharedCount());
  ExitProcess(3);
}

// In a child process with the handlers above: the plug-in's function
// `routine` of the debug file, called with `argument`, as a detected overrun calls it.
// With `hook_terminate`, the plug-in's TerminateProcess is a host's hook that
// exits with 4; with `without_fast_fail`, the system it sees has no fast fail.
BOOL WINAPI HookedTerminateProcess(HANDLE, UINT) { ExitProcess(4); }
BOOL WINAPI NoFeature(DWORD) { return FALSE; }
[[noreturn]] void OverrunInAHost(const char* routine, int argument, bool hook_terminate,
                                 bool without_fast_fail = false) {
  AddVectoredExceptionHandler(1, CountingHandler);
  SetUnhandledExceptionFilter(CountingFilter);
  const HMODULE module = LoadLibraryA(DefaultPluginPath().c_str());
  const auto stop = reinterpret_cast<void (*)(int)>(DebugSymbol(module, routine));
  if (module == nullptr || stop == nullptr) ExitProcess(2);
  if (hook_terminate && !ReplaceImport(module, "KERNEL32.dll", "TerminateProcess",
                                       reinterpret_cast<void*>(HookedTerminateProcess))) {
    ExitProcess(5);
  }
  if (without_fast_fail && !ReplaceImport(module, "KERNEL32.dll", "IsProcessorFeaturePresent",
                                          reinterpret_cast<void*>(NoFeature))) {
    ExitProcess(6);
  }
  stop(argument);
  ExitProcess(1);
}

// A detected overrun ends the process with STATUS_STACK_BUFFER_OVERRUN and
// runs no handler of the host's: `routine` called with `argument` in a child,
// its TerminateProcess hooked if `hook_terminate`.
void ExpectStopPastTheHostsHandlers(const char* routine, int argument, bool hook_terminate) {
  constexpr int kStackBufferOverrun = static_cast<int>(0xC0000409u);
  volatile LONG* count = SharedCount();
  ASSERT_NE(count, nullptr);
  *count = 0;
  EXPECT_EXIT(OverrunInAHost(routine, argument, hook_terminate),
              ::testing::ExitedWithCode(kStackBufferOverrun), "")
      << routine << "(" << argument << ")";
  EXPECT_EQ(*count, 0) << routine << "(" << argument << ")";
}

// Without fast fail, as before Windows 8: TerminateProcess, which
// __stack_chk_fail takes on a system that reports no fast fail.
TEST(Runtime, AnOverrunEndsTheProcessWithoutTheHostsHandlers) {
  ExpectStopPastTheHostsHandlers("_StopAfterOverrun", 0, false);
  EXPECT_EXIT(OverrunInAHost("___stack_chk_fail", 0, true, true), ::testing::ExitedWithCode(4), "")
      << "__stack_chk_fail on a system without fast fail: the hooked TerminateProcess";
}

// Whether CPUID's brand string names qemu, whose user-mode emulator runs
// this program on some machines.
bool UnderQemu() {
  unsigned brand[12] = {};
  if (__get_cpuid_max(0x80000000u, nullptr) < 0x80000004u) return false;
  for (unsigned leaf = 0; leaf < 3; ++leaf) {
    __cpuid(0x80000002u + leaf, brand[4 * leaf], brand[4 * leaf + 1], brand[4 * leaf + 2],
            brand[4 * leaf + 3]);
  }
  char text[sizeof brand + 1] = {};
  std::memcpy(text, brand, sizeof brand);
  return std::strstr(text, "QEMU") != nullptr;
}

// By fast fail, as the system does it where it has it (Windows 8 on, and
// Wine), and as __stack_chk_fail chooses there: a host's hook of
// TerminateProcess is not reached.
TEST(FastFail, AnOverrunEndsTheProcessWithoutTheHostsHandlers) {
  if (UnderQemu()) {
    GTEST_SKIP() << "skipped: qemu's user-mode emulator does not deliver the fast-fail "
                    "interrupt (int 0x29) as a processor does, so Wine sees an access violation";
  }
  ExpectStopPastTheHostsHandlers("___stack_chk_fail", 0, true);
  ExpectStopPastTheHostsHandlers("_StopAfterOverrun", 1, true);
}

// --- Version resource -------------------------------------------------------

// A value of the DLL's version resource, read as Windows' file properties read
// it: in the first language the resource declares. Empty if there is none.
std::string VersionValue(const std::vector<char>& info, const char* name) {
  struct Translation {
    WORD language;
    WORD code_page;
  };
  void* pointer = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &pointer, &length) ||
      length < sizeof(Translation)) {
    return {};
  }
  const auto* translation = static_cast<const Translation*>(pointer);
  char path[128];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                translation->code_page, name);
  if (!VerQueryValueA(info.data(), path, &pointer, &length) || length == 0) return {};
  return static_cast<const char*>(pointer);
}

// "major.minor.patch" of a fixed version's two words; the build number must be 0.
std::string VersionText(DWORD most, DWORD least) {
  if (LOWORD(least) != 0) return "build number " + std::to_string(LOWORD(least));
  return std::to_string(HIWORD(most)) + "." + std::to_string(LOWORD(most)) + "." +
         std::to_string(HIWORD(least));
}

TEST(Version, ResourceNamesTheProductAndItsVersion) {
  ASSERT_NE(Library(), nullptr);
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(Library(), path, MAX_PATH), 0u);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_GT(size, 0u) << "no version resource in " << path;
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));

  void* pointer = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &pointer, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(pointer);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  const struct {
    const char* name;
    std::string value;
  } rows[] = {
      {"FileVersion", "1.0.0"},
      {"ProductVersion", "1.0.0"},
      {"ProductName", "Calculator Plugin"},
      {"FileDescription", "Calculator plug-in for chat hosts"},
      {"OriginalFilename", "calcplugin.dll"},
      {"LegalCopyright", "Copyright (c) 2026 The Calculator Plugin developers"},
  };
  for (const auto& row : rows) EXPECT_EQ(VersionValue(info, row.name), row.value) << row.name;
  EXPECT_EQ(VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS), "1.0.0");
  EXPECT_EQ(VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS), "1.0.0");
}

}  // namespace
