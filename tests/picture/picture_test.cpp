// The metafile structure check, the limits on the helper's child process
// and the helper program itself.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "picture/emf_records.h"
#include "picture/picture_converter.h"

namespace quarbe {
namespace {

std::string DefaultPicture() {
  std::ifstream in(std::string(QUARBE_TEST_DATA) + "/mobile.emf", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PutU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t GetU32(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  return value;
}

// The default picture changed by `edit`, its header's byte count following
// the new length unless told otherwise. `second` is where the record after
// the header starts.
std::string Edited(const std::function<void(std::string& bytes, std::size_t second)>& edit, bool followLength = true) {
  std::string bytes = DefaultPicture();
  edit(bytes, GetU32(bytes, 4));
  if (followLength) PutU32(bytes, 48, static_cast<std::uint32_t>(bytes.size()));
  return bytes;
}

TEST(CompleteEmfLength, AcceptsTheDefaultPictureAndRefusesBrokenOnes) {
  const std::string picture = DefaultPicture();
  ASSERT_GT(picture.size(), 200u);
  EXPECT_EQ(CompleteEmfLength(picture), picture.size());
  // Bytes after the byte count are not part of the metafile.
  EXPECT_EQ(CompleteEmfLength(picture + std::string(64, 'x')), picture.size());

  const struct {
    const char* name;
    std::string bytes;
  } refused[] = {
      {"no end-of-file record", Edited([](std::string& b, std::size_t) { b.resize(b.size() - 20); })},
      {"a record after the end",
       Edited([](std::string& b, std::size_t) { b += std::string("\x46\0\0\0\x0c\0\0\0\0\0\0\0", 12); })},
      {"record size not a multiple of 4", Edited([](std::string& b, std::size_t r) { PutU32(b, r + 4, GetU32(b, r + 4) + 2); })},
      {"record size zero", Edited([](std::string& b, std::size_t r) { PutU32(b, r + 4, 0); })},
      {"record running past the end", Edited([](std::string& b, std::size_t r) { PutU32(b, r + 4, 0x7FFFFFF0); })},
      {"byte count beyond the bytes",
       Edited([](std::string& b, std::size_t) { PutU32(b, 48, static_cast<std::uint32_t>(b.size() + 4)); }, false)},
      {"description outside the header", Edited([](std::string& b, std::size_t) { PutU32(b, 60, 1000); })},
      {"a second header", Edited([](std::string& b, std::size_t r) { PutU32(b, r, 1); })},
      {"larger than a compass picture needs",
       Edited([](std::string& b, std::size_t r) {
         std::string comment(kMaxEmfBytes, '\0');
         PutU32(comment, 0, 70);
         PutU32(comment, 4, static_cast<std::uint32_t>(comment.size()));
         b.insert(r, comment);
       })},
      {"header only", picture.substr(0, GetU32(picture, 4))},
  };
  for (const auto& c : refused) EXPECT_FALSE(CompleteEmfLength(c.bytes)) << c.name;
}

TEST(RunFilter, ChildThatMisbehavesGivesNothingWithinTheTimeLimit) {
  const FilterLimits limits{std::chrono::milliseconds(300), 1024 * 1024};
  const struct {
    const char* name;
    const char* script;
  } cases[] = {
      {"hangs", "exec sleep 30"},
      {"closes its output and lingers", "exec >&-; exec sleep 30"},
      {"writes without end", "exec head -c 20000000 /dev/zero"},
      {"crashes", "kill -SEGV $$"},
      {"fails", "cat >/dev/null; exit 3"},
  };
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunFilter({"/bin/sh", "-c", c.script}, "input", limits)) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << c.name;
  }
  EXPECT_EQ(RunFilter({"/bin/sh", "-c", "exec cat"}, "a picture", limits), "a picture");
}

// The pixel at (x, y) of a render, as 0xAARRGGBB.
std::uint32_t PixelAt(const std::string& pixels, int width, int x, int y) {
  std::uint32_t word = 0;
  std::memcpy(&word, pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4, 4);
  return word;
}

TEST(RenderCommand, HelperRendersThePictureAtTheSizeAsked) {
  const std::vector<std::string> command = RenderCommand(64, 48);
  ASSERT_FALSE(command.empty());
  const FilterLimits limits{kRenderTimeLimit, 64 * 48 * 4};
  const auto pixels = RunFilter(command, DefaultPicture(), limits);
  ASSERT_TRUE(pixels);
  ASSERT_EQ(pixels->size(), 64u * 48 * 4);
  // Stretched to the whole image: the oval dial reaches the middle of each
  // edge and leaves the corners clear; the vehicle in the middle is blue.
  EXPECT_EQ(PixelAt(*pixels, 64, 0, 0) >> 24, 0u);
  EXPECT_EQ(PixelAt(*pixels, 64, 32, 1) >> 24, 0xFFu);
  EXPECT_EQ(PixelAt(*pixels, 64, 1, 24) >> 24, 0xFFu);
  const std::uint32_t vehicle = PixelAt(*pixels, 64, 32, 24);
  EXPECT_GT(vehicle & 0xFF, (vehicle >> 16) & 0xFF) << std::hex << vehicle;

  // The helper checks the structure, and the size, itself.
  EXPECT_FALSE(RunFilter(command, DefaultPicture().substr(0, 500), limits));
  EXPECT_FALSE(RunFilter({command[0], "0", "48"}, DefaultPicture(), limits));
  EXPECT_FALSE(RunFilter({command[0], std::to_string(kMaxRenderSidePx + 1), "48"}, DefaultPicture(), limits));
  EXPECT_TRUE(RenderCommand(kMaxRenderSidePx + 1, 48).empty());
}

}  // namespace
}  // namespace quarbe
