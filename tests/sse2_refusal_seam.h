// What sse2_refusal_seam.dll and the test that loads it share: the file's
// name and the two environment variables of the process.
#pragma once

// The test DLL, beside the test programs.
constexpr char kSeamFileName[] = "sse2_refusal_seam.dll";
// While set, the DLL's processor check reports SSE2.
constexpr char kSeamReportsSse2[] = "CALC_SEAM_REPORTS_SSE2";
// Set by the DLL's static constructor when it runs.
constexpr char kSeamConstructed[] = "CALC_SEAM_CONSTRUCTED";
