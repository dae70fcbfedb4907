/* calcplugin.h: everything a chat host needs to load and drive the calculator
 * plug-in (calcplugin.dll on Windows, libcalcplugin.so elsewhere).
 *
 * Plain C that compiles as C89 and as C++98 and every later C and C++, and
 * includes no other header. Every number below is fixed by the plug-in's
 * binary contract. Every field and argument of 32 bits is an int, which has
 * 32 bits on every platform the plug-in is built for; on 32-bit Windows the
 * record sizes are checked at compile time against their literal values,
 * which leave no room for padding, so each field lies at the offset given.
 *
 * Calling order: none is required. Load the library and look the nine entry
 * points up by the names below. Never let two calls overlap, with one
 * exception: DisplayToast and DisplayToastW share no state with the rest and
 * may be called at any time, also while another call is under way (on the
 * host's thread, from a timer while Configure's about box is up, or from the
 * window procedure a toast reached during ParseCommand). The rule holds while
 * Configure's about box runs its modal message loop too, though the calling
 * thread's windows receive messages meanwhile. Everything else the plug-in
 * keeps (variables, precision setting) is in plain globals for as long as it
 * is loaded. Every buffer passed in stays the host's; the plug-in writes into
 * it only during the call and keeps no pointer to it.
 *
 * Stack: a call needs at most 320 KiB of the calling thread's stack (deeply
 * nested "/xcalc" parameters need the most), besides what the host's own
 * window procedures use when a toast or the about box calls them.
 */
#ifndef CALCPLUGIN_H
#define CALCPLUGIN_H

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

/* Whether the C++ dialect has char16_t and static_assert: C++11 and later,
 * and Visual C++ from 2015 on, which reports C++98 unless told otherwise. */
#if defined(__cplusplus) && (__cplusplus >= 201103L || (defined(_MSC_VER) && _MSC_VER >= 1900))
#define CALC_CPLUSPLUS_11 1
#else
#define CALC_CPLUSPLUS_11 0
#endif

/* A 16-bit text unit, for DisplayToastW (UTF-16 on Windows): char16_t where
 * the language has it, so that u"" literals convert, else unsigned short. */
#if CALC_CPLUSPLUS_11
typedef char16_t CalcChar16;
#else
typedef unsigned short CalcChar16;
#endif

/* Compile-time checks that read the same in every dialect: a declaration that
 * does not compile when `condition` is false. */
