// The expression engine on its own: tokens, grammar, evaluation, variables.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "expr/expr.h"
#include "guest/float_state.h"
#include "guest/library.h"
#include "guest/stack_canary.h"

namespace {

// Parses `text` and evaluates it; false when there is no value.
bool Calculate(const std::string& text, double& value) {
  NodePtr tree = ReadExpression(text.data(), text.size());
  if (!tree) return false;
  value = tree->Evaluate();
  return true;
}

double ValueOf(const char* name) { return FindOrAddVariable(name)->value; }

bool VariableExists(const char* name) {
  for (VariableEntry* entry = VariableTable; entry != nullptr; entry = entry->next) {
    if (std::strcmp(entry->name, name) == 0) return true;
  }
  return false;
}

std::string Describe(TokenKind kind) {
  switch (kind) {
    case TokenKind::Name:
      return "Name(" + std::string(Reader.TokenText) + ")";
    case TokenKind::Number:
      return "Number(" + std::string(Reader.TokenText) + ")";
    case TokenKind::LineEnd:
      return "LineEnd";
    case TokenKind::Other:
      return "Other";
    default:
      return std::string(1, static_cast<char>(kind));
  }
}

// The tokens of `text` up to and including the first Other, described one by one.
std::string Tokens(const std::string& text) {
  std::memcpy(Reader.InputText, text.c_str(), text.size() + 1);
  Reader.ReadPosition = 0;
  Reader.TokenTooLong = false;
  std::string described;
  for (int count = 0; count < 100; ++count) {
    const TokenKind kind = NextToken();
    described += (described.empty() ? "" : " ") + Describe(kind);
    if (kind == TokenKind::Other) break;
  }
  return described;
}

// --- Tokens ------------------------------------------------------------------

TEST(Tokens, ClassifiesEveryKind) {
  const struct {
    const char* text;
    const char* tokens;
  } cases[] = {
      {"", "Other"},
      {"()*+-/=", "( ) * + - / = Other"},
      {"abc1 2.5", "Name(abc1) Number(2.5) Other"},
      {"  \t7", "Number(7) Other"},
      {"1.5.9*2", "Number(1.5.9) * Number(2) Other"},
      {".5..", "Number(.5..) Other"},
      {"1a", "Number(1) Name(a) Other"},
      {"a_b", "Name(a) Other"},
      {"x\ny\rz", "Name(x) LineEnd Name(y) LineEnd Name(z) Other"},
      {"\v", "Other"},
      {"\f", "Other"},
      {"%", "Other"},
      {"]", "Other"},
      {"\xc3\xa9", "Other"},
      {"\xff", "Other"},
      // Each end of the letters and digits, and the byte beyond it.
      {"A@", "Name(A) Other"},
      {"Z[", "Name(Z) Other"},
      {"a`", "Name(a) Other"},
      {"z{", "Name(z) Other"},
      {"9:", "Number(9) Other"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Tokens(c.text), c.tokens) << "text: " << c.text;
  }
}

TEST(Tokens, EndOfTextRepeatsWithoutReadingPastIt) {
  // Leftovers of a longer text after the terminator must never be read.
  std::memcpy(Reader.InputText, "1\0+99", 6);
  Reader.ReadPosition = 0;
  EXPECT_EQ(NextToken(), TokenKind::Number);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(NextToken(), TokenKind::Other);
    EXPECT_EQ(Reader.ReadPosition, 1);
  }
}

TEST(Tokens, LengthLimitOfNamesAndNumbers) {
  const std::string longest_name(kMaxTokenLength, 'n');
  const std::string longest_number(kMaxTokenLength, '7');
  EXPECT_EQ(Tokens(longest_name), "Name(" + longest_name + ") Other");
  EXPECT_FALSE(Reader.TokenTooLong);
  EXPECT_EQ(Tokens(longest_number), "Number(" + longest_number + ") Other");
  EXPECT_FALSE(Reader.TokenTooLong);

  // One more character: consumed whole, flagged, and read as Other.
  EXPECT_EQ(Tokens(longest_name + "n+1"), "Other");
  EXPECT_TRUE(Reader.TokenTooLong);
  EXPECT_EQ(Reader.ReadPosition, static_cast<int>(kMaxTokenLength + 1));
}

