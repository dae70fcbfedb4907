// Saving, setting and restoring the thread's floating-point state.
//
// On x86 the registers are read and written directly. The C library's
// <cfenv> is not used there: mingw-w64's fegetenv and fesetenv keep MXCSR in
// a layout of their own and do not restore it as glibc's do, and neither
// restores the x87 status flags.
#include "plugin/float_state.h"

#if defined(__i386__) || defined(__x86_64__)

FloatingPointScope::FloatingPointScope() noexcept {
  // FNSTENV also masks every x87 exception; FNCLEX then clears the host's
  // pending flags, so nothing of the host's can trap in the plug-in's code.
  __asm__ volatile("fnstenv %0" : "=m"(host_x87_));
  __asm__ volatile("stmxcsr %0" : "=m"(host_mxcsr_));
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(kPluginX87Control) : "memory");
  __asm__ volatile("ldmxcsr %0" : : "m"(kPluginMxcsr) : "memory");
}

FloatingPointScope::~FloatingPointScope() {
  __asm__ volatile("ldmxcsr %0" : : "m"(host_mxcsr_) : "memory");
  __asm__ volatile("fldenv %0" : : "m"(host_x87_) : "memory");
}

#else  // another processor: the C library's environment, its defaults as the plug-in's state

FloatingPointScope::FloatingPointScope() noexcept {
  std::fegetenv(&host_);
  std::fesetenv(FE_DFL_ENV);
}

FloatingPointScope::~FloatingPointScope() {
  std::fesetenv(&host_);
}

#endif
