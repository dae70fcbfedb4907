/* calcplugin.h: everything a chat host needs to load and drive the calculator
 * plug-in (calcplugin.dll on Windows, libcalcplugin.so elsewhere).
 *
 * Plain C; compiles as C99 and as C++. Every number below is fixed by the
 * plug-in's binary contract; on 32-bit Windows the record layouts are checked
 * at compile time against the literal offsets and sizes.
 *
 * Calling order: none is required. Load the library, look the nine entry
 * points up by the names below, and never let two calls overlap: the plug-in
 * keeps its state (variables, precision setting) in plain globals for as long
 * as it is loaded. Every buffer passed in stays the host's; the plug-in writes
 * into it only during the call and keeps no pointer to it.
 */
#ifndef CALCPLUGIN_H
#define CALCPLUGIN_H

#include <stddef.h>
#include <stdint.h>

/* ------------------------------------------------------------------------ */
/* Calling convention and exports                                           */
/* ------------------------------------------------------------------------ */

/* 32-bit Windows entry points remove their own arguments from the stack
 * (__stdcall), as Windows API functions do; elsewhere the platform's C
 * convention applies. */
#if defined(_WIN32) && !defined(_WIN64)
#define CALC_PLUGIN_CALL __stdcall
#else
#define CALC_PLUGIN_CALL
#endif

/* Marks a definition as exported. On Windows the exported names come from a
 * module-definition file instead, so the macro is empty there. */
#if defined(_WIN32)
#define CALC_PLUGIN_EXPORT
#elif defined(__GNUC__)
#define CALC_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define CALC_PLUGIN_EXPORT
#endif

/* The names to look the entry points up by (GetProcAddress, dlsym). The two
 * toast functions keep their decorated names in the DLL. */
#define CALC_NAME_INITIALIZE "Initialize"
#define CALC_NAME_UNINITIALIZE "Uninitialize"
#define CALC_NAME_CONFIGURE "Configure"
#define CALC_NAME_PUBLISH_INFO "PublishInfo"
#define CALC_NAME_PARSE_COMMAND "ParseCommand"
#define CALC_NAME_PARSE_TAG "ParseTag"
#define CALC_NAME_RECEIVE_NOTIFY "ReceiveNotify"
#if defined(_WIN32) && !defined(_WIN64)
#define CALC_NAME_DISPLAY_TOAST "_DisplayToast@16"
#define CALC_NAME_DISPLAY_TOAST_W "_DisplayToastW@16"
#else
#define CALC_NAME_DISPLAY_TOAST "DisplayToast"
#define CALC_NAME_DISPLAY_TOAST_W "DisplayToastW"
#endif

/* A 16-bit text unit, for DisplayToastW (UTF-16 on Windows). */
#if defined(__cplusplus)
typedef char16_t CalcChar16;
#else
typedef uint16_t CalcChar16;
#endif

/* Compile-time checks that read the same in C99, C11 and C++. */
#if defined(__cplusplus)
#define CALC_ABI_CHECK(condition, name) static_assert(condition, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define CALC_ABI_CHECK(condition, name) _Static_assert(condition, #name)
#else
#define CALC_ABI_CHECK(condition, name) typedef char calc_abi_check_##name[(condition) ? 1 : -1]
#endif

/* ------------------------------------------------------------------------ */
/* Entry points, as function-pointer types                                  */
/* ------------------------------------------------------------------------ */

/* Returns 1; reads none of its arguments. */
typedef int32_t(CALC_PLUGIN_CALL* CalcInitializeFn)(void* first, void* second, void* third);
/* Does nothing: the variables and the precision setting stay. */
typedef void(CALC_PLUGIN_CALL* CalcUninitializeFn)(void);
/* Shows the about box owned by the active window until the user closes it;
 * returns the message box's result. */
typedef int32_t(CALC_PLUGIN_CALL* CalcConfigureFn)(void);
/* Writes the plug-in's name into `name` (CALC_PLUGIN_NAME_SIZE bytes), the
 * command list into `command_info` (offsets below; no other byte is touched)
 * and 0 into *flags; returns 1. */
typedef int32_t(CALC_PLUGIN_CALL* CalcPublishInfoFn)(char* name, void* command_info,
                                                      int32_t* flags);
/* Runs "/xcalc" or "/xprecis" (ASCII case ignored) and returns 1, leaving the
 * outcome as text in `result` (CALC_RESULT_BUFFER_SIZE bytes); returns 0 and
 * writes nothing for any other command. `reserved` is never read. */
