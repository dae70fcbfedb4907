/* The host ABI header as a host of any C or C++ dialect uses it, compiled by
 * check_header_dialects.cmake in each one: every type, a 16-bit literal where
 * the dialect has one, and on 32-bit Windows the literal offsets. */
#include <stddef.h>

#include "calcplugin.h"

#if defined(_WIN32) && !defined(_WIN64)
typedef char calc_offsets_as_documented
    [offsetof(CalcToastRequest, message) == 4 && offsetof(CalcToastRequest, flag) == 12 &&
             offsetof(CalcToastRequest, text) == 20 && offsetof(CalcToastRequestW, extra) == 8 &&
             offsetof(CalcToastRequestW, unused) == 16 && offsetof(CalcToastRequestW, text) == 20
         ? 1
         : -1];
#endif

/* Asks for a toast of each width and runs a command, as a host does. */
int calc_use_the_header(CalcDisplayToastFn display_toast, CalcDisplayToastWFn display_toast_w,
                        CalcParseCommandFn parse_command, char* result) {
#if defined(__cplusplus) && __cplusplus >= 201103L
  const CalcChar16* wide = u"w\u00E9";
#else
  static const CalcChar16 text[] = {'w', 0xE9, 0};
  const CalcChar16* wide = text;
#endif
  CalcToastRequest narrow_request;
  CalcToastRequestW wide_request;
  int answers = display_toast("narrow", "caption", "", CALC_TOAST_FLAG_SET);
  answers += display_toast_w(wide, "caption", "", 0);
  narrow_request.flag = CALC_TOAST_NARROW;
  wide_request.flag = CALC_TOAST_WIDE;
  return answers + parse_command("/xcalc", "1+2", 0, result) + narrow_request.flag +
         wide_request.flag;
}
