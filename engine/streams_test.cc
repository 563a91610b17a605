#include "engine/streams.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace zaptor {
namespace {

using namespace std::string_literals;

std::vector<std::string> lines_of(LineReader& reader) {
  std::vector<std::string> lines;
  std::string line;
  while (reader.read_line(line)) {
    lines.push_back(line);
    line.clear();
  }
  return lines;
}

TEST(LineReader, PhysicalLinesOfAnyLengthAndBytes) {
  const std::string longest(300000, 'x');
  const std::string text = "a\n\n" + longest + "\nnul\0byte\n\xFF end"s;
  LineReader reader(text);
  const std::vector<std::string> expected = {"a\n", "\n", longest + "\n", "nul\0byte\n"s, "\xFF end"};
  EXPECT_EQ(lines_of(reader), expected);
  EXPECT_FALSE(reader.failed());
  EXPECT_EQ(reader.lines_read(), 5u);
}

TEST(LineReader, FromAFileAcrossItsReadChunks) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::string text;
  for (int i = 0; i < 30000; ++i) text += std::to_string(i) + (i % 7 == 0 ? std::string(50, 'y') : "") + "\n";
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  LineReader reader(file);
  std::string all;
  for (const std::string& line : lines_of(reader)) all += line;
  EXPECT_EQ(all, text);
  EXPECT_EQ(reader.lines_read(), 30000u);
  std::fclose(file);
}

TEST(LineReader, ReadErrorIsReported) {
  std::FILE* dir = std::fopen(".", "r");
  if (dir == nullptr) GTEST_SKIP() << "directories cannot be opened here";
  LineReader reader(dir);
  EXPECT_FALSE(reader.ready());
  std::string line;
  EXPECT_FALSE(reader.read_line(line));
  EXPECT_TRUE(reader.failed());
  std::fclose(dir);
}

TEST(Output, WritesEverythingInOrder) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  Output out(file);
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string piece = std::string(static_cast<std::size_t>(i % 97), 'a' + i % 26) + "\n";
    out.write(piece);
    expected += piece;
  }
  const std::string big(200000, 'B');
  out.write(big);
  expected += big;
  ASSERT_TRUE(out.flush());
  std::rewind(file);
  std::string back(expected.size() + 1, '\0');
  back.resize(std::fread(back.data(), 1, back.size(), file));
  EXPECT_EQ(back, expected);
  EXPECT_TRUE(out.close());  // closes the file too
}

TEST(Output, FullDeviceIsAFailure) {
  std::FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  Output out(full);
  out.write("some text\n");
  EXPECT_FALSE(out.close());
  EXPECT_TRUE(out.failed());
}

}  // namespace
}  // namespace zaptor

namespace zaptor {
namespace {

TEST(LineReader, ConsumedBytesCountTheirLines) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += std::string(static_cast<std::size_t>(i % 13), i % 2 ? '\xFF' : 'a') + "\n";
  text += "\n\n\x8A\n";
  LineReader reader(text);
  const std::string_view all = reader.peek();
  ASSERT_EQ(all.size(), text.size());
  reader.consume(all.size());
  EXPECT_EQ(reader.lines_read(), 1003u);
  EXPECT_TRUE(reader.peek().empty());
}

}  // namespace
}  // namespace zaptor
