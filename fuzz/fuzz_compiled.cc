// Arbitrary bytes loaded as a compiled macro file and dumped.
//
// Checked on every input: the load takes exactly the whole records the
// bytes hold, up to the count they announce, and says whether records are
// missing; every loaded iOrder value is -1 or 0-7 and every text fits its
// 256-byte field; chFirstBuf holds the distinct first letters in order;
// loading through a stdio stream gives the same table, status and dump;
// a table that can be written again encodes and loads back unchanged (a
// 256-byte text without NUL cannot, and the encoder must say so); and its
// text form, as zaptor-table decompiles it, parses back into the same table
// and compiles into the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "harness_support.h"
#include "zaptor/compiled.h"
#include "zaptor/table_text.h"

namespace {

using zaptor::_apitype;
using zaptor_fuzz::check;

bool same_entry(const _apitype& a, const _apitype& b) {
  return a.pchName == b.pchName && a.pchformat == b.pchformat && a.cb == b.cb && a.cParms == b.cParms &&
         a.iOrder == b.iOrder;
}

bool same_table(const std::vector<_apitype>& a, const std::vector<_apitype>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!same_entry(a[i], b[i])) return false;
  }
  return true;
}

std::string dump(const zaptor::Table& table) {
  std::string text;
  zaptor::Output out(text);
  zaptor::print_dat(table, out);
  return text;
}

std::int32_t count_of(std::string_view bytes) {
  std::uint32_t v = 0;
  for (std::size_t k = 4; k-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[k]);
  return static_cast<std::int32_t>(v);
}

void check_text(const std::optional<std::string>& text) {
  if (!text) return;
  check(!text->empty(), "an empty text loaded as present");
  check(text->size() <= zaptor::kFieldSize, "a text longer than its field");
  check(text->find('\0') == std::string::npos, "a text holding a NUL");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const zaptor::Loaded from_memory = zaptor::read_compiled(bytes);
  const zaptor::LoadResult& status = from_memory.status;
  const zaptor::Table& e = *from_memory.table;
  const std::string text = dump(e);

  // What the bytes hold.
  const std::int32_t announced = size < zaptor::kCountSize ? 0 : count_of(bytes);
  const std::size_t held = size < zaptor::kCountSize ? 0 : (size - zaptor::kCountSize) / zaptor::kRecordSize;
  const std::size_t wanted = announced > 0 ? static_cast<std::size_t>(announced) : 0;
  const std::size_t loaded = std::min(held, wanted);
  check(status.announced == announced, "wrong announced count");
  check(status.loaded >= 0 && static_cast<std::size_t>(status.loaded) == loaded, "wrong number of records loaded");
  check(status.damaged == (held < wanted), "damage misjudged");
  check(status.read_error == 0, "read error on memory");

  check(e.apilist().size() == loaded, "apilist does not hold the loaded records");
  check(e.api_num() == static_cast<std::int32_t>(loaded), "api_num is not the number of records");
  std::string letters;
  for (const _apitype& entry : e.apilist()) {
    check_text(entry.pchName);
    check_text(entry.pchformat);
    for (const std::int32_t v : entry.iOrder) check(v >= -1 && v < zaptor::kOrderSlots, "iOrder out of range");
    if (entry.pchName && letters.find(entry.pchName->front()) == std::string::npos) {
      letters.push_back(entry.pchName->front());
    }
  }
  check(e.chFirstBuf() == letters, "chFirstBuf is not the distinct first letters in order");
  const std::string last_line = "First Letters: (" + letters + ")\n";
  check(text.size() >= last_line.size() && text.ends_with(last_line), "the dump does not end with the first letters");
  check(loaded == 0 ? text == last_line : text.starts_with("Api Macro "), "the dump does not start with an entry");

  // The same bytes through a stdio stream.
  const std::vector<_apitype>& table = e.apilist();
  if (size > 0) {
    std::string copy(bytes);
    std::FILE* file = ::fmemopen(copy.data(), copy.size(), "rb");
    check(file != nullptr, "fmemopen failed");
    const zaptor::Loaded loaded_file = zaptor::read_compiled(file);
    const zaptor::LoadResult& from_file = loaded_file.status;
    std::fclose(file);
    check(from_file.announced == status.announced && from_file.loaded == status.loaded &&
              from_file.damaged == status.damaged && from_file.read_error == 0,
          "stream and memory loads report differently");
    check(same_table(loaded_file.table->apilist(), table), "stream and memory loads differ");
    zaptor_fuzz::check_same(dump(*loaded_file.table), text, "stream and memory loads dump differently");
  }

  // Written again and loaded back.
  bool writable = true;
  for (const _apitype& entry : table) {
    const bool too_long = (entry.pchName && entry.pchName->size() > zaptor::kMaxTextLength) ||
                          (entry.pchformat && entry.pchformat->size() > zaptor::kMaxTextLength);
    check(zaptor::encode_problem(entry).empty() == !too_long, "encode_problem misjudges an entry");
    writable = writable && !too_long;
  }
  const zaptor::Encoded encoded = zaptor::encode_compiled(table);
  check(encoded.ok() == writable, "encode_compiled misjudges the table");
  if (encoded.ok()) {
    check(encoded.bytes.size() == zaptor::kCountSize + table.size() * zaptor::kRecordSize, "wrong encoded size");
    const zaptor::Decoded back = zaptor::decode_compiled(encoded.bytes);
    check(back.status.ok() && same_table(back.entries, table), "the table does not load back as written");

    // zaptor-table's round trip: the text form of the table compiles into
    // the same bytes.
    const std::string text_form = zaptor::format_table_text(table);
    const zaptor::ParsedTable parsed = zaptor::parse_table_text(text_form);
    if (!parsed.ok()) {
      std::fprintf(stderr, "\nline %zu: %s\n", parsed.error->line, parsed.error->message.c_str());
      zaptor_fuzz::fail("the text form of a table does not parse");
    }
    check(same_table(parsed.entries, table), "the text form reads back into another table");
    const zaptor::Encoded again = zaptor::encode_compiled(parsed.entries);
    check(again.ok() && again.bytes == encoded.bytes, "the text form compiles into other bytes");
  }
  return 0;
}
