#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
ToastListener* current_listener = nullptr;
}

const PluginLibrary& Plugin() {
  static const PluginLibrary plugin(DefaultPluginPath());
  if (!plugin.loaded() || plugin.display_toast == nullptr || plugin.display_toast_w == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", DefaultPluginPath().c_str(),
                 plugin.error().c_str());
    std::exit(2);
  }
  return plugin;
}

ToastListener::ToastListener(LRESULT reply)
    : message_number_(RegisterWindowMessageA(TOAST_MESSAGE_NAME)), reply_(reply) {
  current_listener = this;
  window_ = CreateTopLevelWindow(Procedure);
}

ToastListener::~ToastListener() {
  DestroyTopLevelWindow(window_);
  current_listener = nullptr;
}

LRESULT CALLBACK ToastListener::Procedure(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) {
  ToastListener* listener = current_listener;
  if (listener == nullptr || message != listener->message_number_) {
    return DefWindowProcA(window, message, wparam, lparam);
  }
  ReceivedToast toast;
  toast.wide = wparam;
  toast.record_address = static_cast<std::uintptr_t>(lparam);
  const auto* bytes = reinterpret_cast<const unsigned char*>(lparam);
  if (wparam == 0) {
    const auto* request = reinterpret_cast<const ToastRequest*>(lparam);
    toast.record.assign(bytes, bytes + sizeof(ToastRequest));
    if (request->message != nullptr) toast.text = request->message;
    if (request->caption != nullptr) toast.caption = request->caption;
    if (request->extra != nullptr) toast.extra = request->extra;
  } else {
    const auto* request = reinterpret_cast<const ToastRequestW*>(lparam);
    toast.record.assign(bytes, bytes + sizeof(ToastRequestW));
    if (request->message != nullptr) toast.wide_text = request->message;
    if (request->caption != nullptr) toast.caption = request->caption;
    if (request->extra != nullptr) toast.extra = request->extra;
  }
  listener->received.push_back(toast);
  return listener->reply_;
}

std::uint32_t Field32(const ReceivedToast& toast, std::size_t offset) {
  std::uint32_t value = 0;
  std::memcpy(&value, toast.record.data() + offset, sizeof value);
  return value;
}

std::uintptr_t PointerField(const ReceivedToast& toast, std::size_t index) {
  std::uintptr_t value = 0;
  std::memcpy(&value, toast.record.data() + index * sizeof(void*), sizeof value);
  return value;
}
