// What sse2_refusal_seam.dll and the test that loads it share: the file's
// name and the two environment variables of the process.
#pragma once

// The test DLL, beside the test programs.
constexpr char kSeamFileName[] = "sse2_refusal_seam.dll";
// While set, the DLL's processor check reports SSE2.
constexpr char kSeamReportsSse2[] = "CALC_SEAM_REPORTS_SSE2";
// Set by the DLL's processor check when it runs: whether the canary was chosen by then.
constexpr char kSeamCanaryAtCheck[] = "CALC_SEAM_CANARY_AT_CHECK";
constexpr char kSeamUnchosen[] = "unchosen";
constexpr char kSeamChosen[] = "chosen";
