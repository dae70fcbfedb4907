// The stack protector's runtime in the DLL: the canary that every protected
// function of the plug-in checks on return, chosen when the DLL loads, and the
// stop when a function finds it changed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "guest/library.h"

// The canary before it is chosen; a chosen canary is never this nor 0.
constexpr std::uint32_t kUnchosenCanary = 0xBB40E64E;

// Mixes `count` 32-bit sources into a canary, which is never 0 nor kUnchosenCanary.
CALC_BEFORE_RUNTIME std::uint32_t MixCanary(const std::uint32_t* sources, std::size_t count);

#if defined(_WIN32)

// Chooses the canary at load from the system time, the process and thread
// ids, the tick count and the performance counter: no library, no lock, no
// SSE. Checks no canary itself; run once, before any protected function.
CALC_BEFORE_RUNTIME void ChooseStackCanary();

// Ends the process at once with STATUS_STACK_BUFFER_OVERRUN, running nothing
// of the host's: by fast fail when `fast_fail` is nonzero, else by
// TerminateProcess. __stack_chk_fail passes whether the system has fast fail.
extern "C" [[noreturn]] void StopAfterOverrun(int fast_fail);

#endif
