#include "zaptor/compiled.h"

#include <gtest/gtest.h>

#include "zaptor/entry_testing.h"

#include <array>
#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/line_buffer.h"
#include "engine/streams.h"

namespace zaptor {
namespace {

using namespace testing_entries;

// --- Bytes of a compiled file, built by hand, independent of the encoder ---

std::string le32(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
          static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

// A 256-byte text field: `bytes` followed by `fill` up to the field's end.
std::string field(std::string_view bytes, char fill = '\0') {
  std::string f(bytes);
  f.resize(kFieldSize, fill);
  return f;
}

std::string record(std::string_view name, std::string_view format, std::int32_t cb,
                   std::int32_t parms, const Order& order) {
  std::string r = field(name) + field(format) + le32(cb) + le32(parms);
  for (const std::int32_t v : order) r += le32(v);
  return r;
}

std::string compiled_file(std::int32_t n, const std::vector<std::string>& records) {
  std::string f = le32(n);
  for (const std::string& r : records) f += r;
  return f;
}

// --- Readable entries, so a failing comparison shows what differs ---


std::string dump_of(const Table& table) {
  std::string out;
  {
    Output o(out);
    print_dat(table, o);
  }
  return out;
}

class CompiledTest : public ::testing::Test {
 protected:
  // Loads a compiled file as the table of the test.
  LoadResult load(std::string_view bytes) {
    loaded_ = read_compiled(bytes);
    return loaded_.status;
  }
  LoadResult load(std::FILE* file) {
    loaded_ = read_compiled(file);
    return loaded_.status;
  }
  const Table& table() const { return *loaded_.table; }
  std::string dump() const { return dump_of(table()); }
  Loaded loaded_{make_table({}), {}};  // an empty table until a test loads one
};

// ---------------------------------------------------------------------------
// The byte layout

using CompiledLayout = CompiledTest;

TEST_F(CompiledLayout, RecordFieldsSitAtTheirOffsets) {
  std::string bytes;
  encode_record(entry("WinSendMsg", "S %s\n", 10, 4, {1, -1, 2, 3, 4, 5, 6, 7}), bytes);
  ASSERT_EQ(bytes.size(), 552u);
  EXPECT_EQ(bytes.substr(0, 11), std::string("WinSendMsg\0", 11));
  EXPECT_EQ(bytes.substr(11, 245), std::string(245, '\0')) << "unused name bytes are zero";
  EXPECT_EQ(bytes.substr(256, 6), std::string("S %s\n\0", 6));
  EXPECT_EQ(bytes.substr(262, 250), std::string(250, '\0'));
  EXPECT_EQ(bytes.substr(512, 4), std::string("\x0A\0\0\0", 4));  // cb
  EXPECT_EQ(bytes.substr(516, 4), std::string("\x04\0\0\0", 4));  // cParms
  EXPECT_EQ(bytes.substr(520, 4), std::string("\x01\0\0\0", 4));  // iOrder[0]
  EXPECT_EQ(bytes.substr(524, 4), std::string("\xFF\xFF\xFF\xFF", 4));  // -1
  EXPECT_EQ(bytes.substr(548, 4), std::string("\x07\0\0\0", 4));  // iOrder[7]
}

TEST_F(CompiledLayout, IntegersAreLittleEndianTwosComplement) {
  std::string bytes;
  encode_record(entry("A", std::nullopt, INT_MIN, 0x01020304, kNoOrder), bytes);
  EXPECT_EQ(bytes.substr(512, 4), std::string("\0\0\0\x80", 4));
  EXPECT_EQ(bytes.substr(516, 4), std::string("\x04\x03\x02\x01", 4));
}

TEST_F(CompiledLayout, ThreeEntryTableIs1660BytesLong) {
  const Encoded e = encode_compiled({
      entry("WinSendMsg", "S %s\n", 10, 4, {1, -1, -1, -1, -1, -1, -1, -1}),
      entry("WinPostMsg", "P %s\n", 10, 4, {1, -1, -1, -1, -1, -1, -1, -1}),
      entry("WinSendDlgItemMsg", "D %s\n", 17, 5, {2, -1, -1, -1, -1, -1, -1, -1}),
  });
  ASSERT_TRUE(e.ok()) << e.error;
  EXPECT_EQ(e.bytes.size(), 1660u);
  EXPECT_EQ(e.bytes.substr(0, 4), std::string("\x03\0\0\0", 4));
  EXPECT_EQ(e.bytes.substr(4, 11), std::string("WinSendMsg\0", 11));
  EXPECT_EQ(e.bytes.substr(4 + 512, 4), std::string("\x0A\0\0\0", 4));
  // The hand-built file for the same table is the same bytes.
  EXPECT_EQ(e.bytes, compiled_file(3, {record("WinSendMsg", "S %s\n", 10, 4, {1, -1, -1, -1, -1, -1, -1, -1}),
                                       record("WinPostMsg", "P %s\n", 10, 4, {1, -1, -1, -1, -1, -1, -1, -1}),
                                       record("WinSendDlgItemMsg", "D %s\n", 17, 5, {2, -1, -1, -1, -1, -1, -1, -1})}));
}

TEST_F(CompiledLayout, EmptyTableIsJustTheCount) {
  const Encoded e = encode_compiled({});
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e.bytes, std::string("\0\0\0\0", 4));
}

// ---------------------------------------------------------------------------
// Loading into the engine's table

using CompiledLoad = CompiledTest;

TEST_F(CompiledLoad, FillsTableCountAndFirstLetters) {
  const std::string file = compiled_file(
      2, {record("WinSendMsg", "S %s\n", 10, 4, {1, -1, -1, -1, -1, -1, -1, -1}),
          record("GpiLine", "L(%s, %s)", 7, 2, {1, 0, -1, -1, -1, -1, -1, -1})});
  const LoadResult r = load(file);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.announced, 2);
  EXPECT_EQ(r.loaded, 2);
  EXPECT_EQ(table().api_num(), 2);
  EXPECT_EQ(table().chFirstBuf(), "WG");
  EXPECT_EQ(describe(table().apilist()),
            (std::vector<std::string>{
                R"(name "WinSendMsg" format "S %s)" "\n" R"(" cb 10 parms 4 order 1 -1 -1 -1 -1 -1 -1 -1)",
                R"x(name "GpiLine" format "L(%s, %s)" cb 7 parms 2 order 1 0 -1 -1 -1 -1 -1 -1)x"}));
}

TEST_F(CompiledLoad, ShortFilesLoadAnEmptyTable) {
  for (const std::string& file : {std::string(), std::string("\x01", 1), std::string("\x01\0\0", 3)}) {
    const LoadResult r = load(file);
    EXPECT_TRUE(r.ok()) << file.size() << " bytes";
    EXPECT_EQ(r.announced, 0);
    EXPECT_EQ(r.loaded, 0);
    EXPECT_TRUE(table().apilist().empty());
    EXPECT_LE(table().api_num(), 0);
    EXPECT_EQ(table().chFirstBuf(), "");
    EXPECT_EQ(dump(), "First Letters: ()\n");
  }
}

TEST_F(CompiledLoad, ZeroOrNegativeCountLoadsAnEmptyTableWhateverFollows) {
  const std::string rec = record("WinA", "x", 4, 0, kNoOrder);
  for (const std::int32_t n : {0, -1, INT_MIN}) {
    const LoadResult r = load(compiled_file(n, {rec}));
    EXPECT_TRUE(r.ok()) << n;
    EXPECT_EQ(r.announced, n);
    EXPECT_EQ(r.loaded, 0);
    EXPECT_TRUE(table().apilist().empty()) << n;
    EXPECT_EQ(table().chFirstBuf(), "") << n;
    EXPECT_EQ(dump(), "First Letters: ()\n");
  }
}

TEST_F(CompiledLoad, LoadingReplacesAnEarlierTable) {
  load(compiled_file(1, {record("WinA", "x", 4, 0, kNoOrder)}));
  load(compiled_file(1, {record("Foo", "y", 3, 0, kNoOrder)}));
  EXPECT_EQ(table().api_num(), 1);
  EXPECT_EQ(table().chFirstBuf(), "F");
  ASSERT_EQ(table().apilist().size(), 1u);
  EXPECT_EQ(table().apilist()[0].pchName, "Foo");
}

TEST_F(CompiledLoad, FileEndingBeforeTheAnnouncedRecordsIsDamaged) {
  const std::string a = record("WinA", "A", 4, 0, kNoOrder);
  const std::string b = record("Bee", "B", 3, 0, kNoOrder);
  // Announces 3, holds 2 whole records and half of a third.
  const std::string file = compiled_file(3, {a, b, b.substr(0, 300)});
  const LoadResult r = load(file);
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.damaged);
  EXPECT_EQ(r.announced, 3);
  EXPECT_EQ(r.loaded, 2);
  // The whole records are there for the dump.
  EXPECT_EQ(table().api_num(), 2);
  EXPECT_EQ(table().chFirstBuf(), "WB");
  EXPECT_EQ(dump(),
            "Api Macro WinA \nMacro Format:A\nParms: -1 -1 -1 -1 -1 -1 -1 -1\n"
            "Api Macro Bee \nMacro Format:B\nParms: -1 -1 -1 -1 -1 -1 -1 -1\n"
            "First Letters: (WB)\n");
}

