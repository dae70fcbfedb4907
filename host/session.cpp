// Turning typed lines into plug-in calls, as the chat host does.
#include <vector>

#include "host/host.h"

void SplitCommandLine(const std::string& line, std::string& word, std::string& parameter) {
  const std::size_t space = line.find(' ');
  word = line.substr(0, space);
  parameter = space == std::string::npos ? std::string() : line.substr(space + 1);
}

std::string RunCommandLine(const PluginLibrary& plugin, const std::string& line) {
  std::string word;
  std::string parameter;
  SplitCommandLine(line, word, parameter);
  // The host owns the result buffer and hands it over empty.
  std::vector<char> result(kResultBufferSize, '\0');
  if (plugin.parse_command(word.c_str(), parameter.c_str(), nullptr, result.data()) == 0) {
    return "(" + word + ": not a command of this plug-in)";
  }
  return std::string(result.data());
}
