#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/MruCache.h"

namespace {

using Keys = std::vector<std::string>;

Keys KeysOf(MruCache<int>& cache)
{
    Keys keys;
    cache.ForEach([&](const std::string& key, int&) { keys.push_back(key); });
    return keys;
}

void StoreEach(MruCache<int>& cache, const std::string& keys)
{
    for (const char key : keys)
        cache.Store(std::string(1, key), key);
}

TEST(MruCacheTest, NewKeyPastHighWaterEvictsTheLeastRecentlyUsed)
{
    MruCache<int> plain(5);
    StoreEach(plain, "ABCDEF");
    StoreEach(plain, "G");
    EXPECT_EQ(KeysOf(plain), (Keys{"B", "C", "D", "E", "F", "G"}));

    MruCache<int> looked(5);
    StoreEach(looked, "ABCDEF");
    int value = -1;
    EXPECT_FALSE(looked.Lookup("Z", value));
    EXPECT_EQ(value, -1);
    ASSERT_TRUE(looked.Lookup("A", value));
    EXPECT_EQ(value, 'A');
    StoreEach(looked, "G");
    EXPECT_EQ(KeysOf(looked), (Keys{"A", "C", "D", "E", "F", "G"}));
}

TEST(MruCacheTest, StoringAnExistingKeyReplacesAndNeverEvicts)
{
    MruCache<int> cache(5);
    StoreEach(cache, "ABCDEF");
    cache.Store("B", 100);
    cache.Store("A", 200);
    EXPECT_EQ(KeysOf(cache), (Keys{"A", "B", "C", "D", "E", "F"}));
    int value = 0;
    ASSERT_TRUE(cache.Lookup("A", value));
    EXPECT_EQ(value, 200);
    // The replacements refreshed A and B: C is now the oldest.
    StoreEach(cache, "G");
    EXPECT_EQ(KeysOf(cache), (Keys{"A", "B", "D", "E", "F", "G"}));
}

TEST(MruCacheTest, LargeCacheDropsSlackEntriesAtOnce)
{
    MruCache<int> cache(2000);
    for (int i = 0; i < 2200; ++i)
        cache.Store("key" + std::to_string(i), i);
    int value = 0;
    ASSERT_TRUE(cache.Lookup("key0", value));

    cache.Store("key2200", 2200);
    EXPECT_EQ(cache.Count(), 2001u);
    EXPECT_TRUE(cache.Lookup("key0", value));
    EXPECT_FALSE(cache.Lookup("key1", value));
    EXPECT_FALSE(cache.Lookup("key200", value));
    EXPECT_TRUE(cache.Lookup("key201", value));
}

TEST(MruCacheTest, EvictionCallbackSeesTheOldestValuesInOrder)
{
    const struct {
        int32_t capacity;
        int evicted; // per clean-up
    } cases[] = {{0, 1}, {1, 1}, {9, 1}, {20, 2}, {50, 5}};
    for (const auto& c : cases) {
        MruCache<int> cache(c.capacity);
        std::vector<int> evicted;
        cache.SetEvictionCallback(
            [](void* context, int& value) { static_cast<std::vector<int>*>(context)->push_back(value); }, &evicted);

        // Keys whose text order differs from their age.
        for (int i = 0; i < c.capacity + c.evicted; ++i)
            cache.Store(std::to_string(1000 - i), i);
        EXPECT_TRUE(evicted.empty()) << "capacity " << c.capacity;

        cache.Store("new", -1);
        std::vector<int> oldest;
        for (int i = 0; i < c.evicted; ++i)
            oldest.push_back(i);
        EXPECT_EQ(evicted, oldest) << "capacity " << c.capacity;
        EXPECT_EQ(cache.Count(), static_cast<size_t>(c.capacity + 1)) << "capacity " << c.capacity;
    }
}

TEST(MruCacheTest, EvictedValuesAreReleased)
{
    MruCache<std::shared_ptr<int>> cache(1);
    const auto first = std::make_shared<int>(1);
    cache.Store("a", first);
    cache.Store("b", std::make_shared<int>(2));
    EXPECT_EQ(first.use_count(), 2);
    cache.Store("c", std::make_shared<int>(3));
    EXPECT_EQ(first.use_count(), 1);
}

} // namespace