typedef int32_t(CALC_PLUGIN_CALL* CalcParseCommandFn)(const char* command, const char* parameter,
                                                       void* reserved, char* result);
/* Returns 0: the plug-in handles no inline tags. */
typedef int32_t(CALC_PLUGIN_CALL* CalcParseTagFn)(void* first, void* second, void* third);
/* Returns 0: the plug-in takes no notifications. */
typedef int32_t(CALC_PLUGIN_CALL* CalcReceiveNotifyFn)(void* first, void* second, void* third,
                                                        void* fourth);
/* Sends a toast request (below) for 8-bit `message` to the top-level windows of
 * the caller's process; returns CALC_TOAST_RESULT. Call it on the thread that
 * owns the host's toast window: a host refuses a request from any other. */
typedef int32_t(CALC_PLUGIN_CALL* CalcDisplayToastFn)(const char* message, const char* caption,
                                                       const char* extra, int32_t flag);
/* The same for 16-bit `message`; `caption` and `extra` stay 8-bit pointers. */
typedef int32_t(CALC_PLUGIN_CALL* CalcDisplayToastWFn)(const CalcChar16* message,
                                                        const char* caption, const char* extra,
                                                        int32_t flag);

/* ------------------------------------------------------------------------ */
/* ParseCommand's result buffer                                             */
/* ------------------------------------------------------------------------ */

/* Longest "/xcalc" parameter that gets a value; longer ones are refused whole. */
#define CALC_MAX_EXPRESSION_LENGTH 2047u
/* "=" and a line feed between the expression and its value. */
#define CALC_RESULT_SEPARATOR_LENGTH 2u
/* Longest value text: -1.8e308 with 16 decimals (309 digits, sign, point, 16). */
#define CALC_MAX_VALUE_LENGTH 327u
/* Bytes a host's result buffer must hold: the longest text and its terminator. */
#define CALC_RESULT_BUFFER_SIZE \
  (CALC_MAX_EXPRESSION_LENGTH + CALC_RESULT_SEPARATOR_LENGTH + CALC_MAX_VALUE_LENGTH + 1u)
CALC_ABI_CHECK(CALC_RESULT_BUFFER_SIZE == 2377, result_buffer_size);

/* ------------------------------------------------------------------------ */
/* PublishInfo's records                                                    */
/* ------------------------------------------------------------------------ */

/* The name buffer receives "Calculator Plugin" and its terminator. */
#define CALC_PLUGIN_NAME_SIZE 18u

/* The command-info record: a 32-bit command count at offset 0, then for
 * command i (from 0) its description, its command word without the slash and
 * its parameter name, each a NUL-terminated text at the offsets below. */
#define CALC_INFO_COUNT_OFFSET 0u
#define CALC_INFO_DESCRIPTION_OFFSET 4u
#define CALC_INFO_DESCRIPTION_STRIDE 128u
#define CALC_INFO_WORD_OFFSET 6404u
#define CALC_INFO_WORD_STRIDE 128u
#define CALC_INFO_PARAMETER_OFFSET 12804u
#define CALC_INFO_PARAMETER_STRIDE 256u
#define CALC_INFO_DESCRIPTION_AT(i) (CALC_INFO_DESCRIPTION_OFFSET + (i)*CALC_INFO_DESCRIPTION_STRIDE)
#define CALC_INFO_WORD_AT(i) (CALC_INFO_WORD_OFFSET + (i)*CALC_INFO_WORD_STRIDE)
#define CALC_INFO_PARAMETER_AT(i) (CALC_INFO_PARAMETER_OFFSET + (i)*CALC_INFO_PARAMETER_STRIDE)
CALC_ABI_CHECK(CALC_INFO_DESCRIPTION_AT(1) == 132 && CALC_INFO_WORD_AT(1) == 6532 &&
                   CALC_INFO_PARAMETER_AT(1) == 13060,
               command_info_offsets);

/* ------------------------------------------------------------------------ */
/* Toast requests                                                           */
/* ------------------------------------------------------------------------ */

