// McDArray with elements that own something: handles to counted objects.
#include <mc/McDArray.h>
#include <mc/McHandable.h>
#include <mc/McHandle.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Counted object with a tag; the test's set of live tags shows what the array keeps.
class Item : public McHandable {
public:
    Item(int tag, std::vector<int>* liveTags) : id(tag), live(liveTags) { live->push_back(id); }
    ~Item() override {
        for (auto it = live->begin(); it != live->end(); ++it) {
            if (*it == id) {
                live->erase(it);
                break;
            }
        }
    }
    int tag() const { return id; }

private:
    int id;
    std::vector<int>* live;
};

using ItemArray = McDArray<McHandle<Item>>;

class McDArrayOfHandles : public ::testing::Test {
protected:
    McHandle<Item> make(int tag) { return McHandle<Item>(new Item(tag, &liveTags)); }

    // The array's tags in order; "-" for an empty handle.
    static std::string tagsOf(const ItemArray& array) {
        std::string out;
        for (int i = 0; i < array.size(); ++i) {
            if (!out.empty()) out += ' ';
            out += array[i] ? std::to_string(array[i]->tag()) : "-";
        }
        return out;
    }

    // An array holding the only references to items 0..n-1.
    ItemArray filled(int n) {
        ItemArray array;
        for (int i = 0; i < n; ++i) array.append(make(i));
        return array;
    }

    int numLive() const { return static_cast<int>(liveTags.size()); }

    std::vector<int> liveTags;
};

TEST_F(McDArrayOfHandles, appendTakesAReferenceAndReturnsTheIndex) {
    ItemArray array;
    McHandle<Item> item = make(7);
    EXPECT_EQ(array.append(item), 0);
    EXPECT_EQ(array.append(item), 1);
    EXPECT_EQ(item->getRefCount(), 3);
    EXPECT_EQ(array.size(), 2);
    EXPECT_EQ(array.last()->tag(), 7);
}

TEST_F(McDArrayOfHandles, insertKeepsOrderAndCounts) {
    ItemArray array = filled(3);
    McHandle<Item> extra = make(10);
    array.insert(1, extra);
    EXPECT_EQ(tagsOf(array), "0 10 1 2");
    EXPECT_EQ(extra->getRefCount(), 2);

    array.insert(0, make(11));
    array.insert(array.size(), make(12));
    EXPECT_EQ(tagsOf(array), "11 0 10 1 2 12");
    EXPECT_EQ(numLive(), 6);
}

TEST_F(McDArrayOfHandles, insertSeveralCopiesFromAnotherArray) {
    ItemArray array = filled(2);
    McHandle<Item> source[3] = {make(20), make(21), make(22)};
    array.insert(1, 3, source);
    EXPECT_EQ(tagsOf(array), "0 20 21 22 1");
    for (const auto& h : source) EXPECT_EQ(h->getRefCount(), 2);
}

// Inserting one of the array's own elements must insert that element, also when
// the array has room and the elements move in place.
TEST_F(McDArrayOfHandles, insertACopyOfAnOwnElement) {
    ItemArray array = filled(4);
    array.remax(64);
    array.insert(0, array[2]);
    EXPECT_EQ(tagsOf(array), "2 0 1 2 3");
    EXPECT_EQ(array[0]->getRefCount(), 2);

    array.insert(1, array[array.size() - 1]);
    EXPECT_EQ(tagsOf(array), "2 3 0 1 2 3");
}

TEST_F(McDArrayOfHandles, appendACopyOfAnOwnElement) {
    ItemArray array = filled(3);
    array.append(array[0]);  // may reallocate
    array.remax(64);
    array.append(array[1]);  // has room
    EXPECT_EQ(tagsOf(array), "0 1 2 0 1");
}

TEST_F(McDArrayOfHandles, insertSeveralOfItsOwnElements) {
    ItemArray array = filled(4);
    array.remax(64);
    array.insert(0, 2, array.dataPtr() + 1);
    EXPECT_EQ(tagsOf(array), "1 2 0 1 2 3");
}

TEST_F(McDArrayOfHandles, removeReleasesTheRemovedElements) {
    ItemArray array = filled(5);
    array.remove(1, 2);
    EXPECT_EQ(tagsOf(array), "0 3 4");
    EXPECT_EQ(numLive(), 3);
    array.remove(2);
    EXPECT_EQ(tagsOf(array), "0 3");
    array.remove(0);
    EXPECT_EQ(tagsOf(array), "3");
    EXPECT_EQ(liveTags, std::vector<int>{3});
}

TEST_F(McDArrayOfHandles, removeKeepsElementsHeldElsewhere) {
    ItemArray array = filled(3);
    McHandle<Item> kept = array[1];
    array.remove(1);
    EXPECT_EQ(numLive(), 3);
    EXPECT_EQ(kept->getRefCount(), 1);
}

TEST_F(McDArrayOfHandles, resizeGrowsWithEmptyHandlesAndShrinkReleases) {
    ItemArray array = filled(3);
    array.resize(5);
    EXPECT_EQ(tagsOf(array), "0 1 2 - -");
    EXPECT_EQ(numLive(), 3);
    array.resize(1);
    EXPECT_EQ(tagsOf(array), "0");
    EXPECT_EQ(liveTags, std::vector<int>{0});
    array.resize(-3);  // a negative size empties the array
    EXPECT_TRUE(array.isEmpty());
    EXPECT_EQ(numLive(), 0);
}

TEST_F(McDArrayOfHandles, growingKeepsEveryReference) {
    ItemArray array;
    McHandle<Item> item = make(1);
    for (int i = 0; i < 1000; ++i) array.append(item);  // many reallocations
    EXPECT_EQ(item->getRefCount(), 1001);
    array.clear();
    EXPECT_EQ(item->getRefCount(), 1);
}

TEST_F(McDArrayOfHandles, fillAndClear) {
    ItemArray array = filled(3);
    McHandle<Item> item = make(9);
    array.fill(item);
    EXPECT_EQ(tagsOf(array), "9 9 9");
    EXPECT_EQ(liveTags, std::vector<int>{9});
    EXPECT_EQ(item->getRefCount(), 4);
    array.clear();
    EXPECT_EQ(array.size(), 0);
    EXPECT_EQ(item->getRefCount(), 1);
}

TEST_F(McDArrayOfHandles, copiesShareTheElements) {
    ItemArray array = filled(2);
    {
        ItemArray copy = array;
        EXPECT_EQ(array[0]->getRefCount(), 2);
        copy.remove(0);
        EXPECT_EQ(tagsOf(array), "0 1");
    }
    EXPECT_EQ(array[0]->getRefCount(), 1);
}

TEST_F(McDArrayOfHandles, destructionReleasesEverything) {
    {
        ItemArray array = filled(4);
        EXPECT_EQ(numLive(), 4);
    }
    EXPECT_EQ(numLive(), 0);
}

TEST(McDArray, sizedConstructorValueInitialises) {
    McDArray<int> numbers(4);
    ASSERT_EQ(numbers.size(), 4);
    for (int v : numbers) EXPECT_EQ(v, 0);
    numbers[2] = 5;
    numbers.insert(0, 2, numbers.dataPtr() + 2);  // copies its own 5 and 0
    EXPECT_EQ(std::vector<int>(numbers.begin(), numbers.end()), (std::vector<int>{5, 0, 0, 0, 5, 0}));
}

}  // namespace
