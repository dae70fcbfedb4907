// What the plug-in tells its host about itself: name, commands, about box.
#include <cstring>

#include "platform/window.h"
#include "plugin/plugin.h"

namespace {

// A text and the offset in the host's command-info record where it goes.
struct RecordText {
  std::size_t offset;
  const char* text;
};

// Two commands: descriptions 128 bytes apart from offset 4, command words 128
// apart from 6404, parameter names 256 apart from 12804.
constexpr RecordText kCommandTexts[] = {
    {4, "Performs algebrical expression"},
    {132, "Set floating point precision"},
    {6404, "xcalc"},
    {6532, "xprecis"},
    {12804, "expression"},
    {13060, "precision"},
};

constexpr std::int32_t kCommandCount = 2;

constexpr char kAboutCaption[] = "About Calculator Plugin...";
constexpr char kAboutText[] =
    "\tCalculator plugin v1.0\n\n"
    "/xcalc algebric_expression\nexample:\n/xcalc (666/77)*8+3-(2.5*8)+10\n\n"
    "/xprecis floatting_precision\nexample:\n/xprecis 10\n"
    "precision must be beetween 0 and 16\n\n"
    "\tAuthor: Quenholt";

}  // namespace

void PublishPluginInfo(char* name, void* command_info, std::int32_t* flags) {
  if (name != nullptr) std::memcpy(name, "Calculator Plugin", sizeof "Calculator Plugin");
  if (command_info != nullptr) {
    auto* record = static_cast<unsigned char*>(command_info);
    std::memcpy(record, &kCommandCount, sizeof kCommandCount);
    for (const RecordText& entry : kCommandTexts) {
      std::memcpy(record + entry.offset, entry.text, std::strlen(entry.text) + 1);
    }
  }
  if (flags != nullptr) *flags = 0;
}

std::int32_t ShowAboutBox() {
  return MessageBoxA(GetActiveWindow(), kAboutText, kAboutCaption, MB_OK);
}
