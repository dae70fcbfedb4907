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

std::string RunCommandLine(const PluginLibrary& plugin, const std::string& line) {
  if (line == kAboutCommand && plugin.configure != nullptr) {
    plugin.configure();
    return "";
  }
  std::string word;
  std::string parameter;
  SplitCommandLine(line, word, parameter);
  // The host owns the result buffer and hands it over without a terminator
  // anywhere, so a buffer the plug-in left alone tells itself apart from one
  // it emptied: any text the plug-in writes ends in a NUL.
  constexpr char kUntouched = '\x7f';
  std::vector<char> result(CALC_RESULT_BUFFER_SIZE, kUntouched);
  if (CallParseCommand(plugin, word.c_str(), parameter.c_str(), result.data()) == 0) {
    return "(" + word + ": not a command of this plug-in)";
  }
  if (std::find(result.begin(), result.end(), '\0') == result.end()) return kNoValue;
  return std::string(result.data());
}
