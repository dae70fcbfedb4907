// The C++ runtime's personality routine, replaced in the DLL, which links the
// runtime statically. The plug-in's own code throws nothing and is compiled
// without exceptions, but the runtime's number conversions (std::to_chars,
// std::from_chars) were compiled with them, and their unwind tables name the
// routine. The runtime's own would bring in the whole of its exception
// support: throwing and catching, the emergency pool, the terminate handler,
// emulated thread-local storage and the unwinder.
#include <cstdlib>

// Ends the process with std::abort, as the runtime's own would here; no exception reaches it.
extern "C" [[noreturn]] void __gxx_personality_v0() { std::abort(); }
