// The DLL's entry point, which Windows calls before anything else of the DLL
// at load and after everything at unload. The linker is told its name
// (plugin/CMakeLists.txt); it hands on to the C runtime's own entry point.
//
// Compiled without SSE and SSE2 on 32-bit x86: it runs before the processor
// is known to have them.
#include <windows.h>

#include "expr/expr.h"
#include "plugin/library.h"
#include "plugin/stack_canary.h"

// The C runtime's entry point: runs the static constructors at load and the
// destructors and exit functions at unload.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);

namespace {

// Whether the load went through to the C runtime, so the unload must too.
bool started = false;

}  // namespace

// At load, refuses a processor without SSE2 before any other code runs,
// static constructors included, so the host sees a plug-in that did not load
// instead of crashing in the middle of a chat; then chooses the stack
// protector's canary, before any protected function runs. At unload by
// FreeLibrary, frees the variables and lets the C runtime finish. When the
// process is ending (`reserved` is not null), runs nothing at all: Windows has
// already ended the other threads, perhaps holding the heap's lock, and takes
// the memory back.
extern "C" CALC_BEFORE_RUNTIME BOOL WINAPI CalcLibraryEntry(HANDLE module, DWORD reason,
                                                            LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (!ProcessorHasSse2()) return FALSE;
    ChooseStackCanary();
    started = true;
  } else if (reason == DLL_PROCESS_DETACH) {
    if (!started || reserved != nullptr) return TRUE;
    ClearVariables();
  }
  return DllMainCRTStartup(module, reason, reserved);
}
