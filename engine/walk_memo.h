// What walks over calls learnt, so that no stretch of a line is walked over
// and over.
//
// Notes. Rewriting a call whose parameter holds another call keeps that
// parameter in the replacement, and the scan then walks the inner call; calls
// nested N deep would be walked N times over. So a walk notes, for every
// long stretch inside a call that opens with "(" after a name, where it
// closes, its commas at its own level (the first eight: no format takes a
// later parameter) and the characters it reports. Source bytes never
// change, so a note holds wherever the stretch stands whole in one piece of
// source: a later walk that meets the same "(" takes the note instead of
// the text.
//
// Checkpoints. Once the input has ended, a call that the input never
// closes is no call, and the scan goes on one character after its name;
// every later name inside it starts a walk of its own, which may run to the
// end of the input again. But two walks that stand on the same byte in the
// same lexer state go the same way from there on. So a walk that found no
// end leaves, at the bytes it passed that are checkpoints, its lexer state
// and how many of the parentheses open there it closed before the end
// (`closes`). A later walk that reaches such a byte, of the same piece,
// in the same state, with more parentheses open than that, will not find
// its end either, and stops there. Each byte is walked a bounded number of
// times, whatever the number of open calls. The text after the scan
// position may be made of rewrites as much as of source, so checkpoints
// stand in every kind of piece: at its first byte and at every 64th byte,
// named by the piece's occurrence and the byte's place in its storage,
// neither of which a later rewrite can give to other text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/lexer.h"

namespace zaptor {

inline constexpr std::size_t kNoteSpan = 128;       // shorter stretches are cheap to walk again
inline constexpr std::size_t kCheckpointStep = 64;  // places that are checkpoints

class WalkMemo {
 public:
  // Indexes are 32 bits wide to keep notes small; a stretch whose indexes
  // do not fit is not noted, and is walked again when it is met again.
  struct Note {
    std::size_t open, close;               // offsets of its "(" and of the matching ")"
    std::uint32_t commas_begin;            // its commas' offsets, in commas()
    std::uint32_t reports_begin, reports_end;  // in the line's reports
    std::uint8_t commas;
  };
  // A byte of a piece, in a lexer state.
  struct Place {
    std::uint32_t piece;  // the piece's occurrence id
    std::uint64_t at;     // the byte's place in the piece's storage
    Lex state;
    bool operator==(const Place&) const = default;
  };

  void clear();

  const Note* note(std::size_t open) const;
  void add_note(const Note& note);
  // Commas are kept as their distance from the note's "(".
  std::vector<std::uint32_t>& commas() { return commas_; }

  // How many of the parentheses open at `place` a walk from there closed
  // before the end of the input, when one found no end.
  std::optional<std::size_t> checkpoint(const Place& place) const;
  void add_checkpoint(const Place& place, std::size_t closes);

 private:
  struct PlaceHash {
    std::size_t operator()(const Place& p) const {
      const std::uint64_t h = (p.at * kLexStates + static_cast<std::uint64_t>(p.state)) * 0x9E3779B97F4A7C15ULL;
      return static_cast<std::size_t>(h ^ (h >> 29) ^ (std::uint64_t{p.piece} << 17));
    }
  };
  std::size_t home(std::size_t open) const { return (open * 0x9E3779B97F4A7C15ULL >> 17) & (index_.size() - 1); }
  void grow();

  std::deque<Note> notes_;  // in blocks: no copy of them all as they grow
  std::vector<std::uint32_t> index_;  // open addressing by "(": note number + 1, 0 when free
  std::vector<std::uint32_t> commas_;
  std::unordered_map<Place, std::size_t, PlaceHash> checkpoints_;
};

}  // namespace zaptor
