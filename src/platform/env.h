// All file-system access of the module goes through Env, so tests can swap or break it.
//
// Every member reports failure through its result and, where it takes one, an error text
// naming the path and the operating system's reason. Nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace larkedi {

/// A lock on a file, held while the object lives (see Env::LockFile).
class FileLock {
 public:
  virtual ~FileLock() = default;
};

class Env {
 public:
  virtual ~Env() = default;

  /// The process-wide environment (the real file system unless a test installed another).
  static Env* Default();
  /// Installs `env` as the default and returns the previous one; nullptr restores the real one.
  static Env* SetDefault(Env* env);

  /// Reads the whole file into `data`. False with `error` set when it cannot be read.
  virtual bool ReadFile(const std::string& path, std::string* data, std::string* error) = 0;
  /// Writes `data` to a temporary file in the same folder, flushes it and renames it over
  /// `path`: afterwards the file holds either its old content or all of `data`.
  virtual bool WriteFileAtomic(const std::string& path, std::string_view data,
                               std::string* error) = 0;
  /// Appends `data` to the file, creating it when missing (used for the log).
  virtual bool AppendFile(const std::string& path, std::string_view data, std::string* error) = 0;
  /// True when `path` names an existing file or folder.
  virtual bool Exists(const std::string& path) = 0;
  virtual bool IsDirectory(const std::string& path) = 0;
  /// Creates the folder and its missing parents. True when it exists afterwards.
  virtual bool CreateDirectories(const std::string& path, std::string* error) = 0;
  /// Deletes a file. False when it could not be deleted (a missing file is an error too).
  virtual bool RemoveFile(const std::string& path, std::string* error) = 0;
  /// Renames a file, replacing the target when it exists.
  virtual bool RenameFile(const std::string& from, const std::string& to, std::string* error) = 0;
  /// Names (not paths) of the entries of a folder, sorted. False when it cannot be read.
  virtual bool ListDirectory(const std::string& path, std::vector<std::string>* names,
                             std::string* error) = 0;
  /// Modification time in seconds since the epoch; -1 when the file is missing.
  virtual int64_t ModificationTime(const std::string& path) = 0;
  /// True when `path` itself is a symbolic link (whatever it points to).
  virtual bool IsSymbolicLink(const std::string& path) = 0;
  /// The size in bytes of a regular file (links followed); -1 for anything else (missing, a
  /// folder, a device or pipe whose content has no size, such as /dev/zero).
  virtual int64_t FileSize(const std::string& path) = 0;
  /// The current time, seconds since the epoch (archive years, dates shown and sent).
  virtual int64_t Now() = 0;
  /// Takes an exclusive lock on the file `path` (created when missing), waiting up to
  /// `timeout_ms` while another process (or another lock object of this one) holds it. The
  /// lock is released when `lock` is destroyed or the process ends, even by a crash. False
  /// with `error` set (naming the file) when it could not be taken in time.
  virtual bool LockFile(const std::string& path, int timeout_ms, std::unique_ptr<FileLock>* lock,
                        std::string* error) = 0;
};

/// An Env that forwards every call to another one, so a test double overrides only the
/// members it changes. The target must outlive the wrapper.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  bool ReadFile(const std::string& p, std::string* d, std::string* e) override {
    return target_->ReadFile(p, d, e);
  }
  bool WriteFileAtomic(const std::string& p, std::string_view d, std::string* e) override {
    return target_->WriteFileAtomic(p, d, e);
  }
  bool AppendFile(const std::string& p, std::string_view d, std::string* e) override {
    return target_->AppendFile(p, d, e);
  }
  bool Exists(const std::string& p) override { return target_->Exists(p); }
  bool IsDirectory(const std::string& p) override { return target_->IsDirectory(p); }
  bool CreateDirectories(const std::string& p, std::string* e) override {
    return target_->CreateDirectories(p, e);
  }
  bool RemoveFile(const std::string& p, std::string* e) override {
    return target_->RemoveFile(p, e);
  }
  bool RenameFile(const std::string& f, const std::string& t, std::string* e) override {
    return target_->RenameFile(f, t, e);
  }
  bool ListDirectory(const std::string& p, std::vector<std::string>* n, std::string* e) override {
    return target_->ListDirectory(p, n, e);
  }
  int64_t ModificationTime(const std::string& p) override { return target_->ModificationTime(p); }
  bool IsSymbolicLink(const std::string& p) override { return target_->IsSymbolicLink(p); }
  int64_t FileSize(const std::string& p) override { return target_->FileSize(p); }
  int64_t Now() override { return target_->Now(); }
  bool LockFile(const std::string& p, int t, std::unique_ptr<FileLock>* l,
                std::string* e) override {
    return target_->LockFile(p, t, l, e);
  }

 private:
  Env* target_;
};

/// Joins a folder and a name with exactly one '/' between them.
std::string JoinPath(std::string_view folder, std::string_view name);
/// The folder part of a path (without the trailing '/'); "." when there is none.
std::string DirName(std::string_view path);
/// The last component of a path.
std::string BaseName(std::string_view path);
/// Finds `name` in `folder` without regard to case; returns the full path of the existing
/// entry, or an empty text when there is none.
std::string FindFileNoCase(std::string_view folder, std::string_view name);

/// Fault injection for crash tests: when the environment variable LARKEDI_CRASH_AT holds a
/// number n, the n-th file-system change step of the process (counted from 1) ends the
/// process at once with exit status 86, as a power cut would. Returns normally otherwise.
void CrashPoint(const char* step);

}  // namespace larkedi