/* A toast request reaches the host as the window message registered under this
 * name (RegisterWindowMessageA), sent with SendMessageA, synchronously and one
 * window after another, to each top-level window of the plug-in's own process
 * (those EnumWindows lists whose GetWindowThreadProcessId is the caller's
 * process), the same windows a broadcast would reach there, and to no other
 * program's:
 *   wParam  the address of the request record, CalcToastRequest or CalcToastRequestW;
 *   lParam  CALC_TOAST_NARROW or CALC_TOAST_WIDE: which of the two it is.
 * The address means something only inside the sender's process, and a
 * broadcast to every program would wait on each of their windows; so the
 * window that shows toasts belongs to the process that loaded the plug-in, and
 * reads the record before its window procedure returns: the record lives on
 * the sender's stack. DisplayToast and DisplayToastW return CALC_TOAST_RESULT
 * whatever the windows answer, as a broadcast did.
 *
 * Which thread. The host's toast window belongs to the thread that uses the
 * plug-in. The plug-in asks for its toasts on that thread, during ParseCommand;
 * any other code in the host's process (another plug-in, the host itself) asks
 * on that thread too, at any time. There the request reaches the window as a
 * direct call: SendMessageA from the window's own thread calls its procedure
 * at once. Read such a request, whoever made it and whenever it comes, also
 * while the thread is handling a message that another thread sent it.
 *
 * Refuse, reading nothing:
 *   - a send from another thread, the plug-in's own from another thread
 *     included: the window cannot tell it apart from another program's, whose
 *     address means nothing here (other programs, and copies of the plug-in
 *     built to the old letter of this contract, may still send the message to
 *     every window). Such a request waits until the window's thread takes it,
 *     then shows nothing;
 *   - a posted message, whichever loop hands it on (the host's own, a message
 *     box's, a menu's): a request is never posted.
 * On Windows a WH_CALLWNDPROC hook on the window's thread tells them apart: it
 * sees each sent message just before the window procedure gets it, with a
 * nonzero wParam when the current thread sent it, and never a posted one.
 * InSendMessageEx(NULL) alone cannot: it gives ISMEX_NOSEND for a posted
 * message as for a direct call, and ISMEX_SEND for a direct call made while
 * the thread handles another thread's message as for a send from another
 * thread. */
#define CALC_TOAST_MESSAGE_NAME "Glimmerpost_DisplayToast"
#define CALC_TOAST_NARROW 0 /* from DisplayToast: 8-bit text */
#define CALC_TOAST_WIDE 1   /* from DisplayToastW: 16-bit text */
/* What DisplayToast and DisplayToastW return. */
#define CALC_TOAST_RESULT 1

/* Characters in a record's text, the terminator in the last one included. */
#define CALC_TOAST_TEXT_LENGTH 256u
/* The flag field of a request whose flag argument had a nonzero low byte. */
#define CALC_TOAST_FLAG_SET (-1)

/* The request for 8-bit text. */
typedef struct CalcToastRequest {
  const char* caption; /* the caller's caption, unchanged */
  const char* message; /* the record's own copy: `text` below */
  const char* extra;   /* the caller's further text, unchanged */
  int32_t flag;        /* 0, or CALC_TOAST_FLAG_SET */
  int32_t unused;      /* not written: whatever the sender's stack held */
  char text[CALC_TOAST_TEXT_LENGTH]; /* at most 255 characters, zero-filled, terminated */
} CalcToastRequest;

/* The request for 16-bit text: the same but for the message and its copy. */
typedef struct CalcToastRequestW {
  const char* caption;
  const CalcChar16* message; /* the caller's own text, not the copy */
  const char* extra;
  int32_t flag;
  int32_t unused;
  CalcChar16 text[CALC_TOAST_TEXT_LENGTH];
} CalcToastRequestW;

#if defined(_WIN32) && !defined(_WIN64)
CALC_ABI_CHECK(offsetof(CalcToastRequest, caption) == 0 &&
                   offsetof(CalcToastRequest, message) == 4 &&
                   offsetof(CalcToastRequest, extra) == 8 && offsetof(CalcToastRequest, flag) == 12 &&
                   offsetof(CalcToastRequest, unused) == 16 && offsetof(CalcToastRequest, text) == 20,
               toast_request_offsets);
CALC_ABI_CHECK(offsetof(CalcToastRequestW, caption) == 0 &&
                   offsetof(CalcToastRequestW, message) == 4 &&
                   offsetof(CalcToastRequestW, extra) == 8 &&
                   offsetof(CalcToastRequestW, flag) == 12 &&
                   offsetof(CalcToastRequestW, unused) == 16 &&
                   offsetof(CalcToastRequestW, text) == 20,
               toast_request_w_offsets);
CALC_ABI_CHECK(sizeof(CalcToastRequest) == 276 && sizeof(CalcToastRequestW) == 532,
               toast_request_sizes);
#endif

#endif /* CALCPLUGIN_H */