TEST_F(CompiledLoad, HugeCountWithoutRecordsIsDamagedAndEmpty) {
  const LoadResult r = load(compiled_file(INT_MAX, {}));
  EXPECT_TRUE(r.damaged);
  EXPECT_EQ(r.loaded, 0);
  EXPECT_TRUE(table().apilist().empty());
}

TEST_F(CompiledLoad, NothingAfterTheNthRecordIsRead) {
  const std::string file =
      compiled_file(1, {record("WinA", "A", 4, 0, kNoOrder), record("Zed", "Z", 3, 0, kNoOrder)}) +
      "trailing junk";
  const LoadResult r = load(file);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.loaded, 1);
  EXPECT_EQ(table().chFirstBuf(), "W");
}

TEST_F(CompiledLoad, MoreThanAHundredRecordsAllLoad) {
  std::vector<std::string> records;
  for (int i = 0; i < 150; ++i) records.push_back(record("F" + std::to_string(i), "x", 0, 0, kNoOrder));
  const LoadResult r = load(compiled_file(150, records));
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(table().api_num(), 150);
  ASSERT_EQ(table().apilist().size(), 150u);
  EXPECT_EQ(table().apilist()[149].pchName, "F149");
}

TEST_F(CompiledLoad, FirstLettersAreDistinctInOrderOfFirstAppearance) {
  const std::string file = compiled_file(
      5, {record("WinA", "", 4, 0, kNoOrder), record("Gpi", "", 3, 0, kNoOrder),
          record("Win", "", 3, 0, kNoOrder), record("", "x", 0, 0, kNoOrder),
          record("gpi", "", 3, 0, kNoOrder)});
  load(file);
  // W once, the empty name adds nothing, case counts.
  EXPECT_EQ(table().chFirstBuf(), "WGg");
}

