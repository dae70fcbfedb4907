// Holds a Wine session open for a whole test run. The first program of a
// session starts Wine's background processes, which inherit its standard
// output; started by this program (whose output goes nowhere) they cannot keep
// a test's output pipe open. It pumps messages so that broadcasts never wait
// on it. Usage: wine_keepalive.exe READY-FILE; ended by `wineserver -k`.
#include <windows.h>

int main(int argc, char** argv) {
  // A window makes Wine start its desktop process now.
  CreateWindowExA(0, "STATIC", "keepalive", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                  nullptr);
  if (argc > 1) {
    HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  }
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
  }
}
