// The plug-in's commands and host-facing records, behind the exported entry points.
#pragma once

#include <cstdint>

// Decimal places for "/xcalc" results as typed: at most two digits, or empty.
extern char PrecisionText[4];

// Runs "/xcalc" or "/xprecis" (ASCII case ignored) and returns 1, or returns 0
// for any other or a null command. Never throws: running out of memory ends
// the command with `result` untouched.
std::int32_t RunCommand(const char* command, const char* parameter, char* result) noexcept;

// Fills the host's name buffer and command-info record; null pointers are skipped.
void PublishPluginInfo(char* name, void* command_info, std::int32_t* flags);

// Shows the about box owned by the active window and returns the box's result.
std::int32_t ShowAboutBox();