// --- Numbers -------------------------------------------------------------------

TEST(Numbers, ConvertAsAtofReadsDigitsAndPoints) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"0", 0.0},         {"42", 42.0},          {"2.5", 2.5},
      {".5", 0.5},        {"5.", 5.0},           {"1.2.3", 1.2},
      {".", 0.0},         {"..5", 0.0},          {"...", 0.0},
      {"0.1", 0.1},       {"007", 7.0},          {"1.5.9", 1.5},
      {"1/", 1.0},        {"9:", 9.0},
      {"123456789012345678901234567890", 123456789012345678901234567890.0},
      {"0.000000000000000000001", 1e-21},
      {"0.0000000000000000000001", 1e-22},
      {"0.00000000000000000000001", 1e-23},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertNumberText(c.text), c.value) << "text: " << c.text;
  }
}

TEST(Numbers, ConversionIsCorrectlyRounded) {
  // Halfway between two doubles and just above it: a sloppy conversion gets one wrong.
  EXPECT_EQ(ConvertNumberText("9007199254740993"), 9007199254740992.0);
  EXPECT_EQ(ConvertNumberText("9007199254740993.0000000001"), 9007199254740994.0);
  EXPECT_EQ(ConvertNumberText("0.30000000000000004"), 0.1 + 0.2);
  // Digits just above 2^53 are no longer exact: one division would round twice.
  EXPECT_EQ(ConvertNumberText("900719925474099.5"), 900719925474099.5);
}

TEST(Numbers, ShortAndLongFormsAgreeWithAFullConversion) {
  // Short numbers take a quicker path; both must give the correctly rounded value.
  std::mt19937 random(7);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    const int length = 1 + static_cast<int>(random() % 30);
    const int point = static_cast<int>(random() % (length + 2));
    for (int j = 0; j < length; ++j) {
      text += j == point ? '.' : static_cast<char>('0' + random() % 10);
    }
    if (random() % 8 == 0) text += ".5";  // a second point ends the number
    double expected = 0.0;
    const char* end = text.c_str() + text.size();
    std::from_chars(text.c_str(), end, expected, std::chars_format::fixed);
    ASSERT_EQ(ConvertNumberText(text.c_str()), expected) << "text: " << text;
  }
}

// --- Grammar and evaluation ------------------------------------------------------

struct Expected {
  const char* text;
  double value;
};

void ExpectValues(const std::vector<Expected>& cases) {
  for (const auto& c : cases) {
    double value = 0;
    ASSERT_TRUE(Calculate(c.text, value)) << "no value for: " << c.text;
    EXPECT_EQ(value, c.value) << "text: " << c.text;
  }
}

TEST(Grammar, PrecedenceAndAssociativity) {
  ExpectValues({
      {"1+2", 3},
      {"2+3*4", 14},
      {"(2+3)*4", 20},
      {"8/2*2", 8},
      {"8/2/2", 2},
      {"2-3-4", -5},
      {"10-2+3", 11},
      {"-2*3", -6},
      {"-(2+3)*2", -10},
      {"--3", 3},
      {"---3", -3},
      {"2*-3", -6},
      {"2--3", 5},
      {"1-(-(1))", 2},
      {"(666/77)*8+3-(2.5*8)+10", (666.0 / 77) * 8 + 3 - (2.5 * 8) + 10},
  });
}

TEST(Grammar, StopsQuietlyAtTheFirstTokenThatDoesNotContinue) {
  ExpectValues({
      {"2 3", 2},
      {"1+2)", 3},
      {"7\n+1", 7},
      {"7\r+1", 7},
      {"  \t7", 7},
      {"1.5.9*2", 3},
      {"1a", 1},
      {"4%3", 4},
      {"6 ] 5", 6},
  });
}

TEST(Grammar, ClosingParenthesisIsTakenOnTrust) {
  ExpectValues({
      {"(1+2]", 3},
      {"(1+2]*2", 6},
      {"(1+2", 3},
      {"((1+2", 3},
      {"(((4)))", 4},
      {"(2)3", 2},  // the skip consumes ")" and then "3" ends the expression
  });
}

