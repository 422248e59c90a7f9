// McDArray with elements that own something: handles to counted objects.
#include <mc/McDArray.h>
#include <mc/McHandable.h>
#include <mc/McHandle.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class Item : public McHandable {
public:
    Item(int tag, std::vector<int>* liveTags) : id(tag), live(liveTags) { live->push_back(id); }
    ~Item() override { live->erase(std::find(live->begin(), live->end(), id)); }
    int tag() const { return id; }

private:
    int id;
    std::vector<int>* live;
};
using ItemArray = McDArray<McHandle<Item>>;

class McDArrayOfHandles : public ::testing::Test {
protected:
    McHandle<Item> make(int tag) { return McHandle<Item>(new Item(tag, &liveTags)); }
    // The tags in order; "-" for an empty handle.
    static std::string tagsOf(const ItemArray& array) {
        std::string out;
        for (int i = 0; i < array.size(); ++i)
            out += (i ? " " : "") + (array[i] ? std::to_string(array[i]->tag()) : std::string("-"));
        return out;
    }
    ItemArray filled(int n) {  // holds the only references to items 0..n-1
        ItemArray array;
        for (int i = 0; i < n; ++i) array.append(make(i));
        return array;
    }
    std::vector<int> liveTags;
};

TEST_F(McDArrayOfHandles, appendAndInsertKeepOrderAndCounts) {
    ItemArray array = filled(3);
    McHandle<Item> extra = make(10);
    EXPECT_EQ(array.append(extra), 3);
    array.insert(1, extra);
    EXPECT_EQ(tagsOf(array), "0 10 1 2 10");
    EXPECT_EQ(extra->getRefCount(), 3);
    array.insert(0, make(11));
    McHandle<Item> source[2] = {make(20), make(21)};
    array.insert(array.size(), 2, source);
    EXPECT_EQ(tagsOf(array), "11 0 10 1 2 10 20 21");
    EXPECT_EQ(source[0]->getRefCount(), 2);
    EXPECT_EQ(liveTags.size(), 7u);
}

// Inserting the array's own elements must insert those, also when the elements move in place.
TEST_F(McDArrayOfHandles, insertAndAppendOfItsOwnElements) {
    ItemArray array = filled(4);
    array.remax(64);
    array.insert(0, array[2]);
    EXPECT_EQ(tagsOf(array), "2 0 1 2 3");
    EXPECT_EQ(array[0]->getRefCount(), 2);
    array.insert(1, array[array.size() - 1]);
    EXPECT_EQ(tagsOf(array), "2 3 0 1 2 3");
    array.insert(0, 2, array.dataPtr() + 2);
    EXPECT_EQ(tagsOf(array), "0 1 2 3 0 1 2 3");

    ItemArray small = filled(3);
    small.append(small[0]);  // may reallocate
    small.remax(64);
    small.append(small[1]);  // has room
    EXPECT_EQ(tagsOf(small), "0 1 2 0 1");
}

TEST_F(McDArrayOfHandles, removeResizeFillAndClearRelease) {
    ItemArray array = filled(5);
    McHandle<Item> kept = array[3];
    array.remove(1, 2);
    EXPECT_EQ(tagsOf(array), "0 3 4");
    EXPECT_EQ(liveTags, (std::vector<int>{0, 3, 4}));
    array.remove(1);
    EXPECT_EQ(tagsOf(array), "0 4");
    EXPECT_EQ(kept->getRefCount(), 1);
    array.resize(4);
    EXPECT_EQ(tagsOf(array), "0 4 - -");
    array.resize(1);
    EXPECT_EQ(liveTags, (std::vector<int>{0, 3}));
    array.resize(-3);  // a negative size empties the array
    EXPECT_TRUE(array.isEmpty());

    ItemArray filledArray = filled(3);
    filledArray.fill(kept);
    EXPECT_EQ(tagsOf(filledArray), "3 3 3");
    EXPECT_EQ(liveTags, (std::vector<int>{3}));
    for (int i = 0; i < 1000; ++i) filledArray.append(kept);  // many reallocations
    EXPECT_EQ(kept->getRefCount(), 1004);
    filledArray.clear();
    EXPECT_EQ(kept->getRefCount(), 1);
}

TEST_F(McDArrayOfHandles, copiesShareAndDestructionReleases) {
    {
        ItemArray array = filled(2);
        {
            ItemArray copy = array;
            EXPECT_EQ(array[0]->getRefCount(), 2);
            copy.remove(0);
            EXPECT_EQ(tagsOf(array), "0 1");
        }
        EXPECT_EQ(array[0]->getRefCount(), 1);
    }
    EXPECT_TRUE(liveTags.empty());
}

TEST(McDArray, sizedConstructorValueInitialises) {
    McDArray<int> numbers(4);
    numbers[2] = 5;
    numbers.insert(0, 2, numbers.dataPtr() + 2);  // copies its own 5 and 0
    EXPECT_EQ(std::vector<int>(numbers.begin(), numbers.end()), (std::vector<int>{5, 0, 0, 0, 5, 0}));
}

}  // namespace
