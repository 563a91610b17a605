// What a tree command tells at the end: the summary for people on the
// standard error, or one JSON document for programs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tree/file_job.h"

namespace zaptor {

class RunTotals {
 public:
  RunTotals(const JobSettings& settings) : settings_(settings), rewritten_(settings.table->entries_in_use(), 0) {}
  void add(const FileResult& r);
  void add_walk_errors(std::size_t n) { walk_errors_ += n; }

  std::size_t failed() const { return failed_ + walk_errors_; }
  std::size_t changed() const { return changed_; }
  // The summary's lines, each ending in a newline.
  std::string text() const;
  nlohmann::json json() const;

  // survey: the count of each message, most frequent first.
  std::vector<std::pair<std::string, std::uint64_t>> totals() const;
  std::string totals_text() const;
  nlohmann::json json_totals() const;
  // left: names, most frequent first, with the files they stand in.
  std::string left_text() const;
  nlohmann::json json_left() const;

 private:
  struct Left {
    std::uint64_t count = 0;
    std::vector<std::pair<std::string, std::uint64_t>> files;  // in walk order
  };
  std::vector<std::pair<std::string, const Left*>> left_sorted() const;

  const JobSettings& settings_;
  std::size_t files_ = 0, changed_ = 0, failed_ = 0, walk_errors_ = 0;
  std::vector<std::uint64_t> rewritten_;
  std::uint64_t reports_ = 0, open_calls_ = 0, calls_ = 0;
  std::map<std::string, std::uint64_t> messages_;
  std::map<std::string, Left> left_;
};

// The JSON of one surveyed call.
nlohmann::json json_call(const JobSettings& settings, const std::string& path, const SurveyCall& call);

// A document as one line; bytes that are no UTF-8 become U+FFFD.
std::string dump_json(const nlohmann::json& document);

}  // namespace zaptor
