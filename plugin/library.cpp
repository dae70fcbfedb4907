// The processor check and the library's load and unload notification.
//
// On 32-bit x86 this file is compiled without SSE and SSE2, since it runs
// before the processor is known to have them, and before the C runtime starts.
#include "plugin/library.h"

#include "expr/expr.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

// What runs at load before the C runtime has set the stack protector's canary
// must not check one.
#if defined(__has_attribute)
#if __has_attribute(no_stack_protector)
#define CALC_BEFORE_RUNTIME __attribute__((no_stack_protector))
#endif
#endif
#if !defined(CALC_BEFORE_RUNTIME)
#define CALC_BEFORE_RUNTIME
#endif

namespace {

// CPUID leaf 1 reports SSE2 in this bit of EDX.
constexpr std::uint32_t kSse2Bit = 1u << 26;
// The standard leaf that holds the feature bits.
constexpr std::uint32_t kFeatureLeaf = 1;

}  // namespace

CALC_BEFORE_RUNTIME bool ReportsSse2(std::uint32_t max_leaf, std::uint32_t leaf1_edx) {
  return max_leaf >= kFeatureLeaf && (leaf1_edx & kSse2Bit) != 0;
}

CALC_BEFORE_RUNTIME bool ProcessorHasSse2() {
#if defined(__i386__) || defined(__x86_64__)
  // __get_cpuid_max answers 0 on a processor without CPUID.
  const unsigned max_leaf = __get_cpuid_max(0, nullptr);
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (max_leaf >= kFeatureLeaf) __cpuid(kFeatureLeaf, eax, ebx, ecx, edx);
  return ReportsSse2(max_leaf, edx);
#else
  return true;  // the arithmetic needs no SSE2 elsewhere
#endif
}

#if defined(_WIN32)

#include <windows.h>

// The C runtime's own entry point: runs the static constructors at load and
// the destructors and exit functions at unload.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);

namespace {

// Whether the load went through to the C runtime, so the unload must too.
bool started = false;

}  // namespace

// The DLL's entry point, run by Windows before anything else of the DLL. At
// load it refuses a processor without SSE2 before any other code runs, static
// constructors included, so the host sees a plug-in that did not load instead
// of crashing in the middle of a chat. At unload by FreeLibrary it frees the
// variables and lets the C runtime finish. When the process is ending
// (`reserved` is not null) it runs nothing at all: Windows has already ended
// the other threads, perhaps holding the heap's lock, and takes back the
// memory itself.
extern "C" CALC_BEFORE_RUNTIME BOOL WINAPI CalcLibraryEntry(HANDLE module, DWORD reason,
                                                            LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (!ProcessorHasSse2()) return FALSE;
    started = true;
  } else if (reason == DLL_PROCESS_DETACH) {
    if (!started || reserved != nullptr) return TRUE;
    ClearVariables();
  }
  return DllMainCRTStartup(module, reason, reserved);
}

#else

namespace {

// Elsewhere the variables are freed when the library is unloaded (dlclose)
// or the process exits, whose other threads still run meanwhile.
struct ReleaseAtUnload {
  ~ReleaseAtUnload() { ClearVariables(); }
} release_at_unload;

}  // namespace

#endif
