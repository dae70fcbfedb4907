// A top-level window that records every toast request it receives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"
#include "platform/window.h"
#include "toast/toast.h"

// The plug-in library built beside the tests, loaded as a chat host loads it;
// the test program stops if it cannot be loaded.
const PluginLibrary& Plugin();

// What a listening window saw of one toast request, copied during the send.
struct ReceivedToast {
  WPARAM wide = 0;
  std::uintptr_t record_address = 0;
  std::vector<unsigned char> record;  // the record's bytes
  std::string caption;                // read through the caption pointer
  std::string extra;                  // read through the extra pointer
  std::string text;                   // read through the message pointer (8-bit)
  std::u16string wide_text;           // read through the message pointer (16-bit)
};

// While alive, a top-level window receives toast requests and answers `reply`.
class ToastListener {
 public:
  explicit ToastListener(LRESULT reply = 77);
  ~ToastListener();
  ToastListener(const ToastListener&) = delete;
  ToastListener& operator=(const ToastListener&) = delete;

  UINT message_number() const { return message_number_; }
  LRESULT reply() const { return reply_; }
  std::vector<ReceivedToast> received;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  UINT message_number_;
  LRESULT reply_;
  HWND window_;
};

// Reads a 32-bit field of a recorded request at `offset`.
std::uint32_t Field32(const ReceivedToast& toast, std::size_t offset);
// Reads a pointer-sized field of a recorded request: field `index` of the first three.
std::uintptr_t PointerField(const ReceivedToast& toast, std::size_t index);
