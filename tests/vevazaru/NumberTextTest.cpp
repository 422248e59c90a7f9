// The numbers of the package's console lines.
#include <internal/NumberText.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {

std::string printed(bool general, double value) {
    char buffer[512];
    general ? std::snprintf(buffer, sizeof buffer, "%g", value) : std::snprintf(buffer, sizeof buffer, "%f", value);
    return buffer;
}

// printf's text in the "C" locale, written the same under a comma locale.
TEST(NumberText, matchesPrintfInTheCLocaleAlsoUnderACommaLocale) {
    const double inf = std::numeric_limits<double>::infinity();
    const auto values = {0.0,   -0.0,          0.5,    -2.25,        1.0 / 3.0, 123456.0, 1234567.0, 1e-5, 1.5e-4,
                         1e-30, double(3e38f), -7.125, double(0.1f), 99999.95,  999999.5, 100.0,     inf,  -inf};
    std::vector<std::string> printedInC, written;
    for (double v : values) printedInC.push_back(printed(true, v) + " " + printed(false, v));
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "scripts/install-deps.sh generates this locale";
    for (double v : values) written.push_back(numbertext::general(v) + " " + numbertext::fixed(v));
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_EQ(written, printedInC);
}

}  // namespace
