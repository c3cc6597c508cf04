// A file system that fails the way a full disk does, for tests of what survives it.
#pragma once

#include <string>
#include <string_view>

#include "platform/env.h"

namespace larkedi::testing {

/// The real file system, except that atomic writes fail (a full disk).
class FailingWritesEnv final : public EnvWrapper {
 public:
  FailingWritesEnv() : EnvWrapper(Env::Default()) {}
  bool WriteFileAtomic(const std::string& p, std::string_view, std::string* e) override {
    if (e) *e = "Cannot write " + p + ": No space left on device";
    return false;
  }
};

/// The real file system at a fixed time (seconds since the epoch).
class FixedClockEnv final : public EnvWrapper {
 public:
  explicit FixedClockEnv(int64_t now) : EnvWrapper(Env::Default()), now_(now) {}
  int64_t Now() override { return now_; }

 private:
  int64_t now_;
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
