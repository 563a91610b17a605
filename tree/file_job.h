// The work on one file of a tree command, done in any thread: read it,
// convert it, and write, diff or survey what came out.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/table.h"
#include "tree/file_walk.h"
#include "tree/survey.h"

namespace zaptor {

enum class Command { diff, apply, copy, survey, left };

// What survey keeps of each call: its line for the output, its message
// counted, or the call itself for JSON.
enum class SurveyList { lines, totals, json };

// What every file of one run is done with; shared by all the threads and
// never changed while they run.
struct JobSettings {
  Command command = Command::diff;
  std::shared_ptr<const Table> table;       // the conversion's, or survey's own
  std::vector<SurveyFunction> functions;    // survey: by entry of `table`
  SurveyList survey_list = SurveyList::lines;
  std::size_t context = 3;                  // diff
  std::string backup_suffix;                // apply: empty, no backup
  std::string copy_to;                      // copy
  const re2::RE2* pattern = nullptr;        // left
  const std::atomic<bool>* interrupted = nullptr;
};

struct SurveyCall {
  std::uint64_t line;
  int function;  // index in JobSettings::functions
  std::string message;
};

struct FileResult {
  std::string path;
  bool failed = false;
  bool changed = false;                    // the conversion differs from the file
  std::string out;                         // for the standard output: the file's diff
  std::vector<std::string> messages;       // for the standard error, in order
  std::vector<std::uint64_t> rewritten;    // calls rewritten, by entry
  std::uint64_t reports = 0, open_calls = 0;
  std::uint64_t surveyed = 0;              // survey: the calls, and as survey_list says
  std::vector<SurveyCall> calls;           //   the calls themselves
  std::unordered_map<std::string, std::uint64_t> message_counts;  //   or their messages counted
  std::unordered_map<std::string, std::uint64_t> left;  // left: names and their calls
};

FileResult run_file(const WalkedFile& file, const JobSettings& settings);

}  // namespace zaptor
