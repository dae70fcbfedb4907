// The DLL's entry point, which Windows calls before anything else of the DLL
// at load and after everything at unload. The linker is told its name
// (guest/CMakeLists.txt). It is the DLL's whole start-up: the C runtime's
// DLL start-up is not linked in, since it takes the runtime's locks and heap
// under the loader lock and adds thread-local storage callbacks that run on
// every thread of the host. The DLL has no static constructors, destructors,
// thread-local variables or pseudo-relocations for it to run; the build fails
// if it gains any (cmake/check-dll-start-up.cmake).
//
// Compiled without SSE and SSE2 on 32-bit x86: it runs before the processor
// is known to have them.
#include <windows.h>

#include "expr/expr.h"
#include "guest/library.h"
#include "guest/stack_canary.h"

namespace {

// Whether the load went through, so the unload has variables to release.
bool started = false;

}  // namespace

// At load, refuses a processor without SSE2 before any other code runs, so
// the host sees a plug-in that did not load instead of crashing in the middle
// of a chat; then chooses the stack protector's canary, before any protected
// function runs; then asks for no thread notifications, refusing the load if
// Windows will not stop them (it refuses only a DLL with thread-local
// storage). At unload by FreeLibrary, frees the variables. When the process
// is ending (`reserved` is not null), runs nothing at all: Windows has
// already ended the other threads, perhaps holding the heap's lock, and
// takes the memory back. Takes no lock but the loader's, which Windows holds.
extern "C" CALC_BEFORE_RUNTIME BOOL WINAPI CalcLibraryEntry(HANDLE module, DWORD reason,
                                                            LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (!ProcessorHasSse2()) return FALSE;
    ChooseStackCanary();
    if (!DisableThreadLibraryCalls(static_cast<HMODULE>(module))) return FALSE;
    started = true;
  } else if (reason == DLL_PROCESS_DETACH && started && reserved == nullptr) {
    ClearVariables();
  }
  return TRUE;
}
