// Output files take their name only when they are complete. Each is written under a temporary
// name in the folder it goes to (".pagerake-<tag>-<n>.part") and renamed over its own name at the
// end, so that a run killed half-way, or a write that fails on a full disk, never leaves a file
// under that name that looks whole: what is there is either the earlier file or the finished one.
// The finished file's bytes are flushed to the storage before the rename, so this holds even
// when the machine itself stops.
//
// A path that names something other than a regular file (a device such as /dev/null, a pipe) is
// written in place: nothing can be renamed over it, and whoever chose it wants it written.
#pragma once

#include <optional>
#include <string>

namespace pagerake {

// Creates a new empty file in `folder` named ".pagerake-<tag>-<n>.part", with the lowest n from 0
// that names nothing there yet, and returns its path. Nothing, with the system's reason in
// `reason`, when it cannot be created. `tag` keeps the names of writers that run at the same time
// apart (a process id, or a random number). Paths are UTF-8.
std::optional<std::string> CreateTemporaryFile(const std::string& folder, const std::string& tag,
                                               std::string& reason);

// One output file on its way to `path`. Not copyable; removes its temporary file when it goes
// away without Commit (also after a failed Commit).
class StagedFile {
 public:
  explicit StagedFile(std::string path);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Makes the file to write into: a new temporary file in the folder of `path` (of the file a
  // symbolic link there points to), or `path` itself when it is not a regular file. False, with
  // the reason, when `path` is a folder, an existing file that cannot be written, or in a folder
  // where no file can be created. Nothing is created under `path`.
  [[nodiscard]] bool Begin();
  // Where the bytes go: the temporary file (or `path` itself, see above).
  const std::string& writePath() const { return writePath_; }
  const std::string& path() const { return path_; }

  // Flushes the written file to the storage and renames it to `path`, replacing what was there.
  // False, with the reason, when either fails; the temporary file is then removed.
  [[nodiscard]] bool Commit();
  // Removes the temporary file; `path` stays as it was.
  void Discard();

  const std::string& reason() const { return reason_; }
  // The message for a failed Commit: names the file and the system's reason.
  std::string CommitFailureMessage() const;

 private:
  std::string path_;
  std::string target_;     // what the rename replaces: `path`, or the file its link points to
  std::string writePath_;
  bool inPlace_ = false;   // `path` is written directly
  bool pending_ = false;   // a temporary file exists that is neither renamed nor removed
  std::string reason_;
};

}  // namespace pagerake
