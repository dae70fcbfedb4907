// The processor check of the test DLL sse2_refusal_seam.dll, which Windows
// enters through the plug-in's own entry point (plugin/dll_entry.cpp): it
// reports no SSE2 unless the process's environment says to report it. Its one
// static constructor leaves a mark in that environment, so a test sees
// whether the C runtime's start-up ran.
//
// Compiled without SSE, as the real check is: it runs before the processor is
// known to have it.
#include <windows.h>

#include "plugin/library.h"
#include "tests/sse2_refusal_seam.h"

CALC_BEFORE_RUNTIME bool ProcessorHasSse2() {
  char value[4];
  return GetEnvironmentVariableA(kSeamReportsSse2, value, sizeof value) != 0;
}

namespace {

struct MarkConstruction {
  MarkConstruction() { SetEnvironmentVariableA(kSeamConstructed, "1"); }
} mark_construction;

}  // namespace
