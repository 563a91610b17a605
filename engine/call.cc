#include "engine/engine.h"

#include <algorithm>
#include <array>

#include "engine/walk.h"

namespace zaptor {

std::size_t Conversion::add_buff(LineBuffer& buffer) {
  const std::size_t at = buffer.read_more(fp_src);
  if (at != std::string_view::npos && bVerbose && fp_err != nullptr) fp_err->write(buffer.source().substr(at));
  return at;
}

std::uint64_t Conversion::call_line(const LineBuffer& buffer) {
  // A name the source holds stands on its own line, wherever rewrites moved
  // it; a name a format wrote is given the line of the call found before it
  // (the call that wrote it, or one nested in that call).
  const Piece& name = buffer.rest().back();
  if (name.kind == Piece::Kind::source) last_call_line_ = buffer_line + buffer.newlines_before(name.at);
  return last_call_line_;
}

namespace {

constexpr std::size_t kParams = 8;  // parameters a format can take

// A padding of blanks, in pieces of this.
constexpr std::string_view kBlankRun =
    "                                                                "
    "                                                                ";

constexpr std::size_t kReportLength = 20;  // "Invalid character c\n"

// The bytes the reports of a call print.
std::size_t report_bytes(const std::vector<Report>& reports, std::size_t first, std::size_t last) {
  std::size_t times = 0;
  for (std::size_t i = first; i < last; ++i) times += reports[i].times;
  return times * kReportLength;
}

// The pieces of parameter k, each with the part of it that belongs to the
// parameter: after the delimiter that opens it, before the one that ends it.
template <typename F>
void for_each_param_piece(const CallScratch& s, std::size_t k, F&& f) {
  const CallPosition from = s.bounds[k].at;
  const CallPosition to = s.bounds[k + 1].at;
  for (std::size_t i = from.piece; i <= to.piece; ++i) {
    const Piece& piece = s.call[i];
    const std::size_t lo = i == from.piece ? from.offset + 1 : 0;
    const std::size_t hi = i == to.piece ? to.offset : piece.length;
    if (lo < hi) f(piece, lo, hi);
  }
}

struct Param {
  std::size_t length = 0;
  std::size_t pieces = 0;
  std::uint64_t walked = 0;  // bytes the walk read in it
  bool one_unit = false;     // it is one unit, whole
};

std::array<Param, kParams> measure_params(const CallScratch& s) {
  std::array<Param, kParams> params{};
  const std::size_t count = std::min(kParams, s.bounds.size() - 1);
  for (std::size_t k = 0; k < count; ++k) {
    for_each_param_piece(s, k, [&](const Piece& piece, std::size_t lo, std::size_t hi) {
      params[k].length += hi - lo;
      ++params[k].pieces;
      params[k].one_unit = piece.is_unit();
    });
    params[k].one_unit = params[k].one_unit && params[k].pieces == 1;
    params[k].walked = s.bounds[k + 1].walked - s.bounds[k].walked;
  }
  return params;
}

// Appends bytes [lo, hi) of `piece` to `out`, taking units apart only as
// far as the cut needs. Units nest as deep as the rewrites that made them:
// no recursion.
void append_slice(LineBuffer& b, const Piece& piece, std::size_t lo, std::size_t hi, std::vector<Piece>& out) {
  // Most slices are of plain text or of a whole unit: no unit to take apart.
  if (!piece.is_unit() || (lo == 0 && hi == piece.length)) {
    b.add_work(1);
    if (lo >= hi) return;
    out.push_back(piece.is_unit() ? piece : LineBuffer::head(LineBuffer::tail(piece, lo), hi - lo));
    return;
  }
  struct Cut {
    Piece piece;
    std::size_t lo, hi;
  };
  std::vector<Cut> work{{piece, lo, hi}};
  std::vector<Cut> children;
  while (!work.empty()) {
    const Cut cut = work.back();
    work.pop_back();
    b.add_work(1);
    if (cut.lo >= cut.hi) continue;
    if (!cut.piece.is_unit()) {
      out.push_back(LineBuffer::head(LineBuffer::tail(cut.piece, cut.lo), cut.hi - cut.lo));
      continue;
    }
    if (cut.lo == 0 && cut.hi == cut.piece.length) {
      out.push_back(cut.piece);
      continue;
    }
    const Unit& u = b.unit(cut.piece);
    children.clear();
    std::size_t at = 0;
    for (std::size_t i = 0; i < u.count && at < cut.hi; ++i) {
      const Piece& child = b.unit_pieces()[u.first + i];
      const std::size_t end = at + child.length;
      if (end > cut.lo) children.push_back({child, std::max(cut.lo, at) - at, std::min(cut.hi, end) - at});
      at = end;
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) work.push_back(*it);
  }
}

char first_byte(const LineBuffer& b, const Piece& piece, std::size_t lo) {
  return piece.is_unit() ? b.unit(piece).first_byte : b.bytes(piece)[lo];
}
char last_byte(const LineBuffer& b, const Piece& piece, std::size_t hi) {
  return piece.is_unit() ? b.unit(piece).last_byte : b.bytes(piece)[hi - 1];
}

// Parameter k taken over whole as one unit, which keeps what its walk found.
// `only_whole`: the replacement takes nothing of it but the whole.
Piece param_unit(LineBuffer& b, CallScratch& s, std::size_t k, std::size_t length, bool only_whole) {
  s.param_pieces.clear();
  Unit summary;
  summary.length = length;
  for_each_param_piece(s, k, [&](const Piece& piece, std::size_t lo, std::size_t hi) {
    if (s.param_pieces.empty()) summary.first_byte = first_byte(b, piece, lo);
    summary.last_byte = last_byte(b, piece, hi);
    append_slice(b, piece, lo, hi, s.param_pieces);
  });
  // A parameter begins after "(" or "," in code: its first byte is reported
  // if it is no character of a parameter list.
  summary.first_reported = walk_of(summary.first_byte) == Walk::invalid;
  summary.exit = s.bounds[k + 1].before;
  summary.reports_begin = s.bounds[k].reports;
  summary.reports_end = s.bounds[k + 1].reports;
  return b.make_unit(s.param_pieces, summary, only_whole);
}

bool takes_whole(const FormatPiece& fp, const Param& param) { return fp.offset == 0 && fp.length == param.length; }

// The bytes the replacement writes itself. Copies of a parameter after its
// first, and the parts of it that a precision cuts out, are new text too:
// a later walk cannot pass over them as over the parameter it walked.
std::size_t written_by(const std::vector<FormatPiece>& pieces, const _apitype& entry,
                       const std::array<Param, kParams>& params) {
  std::size_t written = 0;
  std::array<bool, kParams> used{};
  for (const FormatPiece& piece : pieces) {
    if (piece.from_format()) {
      written += piece.length;
      continue;
    }
    const auto param = static_cast<std::size_t>(entry.iOrder[static_cast<std::size_t>(piece.arg)]);
    if (used[param] || !takes_whole(piece, params[param])) written += piece.length;
    used[param] = true;
  }
  return written;
}

// The replacement's pieces, from the format's output.
// A parameter taken over whole becomes a unit, which later walks pass in one
// step: one of several pieces, and one that this walk had to read at length.
bool wants_unit(const Param& param) {
  return !param.one_unit && (param.pieces > 1 || (param.length >= kNoteSpan && param.walked >= kNoteSpan));
}

void build_replacement(LineBuffer& b, CallScratch& s, const _apitype& entry, const std::array<Param, kParams>& params) {
  s.replacement.clear();
  std::array<std::optional<Piece>, kParams> units{};
  std::array<bool, kParams> cut{};
  for (const FormatPiece& fp : s.pieces) {
    if (fp.from_format()) continue;
    const auto k = static_cast<std::size_t>(entry.iOrder[static_cast<std::size_t>(fp.arg)]);
    cut[k] = cut[k] || !takes_whole(fp, params[k]);
  }
  for (const FormatPiece& fp : s.pieces) {
    if (fp.arg == kFormatText) {
      s.replacement.push_back(LineBuffer::text_piece(fp.text));
      continue;
    }
    if (fp.arg == kBlanks) {
      for (std::size_t left = fp.length; left > 0;) {
        const std::size_t n = std::min(left, kBlankRun.size());
        s.replacement.push_back(LineBuffer::text_piece(kBlankRun.substr(0, n)));
        left -= n;
      }
      continue;
    }
    const auto k = static_cast<std::size_t>(entry.iOrder[static_cast<std::size_t>(fp.arg)]);
    if (takes_whole(fp, params[k]) && wants_unit(params[k])) {
      if (!units[k]) units[k] = param_unit(b, s, k, params[k].length, !cut[k]);
      s.replacement.push_back(*units[k]);
      continue;
    }
    // A parameter in one piece, or cut short by a precision.
    std::size_t at = 0;
    const std::size_t want_lo = fp.offset, want_hi = fp.offset + fp.length;
    for_each_param_piece(s, k, [&](const Piece& piece, std::size_t lo, std::size_t hi) {
      const std::size_t begin = at, end = at + (hi - lo);
      at = end;
      if (end <= want_lo || begin >= want_hi) return;
      append_slice(b, piece, lo + (std::max(begin, want_lo) - begin), lo + (std::min(end, want_hi) - begin),
                   s.replacement);
    });
  }
  for (const Piece& piece : s.replacement) b.ref(piece);
}

// The call's pieces are gone; their units lose a holder.
void drop_call(LineBuffer& b, CallScratch& s) {
  for (const Piece& piece : s.call) b.unref(piece);
  s.call.clear();
}

// Rewrites that write without end are stopped here (see found()).
bool over_budget(LineBuffer& b, std::size_t growth_floor) {
  return b.written() > std::max(growth_floor, kGrowthRatio * b.source().size());
}

// Hands parameter k of the call to the sink. What the sink lists counts as
// output: a parameter told at every level of deep nesting costs the budget
// as reports do. False when that passes the budget.
bool tell_parameter(Conversion& c, LineBuffer& b, std::size_t k, int index, std::uint64_t line) {
  CallScratch& s = c.scratch();
  s.parameter_text.clear();
  if (k < s.bounds.size() - 1) {
    const auto append = [&](std::string_view bytes) { s.parameter_text.append(bytes); };
    for_each_param_piece(s, k, [&](const Piece& piece, std::size_t lo, std::size_t hi) {
      s.param_pieces.clear();
      append_slice(b, piece, lo, hi, s.param_pieces);
      for (const Piece& part : s.param_pieces) b.emit(part, append);
    });
    c.work += s.parameter_text.size();
    b.written() += s.parameter_text.size();
    if (over_budget(b, c.growth_floor)) return false;
  }
  c.events_to().parameter(index, line, s.parameter_text);
  return true;
}

// Tells the sink the call's reports and the parameter it asked for; false
// when that passes the budget.
bool tell_call(Conversion& c, LineBuffer& b, int index, std::uint64_t line) {
  const CallScratch& s = c.scratch();
  Events& sink = c.events_to();
  for (std::size_t i = s.bounds.front().reports; i < s.bounds.back().reports; ++i) {
    sink.invalid_character(b.reports()[i].c, b.reports()[i].times, index, line);
  }
  const int wanted = sink.wanted_parameter(index);
  return wanted < 0 || static_cast<std::size_t>(wanted) >= kParams ||
         tell_parameter(c, b, static_cast<std::size_t>(wanted), index, line);
}

// Tells a call to a sink that keeps it as it stands: its reports (which
// count in the budget, as they would be written) and the parameter asked for.
Step keep_call(Conversion& c, LineBuffer& b, int index, std::uint64_t line) {
  CallScratch& s = c.scratch();
  b.written() += report_bytes(b.reports(), s.bounds.front().reports, s.bounds.back().reports);
  if (over_budget(b, c.growth_floor)) return Step::endless;
  if (!tell_call(c, b, index, line)) return Step::endless;
  put_back(b, s);
  c.events_to().rewritten(index, line);
  return Step::rewritten;
}

}  // namespace

Step Conversion::found(LineBuffer& b, int index) {
  const _apitype& entry = table().apilist()[static_cast<std::size_t>(index)];
  CallScratch& s = scratch_;
  const std::uint64_t line = call_line(b);

  if (walk_call(*this, b, static_cast<std::size_t>(entry.cb)) == WalkEnd::open) {
    events_to().open_call(index, line);
    return Step::no_call;
  }

  if (events_to().keeps_calls()) return keep_call(*this, b, index, line);

  const CompiledFormat* format = table().format(static_cast<std::size_t>(index));
  // An entry without a format deletes the call: what followed it stays.
  if (format == nullptr) {
    drop_call(b, s);
    events_to().rewritten(index, line);
    return Step::rewritten;
  }

  // The format's arguments: slot k takes parameter iOrder[k] (the empty text
  // past the last parameter), or none.
  const std::array<Param, kParams> params = measure_params(s);
  const std::size_t count = s.bounds.size() - 1;
  FormatArgLengths parmlist{};
  for (std::size_t k = 0; k < kFormatArgs; ++k) {
    const std::int32_t n = entry.iOrder[k];
    if (n < 0 || n >= kOrderSlots) continue;
    parmlist[k] = static_cast<std::size_t>(n) < count ? params[static_cast<std::size_t>(n)].length : 0;
  }
  s.pieces.clear();
  format->apply(parmlist, s.pieces);

  // Every rewrite takes away its name and parentheses, which came from the
  // source or from text that rewrites wrote; so as long as the rewrites of a
  // line write a bounded amount, they end. Rewriting that never ends must
  // write without bound, and is stopped when it passes the budget; so is a
  // table that makes a line grow out of all proportion.
  // The budget depends on the text alone, never on the engine's short cuts.
  // A call's reports are written too: an endless rewrite may print them
  // again at every turn.
  b.written() += written_by(s.pieces, entry, params) +
                 report_bytes(b.reports(), s.bounds.front().reports, s.bounds.back().reports);
  if (over_budget(b, growth_floor)) return Step::endless;

  if (!tell_call(*this, b, index, line)) return Step::endless;
  Events& sink = events_to();
  build_replacement(b, s, entry, params);
  work += s.pieces.size() + s.replacement.size() + (s.bounds.back().reports - s.bounds.front().reports);
  if (bEchoFormatted && fp_dst != nullptr) {
    Output& out = *fp_dst;
    const auto write = [&](std::string_view bytes) {
      work += bytes.size() + 1;
      out.write(bytes);
    };
    for (const Piece& piece : s.replacement) b.emit(piece, write);
  }
  // Only the replacement's end joins what follows it: its start is about
  // to be scanned and finished.
  bool join = true;
  for (auto it = s.replacement.rbegin(); it != s.replacement.rend(); ++it) {
    Piece piece = *it;
    piece.id = b.next_id();
    join = b.push_rest(piece, join);
  }
  drop_call(b, s);
  sink.rewritten(index, line);
  return Step::rewritten;
}

}  // namespace zaptor
