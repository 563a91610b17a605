#include "engine/streams.h"

#include <cerrno>
#include <cstring>

namespace zaptor {

namespace {
constexpr std::size_t kChunk = 1 << 18;
}

LineReader::LineReader(std::FILE* file) : file_(file) {}

LineReader::LineReader(std::string_view text) : pending_(text), at_end_(true) {}

bool LineReader::refill() {
  if (at_end_ || failed()) return false;
  chunk_.resize(kChunk);
  errno = 0;
  const std::size_t got = std::fread(chunk_.data(), 1, chunk_.size(), file_);
  chunk_.resize(got);
  pending_ = chunk_;
  if (got < kChunk) {
    if (std::ferror(file_)) {
      error_ = errno != 0 ? errno : EIO;
    } else {
      at_end_ = true;
    }
  }
  return got > 0;
}

namespace {

// Counts newlines eight bytes at a time: the bytes passed through without a
// call are the bulk of a source, and this is all the work they cost.
std::uint64_t count_newlines(std::string_view bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  std::uint64_t count = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.substr(i, 8).data(), 8);
    const std::uint64_t x = word ^ (kOnes * '\n');
    // High bit set in each byte of x that is zero.
    const std::uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
    // One bit per newline at the bottom of its byte; the product sums them.
    count += ((zero >> 7) * kOnes) >> 56;
  }
  for (; i < bytes.size(); ++i) count += bytes[i] == '\n';
  return count;
}

}  // namespace

void LineReader::consume(std::size_t count) {
  lines_read_ += count_newlines(pending_.substr(0, count));
  pending_.remove_prefix(count);
}

bool LineReader::ready() {
  if (pending_.empty()) refill();
  return !failed();
}

bool LineReader::read_line(std::string& line) {
  bool took_any = false;
  for (;;) {
    if (pending_.empty() && !refill()) break;
    const std::size_t newline = pending_.find('\n');
    if (newline != std::string_view::npos) {
      line.append(pending_.substr(0, newline + 1));
      pending_.remove_prefix(newline + 1);
      ++lines_read_;
      return true;
    }
    line.append(pending_);
    pending_ = {};
    took_any = true;
  }
  // A read error loses the line: what came before it is no complete line.
  if (took_any && !failed()) {
    ++lines_read_;
    return true;
  }
  return false;
}

Output::Output(std::FILE* file) : file_(file) { buffer_.reserve(kBlock); }

Output::Output(std::string& sink) : sink_(&sink) {}

Output::~Output() { flush(); }

void Output::note_error() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

void Output::write_through(std::string_view bytes) {
  flush();
  if (bytes.size() <= kBlock) {
    buffer_.append(bytes);
    return;
  }
  if (failed()) return;
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) note_error();
}

bool Output::flush() {
  if (sink_ != nullptr || file_ == nullptr) return !failed();
  if (!buffer_.empty() && !failed()) {
    errno = 0;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) note_error();
  }
  buffer_.clear();
  if (!failed()) {
    errno = 0;
    if (std::fflush(file_) != 0) note_error();
  }
  return !failed();
}

bool Output::close() {
  flush();
  if (file_ != nullptr) {
    errno = 0;
    if (std::fclose(file_) != 0) note_error();
    file_ = nullptr;
  }
  return !failed();
}

}  // namespace zaptor
