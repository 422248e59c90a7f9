// HxParamBundle: typed parameters in insertion order, nested bundles, set modes,
// refusals of bad names, deep copies and comparison.
#include <vornamesh/HxParamBundle.h>

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

constexpr int kReplace = HxParamBundle::Replace;

std::string namesOf(const HxParamBundle& b) {
    std::string out;
    for (int i = 0; i < b.size(); ++i) out += (i ? " " : "") + b.at(i).name;
    return out;
}
std::string textOf(const HxParamBundle& b, const char* name) {
    std::string text = "(none)";
    b.getText(name, text);
    return text;
}

TEST(HxParamBundle, storesKindsInOrderAndReplaceKeepsThePosition) {
    HxParamBundle b;
    const long long ints[] = {std::numeric_limits<long long>::min(), 0, std::numeric_limits<long long>::max()};
    const double reals[] = {-0.5, 1e300};
    EXPECT_TRUE(b.set("zeta", "last letter", kReplace));
    EXPECT_TRUE(b.set("alpha", 3, ints, kReplace));
    EXPECT_TRUE(b.set("mu", 2, reals, kReplace));
    EXPECT_EQ(namesOf(b), "zeta alpha mu");
    EXPECT_EQ(textOf(b, "zeta"), "last letter");
    EXPECT_EQ(b.find("alpha")->integers, std::vector<long long>(ints, ints + 3));
    EXPECT_EQ(b.find("mu")->reals, std::vector<double>(reals, reals + 2));
    EXPECT_EQ(textOf(b, "alpha"), "(none)") << "getText tells kinds apart";
    EXPECT_EQ(b.find("missing"), nullptr);

    EXPECT_TRUE(b.set("zeta", 2, reals, kReplace));
    EXPECT_EQ(namesOf(b), "zeta alpha mu");
    EXPECT_EQ(b.at(0).kind, HxParamBundle::Param::Reals);
    EXPECT_TRUE(b.at(0).text.empty()) << "nothing of the old kind stays behind";
    EXPECT_TRUE(b.remove("alpha"));
    EXPECT_FALSE(b.remove("alpha"));
    EXPECT_EQ(namesOf(b), "zeta mu");
    // Parameters after a removed one are still found, replaced in place, and a
    // name used again goes to the end.
    EXPECT_EQ(b.find("mu")->reals, std::vector<double>(reals, reals + 2));
    EXPECT_TRUE(b.set("mu", "now text", kReplace));
    EXPECT_TRUE(b.set("alpha", "back", kReplace));
    EXPECT_EQ(namesOf(b), "zeta mu alpha");
    EXPECT_EQ(textOf(b, "mu"), "now text");
    EXPECT_EQ(textOf(b, "alpha"), "back");
}

TEST(HxParamBundle, keepExistingLeavesTheOldValue) {
    HxParamBundle b;
    EXPECT_TRUE(b.set("unit", "mm", HxParamBundle::KeepExisting));
    EXPECT_FALSE(b.set("unit", "cm", HxParamBundle::KeepExisting));
    const long long n = 4;
    EXPECT_FALSE(b.set("unit", 1, &n, HxParamBundle::KeepExisting));
    EXPECT_EQ(textOf(b, "unit"), "mm");
    EXPECT_EQ(b.size(), 1);
}

TEST(HxParamBundle, badNamesAndArgumentsStoreNothing) {
    HxParamBundle b;
    const long long n[] = {1, 2};
    const double r[] = {1, 2};
    EXPECT_FALSE(b.set(nullptr, "x", kReplace));
    EXPECT_FALSE(b.set("", "x", kReplace));
    EXPECT_FALSE(b.set("tab\there", "x", kReplace));
    EXPECT_FALSE(b.set("line\nbreak", 2, n, kReplace));
    EXPECT_FALSE(b.set("del\x7f", 2, r, kReplace));
    EXPECT_FALSE(b.set("text", nullptr, kReplace));
    EXPECT_FALSE(b.set("negative", -1, n, kReplace));
    EXPECT_FALSE(b.set("nullValues", 2, static_cast<const double*>(nullptr), kReplace));
    EXPECT_FALSE(b.set("badMode", "x", 7));
    b.bundle("bad\nname").set("inside", "lost", kReplace);
    EXPECT_EQ(b.size(), 0);
    EXPECT_EQ(b.bundle("").size(), 0) << "the discarded content is not handed out again";
    EXPECT_TRUE(b.set("empty", 0, static_cast<const long long*>(nullptr), kReplace));
    EXPECT_TRUE(b.set("Caf\u00e9 \u00b5m", "utf-8", kReplace));
    EXPECT_EQ(b.size(), 2);
}

