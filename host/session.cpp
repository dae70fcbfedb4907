// Turning typed lines into plug-in calls, as the chat host does.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/host.h"

void SplitCommandLine(const std::string& line, std::string& word, std::string& parameter) {
  const std::size_t space = line.find(' ');
  word = line.substr(0, space);
  parameter = space == std::string::npos ? std::string() : line.substr(space + 1);
}

std::string DescribePlugin(const PluginLibrary& plugin) {
  if (plugin.publish_info == nullptr) return "";
  // The host's own record size; the plug-in writes only at the header's offsets.
  constexpr std::size_t kRecordSize = 16384;
  std::vector<char> name(256, '\0');
  std::vector<char> record(kRecordSize, '\0');
  std::int32_t flags = 0;
  if (plugin.publish_info(name.data(), record.data(), &flags) == 0) return "";
  name.back() = '\0';
  std::int32_t count = 0;
  std::memcpy(&count, record.data() + CALC_INFO_COUNT_OFFSET, sizeof count);
  std::string description = std::string(name.data()) + "\n";
  for (std::int32_t i = 0; i < count; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const std::size_t description_at = CALC_INFO_DESCRIPTION_AT(at);
    const std::size_t word_at = CALC_INFO_WORD_AT(at);
    const std::size_t parameter_at = CALC_INFO_PARAMETER_AT(at);
    if (parameter_at + CALC_INFO_PARAMETER_STRIDE > kRecordSize) break;
    // A text that fills its whole slot is cut at the slot's end.
    record[description_at + CALC_INFO_DESCRIPTION_STRIDE - 1] = '\0';
    record[word_at + CALC_INFO_WORD_STRIDE - 1] = '\0';
    record[parameter_at + CALC_INFO_PARAMETER_STRIDE - 1] = '\0';
    description += "  /" + std::string(&record[word_at]) + " " +
                   std::string(&record[parameter_at]) + ": " +
                   std::string(&record[description_at]) + "\n";
  }
  return description;
}

std::u16string Utf16FromUtf8(const std::string& text) {
  constexpr char16_t kReplacement = 0xFFFD;
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // The sequence's length and the smallest code it may carry (shorter ones are overlong).
    const std::size_t length = lead < 0x80    ? 1
                               : lead >= 0xF8 ? 0
                               : lead >= 0xF0 ? 4
                               : lead >= 0xE0 ? 3
                               : lead >= 0xC0 ? 2
                                              : 0;
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t code = length == 1   ? lead
                    : length == 2 ? lead & 0x1F
                    : length == 3 ? lead & 0x0F
                                  : lead & 0x07;
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    valid =
        valid && code >= kSmallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      out += kReplacement;
      ++i;
    } else if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
      i += length;
    } else {
      out += static_cast<char16_t>(code);
      i += length;
    }
  }
  return out;
}

std::string RunCommandLine(const PluginLibrary& plugin, const std::string& line) {
  if (line == kAboutCommand && plugin.configure != nullptr) {
    plugin.configure();
    return "";
  }
  std::string word;
  std::string parameter;
  SplitCommandLine(line, word, parameter);
  // Asked for as any other code in the process asks, outside any ParseCommand call.
  if (word == kToastCommand || word == kToastWCommand) {
    const bool wide = word == kToastWCommand;
    if (wide ? plugin.display_toast_w == nullptr : plugin.display_toast == nullptr) {
      return "(" + word + ": the library has no entry point named " +
             (wide ? CALC_NAME_DISPLAY_TOAST_W : CALC_NAME_DISPLAY_TOAST) + ")";
    }
    if (wide) {
      plugin.display_toast_w(Utf16FromUtf8(parameter).c_str(), kHostToastCaption, "", 0);
    } else {
      plugin.display_toast(parameter.c_str(), kHostToastCaption, "", 0);
    }
    return "";
  }
  // The host owns the result buffer and hands it over without a terminator
  // anywhere, so a buffer the plug-in left alone tells itself apart from one
  // it emptied: any text the plug-in writes ends in a NUL.
  constexpr char kUntouched = '\x7f';
  std::vector<char> result(CALC_RESULT_BUFFER_SIZE, kUntouched);
  if (plugin.parse_command(word.c_str(), parameter.c_str(), nullptr, result.data()) == 0) {
    return "(" + word + ": not a command of this plug-in)";
  }
  if (std::find(result.begin(), result.end(), '\0') == result.end()) return kNoValue;
  return std::string(result.data());
}
