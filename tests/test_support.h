// A top-level window that records every toast request it receives, reading it
// as a host author would from the message parameters alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"
#include "platform/window.h"

// The plug-in library built beside the tests, loaded as a chat host loads it;
// the test program stops if it cannot be loaded.
const PluginLibrary& Plugin();

// Where a host finds a toast record's fields, in bytes from its start: three
// pointers, the flag, an unwritten field, then 256 characters of text.
struct ToastLayout {
  std::size_t caption, message, extra, flag, unused, text;
};
#if defined(_WIN32) && !defined(_WIN64)
constexpr ToastLayout kToastLayout = {0, 4, 8, 12, 16, 20};
#else
constexpr ToastLayout kToastLayout = {0, 8, 16, 24, 28, 32};  // 8-byte pointers
#endif
constexpr std::size_t kToastTextUnits = 256;

// What a listening window saw of one toast request, copied during the send.
struct ReceivedToast {
  std::uintptr_t record_address = 0;  // the first message parameter
  std::intptr_t width = -1;           // the second: 0 for 8-bit text, 1 for 16-bit
  std::vector<unsigned char> record;  // the record's bytes; empty if the address was bad
  std::string caption;                // read through the caption pointer
  std::string extra;                  // read through the extra pointer
  std::string text;                   // read through the message pointer (8-bit)
  std::u16string wide_text;           // read through the message pointer (16-bit)
};

// While alive, a top-level window of the test's own receives toast requests and answers `reply`.
class ToastListener {
 public:
  explicit ToastListener(LRESULT reply = 77);
  ~ToastListener();
  ToastListener(const ToastListener&) = delete;
  ToastListener& operator=(const ToastListener&) = delete;

  UINT message_number() const { return message_number_; }
  std::vector<ReceivedToast> received;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  UINT message_number_;
  LRESULT reply_;
  HWND window_;
};

// Reads a 32-bit field of a recorded request at `offset`.
std::uint32_t Field32(const ReceivedToast& toast, std::size_t offset);
// Reads a pointer-sized field of a recorded request at `offset`.
std::uintptr_t PointerAt(const ReceivedToast& toast, std::size_t offset);

#if defined(_WIN32)
// Wine under an emulator starts a program in seconds, not milliseconds.
constexpr DWORD kPatienceMs = 90000;

// The console host built beside the tests, running in a process of its own
// whose standard output and error go to a pipe of the test's, and so may its
// standard input.
struct ConsoleHostProcess {
  PROCESS_INFORMATION process = {};
  HANDLE input = nullptr;   // the write end of its standard input, or null
  HANDLE output = nullptr;  // the read end of its standard output
  ~ConsoleHostProcess();    // closes the handles; ends the host if it still runs
};

// Starts the console host with `arguments`, its input a pipe when
// `with_input`; false, with nothing open, when it cannot be started.
bool StartConsoleHost(const std::string& arguments, bool with_input, ConsoleHostProcess& host);
#endif
