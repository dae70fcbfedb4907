// Toast requests as the host's window receives them: the record's address in
// the first message parameter, its text width in the second.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "test_support.h"

namespace {

constexpr std::size_t kFlagOffset = kToastLayout.flag;
constexpr std::size_t kTextOffset = kToastLayout.text;

const char kCaption[] = "Caption";
const char kExtra[] = "extra text";

extern "C" const std::size_t calc_c_header_layout[];

TEST(ToastRecord, HeaderCompiledAsCGivesTheLayoutHostsRead) {
  const std::size_t narrow_size = kToastLayout.text + kToastTextUnits;
  const std::size_t wide_size = kToastLayout.text + 2 * kToastTextUnits;
  const std::size_t expected[] = {
      kToastLayout.caption, kToastLayout.message, kToastLayout.extra, kToastLayout.flag,
      kToastLayout.unused,  kToastLayout.text,    kToastLayout.caption, kToastLayout.message,
      kToastLayout.extra,   kToastLayout.flag,    kToastLayout.unused, kToastLayout.text,
      narrow_size,          wide_size,            2377,
  };
  for (std::size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i) {
    EXPECT_EQ(calc_c_header_layout[i], expected[i]) << "entry " << i;
  }
}

std::string Repeated(std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

TEST(ToastRecord, NarrowTextIsCopiedAndCut) {
  for (std::size_t length : {0u, 1u, 254u, 255u, 256u, 300u}) {
    const std::string message = Repeated(length);
    ToastListener listener;
    Plugin().display_toast(message.c_str(), kCaption, kExtra, 0);
    ASSERT_EQ(listener.received.size(), 1u) << "length " << length;
    const ReceivedToast& toast = listener.received[0];
    EXPECT_EQ(toast.width, 0);
    ASSERT_EQ(toast.record.size(), kTextOffset + 256);
    const std::size_t kept = length < 255 ? length : 255;
    for (std::size_t i = 0; i < 256; ++i) {
      const unsigned char expected = i < kept ? static_cast<unsigned char>(message[i]) : 0;
      ASSERT_EQ(toast.record[kTextOffset + i], expected) << "length " << length << " at " << i;
    }
    // The message pointer leads to the record's own copy.
    EXPECT_EQ(PointerAt(toast, kToastLayout.message), toast.record_address + kTextOffset) << "length " << length;
    EXPECT_EQ(toast.text, message.substr(0, kept));
    EXPECT_EQ(PointerAt(toast, kToastLayout.caption), reinterpret_cast<std::uintptr_t>(kCaption));
    EXPECT_EQ(PointerAt(toast, kToastLayout.extra), reinterpret_cast<std::uintptr_t>(kExtra));
  }
}

TEST(ToastRecord, WideTextIsCopiedButTheCallersTextIsSent) {
  for (std::size_t length : {0u, 3u, 255u, 256u, 300u}) {
    std::u16string message;
    for (std::size_t i = 0; i < length; ++i) message += static_cast<char16_t>(0x3B1 + i % 20);
    ToastListener listener;
    Plugin().display_toast_w(message.c_str(), kCaption, kExtra, 1);
    ASSERT_EQ(listener.received.size(), 1u);
    const ReceivedToast& toast = listener.received[0];
    EXPECT_EQ(toast.width, 1);
    ASSERT_EQ(toast.record.size(), kTextOffset + 512);
    const std::size_t kept = length < 255 ? length : 255;
    for (std::size_t i = 0; i < 256; ++i) {
      const char16_t unit = static_cast<char16_t>(toast.record[kTextOffset + 2 * i] |
                                                  toast.record[kTextOffset + 2 * i + 1] << 8);
      ASSERT_EQ(unit, i < kept ? message[i] : 0) << "length " << length << " at " << i;
    }
    EXPECT_EQ(PointerAt(toast, kToastLayout.message), reinterpret_cast<std::uintptr_t>(message.c_str()));
    EXPECT_EQ(toast.wide_text, message);  // the whole text, through the caller's pointer
    EXPECT_EQ(toast.caption, kCaption);
    EXPECT_EQ(toast.extra, kExtra);
  }
}

TEST(ToastRecord, FlagKeepsOnlyTheLowByte) {
  const struct {
    std::uint32_t argument;
    std::uint32_t stored;
  } cases[] = {
      {0, 0},           {1, 0xFFFFFFFF},    {0x7F, 0xFFFFFFFF},     {0x80, 0xFFFFFFFF},
      {0xFF, 0xFFFFFFFF}, {0x100, 0},       {0xFFFFFF00, 0},        {0xFFFFFFFF, 0xFFFFFFFF},
      {0x12345601, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    ToastListener listener;
    const auto argument = static_cast<std::int32_t>(c.argument);
    Plugin().display_toast("flag", kCaption, kExtra, argument);
    Plugin().display_toast_w(u"flag", kCaption, kExtra, argument);
    ASSERT_EQ(listener.received.size(), 2u);
    EXPECT_EQ(Field32(listener.received[0], kFlagOffset), c.stored) << std::hex << c.argument;
    EXPECT_EQ(Field32(listener.received[1], kFlagOffset), c.stored) << std::hex << c.argument;
  }
}

TEST(ToastRecord, NullMessageSendsEmptyText) {
  ToastListener listener;
  Plugin().display_toast(nullptr, nullptr, nullptr, 0);
  Plugin().display_toast_w(nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(listener.received.size(), 2u);
  for (const ReceivedToast& toast : listener.received) {
    EXPECT_EQ(PointerAt(toast, kToastLayout.message), toast.record_address + kTextOffset);
    EXPECT_EQ(PointerAt(toast, kToastLayout.caption), 0u);
    EXPECT_EQ(PointerAt(toast, kToastLayout.extra), 0u);
    for (std::size_t i = kTextOffset; i < toast.record.size(); ++i) ASSERT_EQ(toast.record[i], 0);
  }
}

TEST(ToastMessage, RegisteredNameAndParameters) {
  ToastListener listener;
  EXPECT_GE(listener.message_number(), 0xC000u);
  EXPECT_EQ(RegisterWindowMessageA("glimmerpost_displaytoast"), listener.message_number());
  EXPECT_NE(RegisterWindowMessageA("Glimmerpost_DisplayToastX"), listener.message_number());
  // The window procedure only records the registered message, so receiving
  // anything at all proves the number; both variants use the same one.
  Plugin().display_toast("a", kCaption, kExtra, 0);
  Plugin().display_toast_w(u"b", kCaption, kExtra, 0);
  ASSERT_EQ(listener.received.size(), 2u);
  EXPECT_EQ(listener.received[0].width, 0);
  EXPECT_EQ(listener.received[1].width, 1);
}

TEST(ToastMessage, SendIsSynchronousAndItsResultIsReturned) {
  for (LRESULT reply : {0, 1, 12345, -1}) {
    ToastListener listener(reply);
    // The record lives on the sender's stack: the window must have read it
    // before the call returns, so it has been received by then.
    const std::int32_t returned = Plugin().display_toast("sync", kCaption, kExtra, 0);
    ASSERT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(listener.received[0].text, "sync");
    const std::int32_t returned_wide = Plugin().display_toast_w(u"sync", kCaption, kExtra, 0);
    ASSERT_EQ(listener.received.size(), 2u);
    EXPECT_EQ(returned_wide, returned);
#if defined(_WIN32)
    // A broadcast's result is USER32's to choose; the toast returns it unchanged.
    unsigned char probe[276] = {};
    EXPECT_EQ(returned, static_cast<std::int32_t>(
                            SendMessageA(HWND_BROADCAST, listener.message_number(),
                                         reinterpret_cast<WPARAM>(probe), 0)));
#else
    EXPECT_EQ(returned, reply);
#endif
  }
}

#if !defined(_WIN32)
TEST(ToastMessage, NobodyListening) {
  EXPECT_EQ(Plugin().display_toast("nobody", kCaption, kExtra, 1), 0);
  EXPECT_EQ(Plugin().display_toast_w(u"nobody", kCaption, kExtra, 1), 0);
}
#endif

}  // namespace
