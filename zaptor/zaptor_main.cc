#include "zaptor/zaptor_main.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "engine/exit_status.h"
#include "engine/version.h"
#include "options/myopt.h"
#include "zaptor/compiled.h"
#include "zaptor/destination.h"
#include "zaptor/replacing_file.h"

namespace zaptor {

namespace {

const std::string chBinFile = "zaptor.bin";

constexpr std::string_view kUsage =
    "Useage: zaptor [-v -d ] file_name [ file_result ] \n"
    "        -d -- dump data file. \n"
    "        -v -- Verbose, echo input to screen. \n";

std::string damage_message(const LoadResult& table) {
  return chBinFile + " is damaged: it announces " + std::to_string(table.announced) +
         " records but holds " + std::to_string(table.loaded);
}

std::string endless_message(const std::string& src, std::uint64_t line, const std::string& dst) {
  return src + ":" + std::to_string(line) + ": " + growth_stop_reason() + "; " + dst + " left as it was";
}

// One run of the program: its streams, and the steps of zaptor's main.
class Rewriter {
 public:
  explicit Rewriter(const ProgramIo& io) : io_(io), diagnostics_("zaptor", io.err), console_(io.out) {}
  const Diagnostics& diagnostics() const { return diagnostics_; }
  int run(int argc, char** argv);

 private:
  int useage();
  int finish(int status);
  std::FILE* open_macro_file(int& status);
  std::shared_ptr<const Table> load_table(bool bDump, int& status);
  int convert(std::shared_ptr<const Table> table, const std::string& src, const std::string& dst);

  ProgramIo io_;
  Diagnostics diagnostics_;
  Output console_;
  bool bVerbose_ = false;
};

int Rewriter::useage() {
  console_.write(kUsage);
  return finish(kExitUsage);
}

// Ends the run with `status`, unless the console output fails.
int Rewriter::finish(int status) {
  if (!console_.flush()) {
    diagnostics_.error("cannot write to the standard output", console_.error());
    return kExitFailure;
  }
  return status;
}

// Opens the macro file without waiting on it: a FIFO that nobody writes
// would block the run forever. Null, with a message, when it cannot be used.
std::FILE* Rewriter::open_macro_file(int& status) {
  const int fd = ::open(chBinFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    console_.write("Failed to open DataFile " + chBinFile + "\n");
    status = kExitFailure;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
    ::close(fd);
    diagnostics_.error(chBinFile + " is a FIFO or socket, not a macro file; nothing done");
    status = kExitFailure;
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    ::close(fd);
    diagnostics_.error("cannot read " + chBinFile, errno);
    status = kExitFailure;
  }
  return file;
}

// The table; null (with a message) when it cannot be used.
std::shared_ptr<const Table> Rewriter::load_table(bool bDump, int& status) {
  std::FILE* fp_dat = open_macro_file(status);
  if (fp_dat == nullptr) return nullptr;
  const Loaded loaded = read_compiled(fp_dat);
  std::fclose(fp_dat);
  if (loaded.status.read_error != 0) {
    diagnostics_.error("cannot read " + chBinFile, loaded.status.read_error);
    status = kExitFailure;
    return nullptr;
  }
  if (bDump) {
    print_dat(*loaded.table, console_);
    console_.flush();
  }
  if (loaded.status.damaged) {
    diagnostics_.error(damage_message(loaded.status));
    status = kExitFailure;
    return nullptr;
  }
  return loaded.table;
}

// Converts src into dst; the exit status. dst changes only when all went well.
int Rewriter::convert(std::shared_ptr<const Table> table, const std::string& src, const std::string& dst) {
  std::FILE* in = std::fopen(src.c_str(), "rb");
  if (in == nullptr) {
    console_.write("Could not open " + src + "\n");
    return finish(kExitFailure);
  }
  LineReader source(in);
  // A source that cannot be read must not cost the destination its contents.
  if (!source.ready()) {
    diagnostics_.error("cannot read " + src, source.error());
    std::fclose(in);
    return finish(kExitFailure);
  }
  if (is_same_file(src, dst)) {
    diagnostics_.error(dst + " is the source itself; nothing written");
    std::fclose(in);
    return finish(kExitFailure);
  }
  ReplacingFile out_file;
  if (!out_file.open(dst)) {
    console_.write("Could not open " + dst + "\n");
    std::fclose(in);
    return finish(kExitFailure);
  }
  Output destination(out_file.stream());
  Output echo(io_.err);
  Conversion conversion(std::move(table));
  conversion.bVerbose = bVerbose_;
  conversion.fp_src = &source;
  conversion.fp_dst = &destination;
  conversion.fp_err = &echo;

  int status = kExitOk;
  const SourceResult result = conversion.process_source(source, &destination);
  echo.flush();
  if (result.status == ScanStatus::endless_rewrite) {
    diagnostics_.error(endless_message(src, result.line, dst));
    status = kExitFailure;
  }
  if (source.failed()) {
    diagnostics_.error("cannot read " + src, source.error());
    status = kExitFailure;
  }
  std::fclose(in);
  if (!destination.flush()) {
    diagnostics_.error("cannot write " + dst, destination.error());
    status = kExitFailure;
  }
  if (status == kExitOk && !out_file.commit()) {
    diagnostics_.error("cannot write " + dst, errno);
    status = kExitFailure;
  }
  return finish(status);
}

int Rewriter::run(int argc, char** argv) {
  // Only the first word, and only exactly: any other word stays a file name
  // as my_getopt hands it out.
  if (argc >= 2 && std::string_view(argv[1]) == "--help") {
    console_.write(kUsage);
    return finish(kExitOk);
  }
  if (argc >= 2 && std::string_view(argv[1]) == "--version") {
    console_.write("zaptor " + std::string(kVersion) + "\n");
    return finish(kExitOk);
  }
  std::string src;
  std::string dst;
  bool bDump = false;
  my_getopt_reset();
  for (int rc; (rc = my_getopt(argc, argv, "vd")) != 0;) {
    if (rc == 'd') {
      bDump = true;
    } else if (rc == 'v') {
      bVerbose_ = true;
    } else if (src.empty()) {
      src = p_optstr;
    } else if (dst.empty()) {
      dst = p_optstr;
    } else {
      return useage();
    }
  }
  if (src.empty() && !bDump) return useage();

  int status = kExitOk;
  std::shared_ptr<const Table> table = load_table(bDump, status);
  if (table == nullptr || bDump) return finish(status);

  if (dst.empty()) dst = derived_destination(src);
  console_.write("src: (" + src + ") dst (" + dst + ")\n");
  // The console line must be out before any file can take the place of a
  // closed standard output.
  if (!console_.flush()) return finish(kExitFailure);
  return convert(std::move(table), src, dst);
}

}  // namespace

int zaptor_main(int argc, char** argv, const ProgramIo& io) {
  Rewriter rewriter(io);
  // The destination's temporary file is gone with the stack.
  return run_reporting_failures(rewriter.diagnostics(), [&] { return rewriter.run(argc, argv); });
}

}  // namespace zaptor
