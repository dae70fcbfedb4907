// DisplayToast and DisplayToastW.
#include "toast/toast.h"

#include "platform/window.h"

namespace {

// Copies at most kToastTextLength - 1 characters as strncpy does (zeros after
// a short text) and always terminates in the last position.
template <typename Char>
void CopyToastText(Char* text, const Char* message) {
  std::size_t i = 0;
  if (message != nullptr) {
    for (; i < kToastTextLength - 1 && message[i] != 0; ++i) text[i] = message[i];
  }
  for (; i < kToastTextLength; ++i) text[i] = 0;
}

template <typename Char>
std::int32_t SendToast(BasicToastRequest<Char>& request, WPARAM wide) {
  const UINT message_number = RegisterWindowMessageA(TOAST_MESSAGE_NAME);
  return static_cast<std::int32_t>(SendMessageA(HWND_BROADCAST, message_number, wide,
                                                reinterpret_cast<LPARAM>(&request)));
}

// Only the low 8 bits of the flag count, as a one-byte boolean argument would.
std::int32_t ToastFlag(std::int32_t flag) { return (flag & 0xFF) != 0 ? -1 : 0; }

}  // namespace

extern "C" {

PLUGIN_EXPORT std::int32_t PLUGIN_CALL DisplayToast(const char* message, const char* caption,
                                                    const char* extra, std::int32_t flag) {
  ToastRequest request;
  CopyToastText(request.text, message);
  request.caption = caption;
  request.message = request.text;
  request.extra = extra;
  request.flag = ToastFlag(flag);
  return SendToast(request, 0);
}

PLUGIN_EXPORT std::int32_t PLUGIN_CALL DisplayToastW(const char16_t* message, const char* caption,
                                                     const char* extra, std::int32_t flag) {
  ToastRequestW request;
  CopyToastText(request.text, message);
  request.caption = caption;
  request.message = message != nullptr ? message : request.text;
  request.extra = extra;
  request.flag = ToastFlag(flag);
  return SendToast(request, 1);
}

}  // extern "C"
