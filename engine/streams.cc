#include "engine/streams.h"

#include <cerrno>
#include <cstring>

#include "engine/bytes.h"

namespace zaptor {

namespace {
constexpr std::size_t kChunk = 1 << 18;
}

LineReader::LineReader(std::FILE* file) : file_(file) {}

LineReader::LineReader(std::string_view text) : pending_(text), at_end_(true) {}

bool LineReader::refill() { return read_after(0); }

std::string_view LineReader::peek_more() {
  if (pending_.size() < kChunk) read_after(pending_.size());
  return pending_;
}

// Reads into the chunk after the last `keep` pending bytes, which move to
// its front.
bool LineReader::read_after(std::size_t keep) {
  if (at_end_ || failed()) return false;
  if (chunk_ == nullptr) chunk_ = std::make_unique_for_overwrite<char[]>(kChunk);
  if (keep > 0) std::memmove(chunk_.get(), pending_.data() + pending_.size() - keep, keep);
  errno = 0;
  const std::size_t want = kChunk - keep;
  const std::size_t got = std::fread(chunk_.get() + keep, 1, want, file_);
  pending_ = std::string_view(chunk_.get(), keep + got);
  if (got < want) {
    if (std::ferror(file_)) {
      error_ = errno != 0 ? errno : EIO;
    } else {
      at_end_ = true;
    }
  }
  return got > 0;
}

void LineReader::consume(std::size_t count) {
  lines_read_ += count_byte(pending_.substr(0, count), '\n');
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
