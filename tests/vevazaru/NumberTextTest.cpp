// The numbers of the package's console lines: written as printf writes them in
// the "C" locale, also while a comma locale is set.
#include <internal/NumberText.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <limits>
#include <string>

namespace {

std::string printed(bool general, double value) {
    char buffer[512];
    general ? std::snprintf(buffer, sizeof buffer, "%g", value) : std::snprintf(buffer, sizeof buffer, "%f", value);
    return buffer;
}

TEST(NumberText, matchesPrintfInTheCLocale) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {0.0, -0.0, 0.5, -2.25, 1.0 / 3.0, 123456.0, 1234567.0, 1e-5, 1.5e-4, double(1e-30f), double(3e38f),
                     -7.125, 100.0, double(0.1f), 99999.95, 999999.5, inf, -inf}) {
        EXPECT_EQ(numbertext::general(v), printed(true, v)) << v;
        EXPECT_EQ(numbertext::fixed(v), printed(false, v)) << v;
    }
}

TEST(NumberText, ignoresACommaLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "scripts/install-deps.sh generates this locale";
    const std::string general = numbertext::general(-2.25), fixed = numbertext::fixed(0.5);
    const std::string commaPrinted = printed(true, -2.25);
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_EQ(commaPrinted, "-2,25");  // what printf would have written
    EXPECT_EQ(general, "-2.25");
    EXPECT_EQ(fixed, "0.500000");
}

}  // namespace
