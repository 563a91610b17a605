#include "zaptor/compiled.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

namespace zaptor {

namespace {

constexpr std::size_t kNameAt = 0;
constexpr std::size_t kFormatAt = kFieldSize;
constexpr std::size_t kCbAt = 2 * kFieldSize;
constexpr std::size_t kParmsAt = kCbAt + 4;
constexpr std::size_t kOrderAt = kParmsAt + 4;
static_assert(kOrderAt + 4 * kOrderSlots == kRecordSize);
static_assert(kRecordSize == 552);

std::int32_t get_i32(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t k = 4; k-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
  return static_cast<std::int32_t>(v);  // two's complement by definition since C++20
}

void put_i32(std::string& out, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int k = 0; k < 4; ++k) {
    out.push_back(static_cast<char>(v & 0xFFu));
    v >>= 8;
  }
}

// A field's text ends at its first NUL; without one it is the whole field.
std::optional<std::string> field_text(std::string_view field) {
  const std::string_view text = field.substr(0, field.find('\0'));
  if (text.empty()) return std::nullopt;
  return std::string(text);
}

void put_field(std::string& out, const std::optional<std::string>& text) {
  const std::size_t used = text ? text->size() : 0;
  if (text) out.append(*text);
  out.append(kFieldSize - used, '\0');
}

bool valid_order(std::int32_t v) { return v >= -1 && v < kOrderSlots; }

int error_of_failed_read() { return errno != 0 ? errno : EIO; }

std::string text_problem(const std::optional<std::string>& text, std::string_view what) {
  if (!text) return {};
  if (text->size() > kMaxTextLength) {
    return std::string(what) + " is " + std::to_string(text->size()) + " bytes long, at most " +
           std::to_string(kMaxTextLength) + " fit its field";
  }
  if (text->find('\0') != std::string::npos) return std::string(what) + " holds a NUL byte";
  return {};
}

}  // namespace

_apitype decode_record(std::string_view record) {
  _apitype entry;
  entry.pchName = field_text(record.substr(kNameAt, kFieldSize));
  entry.pchformat = field_text(record.substr(kFormatAt, kFieldSize));
  entry.cb = get_i32(record, kCbAt);
  entry.cParms = get_i32(record, kParmsAt);
  for (std::size_t k = 0; k < entry.iOrder.size(); ++k) {
    const std::int32_t v = get_i32(record, kOrderAt + 4 * k);
    // The engine indexes its parameter slots with these; anything else would
    // reach past them, so it means "no parameter".
    entry.iOrder[k] = valid_order(v) ? v : -1;
  }
  return entry;
}

Decoded decode_compiled(std::string_view bytes) {
  Decoded d;
  if (bytes.size() < kCountSize) return d;
  d.status.announced = get_i32(bytes, 0);
  if (d.status.announced <= 0) return d;
  const std::size_t held = (bytes.size() - kCountSize) / kRecordSize;
  const auto wanted = static_cast<std::size_t>(d.status.announced);
  const std::size_t n = std::min(held, wanted);
  d.entries.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    d.entries.push_back(decode_record(bytes.substr(kCountSize + i * kRecordSize, kRecordSize)));
  }
  d.status.loaded = static_cast<std::int32_t>(n);
  d.status.damaged = held < wanted;
  return d;
}

Decoded decode_compiled(std::FILE* file) {
  Decoded d;
  std::string record(kRecordSize, '\0');
  errno = 0;
  if (std::fread(record.data(), 1, kCountSize, file) < kCountSize) {
    if (std::ferror(file)) d.status.read_error = error_of_failed_read();
    return d;
  }
  d.status.announced = get_i32(record, 0);
  // Grows with what is read, not with what the count claims.
  for (std::int32_t i = 0; i < d.status.announced; ++i) {
    errno = 0;
    if (std::fread(record.data(), 1, kRecordSize, file) < kRecordSize) {
      if (std::ferror(file)) {
        d.status.read_error = error_of_failed_read();
      } else {
        d.status.damaged = true;
      }
      break;
    }
    d.entries.push_back(decode_record(record));
  }
  d.status.loaded = static_cast<std::int32_t>(d.entries.size());
  return d;
}

Loaded read_compiled(std::string_view bytes) {
  Decoded d = decode_compiled(bytes);
  return {make_table(std::move(d.entries)), d.status};
}

Loaded read_compiled(std::FILE* file) {
  Decoded d = decode_compiled(file);
  return {make_table(std::move(d.entries)), d.status};
}

void print_dat(const Table& table, Output& out) {
  for (std::size_t i = 0; i < table.entries_in_use(); ++i) {
    const _apitype& entry = table.apilist()[i];
    out.write("Api Macro ");
    if (entry.pchName) out.write(*entry.pchName);
    out.write(" \nMacro Format:");
    if (entry.pchformat) out.write(*entry.pchformat);
    out.write("\nParms:");
    for (const std::int32_t v : entry.iOrder) {
      out.put(' ');
      out.write(std::to_string(v));
    }
    out.put('\n');
  }
  out.write("First Letters: (");
  out.write(table.chFirstBuf());
  out.write(")\n");
}

std::string encode_problem(const _apitype& entry) {
  std::string problem = text_problem(entry.pchName, "name");
  if (problem.empty()) problem = text_problem(entry.pchformat, "format");
  if (!problem.empty()) return problem;
  for (const std::int32_t v : entry.iOrder) {
    if (!valid_order(v)) return "order value " + std::to_string(v) + " is neither -1 nor 0 to 7";
  }
  return {};
}

void encode_record(const _apitype& entry, std::string& out) {
  if (std::string problem = encode_problem(entry); !problem.empty()) {
    throw std::invalid_argument("cannot encode entry: " + problem);
  }
  put_field(out, entry.pchName);
  put_field(out, entry.pchformat);
  put_i32(out, entry.cb);
  put_i32(out, entry.cParms);
  for (const std::int32_t v : entry.iOrder) put_i32(out, v);
}

Encoded encode_compiled(const std::vector<_apitype>& entries) {
  Encoded result;
  if (entries.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    result.error = "too many entries for the record count";
    return result;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::string problem = encode_problem(entries[i]);
    if (!problem.empty()) {
      result.error = std::move(problem);
      result.entry = i;
      return result;
    }
  }
  result.bytes.reserve(kCountSize + entries.size() * kRecordSize);
  put_i32(result.bytes, static_cast<std::int32_t>(entries.size()));
  for (const _apitype& entry : entries) encode_record(entry, result.bytes);
  return result;
}

}  // namespace zaptor
