// The compiled macro file: a 4-byte little-endian record count N followed by
// N records of 552 bytes (name[256], format[256], cb, cParms, iOrder[8], all
// integers 32-bit little-endian two's complement). No magic, no version.
//
// Shared by the rewriter's loader and by zaptor-table, which writes the
// files, so that both agree on every byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/streams.h"
#include "engine/table.h"
#include "engine/streams.h"

namespace zaptor {

inline constexpr std::size_t kCountSize = 4;
inline constexpr std::size_t kFieldSize = 256;  // name and format, NUL included
inline constexpr std::size_t kRecordSize = 2 * kFieldSize + 4 + 4 + 4 * kOrderSlots;  // 552
inline constexpr std::size_t kMaxTextLength = kFieldSize - 1;  // what a writer may store

// How far a file held what it announced.
struct LoadResult {
  std::int32_t announced = 0;  // N as stored; 0 when the file has no whole count
  std::int32_t loaded = 0;     // whole records read
  bool damaged = false;        // the file ends before the announced records
  int read_error = 0;          // errno of a failed read, 0 if none
  bool ok() const { return !damaged && read_error == 0; }
};

struct Decoded {
  std::vector<_apitype> entries;
  LoadResult status;
};

// One 552-byte record as the loader takes it: each text ends at its first
// NUL or fills all 256 bytes; an empty text is no name / no format; cb and
// cParms as stored; iOrder values other than -1 and 0-7 become -1.
// `record` must be exactly kRecordSize bytes.
_apitype decode_record(std::string_view record);

// Decodes the records as far as the bytes hold them. Fewer than 4 bytes or
// a count below 1 is an empty table; a file ending before the announced
// records gives the whole records it holds and is marked damaged. Bytes
// after the N-th record are not looked at.
Decoded decode_compiled(std::string_view bytes);
// The same from a stream, read from its current position. Reads no further
// than the last announced record, so a stream that never ends (a device, a
// pipe) costs only what the count asks for.
Decoded decode_compiled(std::FILE* file);

// A compiled file loaded as a table. Whatever whole records were read make
// the table even when the status is not ok(), so that the dump can show
// them; the caller decides whether to go on.
struct Loaded {
  std::shared_ptr<const Table> table;
  LoadResult status;
};
Loaded read_compiled(std::string_view bytes);
Loaded read_compiled(std::FILE* file);

// Writes a table in the dump layout: per entry its name, format and the
// eight iOrder values, then the first letters.
void print_dat(const Table& table, Output& out);

// Why an entry cannot be written to a record, or empty when it can: a name
// or format longer than kMaxTextLength bytes or holding a NUL, or an iOrder
// value other than -1 and 0-7, would not load back as written. Nothing is
// ever cut or changed to fit.
std::string encode_problem(const _apitype& entry);

// Appends the 552-byte record of `entry`; throws std::invalid_argument when
// the entry has an encode_problem. Unused bytes of the text fields are zero.
// An empty name or format is written like none at all.
void encode_record(const _apitype& entry, std::string& out);

struct Encoded {
  std::string bytes;      // the whole file, when error is empty
  std::string error;      // what made the table unwritable
  std::size_t entry = 0;  // the offending entry, when error is set
  bool ok() const { return error.empty(); }
};

// The compiled file for `entries`.
Encoded encode_compiled(const std::vector<_apitype>& entries);

}  // namespace zaptor
