// zaptor: rewrites the calls of the functions listed in zaptor.bin into the
// text their entries' formats build from each call's parameters.
#include <cstdio>
#include <string>

#include "engine/source_loop.h"
#include "engine/standard_streams.h"
#include "options/myopt.h"
#include "zaptor/compiled.h"
#include "zaptor/destination.h"

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

// Loads the table; false (with a message) when it cannot be used.
bool load_table(Output& console, bool bDump, int& status) {
  std::FILE* fp_dat = std::fopen(chBinFile.c_str(), "rb");
  if (fp_dat == nullptr) {
    console.write("Failed to open DataFile " + chBinFile + "\n");
    status = 1;
    return false;
  }
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

// Converts src into dst; the exit status.
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
  std::FILE* out_file = std::fopen(dst.c_str(), "wb");
  if (out_file == nullptr) {
    console.write("Could not open " + dst + "\n");
    std::fclose(in);
    return finish(console, 1);
  }
  Output destination(out_file);
  Output echo(stderr);
  EngineState& e = engine();
  e.fp_src = &source;
  e.fp_dst = &destination;
  e.fp_err = &echo;

  int status = 0;
  try {
    const SourceResult result = process_source(source, &destination);
    if (result.status == ScanStatus::endless_rewrite) {
      echo.flush();
      report_error(kProgram, src + ":" + std::to_string(result.line) +
                                 ": a format keeps re-creating the call it rewrites; stopped");
      status = 1;
    }
  } catch (const std::bad_alloc&) {
    echo.flush();
    report_error(kProgram, "out of memory");
    status = 1;
  }
  echo.flush();
  if (source.failed()) {
    report_errno(kProgram, "cannot read " + src, source.error());
    status = 1;
  }
  std::fclose(in);
  if (!destination.close()) {
    report_errno(kProgram, "cannot write " + dst, destination.error());
    status = 1;
  }
  return finish(console, status);
}

}  // namespace

int main(int argc, char** argv) {
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
