// What the plug-in tells its host about itself: name, commands, about box.
#include <cstring>
#include <iterator>
#include <string>

#include "calcplugin.h"
#include "platform/window.h"
#include "plugin/plugin.h"

namespace {

// A text and the offset in the host's command-info record where it goes.
struct RecordText {
  std::size_t offset;
  const char* text;
};

constexpr RecordText kCommandTexts[] = {
    {CALC_INFO_DESCRIPTION_AT(0), "Performs algebrical expression"},
    {CALC_INFO_DESCRIPTION_AT(1), "Set floating point precision"},
    {CALC_INFO_WORD_AT(0), "xcalc"},
    {CALC_INFO_WORD_AT(1), "xprecis"},
    {CALC_INFO_PARAMETER_AT(0), "expression"},
    {CALC_INFO_PARAMETER_AT(1), "precision"},
};

// The texts above are in the order of their offsets: the last one's
// terminator is the last byte written, where the header says the record ends.
constexpr RecordText kLastText = kCommandTexts[std::size(kCommandTexts) - 1];
static_assert(kLastText.offset + std::char_traits<char>::length(kLastText.text) + 1 ==
                  CALC_INFO_RECORD_SIZE,
              "the record size a host is told to give");

constexpr std::int32_t kCommandCount = 2;

constexpr char kPluginName[] = "Calculator Plugin";

constexpr char kAboutCaption[] = "About Calculator Plugin...";
constexpr char kAboutText[] =
    "\tCalculator plugin v1.0\n\n"
    "/xcalc algebric_expression\nexample:\n/xcalc (666/77)*8+3-(2.5*8)+10\n\n"
    "/xprecis floatting_precision\nexample:\n/xprecis 10\n"
    "precision must be beetween 0 and 16\n\n"
    "\tAuthor: Quenholt";

}  // namespace

void PublishPluginInfo(char* name, void* command_info, std::int32_t* flags) {
  static_assert(sizeof kPluginName == CALC_PLUGIN_NAME_SIZE, "plug-in name");
  if (name != nullptr) std::memcpy(name, kPluginName, sizeof kPluginName);
  if (command_info != nullptr) {
    auto* record = static_cast<unsigned char*>(command_info);
    std::memcpy(record + CALC_INFO_COUNT_OFFSET, &kCommandCount, sizeof kCommandCount);
    for (const RecordText& entry : kCommandTexts) {
      std::memcpy(record + entry.offset, entry.text, std::strlen(entry.text) + 1);
    }
  }
  if (flags != nullptr) *flags = 0;
}

std::int32_t ShowAboutBox() {
  return MessageBoxA(GetActiveWindow(), kAboutText, kAboutCaption, MB_OK);
}
