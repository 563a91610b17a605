#include "tree/file_walk.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>

namespace zaptor {

namespace {

// Device and inode: what makes a file or folder met twice, or a cycle, known.
using FileId = std::pair<dev_t, ino_t>;

FileId id_of(const struct stat& st) { return {st.st_dev, st.st_ino}; }

// std::strerror may share one buffer between threads; this does not.
std::string error_text(int error) { return std::generic_category().message(error); }

bool is_source_name(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  // A leading dot starts a hidden name, not an extension.
  if (dot == std::string_view::npos || dot == 0 || name.size() - dot - 1 > 3) return false;
  std::string extension(name.substr(dot + 1));
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  static constexpr std::string_view kExtensions[] = {"c", "h", "cc", "cpp", "cxx", "hh", "hpp", "hxx"};
  return std::find(std::begin(kExtensions), std::end(kExtensions), extension) != std::end(kExtensions);
}

// A glob with "/" is anchored at the operand folder; one without names an entry anywhere.
bool glob_matches(const std::string& glob, const std::string& name, const std::string& inside) {
  if (glob.find('/') != std::string::npos) return ::fnmatch(glob.c_str(), inside.c_str(), FNM_PATHNAME) == 0;
  return ::fnmatch(glob.c_str(), name.c_str(), 0) == 0;
}

// Joins without doubling the "/" of an operand written "src/".
std::string join(const std::string& parent, const std::string& name) {
  if (parent.empty()) return name;
  if (name.empty()) return parent;
  if (parent.back() == '/') return parent + name;
  return parent + "/" + name;
}

// "./src" shows its files as "src/a.c", and "." as "a.c".
std::string without_leading_dot(const std::string& operand) {
  std::size_t start = 0;
  while (operand.compare(start, 2, "./") == 0) {
    start += 2;
    while (start < operand.size() && operand[start] == '/') ++start;
  }
  std::string rest = operand.substr(start);
  return rest == "." ? std::string() : rest;
}

// The path a shown path names, "." for the empty path of operand ".".
std::string usable(const std::string& shown) { return shown.empty() ? "." : shown; }

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start && path.compare(start, end - start, ".") != 0) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Where an operand's files go under a copy's folder: the operand itself when it
// stays below the current folder, else its last name, so nothing leaves the copy.
std::string destination_base(const std::string& shown) {
  const std::vector<std::string> parts = components(shown);
  const bool climbs = std::find(parts.begin(), parts.end(), "..") != parts.end();
  if (!climbs && (shown.empty() || shown.front() != '/')) {
    std::string base;
    for (const std::string& part : parts) base = join(base, part);
    return base;
  }
  if (!parts.empty() && parts.back() != "..") return parts.back();
  // ".." or "/" has no name of its own: take the folder's real one, none for the root.
  char* real = ::realpath(shown.c_str(), nullptr);
  if (real == nullptr) return std::string();
  const std::vector<std::string> real_parts = components(real);
  std::free(real);
  return real_parts.empty() ? std::string() : real_parts.back();
}

class Walker {
 public:
  explicit Walker(const WalkOptions& options) : options_(options) {
    for (const std::string& folder : options.skip) {
      struct stat st {};
      if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) skip_.insert(id_of(st));
    }
  }

  void walk_operand(const std::string& operand) {
    const std::string shown = without_leading_dot(operand);
    struct stat st {};
    // An empty operand names nothing, not the current folder.
    const std::string path = operand.empty() ? operand : usable(shown);
    if (::stat(path.c_str(), &st) != 0) {
      error(path, errno);
      return;
    }
    base_ = destination_base(shown);
    if (S_ISREG(st.st_mode)) {
      take(shown, std::string(), st);
    } else if (S_ISDIR(st.st_mode)) {
      enter(shown, std::string(), st);
      walk_stack();
    } else {
      note(shown, "not a regular file, skipped");
    }
  }

  WalkResult result;

 private:
  struct Frame {
    std::string shown;   // the folder as shown, "" for operand "."
    std::string inside;  // the folder relative to its operand, "" for the operand
    FileId id;
    std::vector<std::string> names;  // sorted
    std::size_t next = 0;
  };

  void note(const std::string& path, const std::string& why) { result.notes.push_back(path + ": " + why); }
  void error(const std::string& path, int number) { result.errors.push_back(path + ": " + error_text(number)); }

  bool excluded(const std::string& name, const std::string& inside) const {
    return std::any_of(options_.exclude.begin(), options_.exclude.end(),
                       [&](const std::string& glob) { return glob_matches(glob, name, inside); });
  }

