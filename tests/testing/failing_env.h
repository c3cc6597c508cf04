// A file system that fails the way a full disk does, for tests of what survives it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace larkedi::testing {

/// The real file system, except that atomic writes fail (a full disk).
class FailingWritesEnv final : public Env {
 public:
  FailingWritesEnv() : real_(Env::Default()) {}
  bool ReadFile(const std::string& p, std::string* d, std::string* e) override {
    return real_->ReadFile(p, d, e);
  }
  bool WriteFileAtomic(const std::string& p, std::string_view, std::string* e) override {
    if (e) *e = "Cannot write " + p + ": No space left on device";
    return false;
  }
  bool AppendFile(const std::string& p, std::string_view d, std::string* e) override {
    return real_->AppendFile(p, d, e);
  }
  bool Exists(const std::string& p) override { return real_->Exists(p); }
  bool IsDirectory(const std::string& p) override { return real_->IsDirectory(p); }
  bool CreateDirectories(const std::string& p, std::string* e) override {
    return real_->CreateDirectories(p, e);
  }
  bool RemoveFile(const std::string& p, std::string* e) override { return real_->RemoveFile(p, e); }
  bool RenameFile(const std::string& f, const std::string& t, std::string* e) override {
    return real_->RenameFile(f, t, e);
  }
  bool ListDirectory(const std::string& p, std::vector<std::string>* n, std::string* e) override {
    return real_->ListDirectory(p, n, e);
  }
  int64_t ModificationTime(const std::string& p) override { return real_->ModificationTime(p); }

 private:
  Env* real_;
};

/// Installs an Env for the life of the object.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) : previous_(Env::SetDefault(env)) {}
  ~ScopedEnv() { Env::SetDefault(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

}  // namespace larkedi::testing
