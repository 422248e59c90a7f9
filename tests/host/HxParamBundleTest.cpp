// HxParamBundle: typed parameters in insertion order, nested bundles, copies and comparison.
#include <vornamesh/HxParamBundle.h>

#include <cmath>
#include <gtest/gtest.h>
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

TEST(HxParamBundle, replaceKeepsThePositionAndRefusalsStoreNothing) {
    HxParamBundle b;
    const long long ints[] = {-1, 0, 1};
    const double reals[] = {-0.5, 1e300};
    EXPECT_TRUE(b.set("zeta", "text", kReplace) && b.set("alpha", 3, ints, kReplace) &&
                b.set("mu", 2, reals, kReplace));
    EXPECT_TRUE(b.set("zeta", 2, reals, kReplace));
    EXPECT_TRUE(b.at(0).text.empty()) << "nothing of the old kind stays behind";
    EXPECT_TRUE(b.remove("alpha"));
    EXPECT_TRUE(b.set("mu", "now text", kReplace) && b.set("alpha", "back", kReplace));
    EXPECT_EQ(namesOf(b), "zeta mu alpha");
    EXPECT_EQ(textOf(b, "mu") + "|" + textOf(b, "zeta"), "now text|(none)");
    EXPECT_FALSE(b.set("alpha", "again", HxParamBundle::KeepExisting) || textOf(b, "alpha") != "back");
    EXPECT_FALSE(b.set("tab\there", "x", kReplace) || b.set("", "x", kReplace) || b.set("neg", -1, ints, kReplace) ||
                 b.set("text", nullptr, kReplace) || b.set("mode", "x", 7));
    EXPECT_EQ(b.size(), 3);
}

// The sources are owned by the target: each must be copied before the old content goes.
TEST(HxParamBundle, valuesAndBundlesFromTheSameBundle) {
    HxParamBundle b;
    b.bundle("inner").set("kept", "yes", kReplace);
    b.bundle("inner").bundle("deeper").set("x", "1", kReplace);
    b = b.bundle("inner");
    EXPECT_EQ(namesOf(b), "kept deeper");
    const long long ints[] = {1, 2, 3};
    b.set("ints", 3, ints, kReplace);
    for (int i = 0; i < 40; ++i)  // enough new parameters to move the storage
        EXPECT_TRUE(b.set(("copy" + std::to_string(i)).c_str(), 3, b.find("ints")->integers.data(), kReplace));
    EXPECT_EQ(b.find("copy39")->integers, std::vector<long long>(ints, ints + 3));
    EXPECT_TRUE(b.set("ints", 2, b.find("ints")->integers.data() + 1, kReplace));
    EXPECT_EQ(b.find("ints")->integers, (std::vector<long long>{2, 3}));
    EXPECT_TRUE(b.set("kept", b.find("kept")->text.c_str(), kReplace) && textOf(b, "kept") == "yes");
}

TEST(HxParamBundle, equalityLooksAtOrderKindsAndBitsOfReals) {
    const auto bundle = [](std::initializer_list<std::pair<const char*, double>> reals) {
        HxParamBundle b;
        for (const auto& [name, value] : reals) b.set(name, 1, &value, kReplace);
        return b;
    };
    EXPECT_NE(bundle({{"x", 1}, {"y", 2}}), bundle({{"y", 2}, {"x", 1}}));
    EXPECT_EQ(bundle({{"r", std::nan("1")}}), bundle({{"r", -std::nan("2")}})) << "all NaNs are equal";
    EXPECT_NE(bundle({{"r", 0.0}}), bundle({{"r", -0.0}}));
}

}  // namespace
