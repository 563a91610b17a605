#include "engine/line_hold.h"

#include <array>
#include <cerrno>
#include <system_error>

namespace zaptor {

namespace {
[[noreturn]] void spill_failed(const char* what) {
  throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(), what);
}
}  // namespace

void LineHold::append(std::string_view bytes) {
  if (spilled_ == 0 && memory_.size() + bytes.size() <= kInMemory) {
    memory_.append(bytes);
    return;
  }
  if (!spill_) {
    errno = 0;
    spill_.reset(std::tmpfile());
    if (!spill_) spill_failed("cannot make a temporary file for a long line");
  }
  errno = 0;
  if (!memory_.empty()) {
    if (std::fwrite(memory_.data(), 1, memory_.size(), spill_.get()) != memory_.size()) {
      spill_failed("cannot write a temporary file for a long line");
    }
    spilled_ += memory_.size();
    memory_.clear();
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), spill_.get()) != bytes.size()) {
    spill_failed("cannot write a temporary file for a long line");
  }
  spilled_ += bytes.size();
}

void LineHold::write_to(Output& out) {
  if (spilled_ > 0) {
    errno = 0;
    if (std::fseek(spill_.get(), 0, SEEK_SET) != 0) spill_failed("cannot read back a temporary file");
    std::array<char, 1 << 16> block;
    for (std::size_t left = spilled_; left > 0;) {
      const std::size_t got = std::fread(block.data(), 1, std::min(left, block.size()), spill_.get());
      if (got == 0) spill_failed("cannot read back a temporary file");
      out.write(std::string_view(block.data(), got));
      left -= got;
    }
    // The next long line starts the file afresh.
    std::rewind(spill_.get());
    spilled_ = 0;
  }
  out.write(memory_);
  memory_.clear();
}

}  // namespace zaptor
