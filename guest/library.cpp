// The processor check, and the variables released when the library unloads.
//
// On 32-bit x86 this file is compiled without SSE and SSE2, since the check
// runs before the processor is known to have them, and before the C runtime
// starts. On Windows the DLL's entry point (dll_entry.cpp) releases the
// variables instead.
#include "guest/library.h"

#if !defined(_WIN32)
#include "expr/expr.h"
#endif

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

// CPUID leaf 1 reports SSE2 in this bit of EDX.
constexpr std::uint32_t kSse2Bit = 1u << 26;
// The standard leaf that holds the feature bits.
constexpr std::uint32_t kFeatureLeaf = 1;

}  // namespace

CALC_BEFORE_RUNTIME bool ReportsSse2(std::uint32_t leaf1_edx) {
  return (leaf1_edx & kSse2Bit) != 0;
}

CALC_BEFORE_RUNTIME bool ProcessorHasSse2() {
#if defined(__i386__) || defined(__x86_64__)
  // __get_cpuid answers 0 on a processor without CPUID or without the leaf.
  unsigned eax, ebx, ecx, edx;
  return __get_cpuid(kFeatureLeaf, &eax, &ebx, &ecx, &edx) != 0 && ReportsSse2(edx);
#else
  return true;  // the arithmetic needs no SSE2 elsewhere
#endif
}

#if !defined(_WIN32)

namespace {

// Elsewhere the variables are freed when the library is unloaded (dlclose)
// or the process exits, whose other threads still run meanwhile.
struct ReleaseAtUnload {
  ~ReleaseAtUnload() { ClearVariables(); }
} release_at_unload;

}  // namespace

#endif
