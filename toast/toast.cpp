// DisplayToast and DisplayToastW.
#include "toast/toast.h"

#include <cstddef>

#include "platform/window.h"

namespace {

// The most units of a message a record's copy holds before its terminator.
constexpr std::size_t kMaxCopiedUnits = CALC_TOAST_TEXT_LENGTH - 1;

// UTF-16's halves of a character beyond U+FFFF.
constexpr char16_t kFirstHighSurrogate = 0xD800, kLastHighSurrogate = 0xDBFF;
constexpr char16_t kFirstLowSurrogate = 0xDC00, kLastLowSurrogate = 0xDFFF;

// The units of the character that starts at `text`: 2 for a high surrogate
// with a low one after it, else 1 (a lone half is the caller's, kept as it is).
std::size_t CharacterUnits(const CalcChar16* text) {
  const bool high = text[0] >= kFirstHighSurrogate && text[0] <= kLastHighSurrogate;
  const bool low = text[1] >= kFirstLowSurrogate && text[1] <= kLastLowSurrogate;
  return high && low ? 2 : 1;
}

// The bytes of the character that starts at `text`: 2 for a lead byte of the
// ANSI code page with a byte other than 0 after it, else 1.
std::size_t CharacterUnits(const char* text) {
  return IsDBCSLeadByte(static_cast<BYTE>(text[0])) && text[1] != '\0' ? 2 : 1;
}

// Copies whole characters of `message` (null reads as empty), at most
// kMaxCopiedUnits units, as strncpy does with zeros after them; always
// terminates in the last position. A character the copy cannot hold whole is
// left out, where strncpy would keep half of it.
template <typename Char>
void CopyToastText(Char (&text)[CALC_TOAST_TEXT_LENGTH], const Char* message) {
  std::size_t i = 0;
  if (message != nullptr) {
    while (message[i] != 0) {
      const std::size_t end = i + CharacterUnits(message + i);
      if (end > kMaxCopiedUnits) break;
      for (; i < end; ++i) text[i] = message[i];
    }
  }
  for (; i < CALC_TOAST_TEXT_LENGTH; ++i) text[i] = 0;
}

// One toast on its way: the message and its two parameters.
struct ToastSend {
  UINT message;
  WPARAM record;
  LPARAM width;
};

// EnumThreadWindows's answer for "go on with the next window".
constexpr BOOL kNextWindow = 1;

// Sends the toast to `window`, one of the calling thread's.
BOOL CALLBACK SendToWindow(HWND window, LPARAM context) {
  const auto& send = *reinterpret_cast<const ToastSend*>(context);
  SendMessageA(window, send.message, send.record, send.width);
  return kNextWindow;
}

// Sends the record's address as the first message parameter and its text
// width, CALC_TOAST_NARROW or CALC_TOAST_WIDE, as the second, to each
// top-level window of the calling thread in turn, and to no other thread's:
// from the window's own thread a send never waits. Returns CALC_TOAST_RESULT.
template <typename Request>
std::int32_t SendToast(Request& request, LPARAM width) {
  const ToastSend send = {RegisterWindowMessageA(CALC_TOAST_MESSAGE_NAME),
                          reinterpret_cast<WPARAM>(&request), width};
  EnumThreadWindows(GetCurrentThreadId(), SendToWindow, reinterpret_cast<LPARAM>(&send));
  return CALC_TOAST_RESULT;
}

// Only the low 8 bits of the flag count, as a one-byte boolean argument would.
std::int32_t ToastFlag(std::int32_t flag) {
  return (flag & 0xFF) != 0 ? CALC_TOAST_FLAG_SET : 0;
}

}  // namespace

extern "C" {

CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL DisplayToast(const char* message,
                                                              const char* caption,
                                                              const char* extra,
                                                              std::int32_t flag) {
  CalcToastRequest request;
  CopyToastText(request.text, message);
  request.caption = caption;
  request.message = request.text;
  request.extra = extra;
  request.flag = ToastFlag(flag);
  return SendToast(request, CALC_TOAST_NARROW);
}

CALC_PLUGIN_EXPORT std::int32_t CALC_PLUGIN_CALL DisplayToastW(const CalcChar16* message,
                                                               const char* caption,
                                                               const char* extra,
                                                               std::int32_t flag) {
  CalcToastRequestW request;
  CopyToastText(request.text, message);
  request.caption = caption;
  request.message = message != nullptr ? message : request.text;
  request.extra = extra;
  request.flag = ToastFlag(flag);
  return SendToast(request, CALC_TOAST_WIDE);
}

}  // extern "C"

// Each definition converts to the type a host calls it through, or this does not compile.
[[maybe_unused]] constexpr CalcDisplayToastFn kDisplayToastType = DisplayToast;
[[maybe_unused]] constexpr CalcDisplayToastWFn kDisplayToastWType = DisplayToastW;