#if CALC_CPLUSPLUS_11
#define CALC_ABI_CHECK(condition, name) static_assert(condition, #name)
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define CALC_ABI_CHECK(condition, name) _Static_assert(condition, #name)
#else
#define CALC_ABI_CHECK(condition, name) typedef char calc_abi_check_##name[(condition) ? 1 : -1]
#endif

/* Every 32-bit field and argument below is an int. */
CALC_ABI_CHECK(sizeof(int) == 4 && sizeof(CalcChar16) == 2, int_has_32_bits);

/* ------------------------------------------------------------------------ */
/* Entry points, as function-pointer types                                  */
/* ------------------------------------------------------------------------ */

/* Returns 1; reads none of its arguments. */
typedef int(CALC_PLUGIN_CALL* CalcInitializeFn)(void* first, void* second, void* third);
/* Does nothing: the variables and the precision setting stay. */
typedef void(CALC_PLUGIN_CALL* CalcUninitializeFn)(void);
/* Shows the about box owned by the active window until the user closes it;
 * returns the message box's result. The box (MessageBoxA) runs a modal
 * message loop, during which the calling thread's windows receive messages
 * and may call DisplayToast and DisplayToastW, but no other entry point. */
typedef int(CALC_PLUGIN_CALL* CalcConfigureFn)(void);
/* Writes the plug-in's name into `name` (CALC_PLUGIN_NAME_SIZE bytes), the
 * command list into `command_info` (offsets below; no other byte is touched,
 * none past CALC_INFO_RECORD_SIZE) and 0 into *flags, skipping a null
 * pointer; returns 1. */
typedef int(CALC_PLUGIN_CALL* CalcPublishInfoFn)(char* name, void* command_info, int* flags);
/* Runs "/xcalc" or "/xprecis" (ASCII case ignored) and returns 1; returns 0
 * and writes nothing for any other command or a null one. "/xcalc" writes the
 * parameter as typed, "=\n" and the value, terminated, into `result`
 * (CALC_RESULT_BUFFER_SIZE bytes); split them at the last "=\n", as the
 * parameter may hold one. A parameter that gives no value writes no byte at
 * all: `result` stays as the host gave it, so a host that reuses its buffer
 * clears it first (its first byte set to 0). "/xprecis" sets result[0] to 0,
 * writing no other byte of it, and asks for an 8-bit toast (DisplayToast's,
 * CALC_TOAST_NARROW) whose extra field points at an empty text, not null.
 * A null parameter reads as empty; a null result is not written.
 * `reserved` is never read. */
typedef int(CALC_PLUGIN_CALL* CalcParseCommandFn)(const char* command, const char* parameter,
                                                   void* reserved, char* result);
/* Returns 0: the plug-in handles no inline tags. */
typedef int(CALC_PLUGIN_CALL* CalcParseTagFn)(void* first, void* second, void* third);
/* Returns 0: the plug-in takes no notifications. */
typedef int(CALC_PLUGIN_CALL* CalcReceiveNotifyFn)(void* first, void* second, void* third,
                                                    void* fourth);
/* Sends a toast request (below) for 8-bit `message` to the top-level windows of
 * the calling thread; returns CALC_TOAST_RESULT. The record's message field
 * points at the record's own copy, empty for a null message. Call it on the
 * thread that owns the host's toast window: from any other it reaches none of
 * the host's windows. */
typedef int(CALC_PLUGIN_CALL* CalcDisplayToastFn)(const char* message, const char* caption,
                                                   const char* extra, int flag);
/* The same for 16-bit `message`; `caption` and `extra` stay 8-bit pointers.
 * The record's message field points at the caller's own text, and at the
 * record's empty copy for a null message. */
typedef int(CALC_PLUGIN_CALL* CalcDisplayToastWFn)(const CalcChar16* message, const char* caption,
                                                    const char* extra, int flag);

/* ------------------------------------------------------------------------ */
/* ParseCommand's result buffer                                             */
/* ------------------------------------------------------------------------ */

/* Longest "/xcalc" parameter that gets a value. A longer one is refused
 * whole: none of it is evaluated or assigned, and no byte of the result is
 * written, as for any parameter that gives no value. */
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
/* Bytes a host's command-info record must hold. The last text written,
 * "precision" (9 letters), starts at CALC_INFO_PARAMETER_AT(1), byte 13060:
 * its letters fill bytes 13060 to 13068 and its terminator byte 13069, the
 * highest byte PublishInfo writes. */
#define CALC_INFO_RECORD_SIZE (CALC_INFO_PARAMETER_AT(1) + 9u + 1u)
CALC_ABI_CHECK(CALC_INFO_DESCRIPTION_AT(1) == 132 && CALC_INFO_WORD_AT(1) == 6532 &&
                   CALC_INFO_PARAMETER_AT(1) == 13060 && CALC_INFO_RECORD_SIZE == 13070,
               command_info_offsets);

/* ------------------------------------------------------------------------ */
/* Toast requests                                                           */
/* ------------------------------------------------------------------------ */

/* A toast request reaches the host as the window message registered under this
 * name (RegisterWindowMessageA), sent with SendMessageA, synchronously and one
 * window after another, to each top-level window of the thread that called
 * DisplayToast or DisplayToastW (those EnumThreadWindows lists for
 * GetCurrentThreadId()), the windows a broadcast would reach among that
 * thread's, and to no other thread's or program's:
 *   wParam  the address of the request record, CalcToastRequest or CalcToastRequestW;
 *   lParam  CALC_TOAST_NARROW or CALC_TOAST_WIDE: which of the two it is.
 * SendMessageA from a window's own thread calls its procedure at once, so a
 * toast never waits for another thread: sent to the windows of every thread
 * of the process, it stalled while one of them read no messages, and never
 * ended while one of them waited for the toast's thread. The address means
 * something only inside the sender's process, and the record lives on the
 * sender's stack: the window reads it before its procedure returns.
 * DisplayToast and DisplayToastW return CALC_TOAST_RESULT whatever the windows
 * answer, as a broadcast did.
 *
 * Which thread. The host's toast window belongs to the thread that uses the
 * plug-in. The plug-in asks for its toasts on that thread, during ParseCommand;
 * any other code in the host's process (another plug-in, the host itself) asks
 * on that thread too, at any time: asked on another thread, a toast reaches
 * none of the host's windows. On the window's thread the request reaches the
 * window as a direct call. Read such a request, whoever made it and whenever
 * it comes, also while the thread is handling a message that another thread
 * sent it.
 *
 * Refuse, reading nothing:
 *   - a send from another thread: the window cannot tell it apart from another
 *     program's, whose address means nothing here (other programs, and copies
 *     of the plug-in built to older letters of this contract, may still send
 *     the message to other threads' windows). Such a request waits until the
 *     window's thread takes it, then shows nothing;
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

/* Units in a record's text, the terminator in the last one included. The
 * copy holds at most 255 units and is never cut inside a character: the
 * message is read character by character from its start, and where a
 * character of two units starts at unit 254 (from 0), the copy ends after
 * unit 253. A character of two units is a high surrogate (D800-DBFF)
 * followed by a low one (DC00-DFFF) in 16-bit text, and in 8-bit text on
 * Windows a lead byte of the ANSI code page (IsDBCSLeadByte) followed by a
 * byte other than 0. A lone half is the caller's own data and is kept. */
#define CALC_TOAST_TEXT_LENGTH 256u
/* The flag field of a request whose flag argument had a nonzero low byte. */
#define CALC_TOAST_FLAG_SET (-1)

/* The request for 8-bit text. */
typedef struct CalcToastRequest {
  const char* caption; /* the caller's caption, unchanged */
  const char* message; /* the record's own copy: `text` below */
  const char* extra;   /* the caller's further text, unchanged */
  int flag;            /* 0, or CALC_TOAST_FLAG_SET */
  int unused;          /* not written: whatever the sender's stack held */
  char text[CALC_TOAST_TEXT_LENGTH]; /* the message's start, zero-filled, terminated */
} CalcToastRequest;

/* The request for 16-bit text: the same but for the message and its copy. */
typedef struct CalcToastRequestW {
  const char* caption;
  const CalcChar16* message; /* the caller's own text, not the copy */
  const char* extra;
  int flag;
  int unused;
  CalcChar16 text[CALC_TOAST_TEXT_LENGTH];
} CalcToastRequestW;

#if defined(_WIN32) && !defined(_WIN64)
/* 4-byte pointers, and records as large as their fields together, so without
 * padding: the fields at offsets 0, 4, 8, 12 and 16, the text at 20. */
CALC_ABI_CHECK(sizeof(const char*) == 4 && sizeof(const CalcChar16*) == 4, pointer_has_32_bits);
CALC_ABI_CHECK(sizeof(CalcToastRequest) == 276 && sizeof(CalcToastRequestW) == 532,
               toast_request_sizes);
#endif

#endif /* CALCPLUGIN_H */
