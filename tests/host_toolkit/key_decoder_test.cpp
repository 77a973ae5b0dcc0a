// Keys as a terminal sends them, turned into event codes and focus moves.
#include "host/toolkit/displays/terminal/key_decoder.h"

#include "host/toolkit/displays/framebuffer/evdev_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using termsim::DecodedKey;
using termsim::KeyDecoder;

// "c<code>", "next", "prev", "press" or "F<n>" for each decoded key.
std::vector<std::string> Decode(KeyDecoder& decoder, const std::string& bytes) {
  decoder.Feed(bytes.data(), bytes.size());
  std::vector<std::string> keys;
  DecodedKey key;
  while (decoder.Pop(&key)) {
    switch (key.action) {
      case DecodedKey::kCode:
        keys.push_back("c" + std::to_string(key.code));
        break;
      case DecodedKey::kFocusNext:
        keys.push_back("next");
        break;
      case DecodedKey::kFocusPrevious:
        keys.push_back("prev");
        break;
      case DecodedKey::kPress:
        keys.push_back("press");
        break;
      case DecodedKey::kFunction:
        keys.push_back("F" + std::to_string(key.code));
        break;
      case DecodedKey::kScreenshot:
        keys.push_back("screenshot");
        break;
    }
  }
  return keys;
}

using Keys = std::vector<std::string>;

TEST(KeyDecoding, BackspaceEnterTabSpaceAndPrintableKeys) {
  KeyDecoder decoder;
  EXPECT_EQ(Decode(decoder, "\x7f\b\r\n\t a8"),
            (Keys{"c8", "c8", "c13", "c13", "next", "press", "c97", "c56"}));
}

TEST(KeyDecoding, LoneEscIsEscOnlyOnceNoMoreBytesCome) {
  KeyDecoder decoder;
  EXPECT_EQ(Decode(decoder, "\x1b"), Keys{});
  EXPECT_TRUE(decoder.Pending());
  decoder.Expire();
  EXPECT_FALSE(decoder.Pending());
  EXPECT_EQ(Decode(decoder, ""), Keys{"c27"});
}

TEST(KeyDecoding, ArrowKeysMoveTheFocusAndAreNotEsc) {
  KeyDecoder decoder;
  EXPECT_EQ(Decode(decoder, "\x1b[A\x1b[B\x1b[C\x1b[D\x1b[Z"),
            (Keys{"prev", "next", "next", "prev", "prev"}));
  EXPECT_EQ(Decode(decoder, "\x1bOA\x1bOB"), (Keys{"prev", "next"}));
  EXPECT_FALSE(decoder.Pending());
}

TEST(KeyDecoding, SequenceSplitAcrossReadsIsStillOneKey) {
  KeyDecoder decoder;
  EXPECT_EQ(Decode(decoder, "\x1b"), Keys{});
  EXPECT_EQ(Decode(decoder, "["), Keys{});
  EXPECT_EQ(Decode(decoder, "B"), Keys{"next"});
}

TEST(KeyDecoding, FunctionKeysInBothFormsAndOtherSequencesDropped) {
  KeyDecoder decoder;
  EXPECT_EQ(Decode(decoder, "\x1bOQ\x1b[12~\x1b[15~\x1b[24~"), (Keys{"F2", "F2", "F5", "F12"}));
  EXPECT_EQ(Decode(decoder, "\x1b[3~\x1b[15;2~\x1b[16~\x1b[1;5A"), (Keys{"prev"}));
}

TEST(KeyDecoding, EscFollowedByAnotherKeyIsEscThenThatKey) {
  KeyDecoder decoder;
  EXPECT_EQ(Decode(decoder, "\x1bx"), (Keys{"c27", "c120"}));
  EXPECT_EQ(Decode(decoder, "\x1b\x1b"), (Keys{"c27"}));
  decoder.Expire();
  EXPECT_EQ(Decode(decoder, ""), (Keys{"c27"}));
}

TEST(KeyDecoding, KeypadEnterIsEnterAndNonAsciiBytesAreDropped) {
  KeyDecoder decoder;
  EXPECT_EQ(Decode(decoder, "\x1bOM"), (Keys{"c13"}));
  EXPECT_EQ(Decode(decoder, "\xd0\x96"), Keys{});
}

// An input device's records: a press gives its key, each auto-repeat (value 2) of a key
// held down gives it again, a release nothing; Shift held turns letters to capitals.
TEST(EvdevKeys, PressAndEachRepeatGiveTheKeyAndAReleaseNothing) {
  termsim::EvdevKeys keys;
  auto feed = [&keys](unsigned short code, int value) {
    input_event event{};
    event.type = EV_KEY;
    event.code = code;
    event.value = value;
    keys.Feed(event);
  };
  feed(KEY_BACKSPACE, 1);
  feed(KEY_BACKSPACE, 2);
  feed(KEY_BACKSPACE, 2);
  feed(KEY_BACKSPACE, 0);
  feed(KEY_LEFTSHIFT, 1);
  feed(KEY_LEFTSHIFT, 2);  // Shift held long enough to repeat is still held
  feed(KEY_A, 1);
  feed(KEY_A, 2);
  feed(KEY_LEFTSHIFT, 0);
  feed(KEY_A, 0);
  std::vector<int> codes;
  DecodedKey key;
  while (keys.Pop(&key)) {
    EXPECT_EQ(key.action, DecodedKey::kCode);
    codes.push_back(key.code);
  }
  EXPECT_EQ(codes, (std::vector<int>{8, 8, 8, 'A', 'A'}));

  // A record is taken as soon as it is whole, though no other follows it (a pipe of events
  // whose writer sends a press alone).
  input_event press{};
  press.type = EV_KEY;
  press.code = KEY_ESC;
  press.value = 1;
  const char* bytes = reinterpret_cast<const char*>(&press);
  keys.FeedBytes(bytes, 5);
  EXPECT_FALSE(keys.Pop(&key));
  keys.FeedBytes(bytes + 5, sizeof press - 5);
  ASSERT_TRUE(keys.Pop(&key));
  EXPECT_EQ(key.code, 27);
}

}  // namespace
