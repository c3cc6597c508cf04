// The window tag: the file beside the instance lock that tells a later process where the
// running window is. It holds the window's secret, so only its user may read it, and a tag
// left by a process that ended is nobody's window.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/instance_lock.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

const char kTag[] = "larkEDI_APPLICATION";

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// The id of a process that has ended and was reaped.
pid_t EndedProcess() {
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

TEST(WindowTag, OnlyItsUserCanReadItAndItNamesThisProcess) {
  testing::TempModule module;
  const std::string path = module.path(std::string("run/") + kTag);
  ASSERT_TRUE(WriteWindowTag(kTag, {"http://127.0.0.1:8123", "c0ffee", 0}));
  EXPECT_EQ(ModeOf(path), 0600u);
  std::optional<WindowTag> tag = ReadWindowTag(kTag);
  ASSERT_TRUE(tag.has_value());
  EXPECT_EQ(tag->address, "http://127.0.0.1:8123");
  EXPECT_EQ(tag->secret, "c0ffee");
  EXPECT_EQ(tag->pid, ::getpid());

  // A tag file left readable by everybody (an older copy, another tool) is tightened
  // before the secret goes into it.
  ::chmod(path.c_str(), 0644);
  ASSERT_TRUE(WriteWindowTag(kTag, {"http://127.0.0.1:8124", "beef", 0}));
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(ReadWindowTag(kTag)->secret, "beef");

  RemoveWindowTag(kTag);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(ReadWindowTag(kTag).has_value());
}

// (A tag left by a killed window being replaced by the next one is the command line's test.)
TEST(WindowTag, TagsOfOtherProcessesIncompleteTagsAndLinksAreNoWindow) {
  testing::TempModule module;
  const std::string path = module.path(std::string("run/") + kTag);
  WriteFileOrDie(
      path, "address=http://127.0.0.1:9\nsecret=old\npid=" + std::to_string(EndedProcess()) + "\n");
  ::chmod(path.c_str(), 0600);
  EXPECT_FALSE(ReadWindowTag(kTag).has_value());
  // Another process's tag is not removed by this one's window closing.
  RemoveWindowTag(kTag);
  EXPECT_TRUE(std::filesystem::exists(path));
  WriteFileOrDie(path, "address=http://127.0.0.1:9\nsecret=s\n");  // no process
  EXPECT_FALSE(ReadWindowTag(kTag).has_value());

  // A link in the tag's place is neither followed to write the secret nor read.
  std::filesystem::remove(path);
  const std::string target = module.path("elsewhere");
  WriteFileOrDie(target,
                 "address=http://127.0.0.1:9\nsecret=s\npid=" + std::to_string(::getpid()) + "\n");
  std::filesystem::create_symlink(target, path);
  EXPECT_FALSE(ReadWindowTag(kTag).has_value());
  EXPECT_FALSE(WriteWindowTag(kTag, {"http://127.0.0.1:11", "secret", 0}));
  EXPECT_EQ(ReadFileOrEmpty(target).find("secret=secret"), std::string::npos);
}

}  // namespace
}  // namespace larkedi
