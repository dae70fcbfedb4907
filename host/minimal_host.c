/* minimal_host.c: the smallest host, in C (C89 or later; it compiles as C++
 * too), written against calcplugin.h alone.
 *
 *   minimal_host LIBRARY [COMMAND [PARAMETER]]
 *
 * Loads the plug-in, prints its name and command words (PublishInfo), runs one
 * command (by default "/xcalc (1+2)*4") through ParseCommand and prints the
 * result text. Exits with 1 when the library or an entry point is missing. */
#include <stdio.h>
#include <string.h>

#include "calcplugin.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

/* The command-info record has room for as many commands as its description slots. */
#define COMMAND_SLOTS \
  ((CALC_INFO_WORD_OFFSET - CALC_INFO_DESCRIPTION_OFFSET) / CALC_INFO_DESCRIPTION_STRIDE)

static char command_info[CALC_INFO_RECORD_SIZE];
static char result[CALC_RESULT_BUFFER_SIZE];

/* Loads the library at `path`; null when it cannot be loaded. */
static void* load(const char* path) {
#if defined(_WIN32)
  return (void*)LoadLibraryA(path);
#else
  return dlopen(path, RTLD_NOW);
#endif
}

/* Copies the address of entry point `name` into the function pointer at
 * `function` (of `size` bytes); returns 0, copying nothing, when there is none. */
static int find(void* library, const char* name, void* function, size_t size) {
#if defined(_WIN32)
  FARPROC address = GetProcAddress((HMODULE)library, name);
#else
  void* address = dlsym(library, name);
#endif
  if (address == NULL) return 0;
  memcpy(function, &address, size);
  return 1;
}

int main(int argc, char** argv) {
  const char* command = argc > 2 ? argv[2] : "/xcalc";
  const char* parameter = argc > 3 ? argv[3] : "(1+2)*4";
  CalcPublishInfoFn publish_info;
  CalcParseCommandFn parse_command;
  char name[CALC_PLUGIN_NAME_SIZE];
  int flags, count, i;

  void* library = argc > 1 ? load(argv[1]) : NULL;
  if (library == NULL) {
    fprintf(stderr, "usage: minimal_host LIBRARY [COMMAND [PARAMETER]]; no library loaded\n");
    return 1;
  }
  if (!find(library, CALC_NAME_PUBLISH_INFO, &publish_info, sizeof publish_info) ||
      !find(library, CALC_NAME_PARSE_COMMAND, &parse_command, sizeof parse_command)) {
    fprintf(stderr, "minimal_host: %s lacks PublishInfo or ParseCommand\n", argv[1]);
    return 1;
  }

  publish_info(name, command_info, &flags);
  memcpy(&count, command_info + CALC_INFO_COUNT_OFFSET, sizeof count);
  printf("%s:", name);
  for (i = 0; i < count && i < (int)COMMAND_SLOTS; ++i) {
    printf(" /%s", command_info + CALC_INFO_WORD_AT((unsigned)i));
  }
  printf("\n");

  /* A handled command that gives no value ("2+") leaves the buffer as it was: empty here. */
  if (parse_command(command, parameter, NULL, result) == 0) {
    printf("%s: not a command of this plug-in\n", command);
  } else {
    printf("%s\n", result);
  }
  return 0;
}