TEST(Grammar, MissingOperandsGiveNoValue) {
  const char* cases[] = {
      "",   ")",  "=",   "=2", "2+",  "*2", "/2", "+2",   "3*)",   "()+1",
      "a=", "-",  "-)",  "()", "(",   "2*(", "a=3+", "1+-", "(+2)", "2*(3+)",
      "\n", "  ", "%1", "1+*2",
  };
  for (const char* text : cases) {
    double value = 0;
    EXPECT_FALSE(Calculate(text, value)) << "text: " << text << " gave " << value;
  }
}

TEST(Grammar, IncompleteTreeRunsNoAssignment) {
  double value = 0;
  ASSERT_TRUE(Calculate("untouched=5", value));
  EXPECT_FALSE(Calculate("(untouched=9)+", value));
  EXPECT_FALSE(Calculate("untouched=1*", value));
  EXPECT_EQ(ValueOf("untouched"), 5);
}

TEST(Grammar, OverlongTokensGiveNoValueAndCreateNothing) {
  const std::string long_name(kMaxTokenLength + 1, 'q');
  const std::string long_number(kMaxTokenLength + 1, '1');
  double value = 0;
  EXPECT_FALSE(Calculate(long_name + "=1", value));
  EXPECT_FALSE(VariableExists(long_name.c_str()));
  EXPECT_FALSE(VariableExists(long_name.substr(0, kMaxTokenLength).c_str()));
  EXPECT_FALSE(Calculate("2+" + long_number, value));
  EXPECT_FALSE(Calculate("(sideeffect=3)+" + long_number, value));
  EXPECT_EQ(ValueOf("sideeffect"), 0);

  const std::string name87(kMaxTokenLength, 'q');
  ASSERT_TRUE(Calculate(name87 + "=4", value));
  EXPECT_EQ(ValueOf(name87.c_str()), 4);
}

TEST(Grammar, ExpressionLengthLimit) {
  std::string text = "1";
  while (text.size() < kMaxExpressionLength) text += "+1";
  ASSERT_EQ(text.size(), kMaxExpressionLength);
  double value = 0;
  ASSERT_TRUE(Calculate(text, value));
  EXPECT_EQ(value, 1024);
  EXPECT_FALSE(Calculate(text + " ", value));
}

// --- Evaluation ------------------------------------------------------------------

TEST(Evaluation, IeeeSpecialValues) {
  double value = 0;
  ASSERT_TRUE(Calculate("1/0", value));
  EXPECT_EQ(value, std::numeric_limits<double>::infinity());
  ASSERT_TRUE(Calculate("-1/0", value));
  EXPECT_EQ(value, -std::numeric_limits<double>::infinity());
  ASSERT_TRUE(Calculate("0/0", value));
  EXPECT_TRUE(std::isnan(value));
  ASSERT_TRUE(Calculate("1/0-1/0", value));
  EXPECT_TRUE(std::isnan(value));
  ASSERT_TRUE(Calculate("-0", value));
  EXPECT_EQ(value, 0.0);
  EXPECT_TRUE(std::signbit(value));
  ASSERT_TRUE(Calculate("0*-1", value));
  EXPECT_TRUE(std::signbit(value));
  ASSERT_TRUE(Calculate("1/(0*-1)", value));
  EXPECT_EQ(value, -std::numeric_limits<double>::infinity());
}

TEST(Evaluation, DoubleArithmeticWithoutExtendedPrecision) {
  ExpectValues({
      {"0.1+0.2", 0.1 + 0.2},
      {"1/3*3", 1.0 / 3 * 3},
      {"100000000000000000000*100000000000000000000", 1e40},
  });
  // x87 arithmetic would keep the overflowing product in its wider exponent
  // range and bring it back: every step must be rounded to a double.
  FindOrAddVariable("huge")->value = 1e308;
  FindOrAddVariable("tiny")->value = 1e-308;
  double value = 0;
  ASSERT_TRUE(Calculate("huge*10/10", value));
  EXPECT_EQ(value, std::numeric_limits<double>::infinity());
  ASSERT_TRUE(Calculate("tiny/1000000000000000000*1000000000000000000", value));
  EXPECT_EQ(value, 0.0);  // the quotient, 1e-326, is below the smallest double
}

