#pragma once

#include <QString>
#include <optional>

// Money, quantities and counts are stored as text and computed as numbers. These are the program's rules
// for turning one into the other.

// Shortest decimal form with at most 15 significant digits, no exponent, no thousands separator,
// no trailing zeros, "0" for zero and never "-0" (28, 12.5, 0.1).
QString NumberText(double value);

// Lenient reading: blanks are skipped, then an optional sign, digits with at most one decimal point; reading
// stops at the first other character. Text without a leading number reads as 0 ("2份" 2, "12.50元" 12.5).
double ReadNumber(const QString& text);

// Strict reading: the whole text, blanks around it aside, is one number as Qt reads it in the C locale
// ("12.5", "-3", "1e3"); nothing otherwise ("2份", "").
std::optional<double> ParseWholeNumber(const QString& text);

// Fixed decimals, rounding halves away from zero on the decimal value as written by NumberText
// (so 2.675 gives "2.68" and 1.005 gives "1.01" even though the doubles lie just below).
QString FormatFixed(double value, int decimals);

// Format "0": a whole number, halves away from zero (22.5 -> "23", -2.5 -> "-3").
inline QString FormatWhole(double value) {
    return FormatFixed(value, 0);
}

// Format "0.00" applied to stored text: a number gets two decimals; text that is not a number is returned
// unchanged and empty text stays empty.
QString FormatMoneyText(const QString& text);

// A sum of amounts as they are written: decimals are added as decimals, so a long bill's total is what a
// calculator gives (0.1 + 0.2 is 0.3), never a double's tail (123.45000000000002) that no column can hold.
class DecimalSum {
public:
    // Adds the text read by ReadNumber's rule.
    void add(const QString& text);
    double value() const;
    // NumberText of the sum.
    QString text() const;

private:
    double sum_ = 0;
    int decimals_ = 0; // the most decimals of any amount added: the exact sum has no more
};
