// Hand-written on purpose: the program carries its own QR encoder and links no QR library.
#include "mobile/qr/ReedSolomon.h"

#include <algorithm>

bool clsReedSolomon::InitCode(int k, int m, const clsFiniteField* field, int alpha, int c) {
    if (k <= 0 || m <= 0 || k > kMaxLength - m || c < 0) {
        return false;
    }
    const clsFiniteField* const useField = field != nullptr ? field : field_;
    if (useField == nullptr) {
        return false;
    }
    if (alpha == 0) {
        alpha = alpha_ != 0 ? alpha_ : useField->Generator();
    }
    if (alpha == 0) {
        return false;
    }
    field_ = useField;
    dataLength_ = k;
    eccLength_ = m;
    alpha_ = alpha;
    firstRoot_ = c;

    // alpha^c by square-and-multiply.
    int power = 1;
    int square = alpha;
    for (int exponent = c; exponent != 0; exponent >>= 1) {
        if (exponent & 1) {
            power = field_->FieldMultiply(power, square);
        }
        square = field_->FieldMultiply(square, square);
    }
    int r = field_->FieldNegate(power);

    coefficients_.fill(0);
    coefficients_[0] = r;
    coefficients_[1] = 1;
    for (int i = 2; i <= m; ++i) {
        r = field_->FieldMultiply(r, alpha);
        coefficients_[i] = 1;
        for (int j = i - 1; j >= 1; --j) {
            coefficients_[j] =
                field_->FieldAdd(coefficients_[j - 1], field_->FieldMultiply(coefficients_[j], r));
        }
        coefficients_[0] = field_->FieldMultiply(coefficients_[0], r);
    }
    logsUsable_ = field_->IsBinary();
    for (int j = 0; j < m; ++j) {
        logsUsable_ = logsUsable_ && coefficients_[j] != 0;
        coefficientLogs_[j] = field_->FieldLog(coefficients_[j]);
    }
    return true;
}

bool clsReedSolomon::EncodeBlock(std::span<int> symbols) const {
    const int k = dataLength_;
    const int m = eccLength_;
    if (field_ == nullptr || k <= 0 || symbols.size() < static_cast<std::size_t>(k + m)) {
        return false;
    }
    // Long division by the monic g(x): each data coefficient from the highest down cancels its term.
    std::array<int, kMaxLength> work;
    std::fill_n(work.begin(), m, 0);
    std::copy(symbols.begin() + m, symbols.begin() + m + k, work.begin() + m);
    const clsFiniteField& field = *field_;
    for (int i = k - 1; i >= 0; --i) {
        const int t = work[m + i];
        if (t == 0) {
            continue;
        }
        int* const row = work.data() + i;
        if (logsUsable_) {
            const int logT = field.FieldLog(t);
            for (int j = 0; j < m; ++j) {
                row[j] ^= field.ExpOfLogSum(logT, coefficientLogs_[j]);
            }
        } else {
            for (int j = 0; j < m; ++j) {
                row[j] = field.FieldSubtract(row[j], field.FieldMultiply(t, coefficients_[j]));
            }
        }
    }
    for (int j = 0; j < m; ++j) {
        symbols[j] = field_->FieldNegate(work[j]);
    }
    return true;
}

int clsReedSolomon::GeneratorCoefficient(int i) const {
    return i >= 0 && i < kMaxLength ? coefficients_[i] : 0;
}
