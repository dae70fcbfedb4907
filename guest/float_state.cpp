// Saving, setting and restoring the thread's floating-point state.
//
// On x86 the registers are read and written directly. The C library's
// <cfenv> is not used there: mingw-w64's fesetenv does not give back the MXCSR
// that fegetenv saved, as glibc's does (under Wine a saved 0x7F83, rounding
// toward zero with two flags raised, came back as 0x1F80).
//
// Saving and restoring the whole x87 environment costs 75 to 90 ns, far more
// than the rest; it is done only when the host has x87 flags raised, which
// only that restores. Otherwise the control word is set and put back alone,
// and flags the plug-in raised are cleared.
#include "guest/float_state.h"

#if defined(__i386__) || defined(__x86_64__)

namespace {

// The x87 status word's exception flags, stack fault and error summary.
constexpr std::uint16_t kX87FlagBits = 0x00FF;

}  // namespace

FloatingPointScope::FloatingPointScope() noexcept {
  __asm__ volatile("stmxcsr %0" : "=m"(host_mxcsr_));
  __asm__ volatile("ldmxcsr %0" : : "m"(kPluginMxcsr) : "memory");
  __asm__ volatile("fnstcw %0" : "=m"(host_x87_control_));
  __asm__ volatile("fnstsw %0" : "=m"(host_x87_status_));
  whole_x87_saved_ = (host_x87_status_ & kX87FlagBits) != 0;
  if (whole_x87_saved_) {
    // FNCLEX clears the host's flags, so none of them can trap in the plug-in's code.
    __asm__ volatile("fnstenv %0\n\tfnclex" : "=m"(host_x87_) : : "memory");
  }
  if (host_x87_control_ != kPluginX87Control) {
    __asm__ volatile("fldcw %0" : : "m"(kPluginX87Control) : "memory");
  }
}

FloatingPointScope::~FloatingPointScope() {
  __asm__ volatile("ldmxcsr %0" : : "m"(host_mxcsr_) : "memory");
  if (whole_x87_saved_) {
    __asm__ volatile("fldenv %0" : : "m"(host_x87_) : "memory");
    return;
  }
  std::uint16_t status;
  __asm__ volatile("fnstsw %0" : "=m"(status));
  if ((status & kX87FlagBits) != 0) __asm__ volatile("fnclex" : : : "memory");
  if (host_x87_control_ != kPluginX87Control) {
    __asm__ volatile("fldcw %0" : : "m"(host_x87_control_) : "memory");
  }
}

#else  // another processor: the C library's environment, its defaults as the plug-in's state

FloatingPointScope::FloatingPointScope() noexcept {
  std::fegetenv(&host_);
  std::fesetenv(FE_DFL_ENV);
}

FloatingPointScope::~FloatingPointScope() { std::fesetenv(&host_); }

#endif
