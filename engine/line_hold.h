// The start of a line that is passed on before the line has ended, held
// until it has.
//
// A line too long to read whole is passed on a stretch at a time while no
// call shows in it. But the "Invalid character" reports of a call later in
// the same line must come out before the line, so what was passed of it
// waits here: in memory up to a limit, then in a temporary file.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "engine/streams.h"

namespace zaptor {

class LineHold {
 public:
  static constexpr std::size_t kInMemory = std::size_t{1} << 20;

  bool empty() const { return memory_.empty() && spilled_ == 0; }
  void append(std::string_view bytes);
  // Writes what is held to `out` and empties the hold.
  void write_to(Output& out);

 private:
  struct Close {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::string memory_;
  std::unique_ptr<std::FILE, Close> spill_;
  std::size_t spilled_ = 0;
};

}  // namespace zaptor
