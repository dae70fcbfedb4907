// atexit, replaced in the DLL, which has no C runtime start-up of its own to
// run registered functions at unload. Without this one, the call would reach
// msvcrt's process-wide atexit, which runs its functions when the process
// ends, after the DLL may have been unloaded. Only the C library's number
// formatting calls it (gdtoa's lock clean-up, for long doubles the plug-in
// never formats); the build fails if anything else does
// (cmake/check-dll-start-up.cmake).
#include <cstdlib>

// Registers nothing and reports failure (nonzero), as atexit does when its table is full.
extern "C" int atexit(void (*)(void)) { return -1; }