TEST(Evaluation, LeftOperandFirst) {
  double value = 0;
  ASSERT_TRUE(Calculate("order=7", value));
  ASSERT_TRUE(Calculate("(order=2)*0+order", value));
  EXPECT_EQ(value, 2);
  ASSERT_TRUE(Calculate("order-(order=10)", value));
  EXPECT_EQ(value, -8);
}

// --- Variables -------------------------------------------------------------------

TEST(Variables, AssignmentExtendsOverTheWholeRightSide) {
  ExpectValues({
      {"va=3+1", 4},
      {"2*vb=3+1", 8},
      {"vc=vd=3", 3},
      {"ve=(vf=3)+1", 4},
  });
  EXPECT_EQ(ValueOf("va"), 4);
  EXPECT_EQ(ValueOf("vb"), 4);
  EXPECT_EQ(ValueOf("vc"), 3);
  EXPECT_EQ(ValueOf("vd"), 3);
  EXPECT_EQ(ValueOf("ve"), 4);
  EXPECT_EQ(ValueOf("vf"), 3);
}

TEST(Variables, PersistAcrossTreesAndAreCaseSensitive) {
  double value = 0;
  ASSERT_TRUE(Calculate("Var=5", value));
  ASSERT_TRUE(Calculate("var=6", value));
  ASSERT_TRUE(Calculate("Var*2", value));
  EXPECT_EQ(value, 10);
  ASSERT_TRUE(Calculate("var", value));
  EXPECT_EQ(value, 6);
}

TEST(Variables, ReadingCreatesAnEntryHoldingZero) {
  EXPECT_FALSE(VariableExists("fresh1"));
  double value = -1;
  ASSERT_TRUE(Calculate("fresh1+1", value));
  EXPECT_EQ(value, 1);
  ASSERT_TRUE(VariableExists("fresh1"));
  VariableEntry* entry = FindOrAddVariable("fresh1");
  ASSERT_TRUE(Calculate("fresh1=9", value));
  EXPECT_EQ(FindOrAddVariable("fresh1"), entry);
  EXPECT_EQ(entry->value, 9);
}

TEST(Variables, NewNamesGoToTheFrontAndStayUnique) {
  VariableEntry* first = FindOrAddVariable("front1");
  VariableEntry* second = FindOrAddVariable("front2");
  EXPECT_EQ(VariableTable, second);
  EXPECT_EQ(second->next, first);
  EXPECT_EQ(FindOrAddVariable("front1"), first);
  EXPECT_EQ(VariableTable, second);
  int count = 0;
  for (VariableEntry* entry = VariableTable; entry != nullptr; entry = entry->next) {
    if (std::strcmp(entry->name, "front1") == 0) ++count;
  }
  EXPECT_EQ(count, 1);
}

TEST(Variables, IndexKeepsNamesApartAndFindsThemAfterGrowing) {
  // Names one byte or only case apart, then enough more to double the index many times.
  const char* const near_names[] = {"near", "Near", "nEar", "neaR", "neas", "nea", "near0", "NEAR"};
  std::vector<VariableEntry*> entries;
  for (const char* name : near_names) entries.push_back(FindOrAddVariable(name));
  std::vector<VariableEntry*> grown;
  for (int i = 0; i < 3000; ++i) {
    grown.push_back(FindOrAddVariable(("g" + std::to_string(i)).c_str()));
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(FindOrAddVariable(near_names[i]), entries[i]) << near_names[i];
    EXPECT_STREQ(entries[i]->name, near_names[i]);
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(entries[i], entries[j]) << near_names[i];
  }
  EXPECT_EQ(FindOrAddVariable("g0"), grown.front());
  EXPECT_EQ(FindOrAddVariable("g2999"), grown.back());
  EXPECT_EQ(VariableTable, grown.back());
  for (std::size_t i = 0; i < grown.size(); ++i) {
    ASSERT_STREQ(grown[i]->name, ("g" + std::to_string(i)).c_str());  // none taken for another
  }
}

