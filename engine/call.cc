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

// What a character of a call's text means to its structure.
enum class Walk : std::uint8_t { pass, slash, quote, open, close, comma, invalid };

constexpr std::array<Walk, 256> make_walk_table() {
  std::array<Walk, 256> table{};
  for (std::size_t c = 0; c < table.size(); ++c) {
    const auto byte = static_cast<char>(c);
    table[c] = has_class(byte, kAlnum | kSpace | kOperator | kHigh) ? Walk::pass : Walk::invalid;
  }
  table['/'] = Walk::slash;
  table['"'] = table['\''] = Walk::quote;
  table['('] = Walk::open;
  table[')'] = Walk::close;
  table[','] = Walk::comma;
  return table;
}

constexpr std::array<Walk, 256> kWalk = make_walk_table();

Walk walk_of(char c) { return kWalk[static_cast<unsigned char>(c)]; }

enum class Mode { code, literal, block_comment, line_comment };

struct Walked {
  std::size_t end;           // just past the closing ")"; npos: the input ended first
  std::size_t first_report;  // the call's reports: memo().reports() from here on
};

// The split reports a character that cannot stand in a parameter list every
// time one of its passes stops on it: twice when a pass ran up to it over
// white space, alphanumeric or operator characters (or a comment), once
// when it follows "(", ")", ",", a closing quote or another such character.
std::uint8_t report_times(char before) { return has_class(before, kAlnum | kSpace | kOperator | kHigh) ? 2 : 1; }

// Takes the notes of a stretch the memo knows instead of walking it again.
std::size_t skip_known(const SpanMemo::Span& span, std::string_view text, std::vector<Report>& reports) {
  assert(span.close < text.size() && text[span.close] == ')' && "ch != 0x00");
  reports.reserve(reports.size() + (span.reports_end - span.reports_begin));
  for (std::size_t i = span.reports_begin; i < span.reports_end; ++i) reports.push_back(reports[i]);
  return span.close + 1;
}

// Walks the call whose "(" is at `open` to its closing parenthesis, reading
// further lines while the call is not finished. The capture and the split
// follow the same rules over the same text, so this one pass does the
// split's work too: it ends the parameters at commas of depth 1 and notes
// the characters the split reports. Literals and comments have no structure
// (see call_lexer.h).
Walked walk_call(LineBuffer& buffer, std::size_t open, CallScratch& s) {
  SpanMemo& memo = buffer.memo();
  std::vector<Report>& reports = memo.reports();
  if (memo.empty()) reports.clear();
  const Walked none{std::string_view::npos, reports.size()};
  // A walk meets each "(" once: only notes from earlier walks can serve.
  const bool use_memo = !memo.empty();
  s.parms.clear();
  s.opens.clear();
  s.notes.clear();
  s.note_reports.clear();
  std::size_t pos = open + 1;
  std::size_t param = pos;
  Mode mode = Mode::code;
  char quote = 0;
  for (;;) {
    const std::string_view text = buffer.work();
    if (mode != Mode::code) {
      const SpanEnd span = mode == Mode::literal         ? literal_end(text, pos, quote)
                           : mode == Mode::block_comment ? block_comment_end(text, pos)
                                                         : line_comment_end(text, pos);
      // A stretch that an earlier walk, begun elsewhere, took as code may
      // begin here inside a literal or comment: it can then reach across
      // this call's parameters, and a rewrite of this call may change its
      // text while its "(" stays in place. Such notes go.
      if (use_memo) memo.forget(text, pos, span.pos);
      pos = span.pos;
      if (!span.closed) {
        if (!add_buff(buffer)) return none;
        continue;
      }
      mode = Mode::code;
    }
    // Code: go on until the text ends or a literal or comment begins.
    bool wait_for_next = false;
    while (mode == Mode::code && pos < text.size() && !wait_for_next) {
      const char c = text[pos];
      switch (walk_of(c)) {
        case Walk::pass:
          // Most characters of a call mean nothing to its structure.
          do ++pos;
          while (pos < text.size() && walk_of(text[pos]) == Walk::pass);
          break;
        case Walk::slash:
          // "/" needs the character after it to tell a comment from an operator.
          if (pos + 1 == text.size()) {
            wait_for_next = true;
            break;
          }
          if (text[pos + 1] == '*') {
            mode = Mode::block_comment;
            ++pos;
          } else if (text[pos + 1] == '/') {
            mode = Mode::line_comment;
            ++pos;
          }
          ++pos;
          break;
        case Walk::quote:
          mode = Mode::literal;
          quote = c;
          ++pos;
          break;
        case Walk::open:
          if (const auto known = use_memo ? memo.find(pos) : std::nullopt) {
            pos = skip_known(*known, text, reports);
          } else {
            s.opens.push_back({pos, reports.size()});
            ++pos;
          }
          break;
        case Walk::close:
          if (s.opens.empty()) {
            s.parms.push_back({param, pos});
            return {pos + 1, none.first_report};
          }
          if (pos - s.opens.back().pos >= kMemoSpan && engine().short_cuts.notes) {
            const CallScratch::Open& opened = s.opens.back();
            s.notes.push_back({opened.pos, pos});
            if (reports.size() > opened.reports) s.note_reports.push_back({opened.pos, opened.reports, reports.size()});
          }
          s.opens.pop_back();
          ++pos;
          break;
        case Walk::comma:
          if (s.opens.empty()) {
            s.parms.push_back({param, pos});
            param = pos + 1;
          }
          ++pos;
          break;
        case Walk::invalid:
          reports.push_back({c, report_times(text[pos - 1])});
          ++pos;
          break;
      }
    }
    if (mode == Mode::code && !add_buff(buffer)) return none;
  }
}

