#pragma once

#include "mobile/qr/FiniteField.h"

#include <array>
#include <span>

// Systematic Reed-Solomon coder over a clsFiniteField: generator polynomial
// g(x) = (x - a^c)(x - a^(c+1)) .. (x - a^(c+m-1)) and the parity of one block of k data symbols.
class clsReedSolomon {
public:
    static constexpr int kMaxLength = 1024;

    clsReedSolomon() = default;

    // k data and m parity symbols per block (k + m <= 1024), field (nullptr keeps the stored one; the field
    // is shared, not copied, and must outlive this coder), root base alpha (0: the stored one, else the
    // field's generator), first root exponent c >= 0. A refusal changes nothing.
    bool InitCode(int k, int m, const clsFiniteField* field, int alpha, int c);

    // symbols[m .. m+k-1] hold the data, data symbol i being the coefficient of x^(m+i); symbols[0 .. m-1]
    // receive the parity. False (nothing written) when the coder is not set up or the array is too short.
    bool EncodeBlock(std::span<int> symbols) const;

    const clsFiniteField* Field() const { return field_; }
    void SetField(const clsFiniteField* field) { field_ = field; }
    int DataLength() const { return dataLength_; }
    int EccLength() const { return eccLength_; }
    int Generator() const { return alpha_; }
    void SetGenerator(int alpha) { alpha_ = alpha; }
    int FirstRoot() const { return firstRoot_; }
    // Coefficient i (0 .. 1023) of g(x), lowest degree first; 0 outside that range.
    int GeneratorCoefficient(int i) const;

private:
    const clsFiniteField* field_ = nullptr;
    int dataLength_ = 0;
    int eccLength_ = 0;
    int alpha_ = 0;
    int firstRoot_ = 0;
    std::array<int, kMaxLength> coefficients_{};
    // Logarithms of g[0] .. g[m-1] when none is 0 (the usual case), for the binary-field fast path.
    std::array<int, kMaxLength> coefficientLogs_{};
    bool logsUsable_ = false;
};
