#include "tallyx/tallyx_main.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "engine/exit_status.h"
#include "engine/version.h"
#include "options/myopt.h"
#include "tallyx/tallyx_table.h"

namespace zaptor {

namespace {

constexpr std::string_view kUsage = "Useage: tallyx file \n";

int useage(Output& out) {
  out.write(kUsage);
  out.flush();
  return kExitUsage;
}

// --help and --version: `text` on the output, and success only when it got
// there.
int answer(Output& out, std::string_view text, const Diagnostics& diagnostics) {
  out.write(text);
  if (out.flush()) return kExitOk;
  diagnostics.error("cannot write the output", out.error());
  return kExitFailure;
}

int list_messages(int argc, char** argv, const ProgramIo& io, const Diagnostics& diagnostics) {
  Output out(io.out);
  // Only the first word, and only exactly: any other word stays the file name.
  if (argc >= 2 && std::string_view(argv[1]) == "--help") return answer(out, kUsage, diagnostics);
  if (argc >= 2 && std::string_view(argv[1]) == "--version") {
    return answer(out, "tallyx " + std::string(kVersion) + "\n", diagnostics);
  }
  std::string src;
  my_getopt_reset();
  for (int rc; (rc = my_getopt(argc, argv, "")) != 0;) {
    if (!src.empty()) return useage(out);
    src = p_optstr;
  }
  if (src.empty()) return useage(out);

  std::FILE* file = std::fopen(src.c_str(), "rb");
  if (file == nullptr) {
    out.write("Could not open " + src + "\n");
    out.flush();
    return kExitFailure;
  }
  LineReader source(file);
  Conversion conversion(init_dat(0));
  conversion.fp_src = &source;
  conversion.fp_dst = &out;
  conversion.bEchoFormatted = true;

  int status = kExitOk;
  const SourceResult result = conversion.process_source(source, nullptr);
  if (result.status == ScanStatus::endless_rewrite) {
    diagnostics.error(src + ":" + std::to_string(result.line) + ": the reports of this line's calls pass " +
                      std::to_string(kGrowthRatio) + " times its length (and " + std::to_string(kGrowthFloor >> 20) +
                      " MiB): output out of all proportion; the rest of " + src + " is not listed");
    status = kExitFailure;
  }
  if (source.failed()) {
    diagnostics.error("cannot read " + src, source.error());
    status = kExitFailure;
  }
  std::fclose(file);
  if (!out.flush()) {
    diagnostics.error("cannot write the output", out.error());
    status = kExitFailure;
  }
  return status;
}

}  // namespace

int tallyx_main(int argc, char** argv, const ProgramIo& io) {
  const Diagnostics diagnostics("tallyx", io.err);
  return run_reporting_failures(diagnostics, [&] { return list_messages(argc, argv, io, diagnostics); });
}

}  // namespace zaptor
