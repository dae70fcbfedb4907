// Toast requests: a record the host's window reads while a registered
// message is being sent to every top-level window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/host_contract.h"

// Characters a toast message keeps, including the terminator in the last one.
constexpr std::size_t kToastTextLength = 256;

// The record a toast request sends; `Char` is char for DisplayToast and
// char16_t for DisplayToastW.
template <typename Char>
struct BasicToastRequest {
  const char* caption;
  const Char* message;  // DisplayToast: `text` below; DisplayToastW: the caller's text
  const char* extra;
  std::int32_t flag;    // 0 or -1
  std::int32_t unused;  // left as the stack had it; the host's
  Char text[kToastTextLength];
};

using ToastRequest = BasicToastRequest<char>;
using ToastRequestW = BasicToastRequest<char16_t>;

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(ToastRequest, caption) == 0 && offsetof(ToastRequest, message) == 4 &&
                  offsetof(ToastRequest, extra) == 8 && offsetof(ToastRequest, flag) == 12 &&
                  offsetof(ToastRequest, unused) == 16 && offsetof(ToastRequest, text) == 20,
              "toast record offsets");
static_assert(offsetof(ToastRequestW, text) == 20, "wide toast record offsets");
static_assert(sizeof(ToastRequest) == 276 && sizeof(ToastRequestW) == 532, "toast record sizes");
#endif

extern "C" {

// Sends a toast of at most 255 characters of `message` (null reads as empty)
// to every top-level window; returns what the send returns. Exported as
// _DisplayToast@16 on Windows.
PLUGIN_EXPORT std::int32_t PLUGIN_CALL DisplayToast(const char* message, const char* caption,
                                                    const char* extra, std::int32_t flag);
// The same for 16-bit text; the record points at the caller's own message
// (at its empty copy when the message is null). Exported as _DisplayToastW@16.
PLUGIN_EXPORT std::int32_t PLUGIN_CALL DisplayToastW(const char16_t* message, const char* caption,
                                                     const char* extra, std::int32_t flag);

}  // extern "C"

using DisplayToastFn = std::int32_t(PLUGIN_CALL*)(const char*, const char*, const char*,
                                                  std::int32_t);
using DisplayToastWFn = std::int32_t(PLUGIN_CALL*)(const char16_t*, const char*, const char*,
                                                   std::int32_t);
