// Hand-written on purpose: the program carries its own QR encoder and links no QR library.
#include "mobile/qr/FiniteField.h"

#include <algorithm>
#include <cassert>

namespace {

bool IsPowerOfTwo(int q) {
    return q > 0 && (q & (q - 1)) == 0;
}

// a^-1 mod q by the extended Euclidean algorithm, made non-negative.
int InverseModulo(int a, int q) {
    int r0 = q, r1 = a % q;
    int t0 = 0, t1 = 1;
    while (r1 != 0) {
        const int quotient = r0 / r1;
        const int r2 = r0 - quotient * r1;
        r0 = r1;
        r1 = r2;
        const int t2 = t0 - quotient * t1;
        t0 = t1;
        t1 = t2;
    }
    t0 %= q;
    return t0 < 0 ? t0 + q : t0;
}

} // namespace

clsFiniteField::clsFiniteField() : log_(kTableSize, 0), exp_(kTableSize, 0) {}

bool clsFiniteField::InitField(int q, int P, int g) {
    if (q < 2 || q > kTableSize) {
        return false;
    }
    if (q == 2) {
        size_ = 2;
        polynomial_ = 2;
        generator_ = 1;
        binary_ = true;
        log_[0] = log_[1] = 0;
        exp_[0] = exp_[1] = 1;
        return true;
    }
    const bool binary = IsPowerOfTwo(q);
    // A generator outside the field would index past the tables.
    if ((binary && P == 0) || g < 0 || g >= q) {
        return false;
    }
    size_ = q;
    polynomial_ = binary ? P : q;
    binary_ = binary;
    if (g == 0) {
        g = FindPrimitive();
    }
    generator_ = g;
    std::fill(log_.begin(), log_.begin() + q, std::int16_t{0});
    std::fill(exp_.begin(), exp_.begin() + q, std::int16_t{0});
    log_[0] = 0;
    log_[1] = 0;
    log_[g] = 1;
    exp_[0] = 1;
    exp_[q - 1] = 1;
    exp_[1] = static_cast<std::int16_t>(g);
    int e = g;
    for (int i = 2; i <= q - 2; ++i) {
        e = FieldMultiplyDirect(e, g);
        log_[e] = static_cast<std::int16_t>(i);
        exp_[i] = static_cast<std::int16_t>(e);
    }
    return true;
}

int clsFiniteField::PowerDirect(int base, int exponent) const {
    // Square-and-multiply over base, base^2, base^4, .. base^(2^13): exponents stay below 16384.
    int result = 1;
    int square = base;
    for (int bit = 0; bit < 14 && exponent != 0; ++bit) {
        if (exponent & (1 << bit)) {
            result = FieldMultiplyDirect(result, square);
            exponent &= ~(1 << bit);
        }
        square = FieldMultiplyDirect(square, square);
    }
    return result;
}

int clsFiniteField::FindPrimitive() const {
    const int order = size_ - 1;
    if (order < 1) {
        return 0;
    }
    std::vector<int> primes;
    int rest = order;
    if (rest % 2 == 0) {
        primes.push_back(2);
        while (rest % 2 == 0) {
            rest /= 2;
        }
    }
    // Odd divisors while divisor <= sqrt(rest) + 2; what is left above 1 is the last prime.
    for (int divisor = 3; rest > 1 && (divisor - 2) * (divisor - 2) <= rest; divisor += 2) {
        if (rest % divisor == 0) {
            primes.push_back(divisor);
            while (rest % divisor == 0) {
                rest /= divisor;
            }
        }
    }
    if (rest > 1) {
        primes.push_back(rest);
    }
    for (int g = 2; g <= size_ - 1; ++g) {
        bool primitive = true;
        for (const int p : primes) {
            if (PowerDirect(g, order / p) == 1) {
                primitive = false;
                break;
            }
        }
        if (primitive) {
            return g;
        }
    }
    return 0;
}

int clsFiniteField::FieldMultiplyDirect(int a, int b) const {
    if (a == 0 || b == 0) {
        return 0;
    }
    if (size_ == 2) {
        return 1;
    }
    if (!binary_) {
        return static_cast<int>(static_cast<long long>(a) * b % size_);
    }
    int result = 0;
    for (int bit = 1; b != 0; bit <<= 1) {
        if (b & bit) {
            b &= ~bit;
            result ^= a;
            if (b == 0) {
                break;
            }
        }
        a <<= 1;
        if (a & size_) {
            a = (a ^ polynomial_) & (size_ - 1);
        }
    }
    return result;
}

int clsFiniteField::FieldDivide(int a, int b) const {
    if (a == 0 || b == 0) {
        return 0;
    }
    assert(a < kTableSize && b < kTableSize);
    int index = (log_[a] - log_[b]) % (size_ - 1);
    if (index < 0) {
        index += size_ - 1;
    }
    return exp_[index];
}

int clsFiniteField::FieldDivideDirect(int a, int b) const {
    if (a == 0 || b == 0) {
        return 0;
    }
    return FieldMultiplyDirect(a, FieldInverseDirect(b));
}

int clsFiniteField::FieldInverse(int a) const {
    if (a == 0) {
        return 0;
    }
    assert(a < kTableSize);
    return exp_[(size_ - 1) - log_[a]];
}

int clsFiniteField::FieldInverseDirect(int a) const {
    if (a == 0) {
        return 0;
    }
    if (size_ == 2) {
        return 1;
    }
    if (binary_) {
        // In GF(2^n) every non-zero a satisfies a^(q-1) = 1, so a^(q-2) is its inverse.
        return PowerDirect(a, size_ - 2);
    }
    return InverseModulo(a, size_);
}

int clsFiniteField::FieldExp(int i) const {
    const int order = size_ - 1;
    int index = i % order;
    if (index < 0) {
        index += order;
    }
    return exp_[index];
}
