// Running out of memory in the middle of a command: every allocation a command
// makes is made to fail in turn, and each time the command must return 1, leave
// the result buffer as it was, free everything it took and leave the variable
// table whole, so that the same command then runs as if nothing had happened.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "expr/expr.h"
#include "plugin/host_contract.h"

// ---------------------------------------------------------------------------
// The plug-in's allocator, replaced by one that counts and can fail on a
// chosen call. plugin_code is a static library: with both functions defined
// here, its own allocator (expr/memory.cpp) is never linked in.
// ---------------------------------------------------------------------------

namespace {

long allocation_calls = 0;    // AllocateBlock calls since the last reset
long live_allocations = 0;    // blocks from AllocateBlock not yet freed
long fail_at_call = 0;        // the call to fail, counted from the reset; 0: none
bool failure_injected = false;

}  // namespace

void* AllocateBlock(std::size_t size) {
  ++allocation_calls;
  if (fail_at_call != 0 && allocation_calls == fail_at_call) {
    failure_injected = true;
    return nullptr;
  }
  void* block = std::malloc(size);
  if (block != nullptr) ++live_allocations;
  return block;
}

void FreeBlock(void* block) {
  if (block == nullptr) return;
  --live_allocations;
  std::free(block);
}

namespace {

// ---------------------------------------------------------------------------
// The variable table as the test sees it
// ---------------------------------------------------------------------------

struct Variable {
  VariableEntry* entry;
  std::string name;
  double value;
};

std::vector<Variable> TableContents() {
  std::vector<Variable> contents;
  for (VariableEntry* entry = VariableTable; entry != nullptr; entry = entry->next) {
    contents.push_back({entry, entry->name, entry->value});
  }
  return contents;
}

// Entries in front of `old_head`, the ones added since it was the head.
std::vector<VariableEntry*> EntriesAddedSince(VariableEntry* old_head) {
  std::vector<VariableEntry*> added;
  for (VariableEntry* entry = VariableTable; entry != old_head; entry = entry->next) {
    if (entry == nullptr) {
      ADD_FAILURE() << "the old table is no longer the tail of the list";
      break;
    }
    added.push_back(entry);
  }
  return added;
}

// Whether `name` stands in `text` as a whole name.
bool NamesVariable(const std::string& text, const std::string& name) {
  auto is_name_char = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  };
  for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    const bool starts = at == 0 || !is_name_char(text[at - 1]);
    const std::size_t end = at + name.size();
    const bool ends = end == text.size() || !is_name_char(text[end]);
    if (starts && ends) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// One command, run with and without failures
// ---------------------------------------------------------------------------

constexpr char kCanary = '\x5A';

struct Outcome {
  std::int32_t returned;
  std::vector<char> result;
  long calls;
  long live_before;  // blocks live when the command started
  long live_after;   // and when it returned
  bool failed;
};

Outcome RunCounted(const char* command, const std::string& parameter, long fail_at) {
  std::vector<char> result(CALC_RESULT_BUFFER_SIZE, kCanary);
  const long live_before = live_allocations;
  allocation_calls = 0;
  failure_injected = false;
  fail_at_call = fail_at;
  const std::int32_t returned = ParseCommand(command, parameter.c_str(), nullptr, result.data());
  fail_at_call = 0;
  return {returned,    std::move(result), allocation_calls, live_before, live_allocations,
          failure_injected};
}

// Puts the table back as `before` was, building it afresh oldest first (and
// `before` then describes it anew), and returns how many blocks `run` left
// live beyond those of the table. A table of the same names holds as many
// blocks, its index included, however it was grown.
long LeakedBy(const Outcome& run, std::vector<Variable>& before) {
  long live = live_allocations;
  ClearVariables();
  const long table_after_run = live - live_allocations;
  live = live_allocations;
  for (auto variable = before.rbegin(); variable != before.rend(); ++variable) {
    FindOrAddVariable(variable->name.c_str())->value = variable->value;
  }
  const long table_before_run = live_allocations - live;
  before = TableContents();
  return run.live_after - run.live_before - (table_after_run - table_before_run);
}

struct Command {
  const char* word;
  const char* parameter;
};

// Commands in order; variables carry from each to the next.
const Command kCommands[] = {
    {"/xcalc", "1+2"},
    {"/xcalc", "a=5"},
    {"/xcalc", "a"},
    {"/xcalc", "b=a*2+c"},
    {"/xcalc", "(x=3)+(y=x*2)+z-(w=y/x)"},
    {"/xcalc", "a=a=a+1"},
    {"/xcalc", "-(p=2)*(q=p/4)-p*-q"},
    {"/xcalc", "LongVariableName1=LongVariableName2=(666/77)*8+3-(2.5*8)+10"},
    {"/xcalc", "(666/77)*8+3-(2.5*8)+10"},
    {"/xcalc", "n1=1+(n2=n1+1)+(n3=n2+1)+(n4=n3+1)+(n5=n4+1)"},
    {"/xcalc", "fresh+1+"},         // missing operand: no value
    {"/xcalc", "a=5+()"},           // missing operand after an assignment
    {"/xcalc", "(u=1)*v/-(t=u)"},
    {"/xprecis", "7"},
    {"/xcalc", "a/3"},
    {"/XCALC", "0.1+0.2"},
    {"/xprecis", "2"},
    {"/xcalc", "999999999999999999999*999999999999999999999/.5"},
};

std::string Describe(const Command& command) {
  return std::string(command.word) + " " + command.parameter;
}

TEST(OutOfMemory, EveryAllocationFailingInTurnLeavesNoTrace) {
  long failures_checked = 0;
  for (const Command& command : kCommands) {
    SCOPED_TRACE(Describe(command));
    const std::string parameter = command.parameter;
    std::vector<Variable> before = TableContents();

    // Unhindered: what the command writes and the table it leaves.
    const Outcome expected = RunCounted(command.word, parameter, 0);
    ASSERT_EQ(expected.returned, 1);
    ASSERT_FALSE(expected.failed);
    const std::vector<Variable> expected_table = TableContents();
    EXPECT_EQ(LeakedBy(expected, before), 0) << "blocks left behind by a successful command";

    for (long fail_at = 1;; ++fail_at) {
      SCOPED_TRACE("allocation " + std::to_string(fail_at) + " fails");
      const Outcome outcome = RunCounted(command.word, parameter, fail_at);
      ASSERT_EQ(outcome.returned, 1);
      if (!outcome.failed) {
        // The command needed fewer allocations: it completed as unhindered.
        EXPECT_EQ(fail_at, expected.calls + 1);
        EXPECT_EQ(outcome.result, expected.result);
        for (const Variable& variable : expected_table) {
          EXPECT_EQ(FindOrAddVariable(variable.name.c_str())->value, variable.value)
              << variable.name;
        }
        EXPECT_EQ(LeakedBy(outcome, before), 0) << "blocks leaked";
        // Its effects stay for the next command.
        RunCounted(command.word, parameter, 0);
        break;
      }
      ++failures_checked;
      // Only "/xcalc" allocates, and only while it reads the expression.
      EXPECT_TRUE(Reader.OutOfMemory);
      EXPECT_EQ(outcome.result, std::vector<char>(CALC_RESULT_BUFFER_SIZE, kCanary))
          << "result buffer written";

      // Old variables keep their values; new ones are named in the text and hold 0.
      // The index still finds every entry of the list, old and new.
      const std::vector<VariableEntry*> added =
          EntriesAddedSince(before.empty() ? nullptr : before.front().entry);
      for (VariableEntry* entry : added) {
        EXPECT_TRUE(NamesVariable(parameter, entry->name)) << "stray entry " << entry->name;
        EXPECT_EQ(entry->value, 0.0) << entry->name;
        EXPECT_EQ(FindOrAddVariable(entry->name), entry) << entry->name;
      }
      for (const Variable& variable : before) {
        EXPECT_EQ(variable.entry->value, variable.value) << variable.name;
        EXPECT_STREQ(variable.entry->name, variable.name.c_str());
        EXPECT_EQ(FindOrAddVariable(variable.name.c_str()), variable.entry) << variable.name;
      }
      EXPECT_EQ(LeakedBy(outcome, before), 0) << "blocks leaked";

      // The same command then runs as if the failure had never been.
      const Outcome again = RunCounted(command.word, parameter, 0);
      ASSERT_EQ(again.returned, 1);
      EXPECT_EQ(again.result, expected.result);
      for (const Variable& variable : expected_table) {
        VariableEntry* entry = FindOrAddVariable(variable.name.c_str());
        EXPECT_EQ(entry->value, variable.value) << variable.name;
      }
      EXPECT_EQ(LeakedBy(again, before), 0);
    }
  }
  EXPECT_GT(failures_checked, 100);
}

// Failure is a null block, which FreeBlock takes and ignores.
TEST(OutOfMemory, ReplacedAllocatorFailsOnTheChosenCall) {
  const long live_before = live_allocations;
  allocation_calls = 0;
  fail_at_call = 2;
  void* first = AllocateBlock(1);
  void* second = AllocateBlock(1);
  fail_at_call = 0;
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  FreeBlock(first);
  FreeBlock(second);
  EXPECT_EQ(live_allocations, live_before);
}

}  // namespace
