// The mc module: counted handles and arrays of them, the type registry, the
// permissions of safely saved files, and memory for large working arrays.
#include <mc/McDArray.h>
#include <mc/McHandable.h>
#include <mc/McHandle.h>
#include <mc/McLargeAllocator.h>
#include <mc/McSafeFile.h>
#include <mc/McTypeInfo.h>
#include <mc/McTypeMacros.h>

#include <TestFiles.h>
#include <gtest/gtest.h>
#include <cstdint>
#include <memory>
#include <sys/stat.h>

class TiShape : public McTypedObject {  // TiShape (abstract) <- TiCircle <- TiRing
    MC_ABSTRACT_HEADER(TiShape)
};
MC_ABSTRACT_INIT_CLASS(TiShape, nullptr)
class TiCircle : public TiShape {
    MC_HEADER(TiCircle)
};
MC_INIT_CLASS(TiCircle, TiShape::getClassTypeId())
class TiRing : public TiCircle {
    MC_HEADER(TiRing)
};
MC_INIT_CLASS(TiRing, TiCircle::getClassTypeId())

namespace {

struct Tracked : McHandable {
    Tracked(int* counter, int number) : deaths(counter), tag(number) {}
    ~Tracked() override { ++*deaths; }
    int* deaths;
    int tag;
    McHandle<Tracked> next;  // chains owned through handles
};

TEST(McHandle, countsCopiesMovesAndReassignments) {
    int deaths = 0;
    auto* obj = new Tracked(&deaths, 1);
    {
        McHandle<Tracked> a(obj), b(a), c;
        c = a;
        McHandle<Tracked> d(std::move(b)), other(new Tracked(&deaths, 2));
        other = std::move(d);  // releases object 2
        other = other.ptr();
        EXPECT_EQ(deaths, 1);
        EXPECT_EQ(obj->getRefCount(), 3);
    }
    EXPECT_EQ(deaths, 2);
}

// The new object, kept alive only by the old one, must be referenced before the old one goes.
TEST(McHandle, assigningAnObjectOwnedByTheOldOne) {
    int deaths = 0;
    McHandle<Tracked> head(new Tracked(&deaths, 1));
    head->next = new Tracked(&deaths, 2);
    head = head->next;
    head->next = new Tracked(&deaths, 3);
    head = std::move(head->next);
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(head->getRefCount(), 1);
}

TEST(McDArray, insertsItsOwnElementsAndReleasesWhatItDrops) {
    int deaths = 0;
    McDArray<McHandle<Tracked>> array;
    for (int i = 0; i < 4; ++i) array.append(new Tracked(&deaths, i));
    array.remax(64);  // elements move in place
    array.insert(0, array[2]);
    array.insert(0, 2, array.dataPtr() + 3);
    array.append(array[0]);  // may reallocate
    std::string tags;
    for (const auto& item : array) tags += std::to_string(item->tag);
    EXPECT_EQ(tags, "23201232");
    array.remove(1, 5);
    array.resize(4);
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(array[3].ptr(), nullptr);
    array.fill(array[0]);
    EXPECT_EQ(deaths, 3);
    array.clear();
    EXPECT_EQ(deaths, 4);
}

TEST(McTypeInfo, createsByNameCastsAlongTheParentChainAndForgetsRemovedRecords) {
    std::unique_ptr<McTypedObject> ring(McTypeInfo::fromName("TiRing")->createInstance());
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->getTypeId(), TiRing::getClassTypeId());
    EXPECT_EQ(mcinterface_cast<TiShape>(ring.get()), ring.get());
    EXPECT_EQ(TiShape::getClassTypeId()->createInstance(), nullptr) << "abstract";
    { McTypeInfo shortLived("TiShortLived", nullptr, nullptr); }
    EXPECT_EQ(McTypeInfo::fromName("TiShortLived"), nullptr);
}

}  // namespace

TEST(McSafeFile, aSavedFileKeepsTheOldFilesModeAndANewOneIsReadableByOthers) {
    TempFolder folder;
    const auto save = [](const std::string& path) { return McSafeFile(path).commit(); };
    const auto mode = [](const std::string& path) {
        struct stat status {};
        return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0u;
    };
    const std::string old = folder.write("old.txt", "old");
    chmod(old.c_str(), 0640);
    ASSERT_TRUE(save(old) && save(folder.path("new.txt")));
    EXPECT_EQ(mode(old), 0640u);
    EXPECT_EQ(mode(folder.path("new.txt")), 0644u);
}

TEST(McLargeAllocator, arraysKeepTheirItemsAsTheyGrowPastMappedBlocksAndZeroedOnesStartAtZero) {
    // From blocks of operator new to mapped ones of several huge pages.
    McLargeVector<std::uint32_t> items;
    constexpr std::uint32_t count = 3u << 20;
    for (std::uint32_t i = 0; i < count; ++i) items.push_back(i * 7);
    for (std::uint32_t i = 0; i < count; i += 4099) ASSERT_EQ(items[i], i * 7) << i;
    items.assign(16, 1);
    items.shrink_to_fit();
    EXPECT_EQ(items.back(), 1u);
    for (const std::size_t size : {std::size_t(16), std::size_t(3) << 20}) {
        McZeroedArray<double> zeroed(size);
        for (std::size_t i = 0; i < size; i += 997) ASSERT_EQ(zeroed[i], 0.0) << size << " " << i;
        zeroed[size - 1] = 1;
        EXPECT_EQ(zeroed[size - 1], 1.0);
    }
}
