// The stack protector's runtime, in place of GCC's libssp, whose canary is
// chosen by a static constructor that loads the system's crypto provider
// under the loader lock, and whose failure routine raises an exception that
// the host's handlers see.
//
// Compiled without SSE on 32-bit x86: the canary is chosen in the DLL's entry
// point, where the processor is not yet known to have SSE2.
#include "guest/stack_canary.h"

#if defined(_WIN32)
#include <windows.h>

#include <iterator>
#endif

namespace {

// FNV-1a's offset basis and prime, mixing a word at a time.
constexpr std::uint32_t kMixBasis = 2166136261u;
constexpr std::uint32_t kMixPrime = 16777619u;

}  // namespace

CALC_BEFORE_RUNTIME std::uint32_t MixCanary(const std::uint32_t* sources, std::size_t count) {
  std::uint32_t canary = kMixBasis;
  for (std::size_t i = 0; i < count; ++i) canary = (canary ^ sources[i]) * kMixPrime;
  if (canary == 0 || canary == kUnchosenCanary) canary = ~canary;
  return canary;
}

#if defined(_WIN32)

namespace {

// What fast fail and the system report, by the numbers of Windows' headers
// (mingw-w64 10 lacks some of them).
constexpr DWORD kFastFailAvailable = 23;               // PF_FASTFAIL_AVAILABLE
constexpr DWORD kFastFailStackCookieCheck = 2;         // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
constexpr UINT kStackBufferOverrun = 0xC0000409;       // STATUS_STACK_BUFFER_OVERRUN

}  // namespace

// The canary that protected functions compare on return, and their way out
// when it changed; GCC's code refers to both by these names.
extern "C" {
std::uintptr_t __stack_chk_guard = kUnchosenCanary;
[[noreturn]] void __stack_chk_fail();
}

CALC_BEFORE_RUNTIME void ChooseStackCanary() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  const std::uint32_t sources[] = {
      now.dwLowDateTime,  now.dwHighDateTime, GetCurrentProcessId(),
      GetCurrentThreadId(), GetTickCount(),   counter.LowPart,
      static_cast<std::uint32_t>(counter.HighPart),
  };
  __stack_chk_guard = MixCanary(sources, std::size(sources));
}

extern "C" void StopAfterOverrun(int fast_fail) {
  if (fast_fail != 0) {
    // __fastfail: the system ends the process without an exception.
    __asm__ volatile("int $0x29" : : "c"(kFastFailStackCookieCheck) : "memory");
  }
  TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
  for (;;) Sleep(INFINITE);  // TerminateProcess of the own process does not return
}

extern "C" void __stack_chk_fail() {
  StopAfterOverrun(IsProcessorFeaturePresent(kFastFailAvailable) ? 1 : 0);
}

#endif
