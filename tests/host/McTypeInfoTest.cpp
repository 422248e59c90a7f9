// The type registry: records by name, the parent chain, creation by name and
// removal.
#include <mc/McTypeInfo.h>
#include <mc/McTypeMacros.h>
#include <mc/McTypedObject.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>

// A small hierarchy declared with the host's macros:
//   TiShape (abstract) <- TiCircle <- TiRing;  TiShape <- TiSquare
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

// Unregistered by one test through its exitClass().
class TiRetired : public TiShape {
    MC_HEADER(TiRetired)
};
MC_INIT_CLASS(TiRetired, TiShape::getClassTypeId())

namespace {

bool isRegistered(const char* name) {
    const auto names = McTypeInfo::registeredNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

struct Deleter {
    void operator()(McTypedObject* obj) const { delete obj; }
};
using Owned = std::unique_ptr<McTypedObject, Deleter>;

TEST(McTypeInfo, recordsAreFoundByName) {
    for (const McTypeInfo* type : {TiShape::getClassTypeId(), TiCircle::getClassTypeId(), TiRing::getClassTypeId(),
                                   TiSquare::getClassTypeId()}) {
        ASSERT_NE(type, nullptr);
        EXPECT_EQ(McTypeInfo::fromName(type->getName()), type) << type->getName();
        EXPECT_TRUE(isRegistered(type->getName())) << type->getName();
    }
    EXPECT_STREQ(TiRing::getClassTypeId()->getName(), "TiRing");
    EXPECT_EQ(McTypeInfo::fromName("TiNoSuchClass"), nullptr);
    EXPECT_EQ(McTypeInfo::fromName(nullptr), nullptr);
    EXPECT_EQ(McTypeInfo::fromName(""), nullptr);
}

TEST(McTypeInfo, classTypeIdIsOneRecordPerClass) {
    EXPECT_EQ(TiCircle::getClassTypeId(), TiCircle::getClassTypeId());
    EXPECT_EQ(TiCircle::initClass(), TiCircle::getClassTypeId());
    EXPECT_NE(TiCircle::getClassTypeId(), TiSquare::getClassTypeId());
}

TEST(McTypeInfo, parentChainLeadsToTheRoot) {
    const McTypeInfo* ring = TiRing::getClassTypeId();
    ASSERT_NE(ring->parent(), nullptr);
    EXPECT_EQ(ring->parent(), TiCircle::getClassTypeId());
    EXPECT_EQ(ring->parent()->parent(), TiShape::getClassTypeId());
    EXPECT_EQ(ring->parent()->parent()->parent(), nullptr);
}

struct DerivationCase {
    const char* type;
    const char* ancestor;
    bool derived;
};

class McTypeInfoDerivation : public ::testing::TestWithParam<DerivationCase> {};

TEST_P(McTypeInfoDerivation, isDerivedFrom) {
    const DerivationCase& c = GetParam();
    const McTypeInfo* type = McTypeInfo::fromName(c.type);
    const McTypeInfo* ancestor = McTypeInfo::fromName(c.ancestor);
    ASSERT_NE(type, nullptr);
    ASSERT_NE(ancestor, nullptr);
    EXPECT_EQ(type->isDerivedFrom(ancestor), c.derived);
}

INSTANTIATE_TEST_SUITE_P(
    Hierarchy, McTypeInfoDerivation,
    ::testing::Values(DerivationCase{"TiRing", "TiRing", true}, DerivationCase{"TiRing", "TiCircle", true},
                      DerivationCase{"TiRing", "TiShape", true}, DerivationCase{"TiSquare", "TiShape", true},
                      DerivationCase{"TiCircle", "TiRing", false}, DerivationCase{"TiShape", "TiCircle", false},
                      DerivationCase{"TiSquare", "TiCircle", false}, DerivationCase{"TiRing", "TiSquare", false}),
    [](const auto& param) { return std::string(param.param.type) + "_" + param.param.ancestor; });

TEST(McTypeInfo, isDerivedFromNullIsFalse) { EXPECT_FALSE(TiRing::getClassTypeId()->isDerivedFrom(nullptr)); }

TEST(McTypeInfo, createInstanceByName) {
    const McTypeInfo* type = McTypeInfo::fromName("TiRing");
    ASSERT_NE(type, nullptr);
    Owned obj(type->createInstance());
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->getTypeId(), TiRing::getClassTypeId());
    EXPECT_NE(dynamic_cast<TiRing*>(obj.get()), nullptr);
    EXPECT_TRUE(obj->isOfType(TiCircle::getClassTypeId()));
    EXPECT_TRUE(obj->isOfType(TiShape::getClassTypeId()));
    EXPECT_FALSE(obj->isOfType(TiSquare::getClassTypeId()));
}

TEST(McTypeInfo, abstractClassesHaveNoFactory) {
    const McTypeInfo* shape = McTypeInfo::fromName("TiShape");
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->factory(), nullptr);
    EXPECT_EQ(shape->createInstance(), nullptr);
}

