// The library's own start and end: the processor it needs, and what it
// releases when a host unloads it.
#pragma once

#include <cstdint>

// Marks a function that runs at load before the stack protector's canary is
// chosen (guest/stack_canary.h), and so must not check one.
#if defined(__has_attribute)
#if __has_attribute(no_stack_protector)
#define CALC_BEFORE_RUNTIME __attribute__((no_stack_protector))
#endif
#endif
#if !defined(CALC_BEFORE_RUNTIME)
#define CALC_BEFORE_RUNTIME
#endif

// True when CPUID leaf 1's EDX, `leaf1_edx`, reports SSE2.
CALC_BEFORE_RUNTIME bool ReportsSse2(std::uint32_t leaf1_edx);

// True when this processor has SSE2, which the plug-in's arithmetic needs on
// 32-bit x86; false on one without CPUID. Executes no SSE2 instruction itself.
CALC_BEFORE_RUNTIME bool ProcessorHasSse2();
