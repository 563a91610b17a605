// zaptor-table: compiles a text macro table into the compiled macro file
// that zaptor loads, decompiles such a file back into text, and checks a
// text table for entries that cannot work as meant.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/version.h"
#include "zaptor/compiled.h"
#include "zaptor/replacing_file.h"
#include "zaptor/table_check.h"
#include "zaptor/table_text.h"

namespace zaptor {
namespace {

constexpr std::string_view kUsage =
    "usage: zaptor-table compile TABLE.txt OUT.bin\n"
    "       zaptor-table decompile IN.bin\n"
    "       zaptor-table check TABLE.txt\n";

void complain(const std::string& message) {
  std::fprintf(stderr, "zaptor-table: %s\n", message.c_str());
}

std::string reason(int error) { return std::strerror(error != 0 ? error : EIO); }

// Writes all of `bytes` to a standard stream; false (with a message) on error.
bool write_all(std::FILE* to, std::string_view bytes) {
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), to) == bytes.size() && std::fflush(to) == 0) return true;
  complain(std::string("cannot write the standard ") + (to == stdout ? "output" : "error") + ": " + reason(errno));
  return false;
}

int usage(std::FILE* to, int status) { return write_all(to, kUsage) ? status : 1; }

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

// Replaces `path` with `bytes` so that a failure leaves whatever stood there
// before (see replacing_file.h).
bool write_output(const std::string& path, std::string_view bytes) {
  ReplacingFile file;
  if (!file.open(path)) {
    complain("cannot open " + path + ": " + reason(errno));
    return false;
  }
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size() || !file.commit()) {
    complain("cannot write " + path + ": " + reason(errno));
    return false;
  }
  return true;
}

// Reads and parses a text table; false (with the fault and its line) when
// it cannot be.
bool read_table(const std::string& table, ParsedTable& parsed) {
  std::string text;
  if (!read_text_file(table, text)) return false;
  parsed = parse_table_text(text);
  if (parsed.ok()) return true;
  std::fprintf(stderr, "%s:%zu: %s\n", table.c_str(), parsed.error->line, parsed.error->message.c_str());
  return false;
}

int compile(const std::string& table, const std::string& out) {
  std::error_code ec;
  if (std::filesystem::equivalent(table, out, ec)) {
    complain(out + " is the table " + table + " itself; it is left as it is");
    return 1;
  }
  ParsedTable parsed;
  if (!read_table(table, parsed)) return 1;
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
  return write_all(stdout, format_table_text(decoded.entries)) ? 0 : 1;
}

// Warnings go where the faults of compile go, so that standard output
// stays free for what a command produces.
int check(const std::string& table) {
  ParsedTable parsed;
  if (!read_table(table, parsed)) return 1;
  const std::vector<TableWarning> warnings = check_table(parsed);
  std::string report;
  for (const TableWarning& w : warnings) {
    report += table + ":" + std::to_string(w.line) + ": warning: " + w.message + "\n";
  }
  if (!report.empty() && !write_all(stderr, report)) return 1;
  return warnings.empty() ? 0 : 1;
}

int run(const std::vector<std::string>& args) {
  if (args.size() == 2 && (args[1] == "-h" || args[1] == "--help")) return usage(stdout, 0);
  if (args.size() == 2 && args[1] == "--version") {
    return write_all(stdout, "zaptor-table " + std::string(kVersion) + "\n") ? 0 : 1;
  }
  if (args.size() == 3 && args[1] == "check") return check(args[2]);
  if (args.size() == 4 && args[1] == "compile") return compile(args[2], args[3]);
  if (args.size() == 3 && args[1] == "decompile") return decompile(args[2]);
  return usage(stderr, 2);
}

}  // namespace
}  // namespace zaptor

int main(int argc, char** argv) {
  return zaptor::run_reporting_failures(zaptor::Diagnostics("zaptor-table", stderr),
                                        [&] { return zaptor::run(std::vector<std::string>(argv, argv + argc)); });
}