TEST(McTypeInfo, interfaceCastFollowsTheHierarchy) {
    Owned ring(TiRing::createInstance());
    Owned square(TiSquare::createInstance());
    EXPECT_EQ(mcinterface_cast<TiCircle>(ring.get()), ring.get());
    EXPECT_EQ(mcinterface_cast<TiCircle>(square.get()), nullptr);
    EXPECT_EQ(mcinterface_cast<TiShape>(square.get()), square.get());
    EXPECT_EQ(mcinterface_cast<TiCircle>(static_cast<McTypedObject*>(nullptr)), nullptr);
}

TEST(McTypeInfo, deleteInstanceAcceptsNull) {
    TiCircle::deleteInstance(nullptr);
    TiCircle* circle = TiCircle::createInstance();
    TiCircle::deleteInstance(circle);
    TiSquare::createInstance()->deleteInstance();
}

TEST(McTypeInfo, removeTypeReturnsOneThenZero) {
    McTypeInfo record("TiRemovable", nullptr, nullptr);
    ASSERT_EQ(McTypeInfo::fromName("TiRemovable"), &record);
    EXPECT_EQ(McTypeInfo::removeType("TiRemovable"), 1);
    EXPECT_EQ(McTypeInfo::fromName("TiRemovable"), nullptr);
    EXPECT_FALSE(isRegistered("TiRemovable"));
    EXPECT_EQ(McTypeInfo::removeType("TiRemovable"), 0);
    EXPECT_EQ(McTypeInfo::removeType("TiNeverRegistered"), 0);
    EXPECT_EQ(McTypeInfo::removeType(nullptr), 0);
    // The record itself lives on with its owner.
    EXPECT_STREQ(record.getName(), "TiRemovable");
}

TEST(McTypeInfo, destroyedRecordUnregistersItself) {
    {
        McTypeInfo record("TiShortLived", nullptr, TiShape::getClassTypeId());
        EXPECT_EQ(McTypeInfo::fromName("TiShortLived"), &record);
    }
    EXPECT_EQ(McTypeInfo::fromName("TiShortLived"), nullptr);
    EXPECT_FALSE(isRegistered("TiShortLived"));
    EXPECT_EQ(McTypeInfo::removeType("TiShortLived"), 0);
}

TEST(McTypeInfo, laterRecordOfTheSameNameTakesItOver) {
    McTypeInfo first("TiTwice", nullptr, nullptr);
    {
        McTypeInfo second("TiTwice", nullptr, nullptr);
        EXPECT_EQ(McTypeInfo::fromName("TiTwice"), &second);
        const auto names = McTypeInfo::registeredNames();
        EXPECT_EQ(std::count(names.begin(), names.end(), "TiTwice"), 1);
    }
}

TEST(McTypeInfo, registeredNamesKeepRegistrationOrder) {
    McTypeInfo a("TiOrderA", nullptr, nullptr);
    McTypeInfo b("TiOrderB", nullptr, nullptr);
    const auto names = McTypeInfo::registeredNames();
    auto ia = std::find(names.begin(), names.end(), "TiOrderA");
    auto ib = std::find(names.begin(), names.end(), "TiOrderB");
    ASSERT_NE(ia, names.end());
    ASSERT_NE(ib, names.end());
    EXPECT_LT(ia, ib);
    EXPECT_EQ(ib, names.end() - 1);
}

TEST(McTypeInfo, exitClassOfAMacroClass) {
    ASSERT_EQ(McTypeInfo::fromName("TiRetired"), TiRetired::getClassTypeId());
    EXPECT_EQ(TiRetired::exitClass(), 1);
    EXPECT_EQ(McTypeInfo::fromName("TiRetired"), nullptr);
    EXPECT_EQ(TiRetired::exitClass(), 0);
    EXPECT_NE(McTypeInfo::fromName("TiShape"), nullptr) << "only that class goes";
    // Objects of the class still know their record.
    Owned retired(TiRetired::createInstance());
    EXPECT_EQ(retired->getTypeId(), TiRetired::getClassTypeId());
    EXPECT_TRUE(retired->isOfType(TiShape::getClassTypeId()));
}

}  // namespace
