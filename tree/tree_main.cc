#include "tree/tree_main.h"

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <re2/re2.h>

#include <atomic>
#include <csignal>
#include <chrono>
#include <sstream>
#include <thread>

#include "engine/exit_status.h"
#include "engine/version.h"
#include "tree/file_walk.h"
#include "tree/ordered_runner.h"
#include "tree/report.h"
#include "tree/tree_table.h"

namespace zaptor {

namespace {

std::atomic<bool> g_interrupted{false};
volatile std::sig_atomic_t g_signal = 0;

extern "C" void note_signal(int signal_number) {
  g_signal = signal_number;
  g_interrupted.store(true);
}

// Files being replaced finish or are given up, never cut: a signal only
// stops the run from taking further files.
void catch_signals() {
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
}

// Ends the process as the signal that stopped the run would have.
void die_of_caught_signal() {
  const int s = g_signal;
  if (s == 0) return;
  ::signal(s, SIG_DFL);
  ::raise(s);
}

const char* command_name(Command command) {
  switch (command) {
    case Command::diff:
      return "diff";
    case Command::apply:
      return "apply";
    case Command::copy:
      return "copy";
    case Command::survey:
      return "survey";
    case Command::left:
      return "left";
  }
  return "";
}

struct Options {
  std::string table;
  std::vector<std::string> paths, include, exclude;
  bool follow = false, quiet = false, json = false;
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  std::size_t context = 3;
  bool check = false, totals = false;
  std::string backup, to, functions, pattern{kOldApiPattern};
};

void add_common(CLI::App& command, Options& o) {
  command.add_option("PATH", o.paths, "files and folders to work on")->required();
  command.add_option("-t,--table", o.table, "a compiled zaptor.bin or a text table (default: zaptor.bin, else zaptor.txt)");
  command.add_option("--include", o.include, "take only the files that match GLOB (repeatable)")->type_name("GLOB");
  command.add_option("--exclude", o.exclude, "leave out files and folders that match GLOB (repeatable)")->type_name("GLOB");
  command.add_flag("--follow", o.follow, "follow symbolic links met in folders");
  command.add_option("-j,--jobs", o.jobs, "files converted at once (default: the number of cores)")
      ->check(CLI::Range(1u, 1024u));
  command.add_flag("-q,--quiet", o.quiet, "no summary and no progress line");
  command.add_flag("--json", o.json, "one JSON document on the standard output");
}

// The standard error, with a progress line that other lines clear first.
class Console {
 public:
  Console(const ProgramIo& io, bool quiet) : io_(io), show_progress_(!quiet && ::isatty(::fileno(io.err)) == 1) {}
  void out(const std::string& text) {
    if (text.empty()) return;
    clear_progress();
    std::fwrite(text.data(), 1, text.size(), io_.out);
  }
  void err(const std::string& line) {
    clear_progress();
    std::fprintf(io_.err, "%s\n", line.c_str());
  }
  void progress(std::size_t done, std::size_t count) {
    if (!show_progress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    std::fflush(io_.out);
    std::fprintf(io_.err, "\rzaptor-tree: %zu/%zu files", done, count);
    std::fflush(io_.err);
    shown_ = true;
  }
  void clear_progress() {
    if (!shown_) return;
    std::fputs("\r\033[K", io_.err);
    shown_ = false;
  }
  bool flush_out() { return std::fflush(io_.out) == 0 && std::ferror(io_.out) == 0; }

 private:
  ProgramIo io_;
  bool show_progress_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), last_{};
};

class TreeRun {
 public:
  TreeRun(Command command, const Options& o, const ProgramIo& io) : command_(command), o_(o), io_(io), console_(io, o.quiet) {}
  int run();

 private:
  bool settle();
  void deliver(FileResult& r);
  int finish();
  void fail(const std::string& message) { console_.err("zaptor-tree: " + message); }

