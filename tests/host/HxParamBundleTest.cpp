// HxParamBundle: typed parameters in insertion order, nested bundles, set modes,
// refusals of bad names, deep copies and comparison.
#include <vornamesh/HxParamBundle.h>

#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <string>

namespace {

// The bundle's parameter names in order, separated by spaces.
std::string namesOf(const HxParamBundle& b) {
    std::string out;
    for (int i = 0; i < b.size(); ++i) {
        if (!out.empty()) out += ' ';
        out += b.at(i).name;
    }
    return out;
}

TEST(HxParamBundle, storesTheThreeValueKindsInInsertionOrder) {
    HxParamBundle b;
    const long long ints[] = {std::numeric_limits<long long>::min(), 0, std::numeric_limits<long long>::max()};
    const double reals[] = {-0.5, 1e300};
    EXPECT_TRUE(b.set("zeta", "last letter", HxParamBundle::Replace));
    EXPECT_TRUE(b.set("alpha", 3, ints, HxParamBundle::Replace));
    EXPECT_TRUE(b.set("mu", 2, reals, HxParamBundle::Replace));
    EXPECT_EQ(namesOf(b), "zeta alpha mu");

    std::string text;
    EXPECT_TRUE(b.getText("zeta", text));
    EXPECT_EQ(text, "last letter");
    const HxParamBundle::Param* alpha = b.find("alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->kind, HxParamBundle::Param::Integers);
    EXPECT_EQ(alpha->integers, std::vector<long long>(ints, ints + 3));
    const HxParamBundle::Param* mu = b.find("mu");
    ASSERT_NE(mu, nullptr);
    EXPECT_EQ(mu->kind, HxParamBundle::Param::Reals);
    EXPECT_EQ(mu->reals, std::vector<double>(reals, reals + 2));
}

TEST(HxParamBundle, replaceKeepsThePositionAndMayChangeTheKind) {
    HxParamBundle b;
    b.set("a", "1", HxParamBundle::Replace);
    b.set("b", "2", HxParamBundle::Replace);
    b.set("c", "3", HxParamBundle::Replace);
    const double value = 2.5;
    EXPECT_TRUE(b.set("b", 1, &value, HxParamBundle::Replace));
    EXPECT_EQ(namesOf(b), "a b c");
    EXPECT_EQ(b.at(1).kind, HxParamBundle::Param::Reals);
    EXPECT_EQ(b.at(1).reals, std::vector<double>{2.5});
    EXPECT_TRUE(b.at(1).text.empty());  // nothing of the old kind stays behind
    std::string text;
    EXPECT_FALSE(b.getText("b", text));
}

TEST(HxParamBundle, keepExistingLeavesTheOldValueAndReturnsFalse) {
    HxParamBundle b;
    EXPECT_TRUE(b.set("unit", "mm", HxParamBundle::KeepExisting));  // new: stored
    EXPECT_FALSE(b.set("unit", "cm", HxParamBundle::KeepExisting));
    const long long n = 4;
    EXPECT_FALSE(b.set("unit", 1, &n, HxParamBundle::KeepExisting));
    const double r = 4;
    EXPECT_FALSE(b.set("unit", 1, &r, HxParamBundle::KeepExisting));
    std::string text;
    EXPECT_TRUE(b.getText("unit", text));
    EXPECT_EQ(text, "mm");
    EXPECT_EQ(b.size(), 1);
}

TEST(HxParamBundle, badNamesAndArgumentsStoreNothing) {
    HxParamBundle b;
    const long long n[] = {1, 2};
    const double r[] = {1, 2};
    EXPECT_FALSE(b.set(nullptr, "x", HxParamBundle::Replace));
    EXPECT_FALSE(b.set("", "x", HxParamBundle::Replace));
    EXPECT_FALSE(b.set("tab\there", "x", HxParamBundle::Replace));
    EXPECT_FALSE(b.set("line\nbreak", 2, n, HxParamBundle::Replace));
    EXPECT_FALSE(b.set("del\x7f", 2, r, HxParamBundle::Replace));
    EXPECT_FALSE(b.set("text", nullptr, HxParamBundle::Replace));
    EXPECT_FALSE(b.set("negative", -1, n, HxParamBundle::Replace));
    EXPECT_FALSE(b.set("nullValues", 2, static_cast<const double*>(nullptr), HxParamBundle::Replace));
    EXPECT_FALSE(b.set("badMode", "x", 7));
    EXPECT_EQ(b.size(), 0);

    HxParamBundle& discarded = b.bundle("bad\nname");
    discarded.set("inside", "lost", HxParamBundle::Replace);
    EXPECT_EQ(b.size(), 0);
    EXPECT_EQ(b.bundle("").size(), 0);  // the earlier content is not handed out again
}

TEST(HxParamBundle, acceptsEmptyArraysAndNonAsciiNames) {
    HxParamBundle b;
    EXPECT_TRUE(b.set("empty", 0, static_cast<const long long*>(nullptr), HxParamBundle::Replace));
    const char* nonAscii = "Caf\u00e9 \u00b5m";  // UTF-8
    EXPECT_TRUE(b.set(nonAscii, "utf-8", HxParamBundle::Replace));
    ASSERT_NE(b.find("empty"), nullptr);
    EXPECT_TRUE(b.find("empty")->integers.empty());
    EXPECT_EQ(b.find("empty")->kind, HxParamBundle::Param::Integers);
    EXPECT_NE(b.find(nonAscii), nullptr);
}

TEST(HxParamBundle, bundleCreatesOnceAndReplacesAnotherKindInPlace) {
    HxParamBundle b;
    b.set("first", "1", HxParamBundle::Replace);
    b.set("nested", "was text", HxParamBundle::Replace);
    b.set("last", "3", HxParamBundle::Replace);

    HxParamBundle& nested = b.bundle("nested");
    EXPECT_EQ(nested.size(), 0);
    nested.set("inner", "value", HxParamBundle::Replace);
    EXPECT_EQ(&b.bundle("nested"), &nested);  // the same bundle, content kept
    EXPECT_EQ(b.bundle("nested").size(), 1);
    EXPECT_EQ(namesOf(b), "first nested last");
    EXPECT_EQ(b.find("nested")->kind, HxParamBundle::Param::Bundle);
    EXPECT_TRUE(b.find("nested")->text.empty());

    HxParamBundle& added = b.bundle("added");
    added.bundle("deeper").set("x", "y", HxParamBundle::Replace);
    EXPECT_EQ(namesOf(b), "first nested last added");
    std::string text;
    EXPECT_TRUE(b.bundle("added").bundle("deeper").getText("x", text));
    EXPECT_EQ(text, "y");
}

TEST(HxParamBundle, findAndGetTextTellKindsApart) {
    HxParamBundle b;
    const long long n = 1;
    b.set("count", 1, &n, HxParamBundle::Replace);
    std::string text = "untouched";
    EXPECT_FALSE(b.getText("count", text));
    EXPECT_FALSE(b.getText("missing", text));
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(b.find("missing"), nullptr);
    EXPECT_EQ(b.find(nullptr), nullptr);
}

TEST(HxParamBundle, removeTakesOutOneAndKeepsTheOrderOfTheRest) {
    HxParamBundle b;
    for (const char* name : {"a", "b", "c", "d"}) b.set(name, name, HxParamBundle::Replace);
    EXPECT_TRUE(b.remove("b"));
    EXPECT_FALSE(b.remove("b"));
    EXPECT_FALSE(b.remove(nullptr));
    EXPECT_EQ(namesOf(b), "a c d");
    b.clear();
    EXPECT_EQ(b.size(), 0);
}

TEST(HxParamBundle, copiesAreDeep) {
    HxParamBundle original;
    original.bundle("outer").bundle("inner").set("v", "1", HxParamBundle::Replace);
    HxParamBundle copy(original);
    EXPECT_EQ(copy, original);
    copy.bundle("outer").bundle("inner").set("v", "2", HxParamBundle::Replace);
    EXPECT_NE(copy, original);
    std::string text;
    original.bundle("outer").bundle("inner").getText("v", text);
    EXPECT_EQ(text, "1");

    HxParamBundle assigned;
    assigned.set("old", "gone", HxParamBundle::Replace);
    assigned = original;
    EXPECT_EQ(assigned, original);
    EXPECT_EQ(assigned.find("old"), nullptr);
}

// The source is owned by the target: the copy must be taken before the old
// content is released.
TEST(HxParamBundle, assigningOneOfItsOwnNestedBundles) {
    HxParamBundle b;
    HxParamBundle& inner = b.bundle("inner");
    inner.set("kept", "yes", HxParamBundle::Replace);
    inner.bundle("deeper").set("x", "1", HxParamBundle::Replace);
    b = b.bundle("inner");
    EXPECT_EQ(namesOf(b), "kept deeper");
    std::string text;
    EXPECT_TRUE(b.bundle("deeper").getText("x", text));
    EXPECT_EQ(text, "1");
}

// Names and values may come from the bundle itself, also when storing them
// moves or replaces what they came from.
TEST(HxParamBundle, setAcceptsNamesAndValuesFromTheSameBundle) {
    HxParamBundle b;
    const long long ints[] = {1, 2, 3};
    b.set("ints", 3, ints, HxParamBundle::Replace);
    b.set("name", "fromText", HxParamBundle::Replace);
    for (int i = 0; i < 40; ++i) {  // enough new parameters to move the storage
        const std::string copyName = "copy" + std::to_string(i);
        EXPECT_TRUE(b.set(copyName.c_str(), 3, b.find("ints")->integers.data(), HxParamBundle::Replace));
    }
    EXPECT_EQ(b.find("copy39")->integers, std::vector<long long>(ints, ints + 3));
    EXPECT_TRUE(b.set(b.find("name")->text.c_str(), b.find("name")->text.c_str(), HxParamBundle::Replace));
    std::string text;
    EXPECT_TRUE(b.getText("fromText", text));
    EXPECT_EQ(text, "fromText");

    // Replacing a parameter by its own values, and a bundle by its own content.
    EXPECT_TRUE(b.set("ints", 2, b.find("ints")->integers.data() + 1, HxParamBundle::Replace));
    EXPECT_EQ(b.find("ints")->integers, (std::vector<long long>{2, 3}));
    b.bundle("outer").set("inner", "kept", HxParamBundle::Replace);
    EXPECT_TRUE(b.set("outer", b.bundle("outer").find("inner")->text.c_str(), HxParamBundle::Replace));
    EXPECT_TRUE(b.getText("outer", text));
    EXPECT_EQ(text, "kept");
    HxParamBundle& created = b.bundle(b.find("name")->name.c_str());
    EXPECT_EQ(b.find("name")->kind, HxParamBundle::Param::Bundle);
    EXPECT_EQ(&created, b.find("name")->bundle.get());
}

TEST(HxParamBundle, equalityLooksAtOrderKindsAndValues) {
    HxParamBundle a, b;
    a.set("x", "1", HxParamBundle::Replace);
    a.set("y", "2", HxParamBundle::Replace);
    b.set("y", "2", HxParamBundle::Replace);
    b.set("x", "1", HxParamBundle::Replace);
    EXPECT_NE(a, b);  // same parameters, other order

    HxParamBundle text, integers;
    text.set("v", "", HxParamBundle::Replace);
    integers.set("v", 0, static_cast<const long long*>(nullptr), HxParamBundle::Replace);
    EXPECT_NE(text, integers);  // both empty, but not of the same kind

    HxParamBundle nested1, nested2;
    nested1.bundle("n").set("k", "1", HxParamBundle::Replace);
    nested2.bundle("n").set("k", "2", HxParamBundle::Replace);
    EXPECT_NE(nested1, nested2);
}

TEST(HxParamBundle, realsCompareBitForBitWithAllNaNsEqual) {
    const double nan1 = std::nan("1"), nan2 = -std::nan("2");
    const double zero = 0.0, minusZero = -0.0;
    HxParamBundle a, b, c, d;
    a.set("r", 1, &nan1, HxParamBundle::Replace);
    b.set("r", 1, &nan2, HxParamBundle::Replace);
    EXPECT_EQ(a, b);
    c.set("r", 1, &zero, HxParamBundle::Replace);
    d.set("r", 1, &minusZero, HxParamBundle::Replace);
    EXPECT_NE(c, d);
    EXPECT_NE(a, c);
}

TEST(HxParamBundle, movingHandsOverTheContent) {
    HxParamBundle a;
    a.bundle("n").set("k", "v", HxParamBundle::Replace);
    const HxParamBundle expected(a);
    HxParamBundle moved(std::move(a));
    EXPECT_EQ(moved, expected);
    HxParamBundle target;
    target = std::move(moved);
    EXPECT_EQ(target, expected);
}

}  // namespace
