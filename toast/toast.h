// Toast requests: a record the host's window reads while a registered
// message is being sent to each top-level window of the calling thread.
// The record layouts and the message's parameters are the host ABI header's
// (include/calcplugin.h).
#pragma once

#include <cstdint>

#include "calcplugin.h"

extern "C" {

// Sends a toast of at most 255 units of `message` (null reads as empty), never
// half a character, to each top-level window of the calling thread; returns
// CALC_TOAST_RESULT. Exported as _DisplayToast@16 on Windows.
CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL DisplayToast(const char* message,
                                                              const char* caption,
                                                              const char* extra, std::int32_t flag);
// The same for 16-bit text; the record points at the caller's own message
// (at its empty copy when the message is null). Exported as _DisplayToastW@16.
CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL DisplayToastW(const CalcChar16* message,
                                                               const char* caption,
                                                               const char* extra,
                                                               std::int32_t flag);

}  // extern "C"