TEST_F(CompiledLoad, FirstLettersHaveNoLimitOfFiftyTwo) {
  // 62 letters and digits plus names starting with '_' and high bytes.
  std::string expected;
  std::vector<std::string> records;
  const std::string starts =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_\x80\xFF";
  for (const char c : starts) {
    records.push_back(record(std::string(1, c) + "x", "", 2, 0, kNoOrder));
    records.push_back(record(std::string(1, c) + "y", "", 2, 0, kNoOrder));
    expected.push_back(c);
  }
  load(compiled_file(static_cast<std::int32_t>(records.size()), records));
  EXPECT_EQ(table().chFirstBuf(), expected);
  EXPECT_EQ(table().chFirstBuf().size(), 65u);
}

TEST_F(CompiledLoad, TextEndsAtItsFirstNul) {
  // The bytes after the NUL are not looked at.
  std::string rec = record("Win", "f", 3, 0, kNoOrder);
  rec.replace(4, 5, "JUNK!");
  rec.replace(256 + 2, 3, "ZZZ");
  load(compiled_file(1, {rec}));
  ASSERT_EQ(table().apilist().size(), 1u);
  EXPECT_EQ(table().apilist()[0].pchName, "Win");
  EXPECT_EQ(table().apilist()[0].pchformat, "f");
}

