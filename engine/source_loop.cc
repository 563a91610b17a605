#include "engine/engine.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "engine/bytes.h"
#include "engine/line_hold.h"

namespace zaptor {

namespace {

// The first line of `data` (which begins a line) that holds a call: where
// it starts and its first call, or nullopt when no line does. A call's name
// and its "(" stand on the same line, so looking back from each "(" finds
// them all. The blocks that are searched for "(" also tell where the lines
// start, and count them: `newlines` before the call's line, or in all of
// `data` when it holds no call.
struct CallLine {
  std::size_t start;
  ApiIndex::Call first;  // in the line
};
std::optional<CallLine> find_call_line(std::string_view data, const ApiIndex& index, std::uint64_t& newlines) {
  std::size_t line_start = 0;
  newlines = 0;
  for (std::size_t block = 0; block < data.size(); block += kBlockBytes) {
    const std::uint32_t newline_mask = byte_mask(data, block, '\n');
    for (std::uint32_t opens = byte_mask(data, block, '('); opens != 0; opens &= opens - 1) {
      const int bit = std::countr_zero(opens);
      if (const auto call = index.call_before(data, block + static_cast<std::size_t>(bit), 0, true)) {
        const std::uint32_t before = newline_mask & ((std::uint32_t{1} << bit) - 1);
        newlines += static_cast<std::uint64_t>(count_bits(before));
        const std::size_t start =
            before == 0 ? line_start : block + static_cast<std::size_t>(32 - std::countl_zero(before));
        return CallLine{start, {call->pch - start, call->length, call->entry}};
      }
    }
    if (newline_mask != 0) {
      newlines += static_cast<std::uint64_t>(count_bits(newline_mask));
      line_start = block + static_cast<std::size_t>(32 - std::countl_zero(newline_mask));
    }
  }
  return std::nullopt;
}

// How much of `data`, a stretch of one line with no call in it and no end,
// can pass on before the line goes on: all but what may yet become a call's
// name with the white space after it. `blocked`: what passed ends inside a
// word none of whose tails can be a name, however it goes on.
struct Streamed {
  std::size_t length;
  bool blocked;
};
Streamed stream_point(std::string_view data, const ApiIndex& index, std::size_t longest) {
  std::size_t blank = data.size();
  while (blank > 0 && is_space(data[blank - 1])) --blank;
  std::size_t word = blank;
  while (word > 0 && is_alnum(data[word - 1])) --word;
  const std::string_view name = data.substr(word, blank - word);
  if (data.size() - word < data.size() / 2) return {word, false};
  // The word and its blanks fill much of the buffer: pass on what cannot be
  // part of a name however the line goes on.
  if (name.empty()) return {data.size(), false};
  if (blank < data.size()) {
    // The word is whole.
    if (!index.match_word(name)) return {data.size(), false};
    return {word, false};
  }
  // The word may go on. A name starts within the first letters it begins
  // with, and no name is longer than `longest`: of a word of first letters
  // only the last `longest` bytes can hold one, and they stay.
  std::size_t run = 0;
  while (run < name.size() && index.is_first_letter(name[run])) ++run;
  if (name.size() > run + longest) return {data.size(), true};
  if (run == name.size() && name.size() > longest) return {data.size() - longest, false};
  return {word, false};
}

// What passes on without the engine: to the echo, and to the copy, where a
// line whose start passes before its end waits in the hold.
class Passer {
 public:
  Passer(Output* echo, Output* copy_to) : echo_(echo), copy_to_(copy_to) {}

  void pass(std::string_view bytes) {
    if (echo_ != nullptr) echo_->write(bytes);
    if (copy_to_ == nullptr) return;
    if (holding_) {
      const std::size_t newline = bytes.find('\n');
      if (newline == std::string_view::npos) {
        hold_.append(bytes);
        return;
      }
      hold_.append(bytes.substr(0, newline + 1));
      release();
      bytes.remove_prefix(newline + 1);
    }
    const std::size_t last = bytes.rfind('\n');
    const std::size_t whole = last == std::string_view::npos ? 0 : last + 1;
    copy_to_->write(bytes.substr(0, whole));
    if (whole < bytes.size()) {
      hold_.append(bytes.substr(whole));
      holding_ = true;
    }
  }
  void pass_echo_only(std::string_view bytes) {
    if (echo_ != nullptr) echo_->write(bytes);
  }
  // The line being held ends with what the engine writes now.
  void release() {
    if (holding_) hold_.write_to(*copy_to_);
    holding_ = false;
  }

 private:
  Output* echo_;
  Output* copy_to_;
  LineHold hold_;
  bool holding_ = false;
};

}  // namespace

SourceResult Conversion::process_source(LineReader& source, Output* copy_to) {
  const ApiIndex& index = table().index();
  Passer passer(bVerbose ? fp_err : nullptr, copy_to);
  LineBuffer buffer(copy_to != nullptr);
  bool blocked = false;  // the text begins inside a word that can hold no name
  bool in_line = false;  // some of the line being read has passed on
  // Output that failed will not come back: reading on would be for nothing,
  // and an endless input would never end.
  const auto output_failed = [&] {
    return (copy_to != nullptr && copy_to->failed()) || (fp_dst != nullptr && fp_dst->failed());
  };
  for (std::string_view data = source.peek(); !output_failed(); data = source.peek()) {
    if (data.empty()) {
      passer.release();
      // A last line without a newline counts as read.
      return {ScanStatus::ok, source.lines_read() + (in_line ? 2 : 1)};
    }
    // Lines without a call pass straight through; so does a long line as far
    // as no call shows in it.
    std::optional<CallLine> call_line;
    std::size_t plain = 0;
    std::uint64_t newlines = 0;  // in data[0, plain), when known
    bool counted = false;
    if (blocked) {
      // The rest of the word that can hold no name passes first.
      while (plain < data.size() && is_alnum(data[plain])) ++plain;
      blocked = plain == data.size();
    } else if ((call_line = find_call_line(data, index, newlines))) {
      plain = call_line->start;
      counted = true;
    } else if (const std::size_t last_newline = data.rfind('\n'); last_newline != std::string_view::npos) {
      plain = last_newline + 1;
      counted = true;
    } else {
      const Streamed streamed = stream_point(data, index, table().longest_name());
      plain = streamed.length;
      blocked = streamed.blocked;
      if (plain == 0 && source.peek_more().size() > data.size()) continue;
    }
    if (plain > 0) {
      work += plain;
      passer.pass(data.substr(0, plain));
      if (counted) {
        source.consume(plain, newlines);
      } else {
        source.consume(plain);
      }
      in_line = data[plain - 1] != '\n';
      continue;
    }

    // A line with a call, or what is left of one whose start passed already.
    buffer.clear();
    const std::uint64_t line = source.lines_read() + 1;
    if (!buffer.append_line(source)) {
      passer.release();
      return {ScanStatus::ok, line};
    }
    in_line = false;
    passer.pass_echo_only(buffer.source());
    std::optional<ApiIndex::Call> first;
    if (call_line) first = call_line->first;
    buffer_line = line;
    const ScanStatus status = line_scan(buffer, first);
    if (status == ScanStatus::endless_rewrite) return {status, line};
    if (copy_to != nullptr) {
      passer.release();
      buffer.write_to(*copy_to);
    }
    work += buffer.take_work();
  }
  return {ScanStatus::ok, source.lines_read() + 1};
}

}  // namespace zaptor
