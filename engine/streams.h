// Buffered byte streams of the programs: physical lines in, bytes out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace zaptor {

// Reads physical lines of any length: each ends after its newline, the last
// one possibly at the end of the input without one. Bytes are bytes: a NUL
// is an ordinary character.
class LineReader {
 public:
  explicit LineReader(std::FILE* file);        // not owned
  explicit LineReader(std::string_view text);  // reads from memory, which must outlive it
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Appends the next physical line to `line`. False at the end of the input
  // or after a read error (see failed()).
  bool read_line(std::string& line);

  // The bytes read ahead and not handed out yet, reading more when there are
  // none; empty at the end of the input or after a read error.
  std::string_view peek() {
    if (pending_.empty()) refill();
    return pending_;
  }
  // Reads more after what peek() shows, keeping it; the same when the read
  // buffer is full or the input has ended.
  std::string_view peek_more();
  // Hands out the first `count` bytes of peek().
  void consume(std::size_t count);
  // The same for a caller that counted the newlines in them already.
  void consume(std::size_t count, std::uint64_t newlines) {
    lines_read_ += newlines;
    pending_.remove_prefix(count);
  }

  // Reads ahead so that an unreadable source shows before anything is done
  // with it; false on a read error.
  bool ready();

  bool failed() const { return error_ != 0; }
  int error() const { return error_; }  // errno of the failed read
  std::uint64_t lines_read() const { return lines_read_; }

 private:
  bool refill();
  bool read_after(std::size_t keep);

  std::FILE* file_ = nullptr;
  // Allocated at the first read and never cleared: a stream's reader fills
  // it anew at every read.
  std::unique_ptr<char[]> chunk_;
  std::string_view pending_;  // the unread part of chunk_ (or of the memory text)
  bool at_end_ = false;
  int error_ = 0;
  std::uint64_t lines_read_ = 0;
};

// Collects output in a buffer and writes it in large blocks, either to a
// stream or, for tests, to a string. Remembers the first write error.
class Output {
 public:
  explicit Output(std::FILE* file);    // not owned
  explicit Output(std::string& sink);  // appends to sink
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output();

  void write(std::string_view bytes) {
    if (sink_ != nullptr) {
      sink_->append(bytes);
      return;
    }
    if (buffer_.size() + bytes.size() > kBlock) {
      write_through(bytes);
      return;
    }
    buffer_.append(bytes);
  }
  void put(char c) { write(std::string_view(&c, 1)); }

  // Hands everything buffered to the stream and flushes it; false on error.
  bool flush();
  // Flushes and closes the stream; false when anything failed.
  bool close();

  bool failed() const { return error_ != 0; }
  int error() const { return error_; }

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  void write_through(std::string_view bytes);
  void note_error();

  std::FILE* file_ = nullptr;
  std::string* sink_ = nullptr;
  std::string buffer_;
  int error_ = 0;
};

}  // namespace zaptor
