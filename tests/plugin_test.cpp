// The commands, driven through the built library's ParseCommand as a host drives them.
#include <gtest/gtest.h>

#include <cfenv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <float.h>
#endif

#include "plugin/host_contract.h"
#include "test_support.h"

namespace {

// Bytes past the text the plug-in may write must keep this value.
constexpr char kSentinel = '\x5A';

struct Outcome {
  std::int32_t handled;
  std::string text;  // what the result buffer holds afterwards
};

// Runs a command with a sentinel-filled result buffer of exactly
// CALC_RESULT_BUFFER_SIZE bytes, followed by a guard area that must stay untouched.
Outcome RunCommandText(const char* command, const std::string& parameter) {
  std::vector<char> buffer(CALC_RESULT_BUFFER_SIZE + 64, kSentinel);
  buffer[0] = '\0';
  Outcome outcome;
  outcome.handled = Plugin().parse_command(command, parameter.c_str(), nullptr, buffer.data());
  const std::size_t length = strnlen(buffer.data(), CALC_RESULT_BUFFER_SIZE);
  EXPECT_LT(length, CALC_RESULT_BUFFER_SIZE) << "unterminated result for " << parameter;
  for (std::size_t i = length + 1; i < buffer.size(); ++i) {
    if (buffer[i] != kSentinel) {
      ADD_FAILURE() << "byte " << i << " written past the text for " << command << " "
                    << parameter;
      break;
    }
  }
  outcome.text.assign(buffer.data(), length);
  return outcome;
}

std::string Calc(const std::string& expression) { return RunCommandText("/xcalc", expression).text; }

void SetPrecision(const char* text) { ASSERT_EQ(RunCommandText("/xprecis", text).handled, 1); }

// Restores the default of two decimals after each test that changes it.
class PluginTest : public ::testing::Test {
 protected:
  void TearDown() override { SetPrecision("2"); }
};

// --- Dispatch ----------------------------------------------------------------------

TEST_F(PluginTest, CommandWordsMatchIgnoringAsciiCaseOnly) {
  const struct {
    const char* command;
    const char* parameter;
    std::int32_t handled;
    const char* text;
  } cases[] = {
      {"/xcalc", "1+2", 1, "1+2=\n3.00"},
      {"/XCALC", "2*3", 1, "2*3=\n6.00"},
      {"/XCalc", "a=7/2", 1, "a=7/2=\n3.50"},
      {"/xcalcx", "2", 0, ""},
      {"/calc", "2", 0, ""},
      {"xcalc", "2", 0, ""},
      {"/xcal", "2", 0, ""},
      {"", "2", 0, ""},
      {"/xcalc ", "2", 0, ""},
      {"/xc\xc3\x81lc", "2", 0, ""},
      {"/XPRECIS", "2", 1, ""},
      {"/xPrecis", "2", 1, ""},
      {"/xprecisx", "2", 0, ""},
  };
  for (const auto& c : cases) {
    const Outcome outcome = RunCommandText(c.command, c.parameter);
    EXPECT_EQ(outcome.handled, c.handled) << c.command << " " << c.parameter;
    EXPECT_EQ(outcome.text, c.text) << c.command << " " << c.parameter;
  }
}

TEST_F(PluginTest, NullPointersFromTheHost) {
  char result[16] = "untouched";
  EXPECT_EQ(Plugin().parse_command(nullptr, "1", nullptr, result), 0);
  EXPECT_STREQ(result, "untouched");
  EXPECT_EQ(Plugin().parse_command("/xcalc", nullptr, nullptr, result), 1);
  EXPECT_STREQ(result, "untouched");  // empty text has no value
  // With no result buffer the command still runs.
  EXPECT_EQ(Plugin().parse_command("/xcalc", "nullresult=5", nullptr, nullptr), 1);
  EXPECT_EQ(Calc("nullresult"), "nullresult=\n5.00");
  EXPECT_EQ(Plugin().parse_command("/xprecis", "3", nullptr, nullptr), 1);
  EXPECT_EQ(Calc("1"), "1=\n1.000");
  EXPECT_EQ(Plugin().parse_command("/xprecis", nullptr, nullptr, result), 1);
  EXPECT_EQ(result[0], '\0');
  EXPECT_EQ(Calc("1"), "1=\n1");
}

// --- /xcalc --------------------------------------------------------------------------

TEST_F(PluginTest, CalcWritesTheParameterAsGivenAndTheValue) {
  const struct {
    const char* parameter;
    const char* text;
  } cases[] = {
      {"(666/77)*8+3-(2.5*8)+10", "(666/77)*8+3-(2.5*8)+10=\n62.19"},
      {"2 3", "2 3=\n2.00"},
      {"  \t7", "  \t7=\n7.00"},
      {"7\n+1", "7\n+1=\n7.00"},
      {"(1+2]", "(1+2]=\n3.00"},
      {"(1+2", "(1+2=\n3.00"},
      {"1.5.9*2", "1.5.9*2=\n3.00"},
      {"-(2+3)*2", "-(2+3)*2=\n-10.00"},
      {"-2+3", "-2+3=\n1.00"},
      {"((1+2)*3)", "((1+2)*3)=\n9.00"},
      {"(m=3)*m", "(m=3)*m=\n9.00"},  // the assignment on the left runs first
      {"(d=2)/d", "(d=2)/d=\n1.00"},
      {"1/0", "1/0=\ninf"},
      {"-1/0", "-1/0=\n-inf"},
      {"-0", "-0=\n-0.00"},
      {"0.005", "0.005=\n0.01"},  // 0.005 is just above the halfway point as a double
      {"0.125", "0.125=\n0.12"},  // exactly halfway: to even
      {"0.375", "0.375=\n0.38"},
      {"2.675", "2.675=\n2.67"},  // just below the halfway point as a double
  };
  for (const auto& c : cases) EXPECT_EQ(Calc(c.parameter), c.text) << c.parameter;
}

TEST_F(PluginTest, NaNIsShownWithoutASign) {
  // The sign bit of a NaN depends on the platform and on how it was computed.
  for (const char* parameter : {"0/0", "-(0/0)", "1/0-1/0", "-(1/0-1/0)", "0*(1/0)"}) {
    EXPECT_EQ(Calc(parameter), std::string(parameter) + "=\nnan") << parameter;
  }
}

TEST_F(PluginTest, NoValueLeavesTheResultUntouched) {
  const char* parameters[] = {")", "", "=2", "2+", "*2", "3*)", "()+1", "a=3+", "/2"};
  for (const char* parameter : parameters) {
    char result[8] = "keep";
    EXPECT_EQ(Plugin().parse_command("/xcalc", parameter, nullptr, result), 1) << parameter;
    EXPECT_STREQ(result, "keep") << parameter;
  }
}

TEST_F(PluginTest, VariablesPersistBetweenCommands) {
  EXPECT_EQ(Calc("a=(1+2)*4"), "a=(1+2)*4=\n12.00");
  EXPECT_EQ(Calc("a*2"), "a*2=\n24.00");
  EXPECT_EQ(Calc("2*pb=3+1"), "2*pb=3+1=\n8.00");
  EXPECT_EQ(Calc("pb"), "pb=\n4.00");
  EXPECT_EQ(Calc("(pc=2)*0+pc"), "(pc=2)*0+pc=\n2.00");
  EXPECT_EQ(Calc("PB"), "PB=\n0.00");
  // Names that are prefixes of others stay apart.
  EXPECT_EQ(Calc("a=1"), "a=1=\n1.00");
  EXPECT_EQ(Calc("abc=2"), "abc=2=\n2.00");
  EXPECT_EQ(Calc("a"), "a=\n1.00");
  // An incomplete command assigns nothing.
  EXPECT_EQ(Calc("(pb=100)+"), "");
  EXPECT_EQ(Calc("pb"), "pb=\n4.00");
}

TEST_F(PluginTest, LengthLimits) {
  // 2047 bytes are read, 2048 are refused whole rather than cut.
  std::string sum = "1";
  while (sum.size() < 2047) sum += "+1";
  const Outcome longest = RunCommandText("/xcalc", sum);
  EXPECT_EQ(longest.handled, 1);
  EXPECT_EQ(longest.text, sum + "=\n1024.00");
  char result[8] = "keep";
  EXPECT_EQ(Plugin().parse_command("/xcalc", (sum + "1").c_str(), nullptr, result), 1);
  EXPECT_STREQ(result, "keep");
  EXPECT_EQ(Plugin().parse_command("/xcalc", (sum + std::string(5000, ' ')).c_str(), nullptr, result), 1);
  EXPECT_STREQ(result, "keep");

  // Names and numbers: 87 characters are read, 88 give no value.
  const std::string name87(87, 'z');
  EXPECT_EQ(Calc(name87 + "=2"), name87 + "=2=\n2.00");
  EXPECT_EQ(Calc(name87 + "z=2"), "");
  const std::string number87 = std::string(86, '0') + "5";
  EXPECT_EQ(Calc(number87), number87 + "=\n5.00");
  EXPECT_EQ(Calc("0" + number87), "");
}

TEST_F(PluginTest, LongestResultFillsTheBufferExactly) {
  // A 2047-byte parameter whose value is near -DBL_MAX, with 16 decimals.
  SetPrecision("16");
  std::string expression = "-17976931348623157";
  for (int i = 0; i < 292; ++i) expression += "*10";
  ASSERT_LE(expression.size(), 2047u);
  expression.resize(2047, ' ');
  const std::string text = Calc(expression);
  EXPECT_EQ(text.size(), CALC_RESULT_BUFFER_SIZE - 1);
  EXPECT_EQ(text.substr(2047, 4), "=\n-1");
  EXPECT_EQ(text.substr(text.size() - 17), ".0000000000000000");
}

TEST_F(PluginTest, DeepestExpressionsThatFit) {
  const struct {
    std::string parameter;
    const char* value;
  } cases[] = {
      {std::string(2046, '(') + "1", "1.00"},
      {std::string(2046, '-') + "1", "1.00"},
      {std::string(2045, '-') + "1)", "-1.00"},
      {std::string(1023, '(') + "1" + std::string(1023, ')'), "1.00"},
  };
  for (const auto& c : cases) {
    const std::string text = Calc(c.parameter);
    EXPECT_EQ(text, c.parameter + "=\n" + c.value) << c.parameter.substr(0, 20) << "...";
  }
  std::string chain;
  while (chain.size() + 4 <= 2047) chain += "dq=";
  chain += "6";
  EXPECT_EQ(Calc(chain), chain + "=\n6.00");
  EXPECT_EQ(Calc("dq"), "dq=\n6.00");
}

// --- Formatting ------------------------------------------------------------------

TEST_F(PluginTest, EveryPrecisionFromNoneToSixteen) {
  const char* expected[] = {
      "3",
      "3.1",
      "3.14",
      "3.143",
      "3.1429",
      "3.14286",
      "3.142857",
      "3.1428571",
      "3.14285714",
      "3.142857143",
      "3.1428571429",
      "3.14285714286",
      "3.142857142857",
      "3.1428571428571",
      "3.14285714285714",
      "3.142857142857143",
      "3.1428571428571428",
  };
  for (int decimals = 0; decimals <= 16; ++decimals) {
    SetPrecision(std::to_string(decimals).c_str());
    EXPECT_EQ(Calc("22/7"), std::string("22/7=\n") + expected[decimals]) << decimals;
  }
  SetPrecision("16");
  EXPECT_EQ(Calc("1/3"), "1/3=\n0.3333333333333333");
  EXPECT_EQ(Calc("0.1"), "0.1=\n0.1000000000000000");
  EXPECT_EQ(Calc("2/3"), "2/3=\n0.6666666666666666");
  SetPrecision("0");
  EXPECT_EQ(Calc("0.5"), "0.5=\n0");
  EXPECT_EQ(Calc("1.5"), "1.5=\n2");
  EXPECT_EQ(Calc("2.5"), "2.5=\n2");
  EXPECT_EQ(Calc("-0.5"), "-0.5=\n-0");
}

#if defined(__GLIBC__)
// The values must be exactly what glibc's printf gives in the C locale.
TEST_F(PluginTest, FormattingMatchesPrintf) {
  std::mt19937_64 random(20261208);
  std::uniform_int_distribution<int> digit_count(1, 17);
  for (int decimals = 0; decimals <= 16; ++decimals) {
    SetPrecision(std::to_string(decimals).c_str());
    for (int i = 0; i < 300; ++i) {
      std::string numerator;
      const int digits = digit_count(random);
      for (int d = 0; d < digits; ++d) numerator += static_cast<char>('0' + random() % 10);
      const std::string denominator = std::to_string(random() % 1000 + 1);
      const std::string expression = numerator + "/" + denominator;
      const double value =
          std::strtod(numerator.c_str(), nullptr) / std::strtod(denominator.c_str(), nullptr);
      char expected[400];
      std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
      ASSERT_EQ(Calc(expression), expression + "=\n" + expected) << "decimals " << decimals;
    }
  }
}
#endif

// --- /xprecis ----------------------------------------------------------------------

TEST_F(PluginTest, PrecisionCommand) {
  const struct {
    const char* parameter;
    const char* shown;  // the setting the toast confirms
    const char* value;  // "/xcalc 22/7" afterwards
  } cases[] = {
      {"10", "10", "3.1428571429"},
      {"17", "16", "3.1428571428571428"},
      {"5", "5", "3.14286"},
      {"99", "16", "3.1428571428571428"},
      {"4", "4", "3.1429"},
      {"100", "4", "3.1429"},
      {"1a", "4", "3.1429"},
      {"-1", "4", "3.1429"},
      {"1.5", "4", "3.1429"},
      {"007", "4", "3.1429"},
      {" 3", "4", "3.1429"},
      {"\xb3", "4", "3.1429"},
      {"/", "4", "3.1429"},  // the bytes just below and above the digits
      {":", "4", "3.1429"},
      {"07", "07", "3.1428571"},
      {"00", "00", "3"},
      {"16", "16", "3.1428571428571428"},
      {"", "", "3"},
      {"1", "1", "3.1"},
  };
  for (const auto& c : cases) {
    ToastListener listener;
    const Outcome outcome = RunCommandText("/xprecis", c.parameter);
    EXPECT_EQ(outcome.handled, 1) << c.parameter;
    EXPECT_EQ(outcome.text, "") << c.parameter;
    ASSERT_EQ(listener.received.size(), 1u) << c.parameter;
    const ReceivedToast& toast = listener.received[0];
    EXPECT_EQ(toast.text, std::string("Floatting point precision: ") + c.shown) << c.parameter;
    EXPECT_EQ(toast.caption, "Calculator Options...");
    EXPECT_EQ(PointerAt(toast, kToastLayout.extra) != 0 && toast.extra.empty(), true);
    EXPECT_EQ(toast.width, 0);
    EXPECT_EQ(Field32(toast, kToastLayout.flag), 0u);  // flag: false
    EXPECT_EQ(Calc("22/7"), std::string("22/7=\n") + c.value) << "after /xprecis " << c.parameter;
  }
}

TEST_F(PluginTest, PrecisionEmptiesTheResult) {
  std::vector<char> result(CALC_RESULT_BUFFER_SIZE, 'x');
  result.back() = '\0';
  EXPECT_EQ(Plugin().parse_command("/xprecis", "3", nullptr, result.data()), 1);
  EXPECT_EQ(result[0], '\0');
  EXPECT_EQ(result[1], 'x');
}

// --- Host contract --------------------------------------------------------------

TEST(HostEntryPoints, TrivialOnes) {
  EXPECT_EQ(Plugin().initialize(nullptr, nullptr, nullptr), 1);
  int dummy = 0;
  EXPECT_EQ(Plugin().initialize(&dummy, &dummy, &dummy), 1);
  EXPECT_EQ(Plugin().parse_tag(nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(Plugin().parse_tag(&dummy, &dummy, &dummy), 0);
  EXPECT_EQ(Plugin().receive_notify(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(Plugin().receive_notify(&dummy, &dummy, &dummy, &dummy), 0);
  EXPECT_EQ(dummy, 0);
}

TEST(HostEntryPoints, UninitializeKeepsState) {
  std::vector<char> result(CALC_RESULT_BUFFER_SIZE, '\0');
  ASSERT_EQ(Plugin().parse_command("/xcalc", "kept=41", nullptr, result.data()), 1);
  Plugin().uninitialize();
  ASSERT_EQ(Plugin().parse_command("/xcalc", "kept+1", nullptr, result.data()), 1);
  EXPECT_STREQ(result.data(), "kept+1=\n42.00");
}

TEST(HostEntryPoints, PublishInfoWritesExactlyItsRanges) {
  std::vector<unsigned char> record(16384, 0xA5);
  std::vector<char> name(64, '\x77');
  std::int32_t flags = 99;
  ASSERT_EQ(Plugin().publish_info(name.data(), record.data(), &flags), 1);
  EXPECT_STREQ(name.data(), "Calculator Plugin");
  EXPECT_EQ(name[18], '\x77');
  EXPECT_EQ(flags, 0);

  const struct {
    std::size_t offset;
    std::string text;  // with its terminator
  } ranges[] = {
      {0, std::string("\x02\0\0\0", 4)},
      {4, std::string("Performs algebrical expression") + '\0'},
      {132, std::string("Set floating point precision") + '\0'},
      {6404, std::string("xcalc") + '\0'},
      {6532, std::string("xprecis") + '\0'},
      {12804, std::string("expression") + '\0'},
      {13060, std::string("precision") + '\0'},
  };
  std::vector<bool> written(record.size(), false);
  for (const auto& range : ranges) {
    for (std::size_t i = 0; i < range.text.size(); ++i) {
      EXPECT_EQ(record[range.offset + i], static_cast<unsigned char>(range.text[i]))
          << "offset " << range.offset + i;
      written[range.offset + i] = true;
    }
  }
  for (std::size_t i = 0; i < record.size(); ++i) {
    if (!written[i]) {
      ASSERT_EQ(record[i], 0xA5) << "byte " << i << " was touched";
    }
  }
}

#if !defined(_WIN32)
int last_box_type = -1;
std::string last_box_caption;
std::string last_box_text;
HWND last_box_owner = nullptr;

int RecordingMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  last_box_owner = owner;
  last_box_text = text;
  last_box_caption = caption;
  last_box_type = static_cast<int>(type);
  return 42;
}

LRESULT IgnoreMessages(HWND, UINT, WPARAM, LPARAM) { return 0; }

TEST(HostEntryPoints, ConfigureShowsTheAboutBox) {
  const MessageBoxHandler previous = SetMessageBoxHandler(RecordingMessageBox);
  HWND window = CreateTopLevelWindow(IgnoreMessages);
  SetActiveTopLevelWindow(window);
  EXPECT_EQ(Plugin().configure(), 42);
  EXPECT_EQ(last_box_owner, window);
  EXPECT_EQ(last_box_type, static_cast<int>(MB_OK));
  EXPECT_EQ(last_box_caption, "About Calculator Plugin...");
  EXPECT_EQ(last_box_text,
            "\tCalculator plugin v1.0\n\n/xcalc algebric_expression\nexample:\n"
            "/xcalc (666/77)*8+3-(2.5*8)+10\n\n/xprecis floatting_precision\nexample:\n"
            "/xprecis 10\nprecision must be beetween 0 and 16\n\n\tAuthor: Quenholt");
  DestroyTopLevelWindow(window);
  EXPECT_EQ(Plugin().configure(), 42);
  EXPECT_EQ(last_box_owner, nullptr);
  SetMessageBoxHandler(previous);
}
#endif

// --- The host's floating-point state ------------------------------------------------

#if defined(__i386__) || defined(__x86_64__)

// The thread's floating-point registers as a host sees them: MXCSR, and the
// x87 control and status words.
struct FloatRegisters {
  std::uint32_t mxcsr;
  std::uint16_t x87_control;
  std::uint16_t x87_status;
};

FloatRegisters ReadFloatRegisters() {
  FloatRegisters registers;
  __asm__ volatile("stmxcsr %0" : "=m"(registers.mxcsr));
  __asm__ volatile("fnstcw %0" : "=m"(registers.x87_control));
  __asm__ volatile("fnstsw %0" : "=m"(registers.x87_status));
  return registers;
}

// Sets both control registers, clearing the status flags of both units.
void WriteFloatRegisters(std::uint32_t mxcsr, std::uint16_t x87_control) {
  __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr) : "memory");
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(x87_control) : "memory");
}

// Raises the x87 invalid-operation flag (masked) as a host's own 0/0 would.
void RaiseX87Flag() {
  __asm__ volatile("fldz\n\tfldz\n\tfdivrp\n\tfstp %%st(0)" : : : "memory", "st");
}

// Unmasks invalid operation, division by zero and overflow through the C
// runtime, as a host's debug build does.
void UnmaskThroughTheRuntime() {
#if defined(_WIN32)
  unsigned int current = 0;
  _controlfp_s(&current, _MCW_EM & ~(_EM_INVALID | _EM_ZERODIVIDE | _EM_OVERFLOW), _MCW_EM);
#else
  feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
#endif
}

// Bits of MXCSR and of the x87 control word, by the processor manual's numbers.
constexpr std::uint32_t kMxcsrInvalidMask = 0x0080, kMxcsrZeroDivideMask = 0x0200,
                        kMxcsrOverflowMask = 0x0400, kMxcsrRoundDown = 0x2000,
                        kMxcsrRoundUp = 0x4000, kMxcsrRoundToZero = 0x6000,
                        kMxcsrFlushToZero = 0x8000, kMxcsrDenormalsAreZero = 0x0040,
                        kMxcsrAllFlags = 0x003F;
constexpr std::uint16_t kX87RoundDown = 0x0400, kX87RoundUp = 0x0800, kX87RoundToZero = 0x0C00,
                        kX87PrecisionBits = 0x0300,
                        kX87FlagBits = 0x00FF;  // exception flags, stack fault, error summary

TEST_F(PluginTest, HostsFloatingPointStateChangesNoDigitAndComesBackAsItWas) {
  const std::string big = "1" + std::string(80, '0');          // 1e80
  const std::string tiny = "0." + std::string(79, '0') + "1";  // 1e-80
  const struct {
    std::string expression;
    const char* value;  // at 16 decimals
  } commands[] = {
      {"1/0", "inf"},
      {"0/0", "nan"},
      {"-1/0", "-inf"},
      {"1/0-1/0", "nan"},
      {"(h=" + big + ")*h*h*h", "inf"},
      {"(s=" + tiny + ")*s*s*s*(b=" + big + ")*b*b*b", "0.9999888671826831"},
      {"0.1+0.2", "0.3000000000000000"},
      {"1/3*3-1", "0.0000000000000000"},
      {"1-0.9", "0.1000000000000000"},
      {"2/3", "0.6666666666666666"},
      {"-2/3", "-0.6666666666666666"},
      {"12345678.12345678", "12345678.1234567798674107"},
      {"9007199254740993", "9007199254740992.0000000000000000"},
  };
  const FloatRegisters normal = ReadFloatRegisters();
  const struct {
    const char* state;
    std::uint32_t mxcsr;
    std::uint16_t x87_control;
    void (*then)();  // what the host does after setting the registers
  } rows[] = {
      {"as found", normal.mxcsr, normal.x87_control, nullptr},
      {"exceptions unmasked through the C runtime", normal.mxcsr, normal.x87_control,
       UnmaskThroughTheRuntime},
      {"exceptions unmasked in MXCSR",
       normal.mxcsr & ~(kMxcsrInvalidMask | kMxcsrZeroDivideMask | kMxcsrOverflowMask),
       normal.x87_control, nullptr},
      {"rounding down", normal.mxcsr | kMxcsrRoundDown,
       static_cast<std::uint16_t>(normal.x87_control | kX87RoundDown), nullptr},
      {"rounding up", normal.mxcsr | kMxcsrRoundUp,
       static_cast<std::uint16_t>(normal.x87_control | kX87RoundUp), nullptr},
      {"rounding toward zero", normal.mxcsr | kMxcsrRoundToZero,
       static_cast<std::uint16_t>(normal.x87_control | kX87RoundToZero), nullptr},
      {"flush-to-zero and denormals-are-zero",
       normal.mxcsr | kMxcsrFlushToZero | kMxcsrDenormalsAreZero, normal.x87_control, nullptr},
      {"x87 at single precision", normal.mxcsr,
       static_cast<std::uint16_t>(normal.x87_control & ~kX87PrecisionBits), nullptr},
      {"status flags already raised", normal.mxcsr | kMxcsrAllFlags, normal.x87_control,
       RaiseX87Flag},
  };
  SetPrecision("16");
  std::vector<char> result(CALC_RESULT_BUFFER_SIZE);
  for (const auto& row : rows) {
    for (const auto& command : commands) {
      WriteFloatRegisters(row.mxcsr, row.x87_control);
      if (row.then != nullptr) row.then();
      const FloatRegisters before = ReadFloatRegisters();
      const std::int32_t handled =
          Plugin().parse_command("/xcalc", command.expression.c_str(), nullptr, result.data());
      const FloatRegisters after = ReadFloatRegisters();
      WriteFloatRegisters(normal.mxcsr, normal.x87_control);

      const std::string label = std::string(row.state) + ": " + command.expression.substr(0, 24);
      EXPECT_EQ(handled, 1) << label;
      EXPECT_EQ(std::string(result.data()), command.expression + "=\n" + command.value) << label;
      EXPECT_EQ(after.mxcsr, before.mxcsr) << label;
      EXPECT_EQ(after.x87_control, before.x87_control) << label;
      EXPECT_EQ(after.x87_status & kX87FlagBits, before.x87_status & kX87FlagBits) << label;
    }
  }
}

#endif

// --- Locale ---------------------------------------------------------------------

// Switches the process to a locale with a decimal comma; false if none can be had.
bool UseDecimalCommaLocale() {
#if defined(_WIN32)
  for (const char* name : {"German_Germany.1252", "de-DE", "German"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) break;
  }
#else
  // Generated into the build tree, so no system-wide locale is needed.
  const std::string directory = "test-locales";
  const std::string command = "mkdir -p " + directory + " && localedef -i de_DE -f UTF-8 " +
                              directory + "/de_DE.UTF-8 2>/dev/null";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    if (std::system(command.c_str()) != 0) return false;
    setenv("LOCPATH", directory.c_str(), 1);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) return false;
  }
#endif
  return std::strcmp(std::localeconv()->decimal_point, ",") == 0;
}

TEST_F(PluginTest, DecimalCommaLocaleChangesNothing) {
  const char* expressions[] = {"(666/77)*8+3-(2.5*8)+10", "1.5*2.25", ".5", "1/3", "-2.5/7"};
  std::vector<std::string> before;
  SetPrecision("16");
  for (const char* expression : expressions) before.push_back(Calc(expression));
  ASSERT_TRUE(UseDecimalCommaLocale()) << "no decimal-comma locale could be set up";
  char printed[32];
  std::snprintf(printed, sizeof printed, "%.1f", 1.5);
  ASSERT_STREQ(printed, "1,5");  // the switch took effect for the C library
  for (std::size_t i = 0; i < std::size(expressions); ++i) {
    EXPECT_EQ(Calc(expressions[i]), before[i]) << expressions[i];
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(before[1], "1.5*2.25=\n3.3750000000000000");
}

}  // namespace
