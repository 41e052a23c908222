// The handle table behind the Java objects: a closed object's handle finds
// nothing, forever, and never the object that took its slot next.
#include "HandleTable.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// 2^3 - 1 = 7 usable slots.
using SmallTable = tavrix::jni::HandleTable<int, 3>;

// The table leaves what it still holds at exit alone (see HandleTable.h): each
// test takes its objects out again.
void RemoveAll(SmallTable& table, const std::vector<int32_t>& handles) {
  for (const int32_t handle : handles) table.Remove(handle);
}

TEST(HandleTable, AClosedHandleFindsNothingAndTheNextObjectInItsSlotGetsAnotherHandle) {
  SmallTable table;
  const int32_t first = table.Add(std::make_unique<int>(1));
  ASSERT_GT(first, 0);
  ASSERT_NE(table.Get(first), nullptr);
  EXPECT_EQ(*table.Get(first), 1);

  EXPECT_EQ(*table.Remove(first), 1);
  EXPECT_EQ(table.Get(first), nullptr);
  EXPECT_EQ(table.Remove(first), nullptr);

  const int32_t second = table.Add(std::make_unique<int>(2));
  EXPECT_NE(second, first);
  EXPECT_EQ(table.Get(first), nullptr);
  EXPECT_EQ(*table.Get(second), 2);
  RemoveAll(table, {second});
}

TEST(HandleTable, MalformedHandlesFindNothing) {
  SmallTable table;
  const int32_t handle = table.Add(std::make_unique<int>(7));
  const int32_t slotBits = SmallTable::kSlots - 1;
  for (const int32_t bad : {0, -1, -handle, handle & ~slotBits, handle + (1 << 3), INT32_MIN}) {
    EXPECT_EQ(table.Get(bad), nullptr) << bad;
    EXPECT_EQ(table.Remove(bad), nullptr) << bad;
  }
  EXPECT_EQ(*table.Get(handle), 7);
  EXPECT_EQ(table.Add(nullptr), 0);
  RemoveAll(table, {handle});
}

TEST(HandleTable, AFullTableRefusesWithZero) {
  SmallTable table;
  std::vector<int32_t> handles;
  handles.reserve(SmallTable::kSlots - 1);
  for (int i = 0; i < SmallTable::kSlots - 1; ++i)
    handles.push_back(table.Add(std::make_unique<int>(i)));
  for (const int32_t handle : handles) EXPECT_GT(handle, 0);
  EXPECT_EQ(table.Add(std::make_unique<int>(99)), 0);
  table.Remove(handles[3]);
  handles[3] = table.Add(std::make_unique<int>(99));
  EXPECT_GT(handles[3], 0);
  RemoveAll(table, handles);
}

// Lookups take no lock: one thread reads its object while another adds and
// removes others (the sanitizer builds check the atomics).
TEST(HandleTable, LookupsOfALiveObjectSurviveChurnInOtherSlots) {
  SmallTable table;
  const int32_t stable = table.Add(std::make_unique<int>(42));
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop.load()) {
      const int32_t handle = table.Add(std::make_unique<int>(1));
      table.Remove(handle);
    }
  });
  for (int i = 0; i < 100000; ++i) {
    const int* value = table.Get(stable);
    ASSERT_NE(value, nullptr);
    ASSERT_EQ(*value, 42);
  }
  stop = true;
  churn.join();
  RemoveAll(table, {stable});
}

}  // namespace
