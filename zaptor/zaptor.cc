// zaptor: rewrites the calls of the functions listed in zaptor.bin into the
// text their entries' formats build from each call's parameters.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "engine/source_loop.h"
#include "engine/standard_streams.h"
#include "options/myopt.h"
#include "zaptor/compiled.h"
#include "zaptor/destination.h"
#include "zaptor/replacing_file.h"

using namespace zaptor;

namespace {

constexpr std::string_view kProgram = "zaptor";
constexpr int kUsageStatus = 2;
const std::string chBinFile = "zaptor.bin";

int useage(Output& console) {
  console.write("Useage: zaptor [-v -d ] file_name [ file_result ] \n");
  console.write("        -d -- dump data file. \n");
  console.write("        -v -- Verbose, echo input to screen. \n");
  console.close();
  return kUsageStatus;
}

// Ends the run with `status`, unless the console output fails.
int finish(Output& console, int status) {
  if (!console.close()) {
    report_errno(kProgram, "cannot write to the standard output", console.error());
    return 1;
  }
  return status;
}

std::string damage_message(const LoadResult& table) {
  return chBinFile + " is damaged: it announces " + std::to_string(table.announced) +
         " records but holds " + std::to_string(table.loaded);
}

// Opens the macro file without waiting on it: a FIFO that nobody writes
// would block the run forever. Null, with a message, when it cannot be used.
std::FILE* open_macro_file(Output& console, int& status) {
  const int fd = ::open(chBinFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    console.write("Failed to open DataFile " + chBinFile + "\n");
    status = 1;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
    ::close(fd);
    report_error(kProgram, chBinFile + " is a FIFO or socket, not a macro file; nothing done");
    status = 1;
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    ::close(fd);
    report_errno(kProgram, "cannot read " + chBinFile, errno);
    status = 1;
  }
  return file;
}

// Loads the table; false (with a message) when it cannot be used.
bool load_table(Output& console, bool bDump, int& status) {
  std::FILE* fp_dat = open_macro_file(console, status);
  if (fp_dat == nullptr) return false;
  const LoadResult table = read_compiled(fp_dat);
  std::fclose(fp_dat);
  if (table.read_error != 0) {
    report_errno(kProgram, "cannot read " + chBinFile, table.read_error);
    status = 1;
    return false;
  }
  if (bDump) {
    print_dat(console);
    console.flush();
  }
  if (table.damaged) {
    report_error(kProgram, damage_message(table));
    status = 1;
    return false;
  }
  return true;
}

std::string endless_message(const std::string& src, std::uint64_t line, const std::string& dst) {
  return src + ":" + std::to_string(line) + ": the rewrites of this line write more than " +
         std::to_string(kGrowthRatio) + " times its length (and over " + std::to_string(kGrowthFloor >> 20) +
         " MiB): a format that keeps re-creating its call, or output out of all proportion; " + dst +
         " left as it was";
}

// Converts src into dst; the exit status. dst changes only when all went well.
int convert(Output& console, const std::string& src, const std::string& dst) {
  std::FILE* in = std::fopen(src.c_str(), "rb");
  if (in == nullptr) {
    console.write("Could not open " + src + "\n");
    return finish(console, 1);
  }
  LineReader source(in);
  // A source that cannot be read must not cost the destination its contents.
  if (!source.ready()) {
    report_errno(kProgram, "cannot read " + src, source.error());
    std::fclose(in);
    return finish(console, 1);
  }
  if (is_same_file(src, dst)) {
    report_error(kProgram, dst + " is the source itself; nothing written");
    std::fclose(in);
    return finish(console, 1);
  }
  ReplacingFile out_file;
  if (!out_file.open(dst)) {
    console.write("Could not open " + dst + "\n");
    std::fclose(in);
    return finish(console, 1);
  }
  Output destination(out_file.stream());
  Output echo(stderr);
  EngineState& e = engine();
  e.fp_src = &source;
  e.fp_dst = &destination;
  e.fp_err = &echo;

  int status = 0;
  const SourceResult result = process_source(source, &destination);
  echo.flush();
  if (result.status == ScanStatus::endless_rewrite) {
    report_error(kProgram, endless_message(src, result.line, dst));
    status = 1;
  }
  if (source.failed()) {
    report_errno(kProgram, "cannot read " + src, source.error());
    status = 1;
  }
  std::fclose(in);
  if (!destination.flush()) {
    report_errno(kProgram, "cannot write " + dst, destination.error());
    status = 1;
  }
  if (status == 0 && !out_file.commit()) {
    report_errno(kProgram, "cannot write " + dst, errno);
    status = 1;
  }
  return finish(console, status);
}

int run(int argc, char** argv) {
  if (!claim_standard_streams()) {
    report_error(kProgram, "cannot write to the standard output: it is closed");
    return 1;
  }
  Output console(stdout);
  std::string src;
  std::string dst;
  bool bDump = false;
  for (int rc; (rc = my_getopt(argc, argv, "vd")) != 0;) {
    if (rc == 'd') {
      bDump = true;
    } else if (rc == 'v') {
      engine().bVerbose = true;
    } else if (src.empty()) {
      src = p_optstr;
    } else if (dst.empty()) {
      dst = p_optstr;
    } else {
      return useage(console);
    }
  }
  if (src.empty() && !bDump) return useage(console);

  int status = 0;
  if (!load_table(console, bDump, status) || bDump) return finish(console, status);

  if (dst.empty()) dst = derived_destination(src);
  console.write("src: (" + src + ") dst (" + dst + ")\n");
  // The console line must be out before any file can take the place of a
  // closed standard output.
  if (!console.flush()) return finish(console, 1);
  return convert(console, src, dst);
}

}  // namespace

int main(int argc, char** argv) {
  // The destination's temporary file is gone with the stack.
  return run_reporting_failures(kProgram, [&] { return run(argc, argv); });
}
