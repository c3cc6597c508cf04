// Listing a whole hive (`reg query /s`) and exporting it cost in proportion to the hive
// file, for many keys side by side and for long chains of nested keys alike.
#include <gtest/gtest.h>

#include "platform/registry/registry_fixture.h"

namespace larkedi::registry {
namespace {

using RegistryWalkTest = testing::RegistryTest;

// A hive file of `count` keys with one value each: side by side under one key, or in
// chains `depth` levels deep.
std::string Hive(std::size_t count, std::size_t depth) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  std::string path;
  for (std::size_t i = 0; i < count; ++i) {
    if (i % depth == 0) path = "HKEY_CURRENT_USER\\Chain" + std::to_string(i / depth);
    path += "\\k" + std::to_string(i % depth);
    text += "[" + path + "]\r\n\"n\"=dword:0000000" + std::to_string(i % 10) + "\r\n\r\n";
  }
  return text;
}

// The work per byte of hive file that listing and exporting the whole hive take.
double WorkPerByte(const registry::Store& store, const std::string& hive_file, std::size_t count,
                   std::size_t depth) {
  const std::string hive = Hive(count, depth);
  testing::WriteFileOrDie(hive_file, hive);
  const std::size_t before = KeyPathWork();
  std::vector<Key> keys;
  EXPECT_EQ(store.ListTree(HKEY_CURRENT_USER, "", &keys), Status::Ok);
  // The hive itself, the chains' first keys and every key.
  EXPECT_EQ(keys.size(), 1 + (count + depth - 1) / depth + count);
  std::string exported;
  EXPECT_EQ(store.Export(HKEY_CURRENT_USER, "", &exported), Status::Ok);
  EXPECT_GT(exported.size(), hive.size() / 2);
  return static_cast<double>(KeyPathWork() - before) / static_cast<double>(hive.size());
}

TEST_F(RegistryWalkTest, ListingAndExportingAHiveIsLinearInItsSize) {
  struct Shape {
    std::size_t count, depth;
  };
  // Ten times the keys side by side or in chains, or chains four times as deep: the work
  // per byte grows with the logarithm of the key count and of the depth at most (a map of
  // sorted paths, whose comparisons within one chain read the start the paths share), never
  // in proportion to them as a walk that revisits keys or ancestors would.
  const std::pair<Shape, Shape> growth[] = {
      {{1000, 1}, {10000, 1}},
      {{1000, 100}, {10000, 100}},
      {{2000, 100}, {2000, 400}},
  };
  for (const auto& [small, large] : growth) {
    SCOPED_TRACE(std::to_string(large.count) + " keys " + std::to_string(large.depth) + " deep");
    const double base = WorkPerByte(store(), HiveFile(HKEY_CURRENT_USER), small.count, small.depth);
    const double grown =
        WorkPerByte(store(), HiveFile(HKEY_CURRENT_USER), large.count, large.depth);
    EXPECT_GT(base, 0);
    EXPECT_LT(grown, 2.5 * base);
  }
}

}  // namespace
}  // namespace larkedi::registry
