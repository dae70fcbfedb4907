// The plug-in's exported entry points, declared with the calling convention
// and types of the host ABI header (include/calcplugin.h).
#pragma once

#include <cstdint>

#include "calcplugin.h"

extern "C" {

// Returns 1; reads none of its arguments.
CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL Initialize(void* first, void* second, void* third);
// Does nothing: the variables and the precision setting stay.
CALC_PLUGIN_EXPORT void CALC_PLUGIN_CALL Uninitialize();
// Shows the about box owned by the active window; returns the box's result.
CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL Configure();
// Writes the plug-in's name and command list into host records, stores 0 in
// *flags and returns 1. Null pointers are skipped.
CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL PublishInfo(char* name, void* command_info,
                                                             std::int32_t* flags);
// Runs "/xcalc" or "/xprecis" and returns 1, or returns 0 for any other
// command (or a null one) without writing anything. A null parameter reads as
// empty text; with a null result the command runs and writes nothing.
CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL ParseCommand(const char* command,
                                                              const char* parameter, void* reserved,
                                                              char* result);
// Returns 0: the plug-in handles no inline tags.
CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL ParseTag(void* first, void* second, void* third);
// Returns 0: the plug-in takes no notifications.
CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL ReceiveNotify(void* first, void* second,
                                                               void* third, void* fourth);

}  // extern "C"
