// The console host: how it splits lines, and whole sessions run through it.
#include "host/host.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#define popen _popen
#define pclose _pclose
#endif

namespace {

TEST(SplitCommandLine, AtTheFirstSpace) {
  const struct {
    const char* line;
    const char* word;
    const char* parameter;
  } cases[] = {
      {"/xcalc 1+2", "/xcalc", "1+2"}, {"/xcalc  1 + 2 ", "/xcalc", " 1 + 2 "},
      {"/xprecis", "/xprecis", ""},    {"/xprecis ", "/xprecis", ""},
      {"/xcalc\t1", "/xcalc\t1", ""},  {"", "", ""},
  };
  for (const auto& c : cases) {
    std::string word = "stale";
    std::string parameter = "stale";
    SplitCommandLine(c.line, word, parameter);
    EXPECT_EQ(word, c.word) << c.line;
    EXPECT_EQ(parameter, c.parameter) << c.line;
  }
}

TEST(Utf16FromUtf8, EachBadByteBecomesOneReplacement) {
  const struct {
    const char* utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"a\xC3\xA9\xE2\x89\x88", u"a\u00E9\u2248"},
      {"\xDF\xBF\xE0\xA0\x80", u"\u07FF\u0800"},          // the ends of two and three bytes
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},              // outside the BMP: a surrogate pair
      {"\xF0\x90\x80\x80", u"\xD800\xDC00"},              // the first code there
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},              // the last code there is
      {"\x80x", u"\xFFFDx"},                              // a continuation byte alone
      {"\xC0\xAF", u"\xFFFD\xFFFD"},                      // overlong
      {"\xE0\x9F\xBF", u"\xFFFD\xFFFD\xFFFD"},            // overlong
      {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},            // a surrogate's code
      {"\xED\xBF\xBF", u"\xFFFD\xFFFD\xFFFD"},            // the last surrogate's code
      {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // past U+10FFFF
      {"\xFC\x80\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // no such lead byte
      {"\xE2\x89", u"\xFFFD\xFFFD"},                      // cut short by the end
      {"\xE2x\x88", u"\xFFFDx\xFFFD"},                    // cut short by another character
  };
  for (const auto& c : cases) EXPECT_EQ(Utf16FromUtf8(c.utf8), c.utf16) << c.utf8;
}

TEST(DescribePlugin, ListsWhatThePluginPublishes) {
  const PluginLibrary plugin(DefaultPluginPath());
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  EXPECT_EQ(DescribePlugin(plugin),
            "Calculator Plugin\n"
            "  /xcalc expression: Performs algebrical expression\n"
            "  /xprecis precision: Set floating point precision\n");
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs the host program with `arguments` and returns its standard output, CR LF read as LF.
std::string RunHost(const std::string& arguments) {
  std::string command = std::string("\"") + CALCHOST_PATH + "\" " + arguments;
#if defined(_WIN32)
  // cmd.exe drops the first and the last quote of the whole line.
  command = "\"" + command + "\"";
#endif
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "(could not start the host)";
  std::string output;
  char chunk[4096];
  std::size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, count);
  pclose(pipe);
  std::string normalized;
  for (std::size_t i = 0; i < output.size(); ++i) {
    if (!(output[i] == '\r' && i + 1 < output.size() && output[i + 1] == '\n')) {
      normalized += output[i];
    }
  }
  return normalized;
}

TEST(Session, ScriptedSessionGivesTheKnownTranscript) {
  const std::string data = CALC_TEST_DATA_DIR;
  EXPECT_EQ(RunHost("< \"" + data + "/session.in\""), ReadFile(data + "/session.out"));
}