TEST(Variables, FreshIndexFindsNamesThatStartOnOddSlots) {
  // A name of one byte of even code hashes to an odd number, so in a fresh
  // index of 16 slots these 12 names all start on the 8 odd slots.
  ClearVariables();
  const char* const names[] = {"b", "d", "f", "h", "j", "l", "n", "p", "r", "t", "v", "x"};
  std::vector<VariableEntry*> entries;
  for (const char* name : names) entries.push_back(FindOrAddVariable(name));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(FindOrAddVariable(names[i]), entries[i]) << names[i];
    EXPECT_STREQ(entries[i]->name, names[i]);
  }
}

TEST(Variables, StopAtTheFirstNonNameCharacter) {
  double value = 0;
  ASSERT_TRUE(Calculate("a1=4", value));
  EXPECT_EQ(ValueOf("a1"), 4);
  EXPECT_FALSE(VariableExists("x2x"));
  ASSERT_TRUE(Calculate("2x2x", value));
  EXPECT_EQ(value, 2);
  EXPECT_FALSE(VariableExists("x2x"));
}

// --- The processor the arithmetic needs ---------------------------------------------

TEST(Processor, Sse2IsLeafOnesEdxBit26) {
  const struct {
    std::uint32_t leaf1_edx;
    bool sse2;
  } cases[] = {
      {1u << 26, true},
      {0x078BFBFF, true},   // Athlon 64
      {0x0383FBFF, false},  // Pentium III: SSE (bit 25) only
      {~(1u << 26), false},
  };
  for (const auto& c : cases) EXPECT_EQ(ReportsSse2(c.leaf1_edx), c.sse2) << c.leaf1_edx;
  EXPECT_TRUE(ProcessorHasSse2());  // every processor these tests run on has it
}

// The stack protector's canary: each source changes it, and it is never 0
// nor the value it has before it is chosen, even for sources that a plain
// 32-bit FNV-1a over the words would map there.
TEST(Processor, CanaryMixesEverySourceAndIsNeverZeroOrUnchosen) {
  constexpr std::uint32_t kFnvBasis = 2166136261u, kFnvPrime = 16777619u;
  std::uint32_t inverse = kFnvPrime;  // of the prime, modulo 2^32 (Newton's iteration)
  for (int i = 0; i < 5; ++i) inverse *= 2 - kFnvPrime * inverse;
  const std::uint32_t to_zero[] = {kFnvBasis};
  const std::uint32_t to_unchosen[] = {kFnvBasis ^ (kUnchosenCanary * inverse)};
  for (const auto* sources : {to_zero, to_unchosen}) {
    const std::uint32_t canary = MixCanary(sources, 1);
    EXPECT_NE(canary, 0u) << sources[0];
    EXPECT_NE(canary, kUnchosenCanary) << sources[0];
  }

  std::uint32_t sources[7] = {0x01D9F00D, 0x1234, 4321, 8765, 99000, 0xABCDEF, 0};
  std::vector<std::uint32_t> canaries = {MixCanary(sources, std::size(sources))};
  for (std::size_t i = 0; i < std::size(sources); ++i) {
    sources[i] ^= 1;
    canaries.push_back(MixCanary(sources, std::size(sources)));
    sources[i] ^= 1;
  }
  // Every bit takes part: some of these canaries are odd and some even.
  const auto odd =
      std::count_if(canaries.begin(), canaries.end(), [](std::uint32_t c) { return c & 1; });
  EXPECT_GT(odd, 0);
  EXPECT_LT(odd, static_cast<std::ptrdiff_t>(canaries.size()));
  std::sort(canaries.begin(), canaries.end());
  EXPECT_EQ(std::unique(canaries.begin(), canaries.end()), canaries.end());
  EXPECT_NE(MixCanary(sources, 0), 0u);
}

// --- The floating-point scope ------------------------------------------------

#if defined(__i386__) || defined(__x86_64__)

// x87 words by the processor manual's numbers: the status word's exception
// flags, and control words with every exception masked or none.
constexpr std::uint16_t kX87Invalid = 0x0001, kX87ZeroDivide = 0x0004, kX87Overflow = 0x0008,
                        kX87Precision = 0x0020, kX87StatusFlags = 0x00FF;
