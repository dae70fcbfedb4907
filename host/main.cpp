// calchost: try the plug-in from a terminal.
//
//   calchost [--plugin PATH] [--locale NAME] [COMMAND...]
//
// Runs each COMMAND ("/xcalc 1+2") given as an argument; without any, reads
// commands from standard input, one a line, until its end. --locale switches
// the host process to another C locale first, as some chat hosts do. At a
// terminal it first lists the plug-in's commands, offers line editing and
// history where built with libedit; "!about" shows its about box.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "host/host.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define STDIN_FILENO 0
#else
#include <unistd.h>
#endif

namespace {

constexpr const char* kNoProgramPath =
    "calchost: cannot read this program's own path, so the plug-in beside it cannot be "
    "found; give its path with --plugin PATH";

void RunLine(const PluginLibrary& plugin, const std::string& line) {
  if (line.empty()) return;
  const std::string shown = RunCommandLine(plugin, line);
  if (!shown.empty()) std::printf("%s\n", shown.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  bool path_given = false;
  std::vector<std::string> commands;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--plugin" && i + 1 < argc) {
      path = argv[++i];
      path_given = true;
    } else if (argument == "--locale" && i + 1 < argc) {
      if (std::setlocale(LC_ALL, argv[++i]) == nullptr) {
        std::fprintf(stderr, "calchost: no locale %s\n", argv[i]);
        return 1;
      }
    } else if (argument == "--help" || argument == "-h") {
      std::printf("usage: %s [--plugin PATH] [--locale NAME] [COMMAND...]\n", argv[0]);
      return 0;
    } else {
      commands.push_back(argument);
    }
  }

  if (!path_given) {
    path = DefaultPluginPath();
    if (path.empty()) {
      std::fprintf(stderr, "%s\n", kNoProgramPath);
      return 1;
    }
  }
  PluginLibrary plugin(path);
  if (!plugin.loaded() || plugin.parse_command == nullptr) {
    std::fprintf(stderr, "calchost: cannot use %s: %s\n", path.c_str(), plugin.error().c_str());
    return 1;
  }
  ToastWindow toasts;
  if (plugin.initialize != nullptr) plugin.initialize(nullptr, nullptr, nullptr);

  if (!commands.empty()) {
    for (const std::string& command : commands) RunLine(plugin, command);
  } else {
    const bool interactive = isatty(STDIN_FILENO) != 0;
    if (interactive) {
      std::printf("%s(%s: the plug-in's about box; end of input quits)\n",
                  DescribePlugin(plugin).c_str(), kAboutCommand);
    }
    InputLines input(interactive, "> ");
    std::string line;
    while (input.Next(line)) RunLine(plugin, line);
    if (interactive) std::printf("\n");
  }

  if (plugin.uninitialize != nullptr) plugin.uninitialize();
  return 0;
}
