#pragma once

#include <cstdint>
#include <vector>

// Arithmetic in a finite field GF(q) through logarithm and antilogarithm tables: q prime, or q a power of two
// up to 16384 with a reduction polynomial. The QR encoder uses GF(256) with x^8 + x^4 + x^3 + x^2 + 1.
class clsFiniteField {
public:
    static constexpr int kTableSize = 16384;

    clsFiniteField();

    // Builds the tables. q in 2 .. 16384; P is the reduction polynomial including its top bit when q is a
    // power of two (0 refuses), ignored otherwise; g = 0 picks the smallest primitive element. A refusal
    // leaves the field as it was.
    bool InitField(int q, int P, int g);
    // Smallest primitive element >= 2 of the current size and polynomial (0 when there is none).
    int FindPrimitive() const;

    int FieldAdd(int a, int b) const {
        if (binary_) {
            return a ^ b;
        }
        const int sum = a + b;
        return sum >= size_ ? sum - size_ : sum;
    }
    int FieldSubtract(int a, int b) const {
        if (binary_) {
            return a ^ b;
        }
        const int difference = a - b;
        return difference < 0 ? difference + size_ : difference;
    }
    int FieldNegate(int a) const { return binary_ || a == 0 ? a : size_ - a; }
    int FieldMultiply(int a, int b) const {
        if (a == 0 || b == 0) {
            return 0;
        }
        return ExpOfLogSum(log_[std::size_t(a)], log_[std::size_t(b)]);
    }
    // exp[(logA + logB) mod (q - 1)] for two logarithms in 0 .. q-2: a product in the log domain.
    int ExpOfLogSum(int logA, int logB) const {
        const int sum = logA + logB;
        return exp_[std::size_t(sum >= size_ - 1 ? sum - (size_ - 1) : sum)];
    }
    int FieldMultiplyDirect(int a, int b) const;
    int FieldDivide(int a, int b) const;
    int FieldDivideDirect(int a, int b) const;
    int FieldInverse(int a) const;
    int FieldInverseDirect(int a) const;
    int FieldLog(int a) const { return log_[std::size_t(a)]; }
    int FieldExp(int i) const;

    int Size() const { return size_; }
    int Polynomial() const { return polynomial_; }
    int Generator() const { return generator_; }
    bool IsBinary() const { return binary_; }

private:
    int PowerDirect(int base, int exponent) const;

    int size_ = 0;
    int polynomial_ = 0;
    int generator_ = 0;
    bool binary_ = false;
    std::vector<std::int16_t> log_;
    std::vector<std::int16_t> exp_;
};