TEST_F(CompiledLoad, FieldWithoutNulTakesAll256Bytes) {
  std::string rec = field("N", 'n') + field("F", 'f') + le32(256) + le32(0);
  for (int k = 0; k < kOrderSlots; ++k) rec += le32(-1);
  load(compiled_file(1, {rec}));
  ASSERT_EQ(table().apilist().size(), 1u);
  EXPECT_EQ(table().apilist()[0].pchName, "N" + std::string(255, 'n'));
  EXPECT_EQ(table().apilist()[0].pchformat, "F" + std::string(255, 'f'));
  // Neither runs on into the next field.
  EXPECT_EQ(table().apilist()[0].cb, 256);
}

TEST_F(CompiledLoad, EmptyNameOrFormatIsNone) {
  load(compiled_file(2, {record("", "fmt", 0, 1, kNoOrder), record("Del", "", 3, 0, kNoOrder)}));
  EXPECT_EQ(describe(table().apilist()),
            (std::vector<std::string>{R"(name none format "fmt" cb 0 parms 1 order -1 -1 -1 -1 -1 -1 -1 -1)",
                                      R"(name "Del" format none cb 3 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1)"}));
  EXPECT_EQ(table().chFirstBuf(), "D");
}

TEST_F(CompiledLoad, OrderValuesOutsideTheSlotsBecomeMinusOne) {
  load(compiled_file(1, {record("W", "", 1, 0, {0, 7, 8, -2, INT_MAX, INT_MIN, 3, -1})}));
  ASSERT_EQ(table().apilist().size(), 1u);
  EXPECT_EQ(table().apilist()[0].iOrder, (Order{0, 7, -1, -1, -1, -1, 3, -1}));
}

TEST_F(CompiledLoad, CbAndParmsAreKeptAsStored) {
  load(compiled_file(3, {record("Win", "", 0, -5, kNoOrder), record("Win", "", -1, 0, kNoOrder),
                                  record("Win", "", 99, INT_MAX, kNoOrder)}));
  ASSERT_EQ(table().apilist().size(), 3u);
  EXPECT_EQ(table().apilist()[0].cb, 0);
  EXPECT_EQ(table().apilist()[0].cParms, -5);
  EXPECT_EQ(table().apilist()[1].cb, -1);
  EXPECT_EQ(table().apilist()[2].cb, 99);
  EXPECT_EQ(table().apilist()[2].cParms, INT_MAX);
}

TEST_F(CompiledLoad, BytesOfNamesAndFormatsPassUnharmed) {
  const std::string format = "\x01\t\r\x7F\x80\xFF%s\n";
  load(compiled_file(1, {record("\xC3\xA9t\xE9", format, 4, 0, kNoOrder)}));
  ASSERT_EQ(table().apilist().size(), 1u);
  EXPECT_EQ(table().apilist()[0].pchName, "\xC3\xA9t\xE9");
  EXPECT_EQ(table().apilist()[0].pchformat, format);
  EXPECT_EQ(table().chFirstBuf(), "\xC3");
}

