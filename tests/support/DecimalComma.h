#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace norvik::test {

// The C library under German number rules (a decimal comma) for one scope,
// as the window runs when Qt takes LC_ALL=de_DE.UTF-8 from the environment.
// The locale_de_DE test generates the locale when it is missing.
class DecimalComma {
  public:
    DecimalComma() : saved_(std::setlocale(LC_ALL, nullptr)) {
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~DecimalComma() { std::setlocale(LC_ALL, saved_.c_str()); }
    DecimalComma(const DecimalComma&) = delete;
    DecimalComma& operator=(const DecimalComma&) = delete;
    bool active() const { return active_; }

  private:
    std::string saved_;
    bool active_ = false;
};

}  // namespace norvik::test

// Runs the rest of the test under a decimal comma, or skips it with the reason.
#define NORVIK_UNDER_DECIMAL_COMMA()                                                           \
    const ::norvik::test::DecimalComma decimalComma_;                                          \
    if (!decimalComma_.active())                                                               \
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not generated (as root: localedef -i de_DE -f " \
                    "UTF-8 de_DE.UTF-8, from the Debian package locales)"