void report_invalid(const std::vector<Report>& reports, std::size_t first) {
  Output* out = engine().fp_dst;
  if (out == nullptr) return;
  for (std::size_t i = first; i < reports.size(); ++i) {
    const char line[] = {'I', 'n', 'v', 'a', 'l', 'i', 'd', ' ', 'c', 'h', 'a', 'r', 'a', 'c', 't', 'e', 'r', ' ',
                         reports[i].c, '\n'};
    for (std::uint8_t n = 0; n < reports[i].times; ++n) out->write(std::string_view(line, sizeof line));
  }
}

// The format's arguments: slot k takes parameter iOrder[k] (the empty text
// past the last parameter), or none. Also notes where each lies in the line.
FormatArgs select_arguments(const _apitype& entry, std::string_view text, CallScratch& s) {
  FormatArgs parmlist{};
  s.slots.assign(kFormatArgs, {0, 0});
  for (std::size_t k = 0; k < kFormatArgs; ++k) {
    const std::int32_t n = entry.iOrder[k];
    if (n < 0 || n >= kOrderSlots) continue;
    const auto parm = static_cast<std::size_t>(n);
    if (parm >= s.parms.size()) {
      parmlist[k] = std::string_view{};
      continue;
    }
    const TextRange r = s.parms[parm];
    parmlist[k] = text.substr(r.begin, r.end - r.begin);
    s.slots[k] = r;
  }
  return parmlist;
}

void echo_pieces(Output& out, const std::vector<FormatPiece>& pieces, const FormatArgs& args) {
  static constexpr std::string_view kBlankRun = "                                ";
  for (const FormatPiece& piece : pieces) {
    if (piece.arg == kFormatText) {
      out.write(piece.text);
    } else if (piece.arg == kBlanks) {
      for (std::size_t left = piece.length; left > 0;) {
        const std::size_t n = std::min(left, kBlankRun.size());
        out.write(kBlankRun.substr(0, n));
        left -= n;
      }
    } else {
      out.write(args[static_cast<std::size_t>(piece.arg)]->substr(piece.offset, piece.length));
    }
  }
}

}  // namespace

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

  const Walked call = walk_call(buffer, open, s);
  if (call.end == std::string_view::npos) {
    // The input ended inside the call: leave it, and all it pulled in, as read.
    return {ScanStatus::unfinished_call, buffer.end()};
  }
  if (!s.guard.admit(pch, call.end)) return {ScanStatus::endless_rewrite, buffer.end()};

  s.pieces.clear();
  std::size_t length = 0;
  bool in_order = true;
  bool names_written = false;
  if (const EngineState::EntryFormat* format = e.format(static_cast<std::size_t>(index))) {
    report_invalid(buffer.memo().reports(), call.first_report);
    const FormatArgs parmlist = select_arguments(entry, buffer.work(), s);
    length = format->format.apply(parmlist, s.pieces);
    in_order = format->in_order && e.short_cuts.in_place;
    names_written = format->format.may_name();
    if (e.bEchoFormatted && e.fp_dst != nullptr) echo_pieces(*e.fp_dst, s.pieces, parmlist);
  }
  const LineBuffer::Placed placed = buffer.replace(pch, call.end, {s.pieces, s.slots, length, in_order, s.notes, s.note_reports});
  s.guard.record(pch, call.end, placed, s.pieces, s.slots, names_written);
  const std::size_t resume = placed.start < buffer.end() ? placed.start + 1 : placed.start;
  return {ScanStatus::ok, resume};
}

}  // namespace zaptor
