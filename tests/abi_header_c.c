/* The host ABI header as a C99 host compiles it: the toast record layouts and
 * the result buffer size that such a host sees. */
#include <stddef.h>

#include "calcplugin.h"

const size_t calc_c_header_layout[] = {
    offsetof(CalcToastRequest, caption),
    offsetof(CalcToastRequest, message),
    offsetof(CalcToastRequest, extra),
    offsetof(CalcToastRequest, flag),
    offsetof(CalcToastRequest, unused),
    offsetof(CalcToastRequest, text),
    offsetof(CalcToastRequestW, caption),
    offsetof(CalcToastRequestW, message),
    offsetof(CalcToastRequestW, extra),
    offsetof(CalcToastRequestW, flag),
    offsetof(CalcToastRequestW, unused),
    offsetof(CalcToastRequestW, text),
    sizeof(CalcToastRequest),
    sizeof(CalcToastRequestW),
    CALC_RESULT_BUFFER_SIZE,
};