// ---------------------------------------------------------------------------
// The loaded table drives the engine

class CompiledScan : public CompiledTest {
 protected:
  // Scans one line with the loaded table and returns the line's text.
  std::string scan(std::string_view line) {
    LineReader more{std::string_view()};
    Output out(reports_);
    Output err(echo_);
    Conversion conversion(loaded_.table);
    conversion.fp_src = &more;
    conversion.fp_dst = &out;
    conversion.fp_err = &err;
    LineBuffer buffer;
    buffer.assign(line);
    conversion.line_scan(buffer);
    return buffer.text();
  }
  std::string reports_;
  std::string echo_;
};

TEST_F(CompiledScan, CbShorterThanTheNameMatchesThatPrefix) {
  load(compiled_file(1, {record("WinSendMsg", "<%s>", 7, 1, {0, -1, -1, -1, -1, -1, -1, -1})}));
  EXPECT_EQ(scan("WinSend(a);\n"), "<a>;\n");
  EXPECT_EQ(scan("WinSendMsg(a);\n"), "WinSendMsg(a);\n");
}

TEST_F(CompiledScan, CbLongerThanTheNameNeverMatches) {
  load(compiled_file(1, {record("WinA", "<%s>", 5, 1, {0, -1, -1, -1, -1, -1, -1, -1})}));
  EXPECT_EQ(scan("WinA(a); WinAB(b);\n"), "WinA(a); WinAB(b);\n");
}

TEST_F(CompiledScan, EmptyFormatDeletesTheCall) {
  load(compiled_file(1, {record("WinFoo", "", 6, 2, {0, 1, -1, -1, -1, -1, -1, -1})}));
  EXPECT_EQ(scan("x = WinFoo(a, (b));\n"), "x = ;\n");
}

TEST_F(CompiledScan, EntryWithoutNameNeverMatches) {
  load(compiled_file(2, {record("", "<%s>", 0, 0, {0, -1, -1, -1, -1, -1, -1, -1}),
                                  record("Ab", "[%s]", 2, 0, {0, -1, -1, -1, -1, -1, -1, -1})}));
  EXPECT_EQ(scan("Ab(x) (y)\n"), "[x] (y)\n");
}

TEST_F(CompiledScan, DamagedFileKeepsItsWholeRecordsUsable) {
  load(compiled_file(2, {record("Ab", "[%s]", 2, 0, {0, -1, -1, -1, -1, -1, -1, -1})}));
  EXPECT_EQ(scan("Ab(x)\n"), "[x]\n");
}

// ---------------------------------------------------------------------------
// Reading from a stream

class CompiledStream : public CompiledTest {
 protected:
  // A temporary stream holding `bytes`, positioned at its start.
  static std::FILE* stream_of(const std::string& bytes) {
    std::FILE* f = std::tmpfile();
    if (f == nullptr) return nullptr;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
  }
};

TEST_F(CompiledStream, ReadsTheSameAsFromMemory) {
  const std::string file = compiled_file(
      2, {record("WinA", "A %s\n", 4, 1, {0, -1, -1, -1, -1, -1, -1, -1}), record("Bee", "", 3, 0, kNoOrder)});
  std::FILE* f = stream_of(file);
  ASSERT_NE(f, nullptr);
  const LoadResult r = load(f);
  std::fclose(f);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.loaded, 2);
  EXPECT_EQ(describe(table().apilist()), describe(decode_compiled(file).entries));
  EXPECT_EQ(table().chFirstBuf(), "WB");
}

TEST_F(CompiledStream, ShortAndEmptyStreams) {
  for (const std::string& bytes : {std::string(), std::string("\x05\0", 2)}) {
    std::FILE* f = stream_of(bytes);
    ASSERT_NE(f, nullptr);
    const Decoded d = decode_compiled(f);
    std::fclose(f);
    EXPECT_TRUE(d.status.ok());
    EXPECT_TRUE(d.entries.empty());
  }
}