  Command command_;
  const Options& o_;
  ProgramIo io_;
  Console console_;
  JobSettings settings_;
  std::unique_ptr<re2::RE2> pattern_;
  std::optional<RunTotals> totals_;
  nlohmann::json calls_ = nlohmann::json::array();
};

// The table and the settings every file shares; false, with a message,
// when the run cannot start.
bool TreeRun::settle() {
  settings_.command = command_;
  settings_.context = o_.context;
  settings_.backup_suffix = o_.backup;
  settings_.copy_to = o_.to;
  settings_.interrupted = &g_interrupted;
  settings_.survey_list = o_.totals ? SurveyList::totals : o_.json ? SurveyList::json : SurveyList::lines;
  if (command_ == Command::survey) {
    std::string error;
    settings_.functions = o_.functions.empty() ? message_functions() : parse_functions(o_.functions, error);
    if (!error.empty()) {
      fail(error);
      return false;
    }
    settings_.table = survey_table(settings_.functions);
    return true;
  }
  TreeTable table = load_tree_table(o_.table);
  if (!table.table) {
    fail(table.error + "; no file touched");
    return false;
  }
  settings_.table = table.table;
  if (command_ == Command::left) {
    re2::RE2::Options options;
    options.set_log_errors(false);
    pattern_ = std::make_unique<re2::RE2>(o_.pattern, options);
    if (!pattern_->ok()) {
      fail("--pattern: " + pattern_->error());
      return false;
    }
    settings_.pattern = pattern_.get();
  }
  return true;
}

void TreeRun::deliver(FileResult& r) {
  totals_->add(r);
  for (const std::string& m : r.messages) console_.err(m);
  console_.out(r.out);
  for (const SurveyCall& call : r.calls) calls_.push_back(json_call(settings_, r.path, call));
}

int TreeRun::run() {
  if (!settle()) return kExitFailure;
  WalkOptions walk;
  walk.include = o_.include;
  walk.exclude = o_.exclude;
  walk.follow = o_.follow;
  if (command_ == Command::copy) walk.skip.push_back(o_.to);
  const WalkResult walked = walk_paths(o_.paths, walk);
  for (const std::string& note : walked.notes) console_.err(note);
  for (const std::string& error : walked.errors) console_.err(error);
  totals_.emplace(settings_);
  totals_->add_walk_errors(walked.errors.size());

  if (command_ == Command::apply || command_ == Command::copy) catch_signals();
  RunnerOptions runner;
  runner.jobs = o_.jobs;
  runner.stop = &g_interrupted;
  const std::size_t count = walked.files.size();
  run_in_order(
      count, runner, [&](std::size_t i) { return run_file(walked.files[i], settings_); },
      [&](std::size_t i, FileResult& r) {
        deliver(r);
        console_.progress(i + 1, count);
      });
  console_.clear_progress();
  return finish();
}

int TreeRun::finish() {
  if (o_.json && command_ != Command::diff) {
    nlohmann::json document = {{"command", command_name(command_)}};
    if (command_ == Command::survey) document[o_.totals ? "totals" : "calls"] = o_.totals ? totals_->json_totals() : calls_;
    if (command_ == Command::left) document["left"] = totals_->json_left();
    document["summary"] = totals_->json();
    console_.out(dump_json(document));
  } else if (command_ == Command::survey && o_.totals) {
    console_.out(totals_->totals_text());
  } else if (command_ == Command::left) {
    console_.out(totals_->left_text());
  }
  if (o_.json && command_ == Command::diff) {
    std::string summary = dump_json({{"command", command_name(command_)}, {"summary", totals_->json()}});
    summary.pop_back();
    console_.err(summary);
  } else if (!o_.quiet && !o_.json) {
    std::string summary = totals_->text();
    summary.pop_back();
    console_.err(summary);
  }
  int status = totals_->failed() > 0 || (o_.check && totals_->changed() > 0) ? kExitFailure : kExitOk;
  if (!console_.flush_out()) {
    fail("cannot write the standard output");
    status = kExitFailure;
  }
  die_of_caught_signal();
  return status;
}

int parse_and_run(int argc, char** argv, const ProgramIo& io) {
  CLI::App app{"zaptor-tree: convert, preview and survey a whole code base with a zaptor table", "zaptor-tree"};
  app.set_version_flag("--version", "zaptor-tree " + std::string(kVersion));
  app.require_subcommand(1);
  Options o;
  CLI::App* diff = app.add_subcommand("diff", "print a unified diff of every file that would change; change nothing");
  add_common(*diff, o);
  diff->add_option("-U,--unified", o.context, "lines of context (default 3)")->type_name("N");
  diff->add_flag("--check", o.check, "exit 1 when any file would change");
  CLI::App* apply = app.add_subcommand("apply", "convert the files in place");
  add_common(*apply, o);
  apply->add_option("--backup", o.backup, "keep each original beside it, its name followed by SUFFIX")->type_name("SUFFIX");
  CLI::App* copy = app.add_subcommand("copy", "write converted copies under DIR, at the same relative paths");
  add_common(*copy, o);
  copy->add_option("--to", o.to, "the folder of the copies")->required()->type_name("DIR");
  CLI::App* survey = app.add_subcommand("survey", "list the message of every WinSendMsg, WinPostMsg, WinSendDlgItemMsg call");
  add_common(*survey, o);
  survey->add_flag("--totals", o.totals, "the count of each message, most frequent first");
  survey->add_option("--functions", o.functions, "survey these functions instead, N the parameter listed")->type_name("NAME:N,...");
  CLI::App* left = app.add_subcommand("left", "list the calls of the old API that the table does not rewrite");
  add_common(*left, o);
  left->add_option("--pattern", o.pattern, "names of the old API (default: " + std::string(kOldApiPattern) + ")")->type_name("REGEX");

  std::ostringstream out, err;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    const std::string o_text = out.str(), e_text = err.str();
    std::fwrite(o_text.data(), 1, o_text.size(), io.out);
    std::fwrite(e_text.data(), 1, e_text.size(), io.err);
    if (code == 0) return std::fflush(io.out) == 0 && std::ferror(io.out) == 0 ? kExitOk : kExitFailure;
    return kExitUsage;
  }
  const Command command = diff->parsed()     ? Command::diff
                          : apply->parsed()  ? Command::apply
                          : copy->parsed()   ? Command::copy
                          : survey->parsed() ? Command::survey
                                             : Command::left;
  TreeRun run(command, o, io);
  return run.run();
}

}  // namespace

int tree_main(int argc, char** argv, const ProgramIo& io) {
  const Diagnostics diagnostics("zaptor-tree", io.err);
  return run_reporting_failures(diagnostics, [&] { return parse_and_run(argc, argv, io); });
}

}  // namespace zaptor
