// The one hash table under every keyed store, its record tables and its
// entries keyed by wide text.
#include "../base/tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Named {
  TableKey key;
  int value;
};

// Values whose hashes share their low bits, and so their first slot, in
// every size of the table; some begin at the last slot and wrap.
uint64_t crowdedHash(uint32_t number) {
  return (uint64_t{number % 7} << 40) | (number % 3 == 0 ? kFirstSlots * 64 - 1 : 5);
}

TEST(HashTable, EveryValueIsFoundUnderItsHashAcrossGrowth) {
  HashTable<uint32_t> table;
  const uint32_t kValues = 3000;
  for (uint32_t value = 1; value <= kValues; ++value) {
    ASSERT_TRUE(roomInTable(&table, nullptr, 0));
    addToTable(&table, crowdedHash(value), value);
  }
  EXPECT_EQ(table.used, kValues);
  EXPECT_LE(table.used * 2, table.capacity);
  for (uint32_t value = 1; value <= kValues; ++value) {
    EXPECT_EQ(findInTable(table, crowdedHash(value), [&](uint32_t met) { return met == value; }),
              value);
  }
  EXPECT_EQ(findInTable(table, crowdedHash(1) + 1, [](uint32_t) { return true; }), 0u);
  clearTable(&table);
  EXPECT_EQ(table.capacity, 0u);
  EXPECT_EQ(findInTable(table, crowdedHash(1), [](uint32_t) { return true; }), 0u);
}

TEST(HashTable, GrowthStaysWithinTheByteLimitOrLeavesTheTableAsItWas) {
  HashTable<TableKey*> table;
  constexpr uint64_t kFirstBytes = kFirstSlots * (sizeof(TableKey*) + sizeof(uint64_t));
  uint64_t bytes = 10;
  EXPECT_FALSE(roomInTable(&table, &bytes, kFirstBytes + 9));
  EXPECT_EQ(table.capacity, 0u);
  EXPECT_EQ(bytes, 10u);
  ASSERT_TRUE(roomInTable(&table, &bytes, kFirstBytes + 10));
  EXPECT_EQ(table.capacity, kFirstSlots);
  EXPECT_EQ(bytes, kFirstBytes + 10);
  // Half the slots taken: the next value needs twice the slots.
  std::vector<TableKey> keys(kFirstSlots / 2 + 1);
  for (size_t at = 0; at < kFirstSlots / 2; ++at) {
    ASSERT_TRUE(roomInTable(&table, &bytes, bytes));
    addToTable(&table, at, &keys[at]);
  }
  EXPECT_FALSE(roomInTable(&table, &bytes, bytes + kFirstBytes - 1));
  EXPECT_EQ(table.capacity, kFirstSlots);
  EXPECT_EQ(findInTable(table, 7, [](TableKey*) { return true; }), &keys[7]);
  ASSERT_TRUE(roomInTable(&table, &bytes, bytes + kFirstBytes));
  EXPECT_EQ(table.capacity, kFirstSlots * 2);
  EXPECT_EQ(findInTable(table, 7, [](TableKey*) { return true; }), &keys[7]);
  clearTable(&table);
}

TEST(RecordTable, RecordsAreNumberedInOrderAndAnIndexFindsEverySharerOfAHash) {
  RecordTable<int> records;
  HashIndex byParity;
  for (int value = 0; value < 100; ++value) {
    uint32_t number = addRecord(&records, hashBytes(&value, sizeof value));
    ASSERT_EQ(number, static_cast<uint32_t>(value));
    records.items[number] = value * 10;
    ASSERT_TRUE(addToIndex(&byParity, value % 2, number));
  }
  for (int value = 0; value < 100; ++value) {
    EXPECT_EQ(findInIndex(records.index, hashBytes(&value, sizeof value),
                          [&](uint32_t at) { return records.items[at] == value * 10; }),
              static_cast<uint32_t>(value));
  }
  int odd = 101;
  EXPECT_EQ(findInIndex(records.index, hashBytes(&odd, sizeof odd), [](uint32_t) { return true; }),
            kNoRecord);
  // A finder that never says yes is offered every record of the hash.
  int offered = 0;
  EXPECT_EQ(findInIndex(byParity, 1,
                        [&](uint32_t at) {
                          offered += at % 2 == 1;
                          return false;
                        }),
            kNoRecord);
  EXPECT_EQ(offered, 50);
  clearTable(&records.index);
  clearTable(&byParity);
  ::operator delete(records.items);
}

TEST(RecordTable, ReservedItemsKeepTheFirstOnes) {
  char* text = nullptr;
  uint32_t capacity = 0;
  ASSERT_TRUE(reserveItems(&text, &capacity, 0, 3));
  EXPECT_GE(capacity, 3u);
  memcpy(text, "abc", 3);
  ASSERT_TRUE(reserveItems(&text, &capacity, 3, 1000));
  EXPECT_GE(capacity, 1000u);
  EXPECT_EQ(std::string(text, 3), "abc");
  ::operator delete(text);
}

TEST(WideTable, OneEntryPerTextWithinTheLimit) {
  WideTable table;
  uint64_t bytes = 0;
  // Room for the first slots and a dozen entries.
  uint64_t limit = kFirstSlots * (sizeof(TableKey*) + sizeof(uint64_t)) + 500;
  Named* first = findOrAddEntry<Named>(&table, u"ab", 2, &bytes, limit);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->value, 0);
  EXPECT_EQ(std::u16string(first->key.text), u"ab");
  first->value = 1;
  EXPECT_EQ(findOrAddEntry<Named>(&table, u"abc", 2, &bytes, limit), first);
  // A prefix, an extension and the empty text are other keys.
  Named* prefix = findOrAddEntry<Named>(&table, u"a", 1, &bytes, limit);
  Named* longer = findOrAddEntry<Named>(&table, u"ab\0", 3, &bytes, limit);
  Named* empty = findOrAddEntry<Named>(&table, u"", 0, &bytes, limit);
  for (Named* other : {prefix, longer, empty}) {
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, first);
    EXPECT_EQ(other->value, 0);
  }
  EXPECT_EQ(table.used, 4u);
  // New texts stop at the limit; known ones are still found.
  int added = 0;
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    added += findOrAddEntry<Named>(&table, &letter, 1, &bytes, limit) != nullptr;
  }
  EXPECT_GT(added, 0);
  EXPECT_LT(added, 26);
  EXPECT_LE(bytes, limit);
  EXPECT_EQ(findKey(&table, u"ab", 2, hashWide(u"ab", 2)), &first->key);
  EXPECT_EQ(findOrAddEntry<Named>(&table, u"ab", 2, &bytes, bytes), first);
  for (size_t at = 0; at < table.capacity; ++at) ::operator delete(table.slots[at]);
  clearTable(&table);
}

TEST(WideTable, TheHashDependsOnEveryByteAndTheLength) {
  std::u16string text = u"\\\\?\\Z:\\include\\header.h";
  uint64_t whole = hashWide(text.data(), text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    std::u16string changed = text;
    changed[at] ^= 1;
    EXPECT_NE(hashWide(changed.data(), changed.size()), whole) << at;
  }
  EXPECT_NE(hashWide(text.data(), text.size() - 1), whole);
  EXPECT_NE(hashBytes(u"", 0), hashBytes(u"", 2));
}

}  // namespace