TEST_F(CompiledStream, StreamEndingEarlyIsDamaged) {
  const std::string a = record("WinA", "A", 4, 0, kNoOrder);
  std::FILE* f = stream_of(compiled_file(1000000, {a, a.substr(0, 551)}));
  ASSERT_NE(f, nullptr);
  const Decoded d = decode_compiled(f);
  std::fclose(f);
  EXPECT_TRUE(d.status.damaged);
  EXPECT_EQ(d.status.read_error, 0);
  EXPECT_EQ(d.status.loaded, 1);
  EXPECT_EQ(d.entries.size(), 1u);
}

TEST_F(CompiledStream, StopsReadingAfterTheLastRecord) {
  const std::string file = compiled_file(1, {record("WinA", "A", 4, 0, kNoOrder)}) + "rest";
  std::FILE* f = stream_of(file);
  ASSERT_NE(f, nullptr);
  const Decoded d = decode_compiled(f);
  EXPECT_EQ(std::ftell(f), 4 + 552);
  std::fclose(f);
  EXPECT_TRUE(d.status.ok());
}

TEST_F(CompiledStream, ReadErrorIsReported) {
  // Opening a directory succeeds on Linux; reading it fails.
  std::FILE* f = std::fopen("/", "rb");
  if (f == nullptr) GTEST_SKIP() << "cannot open a directory as a stream here";
  const LoadResult r = load(f);
  std::fclose(f);
  EXPECT_NE(r.read_error, 0);
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(table().apilist().empty());
}

// ---------------------------------------------------------------------------
// The dump

using CompiledDump = CompiledTest;

TEST_F(CompiledDump, EmptyTable) { EXPECT_EQ(dump(), "First Letters: ()\n"); }

TEST_F(CompiledDump, ExactLayout) {
  load(compiled_file(2, {record("WinSendMsg", "S %s\n", 10, 4, {1, -1, -1, -1, -1, -1, -1, -1}),
                                  record("GpiMove", "Move(%s,\n\t%s)", 7, 3, {2, 0, 7, -1, -1, -1, -1, 3})}));
  EXPECT_EQ(dump(),
            "Api Macro WinSendMsg \n"
            "Macro Format:S %s\n\n"
            "Parms: 1 -1 -1 -1 -1 -1 -1 -1\n"
            "Api Macro GpiMove \n"
            "Macro Format:Move(%s,\n\t%s)\n"
            "Parms: 2 0 7 -1 -1 -1 -1 3\n"
            "First Letters: (WG)\n");
}

TEST_F(CompiledDump, EntryWithoutNameOrFormatShowsEmptyText) {
  load(compiled_file(1, {record("", "", 0, 0, kNoOrder)}));
  EXPECT_EQ(dump(),
            "Api Macro  \n"
            "Macro Format:\n"
            "Parms: -1 -1 -1 -1 -1 -1 -1 -1\n"
            "First Letters: ()\n");
}

TEST_F(CompiledDump, ShowsOrderAsLoadedNotAsStored) {
  load(compiled_file(1, {record("X", "", 1, 0, {9, -7, 0, -1, -1, -1, -1, -1})}));
  EXPECT_EQ(dump(), "Api Macro X \nMacro Format:\nParms: -1 -1 0 -1 -1 -1 -1 -1\nFirst Letters: (X)\n");
}

TEST_F(CompiledDump, BytesAreWrittenAsTheyAre) {
  const std::string name(256, '\xE9');
  load(compiled_file(1, {field(name, 'x') + record("", "%%\x01\x7F\xFF", 0, 0, kNoOrder).substr(256)}));
  EXPECT_EQ(dump(), "Api Macro " + name + " \nMacro Format:%%\x01\x7F\xFF\nParms: -1 -1 -1 -1 -1 -1 -1 -1\n" +
                        "First Letters: (\xE9)\n");
}