constexpr std::uint16_t kX87AllMasked = 0x037F, kX87NoneMasked = 0x0340;

std::uint16_t X87Status() {
  std::uint16_t status;
  __asm__ volatile("fnstsw %0" : "=m"(status));
  return status;
}

std::uint16_t X87Control() {
  std::uint16_t control;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  return control;
}

// Sets the x87 control word with no flag raised.
void ResetX87(std::uint16_t control) {
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(control) : "memory");
}

// a / b on the x87 unit; an unmasked exception traps at the closing fwait.
double X87Divide(double a, double b) {
  double quotient;
  __asm__ volatile("fldl %1\n\tfdivl %2\n\tfstpl %0\n\tfwait"
                   : "=m"(quotient) : "m"(a), "m"(b) : "memory", "st");
  return quotient;
}

// x87 code run inside the scope (the runtime's formatting has some) raises no
// trap, whatever the host unmasked, and leaves none of its flags behind; the
// host's own flags and control word come back as they were.
TEST(FloatingPointScope, X87FlagsRaisedInsideStayInside) {
  const struct {
    const char* what;
    double a, b;
    std::uint16_t raises;
  } operations[] = {
      {"0/0", 0, 0, kX87Invalid},
      {"1/0", 1, 0, kX87ZeroDivide},
      {"1e308/1e-300", 1e308, 1e-300, kX87Overflow | kX87Precision},
      {"1/3", 1, 3, kX87Precision},
      {"1/2", 1, 2, 0},
  };
  const struct {
    const char* what;
    std::uint16_t control;
    bool host_flags;  // the host left 0/0's flag raised (only with exceptions masked)
  } hosts[] = {
      {"masked", kX87AllMasked, false},
      {"masked, flag raised", kX87AllMasked, true},
      {"unmasked", kX87NoneMasked, false},
  };
  for (const auto& host : hosts) {
    for (const auto& operation : operations) {
      const std::string label = std::string(host.what) + ": " + operation.what;
      ResetX87(kX87AllMasked);
      if (host.host_flags) X87Divide(0, 0);
      const std::uint16_t host_status = X87Status() & kX87StatusFlags;
      __asm__ volatile("fldcw %0" : : "m"(host.control) : "memory");
      std::uint16_t raised;
      {
        FloatingPointScope scope;
        const std::uint16_t before = X87Status() & kX87StatusFlags;
        X87Divide(operation.a, operation.b);
        raised = static_cast<std::uint16_t>((X87Status() & kX87StatusFlags) & ~before);
      }
      EXPECT_EQ(raised, operation.raises) << label;
      EXPECT_EQ(X87Status() & kX87StatusFlags, host_status) << label;
      EXPECT_EQ(X87Control(), host.control) << label;
      ResetX87(kX87AllMasked);
    }
  }
}

#endif

// --- Depth -----------------------------------------------------------------------

TEST(Depth, DeepestTextsThatFit) {
  const std::size_t n = kMaxExpressionLength - 1;
  double value = 0;
  ASSERT_TRUE(Calculate(std::string(n, '(') + "7", value));
  EXPECT_EQ(value, 7);
  ASSERT_TRUE(Calculate(std::string(n, '-') + "7", value));
  EXPECT_EQ(value, 7);  // an even number of signs
  ASSERT_TRUE(Calculate(std::string(n - 1, '-') + "7)", value));
  EXPECT_EQ(value, -7);

  std::string chain;
  while (chain.size() + 3 <= kMaxExpressionLength) chain += "d=";
  chain += "3";
  ASSERT_LE(chain.size(), kMaxExpressionLength);
  ASSERT_TRUE(Calculate(chain, value));
  EXPECT_EQ(value, 3);
  EXPECT_EQ(ValueOf("d"), 3);

  std::string nested;
  while (nested.size() + 4 <= kMaxExpressionLength) nested = "(" + nested + "1+";
  nested += "1";
  ASSERT_TRUE(Calculate(nested, value));
  EXPECT_EQ(value, static_cast<double>(std::count(nested.begin(), nested.end(), '1')));
}

}  // namespace
