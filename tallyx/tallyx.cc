// tallyx: lists the message of every WinSendMsg, WinPostMsg and
// WinSendDlgItemMsg call in a C source.
#include <cstdio>
#include <string>

#include "engine/source_loop.h"
#include "engine/standard_streams.h"
#include "options/myopt.h"
#include "tallyx/tallyx_table.h"

using namespace zaptor;

namespace {

constexpr std::string_view kProgram = "tallyx";
constexpr int kUsageStatus = 2;

int useage(Output& out) {
  out.write("Useage: tallyx file \n");
  out.close();
  return kUsageStatus;
}

int run(int argc, char** argv) {
  if (!claim_standard_streams()) {
    report_error(kProgram, "cannot write to the standard output: it is closed");
    return 1;
  }
  Output out(stdout);
  std::string src;
  for (int rc; (rc = my_getopt(argc, argv, "")) != 0;) {
    if (!src.empty()) return useage(out);
    src = p_optstr;
  }
  if (src.empty()) return useage(out);

  std::FILE* file = std::fopen(src.c_str(), "rb");
  if (file == nullptr) {
    out.write("Could not open " + src + "\n");
    out.close();
    return 1;
  }
  LineReader source(file);
  EngineState& e = engine();
  e.fp_src = &source;
  e.fp_dst = &out;
  e.bEchoFormatted = true;
  init_dat(0);

  int status = 0;
  process_source(source, nullptr);
  if (source.failed()) {
    report_errno(kProgram, "cannot read " + src, source.error());
    status = 1;
  }
  std::fclose(file);
  if (!out.close()) {
    report_errno(kProgram, "cannot write the output", out.error());
    status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  return run_reporting_failures(kProgram, [&] { return run(argc, argv); });
}