TEST_F(CompiledDump, WholeRecordsOfADamagedFile) {
  load(compiled_file(5, {record("Ab", "x", 2, 0, kNoOrder)}));
  EXPECT_EQ(dump(), "Api Macro Ab \nMacro Format:x\nParms: -1 -1 -1 -1 -1 -1 -1 -1\nFirst Letters: (A)\n");
}

// ---------------------------------------------------------------------------
// Encoding

using CompiledEncode = CompiledTest;

TEST_F(CompiledEncode, DecodesBackToTheSameEntries) {
  const std::vector<_apitype> entries{
      entry("WinSendMsg", "S %s\n", 10, 4, {1, -1, -1, -1, -1, -1, -1, -1}),
      entry(std::nullopt, "only a format", 0, 0, {0, 1, 2, 3, 4, 5, 6, 7}),
      entry("Del", std::nullopt, -3, INT_MIN, kNoOrder),
      entry(std::string(255, 'n'), std::string(255, '\xFF'), INT_MAX, 1, {7, 7, -1, 0, -1, -1, -1, 2}),
  };
  const Encoded e = encode_compiled(entries);
  ASSERT_TRUE(e.ok()) << e.error;
  const Decoded d = decode_compiled(e.bytes);
  EXPECT_TRUE(d.status.ok());
  EXPECT_EQ(describe(d.entries), describe(entries));
}

TEST_F(CompiledEncode, EmptyTextIsWrittenAsNone) {
  const Encoded e = encode_compiled({entry("", "", 0, 0, kNoOrder)});
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e.bytes, compiled_file(1, {record("", "", 0, 0, kNoOrder)}));
  EXPECT_EQ(describe(decode_compiled(e.bytes).entries),
            std::vector<std::string>{"name none format none cb 0 parms 0 order -1 -1 -1 -1 -1 -1 -1 -1"});
}

TEST_F(CompiledEncode, TextThatDoesNotFitIsRefusedNotCut) {
  const std::string fits(255, 'a');
  const std::string too_long(256, 'a');
  EXPECT_EQ(encode_problem(entry(fits, fits, 0, 0, kNoOrder)), "");

  Encoded e = encode_compiled({entry("ok", "", 2, 0, kNoOrder), entry(too_long, "", 0, 0, kNoOrder)});
  EXPECT_FALSE(e.ok());
  EXPECT_EQ(e.entry, 1u);
  EXPECT_EQ(e.error, "name is 256 bytes long, at most 255 fit its field");
  EXPECT_EQ(e.bytes, "");

  e = encode_compiled({entry("ok", too_long + "b", 2, 0, kNoOrder)});
  EXPECT_EQ(e.error, "format is 257 bytes long, at most 255 fit its field");
}

TEST_F(CompiledEncode, TextHoldingANulIsRefused) {
  EXPECT_EQ(encode_problem(entry(std::string("Win\0A", 5), "", 5, 0, kNoOrder)), "name holds a NUL byte");
  EXPECT_EQ(encode_problem(entry("W", std::string("a\0b", 3), 1, 0, kNoOrder)), "format holds a NUL byte");
}

TEST_F(CompiledEncode, OrderValueThatWouldNotLoadBackIsRefused) {
  EXPECT_EQ(encode_problem(entry("W", "", 1, 0, {0, 8, -1, -1, -1, -1, -1, -1})),
            "order value 8 is neither -1 nor 0 to 7");
  EXPECT_EQ(encode_problem(entry("W", "", 1, 0, {-2, -1, -1, -1, -1, -1, -1, -1})),
            "order value -2 is neither -1 nor 0 to 7");
}

TEST_F(CompiledEncode, RecordEncoderThrowsOnAProblem) {
  std::string out = "kept";
  EXPECT_THROW(encode_record(entry(std::string(300, 'x'), "", 0, 0, kNoOrder), out), std::invalid_argument);
  EXPECT_EQ(out, "kept");
}

}  // namespace
}  // namespace zaptor