  bool taken(const std::string& name, const std::string& inside) const {
    const bool included = options_.include.empty()
                              ? is_source_name(name)
                              : std::any_of(options_.include.begin(), options_.include.end(),
                                            [&](const std::string& glob) { return glob_matches(glob, name, inside); });
    return included && !excluded(name, inside);
  }

  void take(const std::string& shown, const std::string& inside, const struct stat& st) {
    const auto [first, fresh] = files_.try_emplace(id_of(st), shown);
    if (!fresh) {
      note(shown, "the same file as " + first->second + ", handled once");
      return;
    }
    result.files.push_back({shown, join(base_, inside)});
  }

  // Reads the folder's names now and closes it, so depth costs no descriptors.
  void enter(const std::string& shown, const std::string& inside, const struct stat& st) {
    const FileId id = id_of(st);
    if (skip_.count(id) != 0) return;
    const auto [first, fresh] = folders_.try_emplace(id, usable(shown));
    if (!fresh) {
      const bool cycle = std::any_of(stack_.begin(), stack_.end(), [&](const Frame& f) { return f.id == id; });
      note(usable(shown), cycle ? "leads back to " + first->second + ", a folder cycle, not walked"
                                : "the same folder as " + first->second + ", handled once");
      return;
    }
    DIR* dir = ::opendir(usable(shown).c_str());
    if (dir == nullptr) {
      error(usable(shown), errno);
      return;
    }
    Frame frame{shown, inside, id, {}, 0};
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir);
      if (entry == nullptr) {
        if (errno != 0) error(usable(shown), errno);
        break;
      }
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") frame.names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(frame.names.begin(), frame.names.end());
    stack_.push_back(std::move(frame));
  }

  // An explicit stack: depth is bounded by the folders, not by the call stack.
  void walk_stack() {
    while (!stack_.empty()) {
      Frame& top = stack_.back();
      if (top.next == top.names.size()) {
        stack_.pop_back();
        continue;
      }
      const std::string name = std::move(top.names[top.next++]);
      visit(name, join(top.shown, name), join(top.inside, name));  // may push: `top` is not used after
    }
  }

  void visit(const std::string& name, const std::string& shown, const std::string& inside) {
    struct stat st {};
    if (::lstat(shown.c_str(), &st) != 0) {
      error(shown, errno);
    } else if (S_ISLNK(st.st_mode)) {
      visit_link(name, shown, inside);
    } else if (S_ISDIR(st.st_mode)) {
      if (!excluded(name, inside)) enter(shown, inside, st);
    } else if (taken(name, inside)) {
      // Never opened: a FIFO would block.
      if (S_ISREG(st.st_mode)) {
        take(shown, inside, st);
      } else {
        note(shown, "not a regular file, skipped");
      }
    }
  }

  // Notes only the links the user could want followed: to a folder or a file the filters take.
  void visit_link(const std::string& name, const std::string& shown, const std::string& inside) {
    struct stat target {};
    if (::stat(shown.c_str(), &target) != 0) {
      const int failure = errno;
      if (!taken(name, inside)) return;
      if (failure == ENOENT || failure == ENOTDIR || failure == ELOOP) {
        note(shown, "dangling symbolic link, skipped");
      } else if (options_.follow) {
        error(shown, failure);
      }
      return;
    }
    if (S_ISDIR(target.st_mode)) {
      if (excluded(name, inside) || skip_.count(id_of(target)) != 0) return;
      if (options_.follow) {
        enter(shown, inside, target);
      } else {
        note(shown, kNotFollowed);
      }
      return;
    }
    if (!taken(name, inside)) return;
    if (!S_ISREG(target.st_mode)) {
      if (options_.follow) note(shown, "not a regular file, skipped");
    } else if (options_.follow) {
      take(shown, inside, target);
    } else {
      note(shown, kNotFollowed);
    }
  }

  static constexpr const char* kNotFollowed = "symbolic link, not followed (--follow follows it)";

  const WalkOptions& options_;
  std::set<FileId> skip_;
  std::map<FileId, std::string> files_;    // the first path each file was taken at
  std::map<FileId, std::string> folders_;  // the first path each folder was walked at
  std::vector<Frame> stack_;               // the folders on the current path
  std::string base_;                       // destination_base of the current operand
};

}  // namespace

WalkResult walk_paths(const std::vector<std::string>& operands, const WalkOptions& options) {
  Walker walker(options);
  for (const std::string& operand : operands) walker.walk_operand(operand);
  return std::move(walker.result);
}

}  // namespace zaptor
