#include "export/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace rova {
namespace {

// The example messages of the Secure Hash Standard and their digests.
TEST(Sha256, StandardTestVectors) {
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(sha256Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnop"
                      "jklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
}

// Lengths around the block and padding boundaries (55, 56, 63, 64 and 119
// bytes decide whether the length fits in the last block), and bytes with
// the high bit set, which must not be sign-extended.
TEST(Sha256, PaddingBoundariesAndHighBytes) {
  EXPECT_EQ(sha256Hex(std::string(55, 'a')),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(sha256Hex(std::string(56, 'a')),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(sha256Hex(std::string(63, 'a')),
            "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34");
  EXPECT_EQ(sha256Hex(std::string(64, 'a')),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
  EXPECT_EQ(sha256Hex(std::string(119, 'a')),
            "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb");
  EXPECT_EQ(sha256Hex(std::string(1, '\xff')),
            "a8100ae6aa1940d0b663bb31cd466142ebbdbd5187131b92d93818987832eb89");
}

// Pieces of every size up to two blocks give the sum of the whole.
TEST(Sha256, PiecesGiveTheSumOfTheWhole) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>(i * 7 + 3);
  for (std::size_t piece = 1; piece <= 130; ++piece) {
    Sha256 sum;
    for (std::size_t at = 0; at < text.size(); at += piece) sum.update(std::string_view(text).substr(at, piece));
    EXPECT_EQ(sum.hex(), sha256Hex(text)) << piece;
  }
  Sha256 none;
  EXPECT_EQ(none.hex(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace rova
