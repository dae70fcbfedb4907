// Reading the console host's input lines: libedit at a terminal where it was
// found at build time, standard input as it comes otherwise.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "host/host.h"

#if defined(CALC_HAVE_LIBEDIT)
#include <editline/readline.h>
#endif
#if defined(_WIN32)
#include <windows.h>
#endif

bool ReadInputLine(bool interactive, const char* prompt, std::string& line) {
#if defined(CALC_HAVE_LIBEDIT)
  if (interactive) {
    char* read = readline(prompt);
    if (read == nullptr) return false;
    line = read;
    std::free(read);
    if (!line.empty()) add_history(line.c_str());
    return true;
  }
#else
  if (interactive) {
    std::printf("%s", prompt);
    std::fflush(stdout);
  }
#endif
  if (!std::getline(std::cin, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

#if defined(_WIN32)
InputLines::InputLines(bool interactive, const char* prompt)
    : interactive_(interactive),
      prompt_(prompt),
      ready_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      taken_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

InputLines::~InputLines() {
  // A reader still waiting for input is left to end with the process.
  for (HANDLE handle : {thread_, ready_, taken_}) {
    if (handle != nullptr) CloseHandle(handle);
  }
}

unsigned long __stdcall InputLines::Read(void* context) {
  auto& lines = *static_cast<InputLines*>(context);
  const HANDLE ready = lines.ready_;
  const HANDLE taken = lines.taken_;
  for (;;) {
    // Once the last line is handed over, the reader touches nothing of `lines`.
    const bool ended = !ReadInputLine(lines.interactive_, lines.prompt_, lines.line_);
    lines.ended_ = ended;
    SetEvent(ready);
    if (ended || WaitForSingleObject(taken, INFINITE) != WAIT_OBJECT_0) return 0;
  }
}

bool InputLines::Next(std::string& line) {
  if (ready_ == nullptr || taken_ == nullptr) return ReadInputLine(interactive_, prompt_, line);
  if (thread_ == nullptr) {
    thread_ = CreateThread(nullptr, 0, Read, this, 0, nullptr);
    if (thread_ == nullptr) return ReadInputLine(interactive_, prompt_, line);
  } else if (ended_) {
    return false;
  } else {
    SetEvent(taken_);
  }
  // Every message that comes meanwhile is handled: a toast sent from another
  // program finds its window reading and is refused at once.
  while (MsgWaitForMultipleObjects(1, &ready_, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  if (ended_) return false;
  line = line_;
  return true;
}
#else
InputLines::InputLines(bool interactive, const char* prompt)
    : interactive_(interactive), prompt_(prompt) {}

InputLines::~InputLines() = default;

bool InputLines::Next(std::string& line) { return ReadInputLine(interactive_, prompt_, line); }
#endif
