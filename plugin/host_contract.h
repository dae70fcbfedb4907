// What passes between a chat host and this plug-in: the exported entry
// points, their calling convention and the size of the host's result buffer.
#pragma once

#include <cstddef>
#include <cstdint>

// 32-bit Windows entry points remove their own arguments, as Windows API
// functions do; elsewhere the platform's C convention is used.
#if defined(_WIN32) && !defined(_WIN64)
#define PLUGIN_CALL __stdcall
#else
#define PLUGIN_CALL
#endif

// On Windows the exported names come from exports.def; elsewhere the library
// hides everything but the entry points.
#if defined(_WIN32)
#define PLUGIN_EXPORT
#else
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

// The longest text ParseCommand writes, with its terminator: a 2047-byte
// expression, "=\n" and a 327-character value (-1.8e308 with 16 decimals).
// A host's result buffer must hold this many bytes.
constexpr std::size_t kResultBufferSize = 2047 + 2 + 327 + 1;

// The name a host's window recognises toast requests by.
#define TOAST_MESSAGE_NAME "Glimmerpost_DisplayToast"

extern "C" {

// Returns 1; reads none of its arguments.
PLUGIN_EXPORT std::int32_t PLUGIN_CALL Initialize(void* first, void* second, void* third);
// Does nothing: the variables and the precision setting stay.
PLUGIN_EXPORT void PLUGIN_CALL Uninitialize();
// Shows the about box owned by the active window; returns the box's result.
PLUGIN_EXPORT std::int32_t PLUGIN_CALL Configure();
// Writes the plug-in's name and command list into host records, stores 0 in
// *flags and returns 1. Null pointers are skipped.
PLUGIN_EXPORT std::int32_t PLUGIN_CALL PublishInfo(char* name, void* command_info,
                                                   std::int32_t* flags);
// Runs "/xcalc" or "/xprecis" and returns 1, or returns 0 for any other
// command (or a null one) without writing anything. A null parameter reads as
// empty text; with a null result the command runs and writes nothing.
PLUGIN_EXPORT std::int32_t PLUGIN_CALL ParseCommand(const char* command, const char* parameter,
                                                    void* reserved, char* result);
// Returns 0: the plug-in handles no inline tags.
PLUGIN_EXPORT std::int32_t PLUGIN_CALL ParseTag(void* first, void* second, void* third);
// Returns 0: the plug-in takes no notifications.
PLUGIN_EXPORT std::int32_t PLUGIN_CALL ReceiveNotify(void* first, void* second, void* third,
                                                     void* fourth);

}  // extern "C"

// Function types a host calls the entry points through.
using InitializeFn = std::int32_t(PLUGIN_CALL*)(void*, void*, void*);
using UninitializeFn = void(PLUGIN_CALL*)();
using ConfigureFn = std::int32_t(PLUGIN_CALL*)();
using PublishInfoFn = std::int32_t(PLUGIN_CALL*)(char*, void*, std::int32_t*);
using ParseCommandFn = std::int32_t(PLUGIN_CALL*)(const char*, const char*, void*, char*);
using ParseTagFn = std::int32_t(PLUGIN_CALL*)(void*, void*, void*);
using ReceiveNotifyFn = std::int32_t(PLUGIN_CALL*)(void*, void*, void*, void*);
