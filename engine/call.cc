// The two assertions guard invariants of the capture and the split; they
// stay active in every build.
#undef NDEBUG
#include <cassert>

#include "engine/call.h"
#include "engine/call_lexer.h"
#include "engine/chartype.h"
#include "engine/engine.h"

namespace zaptor {

bool add_buff(LineBuffer& buffer) {
  EngineState& e = engine();
  if (e.fp_src == nullptr) return false;
  const std::size_t before = buffer.end();
  if (!buffer.append_line(*e.fp_src)) return false;
  if (e.bVerbose && e.fp_err != nullptr) e.fp_err->write(std::string_view(buffer.work()).substr(before));
  return true;
}

namespace {

enum class Mode { code, literal, block_comment, line_comment };

// Finds the closing parenthesis of the call whose "(" is at `open`, reading
// further lines while the call is not finished. Returns the position just
// past it, or npos when the input ends first.
std::size_t capture(LineBuffer& buffer, std::size_t open) {
  std::size_t pos = open + 1;
  int depth = 1;
  Mode mode = Mode::code;
  char quote = 0;
  for (;;) {
    const std::string_view text = buffer.work();
    if (mode != Mode::code) {
      const SpanEnd span = mode == Mode::literal         ? literal_end(text, pos, quote)
                           : mode == Mode::block_comment ? block_comment_end(text, pos)
                                                         : line_comment_end(text, pos);
      pos = span.pos;
      if (!span.closed) {
        if (!add_buff(buffer)) return std::string_view::npos;
        continue;
      }
      mode = Mode::code;
    }
    // "/" needs the character after it to tell a comment from an operator.
    if (pos >= text.size() || (text[pos] == '/' && pos + 1 == text.size())) {
      if (!add_buff(buffer)) return std::string_view::npos;
      continue;
    }
    // Most characters of a call mean nothing to its structure.
    while (pos + 1 < text.size() && !has_class(text[pos], kStructure)) ++pos;
    const char c = text[pos++];
    if (is_quote(c)) {
      mode = Mode::literal;
      quote = c;
    } else if (c == '/' && text[pos] == '*') {
      mode = Mode::block_comment;
      ++pos;
    } else if (c == '/' && text[pos] == '/') {
      mode = Mode::line_comment;
      ++pos;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return pos;
    }
  }
}

void report_invalid(char c) {
  Output* out = engine().fp_dst;
  if (out == nullptr) return;
  out->write("Invalid character ");
  out->put(c);
  out->put('\n');
}

// Passes over white space, alphanumeric and operator characters, bytes above
// 0x7F and comments.
std::size_t advance(std::string_view call, std::size_t pos) {
  constexpr std::uint8_t kPassed = kAlnum | kSpace | kOperator | kHigh;
  while (pos < call.size()) {
    const char c = call[pos];
    if (c == '/' && pos + 1 < call.size() && (call[pos + 1] == '*' || call[pos + 1] == '/')) {
      const SpanEnd span = call[pos + 1] == '*' ? block_comment_end(call, pos + 2)
                                                : line_comment_end(call, pos + 2);
      pos = span.pos;
      continue;
    }
    if (!has_class(c, kPassed)) break;
    ++pos;
  }
  return pos;
}

// The format's arguments: slot k takes parameter iOrder[k] (the empty text
// past the last parameter), or none. Also notes where each lies in the line
// (the call's text begins at `offset`).
FormatArgs select_arguments(const _apitype& entry, std::string_view call, std::size_t offset,
                            CallScratch& s) {
  FormatArgs parmlist{};
  for (std::size_t k = 0; k < kFormatArgs; ++k) {
    const std::int32_t n = entry.iOrder[k];
    if (n < 0 || n >= kOrderSlots) continue;
    const auto parm = static_cast<std::size_t>(n);
    if (parm >= s.parms.size()) {
      parmlist[k] = std::string_view{};
      continue;
    }
    const RewriteGuard::Range r = s.parms[parm];
    parmlist[k] = call.substr(r.begin, r.end - r.begin);
    s.slots[k] = {offset + r.begin, offset + r.end};
  }
  return parmlist;
}

}  // namespace

void split_parameters(std::string_view call, std::vector<RewriteGuard::Range>& parms) {
  parms.clear();
  std::size_t start = 0;
  std::size_t pos = 0;
  int depth = 1;
  const auto end_parameter = [&] {
    parms.push_back({start, pos});
    start = pos = pos + 1;
  };
  while (depth > 0) {
    const std::size_t pass_start = pos;
    pos = advance(call, pos);
    // The capture ended at a closing parenthesis that this split also
    // reaches, so it never runs off the end of the call.
    assert(pos < call.size() && "ch != 0x00");
    char ch = call[pos];
    if (!is_delimiter(ch)) report_invalid(ch);
    if (is_quote(ch)) {
      pos = literal_end(call, pos + 1, ch).pos;
      assert(pos < call.size() && "ch != 0x00");
      ch = call[pos];
    }
    if (ch == '(') {
      ++depth;
      ++pos;
    } else if (ch == ')') {
      if (--depth == 0) {
        end_parameter();
      } else {
        ++pos;
      }
    } else if (ch == ',') {
      if (depth == 1) {
        end_parameter();
      } else {
        ++pos;
      }
    }
    if (pos == pass_start) ++pos;
  }
}

ScanStep found(LineBuffer& buffer, int index, std::size_t pch) {
  EngineState& e = engine();
  const _apitype& entry = e.apilist[static_cast<std::size_t>(index)];
  CallScratch& s = e.scratch;

  // Skip the white space between the name and "(": it is not part of the call.
  std::size_t open = pch + static_cast<std::size_t>(entry.cb);
  while (open < buffer.end() && is_space(buffer.work()[open])) ++open;
  {
    const auto pchIn = buffer.work().begin() + static_cast<std::ptrdiff_t>(open);
    assert(open < buffer.end() && *pchIn == '(');
  }

  const std::size_t call_end = capture(buffer, open);
  if (call_end == std::string_view::npos) {
    // The input ended inside the call: leave it, and all it pulled in, as read.
    return {ScanStatus::unfinished_call, buffer.end()};
  }
  if (!s.guard.admit(pch, call_end)) return {ScanStatus::endless_rewrite, buffer.end()};

  s.formatted.clear();
  s.pieces.clear();
  s.slots.assign(kFormatArgs, {0, 0});
  if (entry.pchformat) {
    const std::string_view chApiBuf = std::string_view(buffer.work()).substr(open + 1, call_end - open - 1);
    split_parameters(chApiBuf, s.parms);
    const FormatArgs parmlist = select_arguments(entry, chApiBuf, open + 1, s);
    format_call(s.formatted, *entry.pchformat, parmlist, &s.pieces);
    if (e.bEchoFormatted && e.fp_dst != nullptr) e.fp_dst->write(s.formatted);
  }
  const LineBuffer::Placed placed = buffer.replace(pch, call_end, s.formatted);
  s.guard.record(pch, call_end, placed, s.pieces, s.slots);
  const std::size_t resume = placed.start < buffer.end() ? placed.start + 1 : placed.start;
  return {ScanStatus::ok, resume};
}

}  // namespace zaptor
