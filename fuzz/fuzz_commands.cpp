// libFuzzer target: sequences of commands through ParseCommand, each with a
// heap result buffer of exactly CALC_RESULT_BUFFER_SIZE bytes so that AddressSanitizer
// stops any write past it.
//
// An input is a list of records: a control byte, then text up to the next zero
// byte or the end. The control byte's low three bits choose the command word:
//   0 "/xcalc"  1 "/XCALC"  2 "/xCaLc"  3 "/xprecis"  4 "/XPRECIS"
//   5 the text itself is the command word, with "1+2" as parameter
//   6 a word near the real ones (chosen by the text's length), text as parameter
//   7 "/xprecis"
// Bits 3-4: 0 plain; 1 the parameter is copied into the result buffer and the
// same buffer is passed as both (an empty text passes a null parameter
// instead); 2 a null result; 3 the text is repeated to 2043 + (bits 5-7) bytes,
// around the longest expression accepted.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "plugin/host_contract.h"
#include "plugin/plugin.h"

namespace {

constexpr unsigned char kCanary = 0xA5;

const char* const kNearWords[] = {
    "/xcal", "/xcalcx", "xcalc", "/xprecisx", "", "/", "/xcalc ", " /xcalc", "/x\xC3\xA7" "alc",
    "/XPRECI", "/xcalc\t", "/\xD8" "calc",
};

bool IsCommand(const char* text, const char* lowercase_word) {
  for (; *lowercase_word != '\0'; ++text, ++lowercase_word) {
    char c = *text;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != *lowercase_word) return false;
  }
  return *text == '\0';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimals /xprecis leaves, given the ones before and its parameter.
int NextDecimals(int decimals, const char* parameter) {
  const std::size_t length = strnlen(parameter, 3);
  if (length >= 3) return decimals;
  int number = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (!IsDigit(parameter[i])) return decimals;
    number = number * 10 + (parameter[i] - '0');
  }
  return number > 16 ? 16 : number;
}

// A value as fixed-point text with `decimals` places, or inf/nan.
bool IsValueText(const char* text, int decimals) {
  if (*text == '-') ++text;
  if (std::strcmp(text, "inf") == 0 || std::strcmp(text, "nan") == 0) return true;
  const char* digits = text;
  while (IsDigit(*text)) ++text;
  if (text == digits) return false;
  if (decimals == 0) return *text == '\0';
  if (*text++ != '.') return false;
  for (int i = 0; i < decimals; ++i) {
    if (!IsDigit(*text++)) return false;
  }
  return *text == '\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ClearVariables();
  std::memcpy(PrecisionText, "2", 2);
  int decimals = 2;

  std::size_t position = 0;
  while (position < size) {
    const unsigned control = data[position++];
    const std::size_t start = position;
    while (position < size && data[position] != 0) ++position;
    std::string text(reinterpret_cast<const char*>(data + start), position - start);
    if (position < size) ++position;  // the zero byte

    const unsigned mode = (control >> 3) & 3;
    if (mode == 3) {
      const std::size_t target = 2043 + (control >> 5);
      if (text.empty()) text = "1";
      std::string long_text;
      while (long_text.size() < target) long_text += text;
      long_text.resize(target);
      text = long_text;
    }

    std::string command;
    std::string parameter_text = text;
    switch (control & 7) {
      case 0: command = "/xcalc"; break;
      case 1: command = "/XCALC"; break;
      case 2: command = "/xCaLc"; break;
      case 3: command = "/xprecis"; break;
      case 4: command = "/XPRECIS"; break;
      case 5: command = text; parameter_text = "1+2"; break;
      case 6: command = kNearWords[text.size() % (sizeof kNearWords / sizeof *kNearWords)]; break;
      default: command = "/xprecis"; break;
    }
    const bool calc = IsCommand(command.c_str(), "/xcalc");
    const bool precision = IsCommand(command.c_str(), "/xprecis");

    // Exactly sized heap copies, so reads past them are caught too.
    const std::size_t parameter_length = std::strlen(parameter_text.c_str());
    std::unique_ptr<char[]> parameter(new char[parameter_length + 1]);
    std::memcpy(parameter.get(), parameter_text.c_str(), parameter_length + 1);
    std::unique_ptr<char[]> command_copy(new char[command.size() + 1]);
    std::memcpy(command_copy.get(), command.c_str(), command.size() + 1);

    std::unique_ptr<char[]> buffer(new char[CALC_RESULT_BUFFER_SIZE]);
    std::memset(buffer.get(), kCanary, CALC_RESULT_BUFFER_SIZE);
    const char* parameter_pointer = parameter.get();
    char* result = buffer.get();
    if (mode == 1) {
      if (parameter_length == 0) {
        parameter_pointer = nullptr;
      } else if (parameter_length < CALC_RESULT_BUFFER_SIZE) {
        std::memcpy(result, parameter.get(), parameter_length + 1);
        parameter_pointer = result;
      }
    }
    if (mode == 2) result = nullptr;
    const std::vector<char> before(buffer.get(), buffer.get() + CALC_RESULT_BUFFER_SIZE);

    const std::int32_t returned = ParseCommand(command_copy.get(), parameter_pointer, nullptr, result);

    FUZZ_CHECK(returned == ((calc || precision) ? 1 : 0));
    const bool untouched = std::memcmp(before.data(), buffer.get(), CALC_RESULT_BUFFER_SIZE) == 0;
    const char* effective = parameter_pointer == nullptr ? "" : parameter.get();
    if (precision) decimals = NextDecimals(decimals, effective);
    if (result == nullptr || (!calc && !precision)) {
      FUZZ_CHECK(untouched);
      continue;
    }
    if (precision) {
      FUZZ_CHECK(buffer[0] == '\0');
      FUZZ_CHECK(std::memcmp(before.data() + 1, buffer.get() + 1, CALC_RESULT_BUFFER_SIZE - 1) == 0);
      continue;
    }
    // "/xcalc": nothing written, or "PARAMETER=\nVALUE" with the canary after it.
    if (untouched) continue;
    FUZZ_CHECK(parameter_length <= kMaxExpressionLength);
    FUZZ_CHECK(std::memcmp(buffer.get(), effective, parameter_length) == 0);
    FUZZ_CHECK(buffer[parameter_length] == '=' && buffer[parameter_length + 1] == '\n');
    const void* end = std::memchr(buffer.get() + parameter_length + 2, '\0',
                                  CALC_RESULT_BUFFER_SIZE - parameter_length - 2);
    FUZZ_CHECK(end != nullptr);
    FUZZ_CHECK(IsValueText(buffer.get() + parameter_length + 2, decimals));
    const std::size_t written = static_cast<std::size_t>(static_cast<const char*>(end) - buffer.get()) + 1;
    FUZZ_CHECK(std::memcmp(before.data() + written, buffer.get() + written,
                           CALC_RESULT_BUFFER_SIZE - written) == 0);
  }
  ClearVariables();
  return 0;
}
