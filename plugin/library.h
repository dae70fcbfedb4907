// The library's own start and end: the processor it needs, and what it
// releases when a host unloads it.
#pragma once

#include <cstdint>

// True when a processor whose CPUID gives `max_leaf` as its highest standard
// leaf and `leaf1_edx` as leaf 1's EDX has SSE2; false without leaf 1.
bool ReportsSse2(std::uint32_t max_leaf, std::uint32_t leaf1_edx);

// True when this processor has SSE2, which the plug-in's arithmetic needs on
// 32-bit x86; false on one without CPUID. Executes no SSE2 instruction itself.
bool ProcessorHasSse2();
