// Command dispatch, "/xcalc" and "/xprecis".
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "calcplugin.h"
#include "expr/expr.h"
#include "guest/float_state.h"
#include "plugin/plugin.h"
#include "toast/toast.h"

char PrecisionText[4] = "2";

namespace {

constexpr std::size_t kMaxValueLength = CALC_MAX_VALUE_LENGTH;
// The most decimals a value is shown with, and its two digits as stored.
constexpr int kMaxDecimals = 16;
constexpr char kMaxDecimalsText[] = {'0' + kMaxDecimals / 10, '0' + kMaxDecimals % 10, '\0'};
// The most digits of "/xprecis" that are read; longer parameters change nothing.
constexpr std::size_t kMaxPrecisionDigits = 2;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares `text` with the lowercase `word`, ignoring the case of ASCII letters only.
bool MatchesWord(const char* text, const char* word) {
  for (; *word != '\0'; ++text, ++word) {
    if (AsciiLower(*text) != *word) return false;
  }
  return *text == '\0';
}

// Length of `text`, reading no further than `limit` bytes; `limit` means "at least that long".
std::size_t BoundedLength(const char* text, std::size_t limit) {
  std::size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

// The number of decimals PrecisionText asks for (RunPrecision stores at most
// kMaxDecimals); the empty text means none.
int Decimals() {
  int decimals = 0;
  for (const char* digit = PrecisionText; IsDigit(*digit); ++digit) {
    decimals = decimals * 10 + (*digit - '0');
  }
  return decimals;
}

// Writes `value` as fixed-point text with `decimals` places, correctly rounded
// and independent of the locale, and terminates it. `out` holds kMaxValueLength + 1.
// A NaN is "nan" whatever its sign bit, which differs between platforms and
// even between optimisation levels for the same expression.
void FormatValue(double value, int decimals, char* out) {
  if (std::isnan(value)) value = std::numeric_limits<double>::quiet_NaN();
  const auto [end, error] =
      std::to_chars(out, out + kMaxValueLength, value, std::chars_format::fixed, decimals);
  *(error == std::errc() ? end : out) = '\0';
}

void RunCalc(const char* parameter, char* result) {
  const std::size_t length = BoundedLength(parameter, kMaxExpressionLength + 1);
  NodePtr tree = ReadExpression(parameter, length);
  // No value, also when memory ran out: the result stays as it was.
  if (!tree) return;
  const double value = tree->Evaluate();
  if (result == nullptr) return;
  // The host may pass one buffer as both parameter and result.
  std::memmove(result, parameter, length);
  std::memcpy(result + length, "=\n", CALC_RESULT_SEPARATOR_LENGTH);
  FormatValue(value, Decimals(), result + length + CALC_RESULT_SEPARATOR_LENGTH);
}

void RunPrecision(const char* parameter, char* result) {
  const std::size_t length = BoundedLength(parameter, kMaxPrecisionDigits + 1);
  if (length <= kMaxPrecisionDigits) {
    std::size_t digits = 0;
    while (digits < length && IsDigit(parameter[digits])) ++digits;
    if (digits == length) {
      int number = 0;
      for (std::size_t i = 0; i < length; ++i) number = number * 10 + (parameter[i] - '0');
      if (number > kMaxDecimals) {
        std::memcpy(PrecisionText, kMaxDecimalsText, sizeof kMaxDecimalsText);
      } else {
        std::memcpy(PrecisionText, parameter, length);
        PrecisionText[length] = '\0';
      }
    }
  }
  if (result != nullptr) result[0] = '\0';

  static constexpr char kPrefix[] = "Floatting point precision: ";
  char message[sizeof kPrefix + sizeof PrecisionText] = {};
  std::memcpy(message, kPrefix, sizeof kPrefix - 1);
  std::memcpy(message + sizeof kPrefix - 1, PrecisionText, std::strlen(PrecisionText));
  DisplayToast(message, "Calculator Options...", "", 0);
}

}  // namespace

std::int32_t RunCommand(const char* command, const char* parameter, char* result) noexcept {
  if (command == nullptr) return 0;
  if (parameter == nullptr) parameter = "";
  if (MatchesWord(command, "/xcalc")) {
    // Reading, evaluating and formatting in the plug-in's own floating-point
    // state: no trap and the same digits in any host, whose state comes back as it was.
    const FloatingPointScope plugin_state;
    RunCalc(parameter, result);
    return 1;
  }
  if (MatchesWord(command, "/xprecis")) {
    RunPrecision(parameter, result);
    return 1;
  }
  return 0;
}