TEST(HxParamBundle, bundleCreatesOnceAndReplacesAnotherKindInPlace) {
    HxParamBundle b;
    b.set("first", "1", kReplace);
    b.set("nested", "was text", kReplace);
    b.set("last", "3", kReplace);
    HxParamBundle& nested = b.bundle("nested");
    EXPECT_EQ(nested.size(), 0);
    nested.set("inner", "value", kReplace);
    EXPECT_EQ(&b.bundle("nested"), &nested);
    EXPECT_EQ(namesOf(b), "first nested last");
    EXPECT_EQ(b.find("nested")->kind, HxParamBundle::Param::Bundle);
    EXPECT_TRUE(b.find("nested")->text.empty());
}

TEST(HxParamBundle, copiesAreDeepAndMovesHandOver) {
    HxParamBundle original;
    original.bundle("outer").bundle("inner").set("v", "1", kReplace);
    HxParamBundle copy(original);
    EXPECT_EQ(copy, original);
    copy.bundle("outer").bundle("inner").set("v", "2", kReplace);
    EXPECT_NE(copy, original);
    EXPECT_EQ(textOf(original.bundle("outer").bundle("inner"), "v"), "1");
    HxParamBundle assigned;
    assigned.set("old", "gone", kReplace);
    assigned = original;
    EXPECT_EQ(assigned, original);
    HxParamBundle moved(std::move(assigned));
    EXPECT_EQ(moved, original);
    copy = std::move(moved);
    EXPECT_EQ(copy, original);
}

// The sources are owned by the target: each must be copied before the old content goes.
TEST(HxParamBundle, valuesAndBundlesFromTheSameBundle) {
    HxParamBundle b;
    HxParamBundle& inner = b.bundle("inner");
    inner.set("kept", "yes", kReplace);
    inner.bundle("deeper").set("x", "1", kReplace);
    b = b.bundle("inner");
    EXPECT_EQ(namesOf(b), "kept deeper");
    EXPECT_EQ(textOf(b.bundle("deeper"), "x"), "1");

    const long long ints[] = {1, 2, 3};
    b.set("ints", 3, ints, kReplace);
    b.set("name", "fromText", kReplace);
    for (int i = 0; i < 40; ++i)  // enough new parameters to move the storage
        EXPECT_TRUE(b.set(("copy" + std::to_string(i)).c_str(), 3, b.find("ints")->integers.data(), kReplace));
    EXPECT_EQ(b.find("copy39")->integers, std::vector<long long>(ints, ints + 3));
    EXPECT_TRUE(b.set(b.find("name")->text.c_str(), b.find("name")->text.c_str(), kReplace));
    EXPECT_EQ(textOf(b, "fromText"), "fromText");
    EXPECT_TRUE(b.set("ints", 2, b.find("ints")->integers.data() + 1, kReplace));
    EXPECT_EQ(b.find("ints")->integers, (std::vector<long long>{2, 3}));
    b.bundle("outer").set("inner", "kept", kReplace);
    EXPECT_TRUE(b.set("outer", b.bundle("outer").find("inner")->text.c_str(), kReplace));
    EXPECT_EQ(textOf(b, "outer"), "kept");
    HxParamBundle& created = b.bundle(b.find("name")->name.c_str());
    EXPECT_EQ(&created, b.find("name")->bundle.get());
}

TEST(HxParamBundle, equalityLooksAtOrderKindsAndBitsOfReals) {
    HxParamBundle a, b;
    a.set("x", "1", kReplace);
    a.set("y", "2", kReplace);
    b.set("y", "2", kReplace);
    b.set("x", "1", kReplace);
    EXPECT_NE(a, b) << "same parameters, other order";
    HxParamBundle text, integers;
    text.set("v", "", kReplace);
    integers.set("v", 0, static_cast<const long long*>(nullptr), kReplace);
    EXPECT_NE(text, integers);

    const double nan1 = std::nan("1"), nan2 = -std::nan("2"), zero = 0.0, minusZero = -0.0;
    HxParamBundle n1, n2, z1, z2;
    n1.set("r", 1, &nan1, kReplace);
    n2.set("r", 1, &nan2, kReplace);
    EXPECT_EQ(n1, n2) << "all NaNs are equal";
    z1.set("r", 1, &zero, kReplace);
    z2.set("r", 1, &minusZero, kReplace);
    EXPECT_NE(z1, z2);
    EXPECT_NE(n1, z1);
}

}  // namespace
