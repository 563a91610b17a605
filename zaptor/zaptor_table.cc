// zaptor-table: compiles a text macro table into the compiled macro file
// that zaptor loads, and decompiles such a file back into text.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "zaptor/compiled.h"
#include "zaptor/table_text.h"

namespace zaptor {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUsage =
    "usage: zaptor-table compile TABLE.txt OUT.bin\n"
    "       zaptor-table decompile IN.bin\n";

void complain(const std::string& message) {
  std::fprintf(stderr, "zaptor-table: %s\n", message.c_str());
}

std::string reason(int error) { return std::strerror(error != 0 ? error : EIO); }

int usage(std::FILE* to, int status) {
  std::fwrite(kUsage.data(), 1, kUsage.size(), to);
  return status;
}

bool read_text_file(const std::string& path, std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    complain("cannot open " + path + ": " + reason(errno));
    return false;
  }
  std::string chunk(1 << 16, '\0');
  std::size_t got = 0;
  errno = 0;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) text.append(chunk, 0, got);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) {
    complain("cannot read " + path + ": " + reason(error));
    return false;
  }
  return true;
}

// Writes all of `bytes` to `file` and closes it; false with errno on error.
bool write_and_close(std::FILE* file, std::string_view bytes, int& error) {
  errno = 0;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  error = errno;
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    error = errno;
  }
  return ok;
}

// Replaces `path` with `bytes` so that a failure leaves whatever stood there
// before: the bytes go to a new file in the same directory, which is renamed
// over the old one only when it is complete. A path that is not a regular
// file (a device, a pipe) cannot be replaced and is written to directly.
bool write_output(const std::string& path, std::string_view bytes) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      complain("cannot open " + path + ": " + reason(errno));
      return false;
    }
    int error = 0;
    if (!write_and_close(file, bytes, error)) {
      complain("cannot write " + path + ": " + reason(error));
      return false;
    }
    return true;
  }

  // Through a symbolic link the file it names is replaced, not the link.
  fs::path target = path;
  if (fs::exists(status)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = std::move(resolved);
  }
  std::string temporary;
  std::FILE* file = nullptr;
  for (int attempt = 0; attempt < 1000 && file == nullptr; ++attempt) {
    temporary = target.string() + ".tmp" + std::to_string(attempt);
    errno = 0;
    file = std::fopen(temporary.c_str(), "wbx");  // never reuses an existing file
    if (file == nullptr && errno != EEXIST) break;
  }
  if (file == nullptr) {
    complain("cannot create a temporary file for " + path + ": " + reason(errno));
    return false;
  }
  int error = 0;
  if (!write_and_close(file, bytes, error)) {
    std::remove(temporary.c_str());
    complain("cannot write " + path + ": " + reason(error));
    return false;
  }
  errno = 0;
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    error = errno;
    std::remove(temporary.c_str());
    complain("cannot replace " + path + ": " + reason(error));
    return false;
  }
  return true;
}

int compile(const std::string& table, const std::string& out) {
  std::error_code ec;
  if (fs::equivalent(table, out, ec)) {
    complain(out + " is the table " + table + " itself; it is left as it is");
    return 1;
  }
  std::string text;
  if (!read_text_file(table, text)) return 1;
  const ParsedTable parsed = parse_table_text(text);
  if (!parsed.ok()) {
    std::fprintf(stderr, "%s:%zu: %s\n", table.c_str(), parsed.error->line,
                 parsed.error->message.c_str());
    return 1;
  }
  const Encoded encoded = encode_compiled(parsed.entries);
  if (!encoded.ok()) {
    complain(table + ": entry " + std::to_string(encoded.entry + 1) + ": " + encoded.error);
    return 1;
  }
  return write_output(out, encoded.bytes) ? 0 : 1;
}

int decompile(const std::string& in) {
  std::FILE* file = std::fopen(in.c_str(), "rb");
  if (file == nullptr) {
    complain("cannot open " + in + ": " + reason(errno));
    return 1;
  }
  const Decoded decoded = decode_compiled(file);
  std::fclose(file);
  if (decoded.status.read_error != 0) {
    complain("cannot read " + in + ": " + reason(decoded.status.read_error));
    return 1;
  }
  if (decoded.status.damaged) {
    complain(in + " is damaged: it announces " + std::to_string(decoded.status.announced) +
             " records but holds only " + std::to_string(decoded.status.loaded));
    return 1;
  }
  // A field filled to its last byte loads, but no writer may produce it.
  for (std::size_t i = 0; i < decoded.entries.size(); ++i) {
    const std::string problem = encode_problem(decoded.entries[i]);
    if (!problem.empty()) {
      complain(in + ": entry " + std::to_string(i + 1) + ": " + problem +
               "; compile will refuse it until it is shortened");
    }
  }
  const std::string text = format_table_text(decoded.entries);
  int error = 0;
  if (!write_and_close(stdout, text, error)) {
    complain("cannot write the standard output: " + reason(error));
    return 1;
  }
  return 0;
}

int run(const std::vector<std::string>& args) {
  if (args.size() == 2 && (args[1] == "-h" || args[1] == "--help")) return usage(stdout, 0);
  if (args.size() == 4 && args[1] == "compile") return compile(args[2], args[3]);
  if (args.size() == 3 && args[1] == "decompile") return decompile(args[2]);
  return usage(stderr, 2);
}

}  // namespace
}  // namespace zaptor

int main(int argc, char** argv) {
  return zaptor::run(std::vector<std::string>(argv, argv + argc));
}
