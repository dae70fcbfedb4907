// Reading the console host's input lines: libedit at a terminal where it was
// found at build time, standard input as it comes otherwise.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "host/host.h"

#if defined(CALC_HAVE_LIBEDIT)
#include <editline/readline.h>
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
