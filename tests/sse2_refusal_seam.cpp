// The processor check of the test DLL sse2_refusal_seam.dll, which is linked
// as the plug-in is, with the plug-in's own entry point and start-up
// (guest/dll_entry.cpp): it reports no SSE2 unless the process's environment
// says to report it, and leaves in that environment whether the stack
// protector's canary had been chosen when it ran.
//
// Compiled without SSE, as the real check is: it runs before the processor is
// known to have it.
#include <windows.h>

#include <cstdint>

#include "guest/library.h"
#include "guest/stack_canary.h"
#include "tests/sse2_refusal_seam.h"

extern "C" std::uintptr_t __stack_chk_guard;

CALC_BEFORE_RUNTIME bool ProcessorHasSse2() {
  SetEnvironmentVariableA(kSeamCanaryAtCheck,
                          __stack_chk_guard == kUnchosenCanary ? kSeamUnchosen : kSeamChosen);
  char value[4];
  return GetEnvironmentVariableA(kSeamReportsSse2, value, sizeof value) != 0;
}