TEST(Session, CommandsAsArguments) {
  const struct {
    const char* arguments;
    const char* output;
  } cases[] = {
      {"\"/xcalc 6*7\" \"/xprecis 0\" \"/xcalc 6*7\"",
       "6*7=\n42.00\n[Calculator Options...] Floatting point precision: 0\n6*7=\n42\n"},
      // A freshly loaded library refuses "1a" and confirms its initial setting.
      {"\"/xprecis 1a\"", "[Calculator Options...] Floatting point precision: 2\n"},
      // A value only where the plug-in wrote one: not for a missing operand, nor for /xprecis.
      {"\"/xcalc 2+\" \"/xcalc =2\" \"/xprecis 3\" \"/xcalc 2\"",
       "(no value)\n(no value)\n[Calculator Options...] Floatting point precision: 3\n2=\n2.000\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunHost(c.arguments), c.output) << c.arguments;
}

// The reason a system loader gives for a library file that does not exist.
std::string MissingFileReason([[maybe_unused]] const std::string& path) {
#if defined(_WIN32)
  // ERROR_MOD_NOT_FOUND, in the system's words (Windows' or Wine's), then its number.
  constexpr unsigned long kModuleNotFound = 126;
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, kModuleNotFound, 0, text, sizeof text, nullptr);
  while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1]))) --length;
  return std::string(text, length) + " (error " + std::to_string(kModuleNotFound) + ")";
#else
  return path + ": cannot open shared object file: No such file or directory";
#endif
}

TEST(Session, MissingLibraryIsReportedWithTheReason) {
  EXPECT_EQ(RunHost("--plugin no-such-library \"/xcalc 1\" 2>&1"),
            "calchost: cannot use no-such-library: " + MissingFileReason("no-such-library") + "\n");
}

#if !defined(_WIN32)
TEST(Session, WithoutItsOwnPathTheHostLoadsNothingFromTheCurrentDirectory) {
  // A copy of the host in a folder whose path is longer than the kernel tells
  // a program its own path in, started from that folder, where a library of
  // the right name lies.
  const std::string library = DefaultPluginPath();
  std::string deep = "top=$(mktemp -d) && cd \"$top\"";
  for (int level = 0; level < 20; ++level) {
    const std::string name(250, static_cast<char>('a' + level));
    deep += " && mkdir " + name + " && cd -P " + name;
  }
  deep += " && cp \"" CALCHOST_PATH "\" calchost && cp \"" + library + "\" .";
  const struct {
    std::string arguments;
    const char* output;
  } cases[] = {
      {"\"/xcalc 1\"",
       "calchost: cannot read this program's own path, so the plug-in beside it cannot be "
       "found; give its path with --plugin PATH\n"},
      {"--plugin \"" + library + "\" \"/xcalc 1\"", "1=\n1.00\n"},
  };
  for (const auto& c : cases) {
    // AddressSanitizer, where built with it, warns that it cannot read the path either.
    const std::string script = deep + " && ./calchost " + c.arguments +
                               " 2>&1 | sed \"/^==[0-9]*==WARNING: reading executable name/d\";"
                               " cd / && rm -rf \"$top\"";
    FILE* pipe = popen(("sh -c '" + script + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[4096];
    std::size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, count);
    pclose(pipe);
    EXPECT_EQ(output, c.output) << c.arguments;
  }
}
#endif

#if defined(_WIN32)
// Another program's broadcast of the toast message, with no record.
DWORD WINAPI Broadcast(void*) {
  SendMessageA(HWND_BROADCAST, RegisterWindowMessageA("Glimmerpost_DisplayToast"), 0, 0);
  return 0;
}

TEST(Session, AnIdleHostDoesNotStallAnotherProgramsBroadcast) {
  ConsoleHostProcess host;
  ASSERT_TRUE(StartConsoleHost("", true, host));
  // One command and its answer: the host has loaded the plug-in and waits for the next line.
  const char line[] = "/xcalc 1+1\n";
  DWORD count = 0;
  WriteFile(host.input, line, sizeof line - 1, &count, nullptr);
  std::string output;
  char chunk[256];
  while (output.find("2.00") == std::string::npos &&
         ::ReadFile(host.output, chunk, sizeof chunk, &count, nullptr) && count > 0) {
    output.append(chunk, count);
  }
  ASSERT_NE(output.find("1+1=\r\n2.00"), std::string::npos) << output;

  HANDLE sender = CreateThread(nullptr, 0, Broadcast, nullptr, 0, nullptr);
  // The broadcast is over while the host still waits at its prompt.
  EXPECT_EQ(WaitForSingleObject(sender, kPatienceMs), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(host.process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  CloseHandle(host.input);  // the end of its input: the host quits
  host.input = nullptr;
  EXPECT_EQ(WaitForSingleObject(host.process.hProcess, kPatienceMs), WAIT_OBJECT_0);
  WaitForSingleObject(sender, INFINITE);
  CloseHandle(sender);
}
#endif

}  // namespace
