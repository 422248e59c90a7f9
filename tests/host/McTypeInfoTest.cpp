// The type registry: records by name, the parent chain, creation by name and removal.
#include <mc/McTypeInfo.h>
#include <mc/McTypeMacros.h>
#include <mc/McTypedObject.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>

// TiShape (abstract) <- TiCircle <- TiRing;  TiShape <- TiSquare, TiRetired
class TiShape : public McTypedObject {
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
class TiSquare : public TiShape {
    MC_HEADER(TiSquare)
};
MC_INIT_CLASS(TiSquare, TiShape::getClassTypeId())
class TiRetired : public TiShape {
    MC_HEADER(TiRetired)
};
MC_INIT_CLASS(TiRetired, TiShape::getClassTypeId())

namespace {

long countRegistered(const char* name) {
    const auto names = McTypeInfo::registeredNames();
    return std::count(names.begin(), names.end(), name);
}
struct Deleter {
    void operator()(McTypedObject* obj) const { delete obj; }
};
using Owned = std::unique_ptr<McTypedObject, Deleter>;

TEST(McTypeInfo, recordsAreFoundByNameAndChainToTheRoot) {
    for (const McTypeInfo* type : {TiShape::getClassTypeId(), TiCircle::getClassTypeId(), TiRing::getClassTypeId()}) {
        EXPECT_EQ(McTypeInfo::fromName(type->getName()), type) << type->getName();
        EXPECT_EQ(countRegistered(type->getName()), 1) << type->getName();
    }
    EXPECT_STREQ(TiRing::getClassTypeId()->getName(), "TiRing");
    EXPECT_EQ(TiCircle::initClass(), TiCircle::getClassTypeId());
    for (const char* bad : {"TiNoSuchClass", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(McTypeInfo::fromName(bad), nullptr);

    const McTypeInfo* ring = TiRing::getClassTypeId();
    ASSERT_EQ(ring->parent(), TiCircle::getClassTypeId());
    ASSERT_EQ(ring->parent()->parent(), TiShape::getClassTypeId());
    EXPECT_EQ(ring->parent()->parent()->parent(), nullptr);
}

TEST(McTypeInfo, isDerivedFrom) {
    const struct {
        const char *type, *ancestor;
        bool derived;
    } cases[] = {{"TiRing", "TiRing", true},    {"TiRing", "TiShape", true},    {"TiSquare", "TiShape", true},
                 {"TiCircle", "TiRing", false}, {"TiShape", "TiCircle", false}, {"TiRing", "TiSquare", false}};
    for (const auto& c : cases)
        EXPECT_EQ(McTypeInfo::fromName(c.type)->isDerivedFrom(McTypeInfo::fromName(c.ancestor)), c.derived)
            << c.type << " " << c.ancestor;
    EXPECT_FALSE(TiRing::getClassTypeId()->isDerivedFrom(nullptr));
}

TEST(McTypeInfo, createInstanceByNameAndCast) {
    Owned ring(McTypeInfo::fromName("TiRing")->createInstance());
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->getTypeId(), TiRing::getClassTypeId());
    EXPECT_TRUE(ring->isOfType(TiShape::getClassTypeId()));
    EXPECT_FALSE(ring->isOfType(TiSquare::getClassTypeId()));
    EXPECT_EQ(mcinterface_cast<TiCircle>(ring.get()), ring.get());
    Owned square(TiSquare::createInstance());
    EXPECT_EQ(mcinterface_cast<TiCircle>(square.get()), nullptr);
    EXPECT_EQ(mcinterface_cast<TiCircle>(static_cast<McTypedObject*>(nullptr)), nullptr);
    // Abstract classes have no factory.
    EXPECT_EQ(TiShape::getClassTypeId()->factory(), nullptr);
    EXPECT_EQ(TiShape::getClassTypeId()->createInstance(), nullptr);
    TiCircle::deleteInstance(nullptr);
}

TEST(McTypeInfo, removeTypeAndDestroyedRecords) {
    McTypeInfo record("TiRemovable", nullptr, nullptr);
    ASSERT_EQ(McTypeInfo::fromName("TiRemovable"), &record);
    EXPECT_EQ(McTypeInfo::removeType("TiRemovable"), 1);
    EXPECT_EQ(McTypeInfo::fromName("TiRemovable"), nullptr);
    EXPECT_EQ(countRegistered("TiRemovable"), 0);
    EXPECT_EQ(McTypeInfo::removeType("TiRemovable"), 0);
    EXPECT_EQ(McTypeInfo::removeType(nullptr), 0);
    EXPECT_STREQ(record.getName(), "TiRemovable") << "the record lives on with its owner";

    {
        McTypeInfo shortLived("TiShortLived", nullptr, TiShape::getClassTypeId());
        EXPECT_EQ(McTypeInfo::fromName("TiShortLived"), &shortLived);
    }
    EXPECT_EQ(McTypeInfo::fromName("TiShortLived"), nullptr);
    EXPECT_EQ(countRegistered("TiShortLived"), 0);
}

TEST(McTypeInfo, laterRecordsTakeOverAndComeLast) {
    McTypeInfo first("TiTwice", nullptr, nullptr);
    McTypeInfo second("TiTwice", nullptr, nullptr);
    EXPECT_EQ(McTypeInfo::fromName("TiTwice"), &second);
    EXPECT_EQ(countRegistered("TiTwice"), 1);
    McTypeInfo last("TiLast", nullptr, nullptr);
    const auto names = McTypeInfo::registeredNames();
    EXPECT_LT(std::find(names.begin(), names.end(), "TiTwice"), names.end() - 1);
    EXPECT_EQ(names.back(), "TiLast");
}

TEST(McTypeInfo, exitClassOfAMacroClass) {
    EXPECT_EQ(TiRetired::exitClass(), 1);
    EXPECT_EQ(McTypeInfo::fromName("TiRetired"), nullptr);
    EXPECT_EQ(TiRetired::exitClass(), 0);
    EXPECT_NE(McTypeInfo::fromName("TiShape"), nullptr) << "only that class goes";
    Owned retired(TiRetired::createInstance());
    EXPECT_EQ(retired->getTypeId(), TiRetired::getClassTypeId());
}

}  // namespace
