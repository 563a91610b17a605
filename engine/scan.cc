#include <algorithm>
#include <limits>

#include "engine/bytes.h"
#include "engine/chartype.h"
#include "engine/engine.h"

namespace zaptor {

namespace {

// Where a call's name begins: in the piece on top of the rest (`done` is
// npos), or in the finished piece done()[done].
struct Name {
  std::size_t done;
  std::size_t offset;
  std::size_t length;
  int entry;
};

// The name before a "(" whose white space or word reaches back over the
// start of the top piece into the text the scan passed since it resumed:
// the word is gathered from the pieces it stands in. `end` is where the
// white space before the "(" begins in the top piece.
std::optional<Name> name_across(const ApiIndex& index, LineBuffer& b, std::size_t from, std::string_view top,
                                std::size_t end, std::string& word) {
  const std::vector<Piece>& done = b.done();
  word.clear();
  for (std::size_t j = end; j > 0; --j) word.push_back(top[j - 1]);
  bool in_word = end > 0;
  // Where the word begins: the top piece, or a finished piece.
  std::size_t start_done = std::string_view::npos;
  std::size_t start_offset = 0;
  for (std::size_t i = done.size(); i > from;) {
    --i;
    const std::string_view bytes = b.bytes(done[i]);
    std::size_t j = bytes.size();
    if (!in_word) {
      while (j > 0 && is_space(bytes[j - 1])) --j;
      if (j == 0) continue;
      if (!is_alnum(bytes[j - 1])) return std::nullopt;
      in_word = true;
    }
    while (j > 0 && is_alnum(bytes[j - 1])) word.push_back(bytes[--j]);
    start_done = i;
    start_offset = j;
    if (j > 0) break;
  }
  if (!in_word) return std::nullopt;
  b.add_work(word.size());
  std::reverse(word.begin(), word.end());
  if (!index.may_end_name(word.size() > 1 ? word[word.size() - 2] : 0, word.back())) return std::nullopt;
  const auto match = index.match_word(word);
  if (!match) return std::nullopt;
  const std::size_t length = word.size() - match->start;
  // Count the name's start forward from where the word began.
  std::size_t skip = match->start;
  if (start_done != std::string_view::npos) {
    for (std::size_t i = start_done; i < done.size(); ++i) {
      const std::size_t available = done[i].length - (i == start_done ? start_offset : 0);
      const std::size_t offset = i == start_done ? start_offset : 0;
      if (skip < available) return Name{i, offset + skip, length, match->entry};
      skip -= available;
    }
  }
  return Name{std::string_view::npos, skip, length, match->entry};
}

// The name, if any, that the "(" at `open` of the top piece ends a call of.
std::optional<Name> name_before(const ApiIndex& index, LineBuffer& b, std::size_t from, std::string_view top,
                                std::size_t open, std::string& word) {
  std::size_t end = open;
  while (end > 0 && is_space(top[end - 1])) --end;
  // Nothing before the top piece counts when the scan resumed at it.
  const bool alone = b.done().size() == from;
  if (end > 0) {
    std::size_t start = end - 1;
    while (start > 0 && is_alnum(top[start - 1])) --start;
    if (start > 0 || alone) {
      // Most "(" follow a byte that ends no name: one look rejects them.
      if (!index.may_end_name(end > 1 ? top[end - 2] : 0, top[end - 1])) return std::nullopt;
      const auto match = index.match_word(top.substr(start, end - start));
      if (!match) return std::nullopt;
      return Name{std::string_view::npos, start + match->start, end - start - match->start, match->entry};
    }
  } else if (alone) {
    return std::nullopt;
  }
  return name_across(index, b, from, top, end, word);
}

// Puts the text from the name on back onto the rest, so that the name
// stands on top of it.
void place_name(LineBuffer& b, const Name& name) {
  std::vector<Piece>& rest = b.rest();
  if (name.done == std::string_view::npos) {
    if (name.offset > 0) {
      const Piece top = rest.back();
      b.finish(LineBuffer::head(top, name.offset));
      rest.back() = LineBuffer::tail(top, name.offset);
    }
    return;
  }
  while (b.done().size() > name.done + 1) rest.push_back(b.unfinish());
  const Piece first = b.unfinish();
  if (name.offset > 0) b.finish(LineBuffer::head(first, name.offset));
  rest.push_back(name.offset > 0 ? LineBuffer::tail(first, name.offset) : first);
}

std::int32_t token_length_of(const Name& name) {
  constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(std::min(name.length, kMax));
}

}  // namespace

// A call's name is followed by "(" after white space, so each "(" is looked
// back from: finding the "(" goes sixteen bytes at a time, and most of them
// are rejected by the byte before.
bool Conversion::get_token(LineBuffer& b) {
  std::string& word = scratch_.word;
  std::vector<Piece>& rest = b.rest();
  while (!rest.empty()) {
    if (rest.back().is_unit()) {
      b.open_unit();
      continue;
    }
    const Piece top = rest.back();
    const std::string_view bytes = b.bytes(top);
    ByteFinder opens(bytes, 0, '(');
    for (std::size_t open = opens.next(); open != std::string_view::npos; open = opens.next()) {
      if (const auto name = name_before(table().index(), b, b.scan_from(), bytes, open, word)) {
        b.add_work(open + 1);
        place_name(b, *name);
        token_length = token_length_of(*name);
        token_entry = name->entry;
        return true;
      }
    }
    b.add_work(bytes.size() + 1);
    b.pass_top();
  }
  return false;
}

// The index matched the name, table order first, and saw "(" after it.
Step Conversion::FindApi(LineBuffer& b) { return found(b, token_entry); }

ScanStatus Conversion::line_scan(LineBuffer& b, std::optional<ApiIndex::Call> first) {
  last_call_line_ = buffer_line;
  bool have = false;
  if (first) {
    // The first call of a line just read: its only piece holds it.
    const Name name{std::string_view::npos, first->pch, first->length, first->entry};
    place_name(b, name);
    token_length = token_length_of(name);
    token_entry = name.entry;
    have = true;
  } else {
    have = get_token(b);
  }
  ScanStatus status = ScanStatus::ok;
  while (have) {
    if (FindApi(b) == Step::endless) {
      status = ScanStatus::endless_rewrite;
      events_to().stopped(buffer_line);
      break;
    }
    // The scan resumes one character after the start of the call: what
    // stands there now is finished.
    b.finish_one_byte();
    b.resume_scan();
    have = get_token(b);
  }
  work += b.take_work();
  written += b.written();
  return status;
}

}  // namespace zaptor
