// Top-level windows for hosts and tests on Windows.
#include "platform/window.h"

namespace {

constexpr const char* kClassName = "CalcTopLevelWindow";

// Each window keeps its procedure in its user data; the class procedure forwards to it.
LRESULT CALLBACK ForwardingProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (procedure == nullptr || message == WM_NCCREATE || message == WM_CREATE ||
      message == WM_DESTROY || message == WM_NCDESTROY) {
    return DefWindowProcA(window, message, wparam, lparam);
  }
  return procedure(window, message, wparam, lparam);
}

}  // namespace

HWND CreateTopLevelWindow(WNDPROC procedure) {
  if (procedure == nullptr) return nullptr;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  static const ATOM window_class = [instance] {
    WNDCLASSA description = {};
    description.lpfnWndProc = ForwardingProcedure;
    description.hInstance = instance;
    description.lpszClassName = kClassName;
    return RegisterClassA(&description);
  }();
  if (window_class == 0) return nullptr;
  // Not message-only: broadcasts go to top-level windows, hidden ones included.
  return CreateWindowExA(0, kClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance,
                         reinterpret_cast<void*>(procedure));
}

void DestroyTopLevelWindow(HWND window) { DestroyWindow(window); }
