// The C++ runtime's terminate handler, replaced in the DLL. The runtime's own
// prints the uncaught exception's type, demangled, to a standard error that
// no chat client reads, and links in the whole name demangler to do it.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

// Ends the process at once with std::abort, printing nothing; reached only when an exception leaves a noexcept function.
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
