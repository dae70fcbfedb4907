// The floating-point state "/xcalc" computes in, whatever state the host's
// thread is in, and the host's own state handed back afterwards.
#pragma once

#include <cstdint>

#if !defined(__i386__) && !defined(__x86_64__)
#include <cfenv>
#endif

// MXCSR while the plug-in computes: every exception masked, rounding to
// nearest, no flush-to-zero, no denormals-are-zero, no status flags.
constexpr std::uint32_t kPluginMxcsr = 0x1F80;
// The x87 control word meanwhile: every exception masked, rounding to nearest,
// results rounded to double precision as SSE2 rounds them.
constexpr std::uint16_t kPluginX87Control = 0x027F;

// While alive, the calling thread computes in the plug-in's state above; the
// destructor restores exactly the state the constructor found: MXCSR, the x87
// control word and both units' status flags. Never fails; nests.
class FloatingPointScope {
 public:
  FloatingPointScope() noexcept;
  ~FloatingPointScope();
  FloatingPointScope(const FloatingPointScope&) = delete;
  FloatingPointScope& operator=(const FloatingPointScope&) = delete;

 private:
#if defined(__i386__) || defined(__x86_64__)
  // The x87 environment as FNSTENV stores it in 32-bit protected mode: the
  // control, status and tag words, each in the low half of its field, and
  // where the last instruction and its operand were.
  struct X87Environment {
    std::uint32_t control, status, tags;
    std::uint32_t instruction_offset, instruction_selector, operand_offset, operand_selector;
  };
  std::uint32_t host_mxcsr_;
  std::uint16_t host_x87_control_;
  std::uint16_t host_x87_status_;
  bool whole_x87_saved_;  // the host had x87 flags raised: its environment is in host_x87_
  X87Environment host_x87_;
#else
  std::fenv_t host_;
#endif
};
