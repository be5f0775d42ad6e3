#include "store/NumberFunction.h"

#include "store/Database.h"
#include "store/NumberText.h"

#include <QString>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sqlite3.h>
#include <string>

namespace {

double parsed(const char* begin, const char* end, bool negative) {
    double value = 0.0;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the same answer as the program's reading rule.
        value = std::strtod(std::string(begin, end).c_str(), nullptr);
        if (std::isinf(value))
            value = std::numeric_limits<double>::max();
    } else if (result.ec != std::errc() || !std::isfinite(value)) {
        return 0.0;
    }
    return negative ? -value : value;
}

// The usual stored amount: only digits and at most one point, perhaps after a minus sign.
bool isPlainNumber(std::string_view text) {
    if (text.starts_with('-'))
        text.remove_prefix(1);
    bool digit = false;
    bool point = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

} // namespace

double ReadNumberUtf8(std::string_view text) {
    if (isPlainNumber(text)) {
        const bool negative = text.starts_with('-');
        return parsed(text.data() + (negative ? 1 : 0), text.data() + text.size(), negative);
    }
    // Digits and the point, without blanks or sign; ordinary amounts fit the string's own small buffer.
    std::string number;
    bool negative = false;
    bool seenSign = false;
    bool seenDigit = false;
    bool seenPoint = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t')
            continue;
        if ((c == '-' || c == '+') && !seenSign && !seenDigit && !seenPoint) {
            seenSign = true;
            negative = c == '-';
        } else if (c >= '0' && c <= '9') {
            seenDigit = true;
            number.push_back(c);
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
            number.push_back('.');
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    return parsed(number.data(), number.data() + number.size(), negative);
}

namespace {

struct SumState {
    double sum;
    bool seen;
};

void sumStep(sqlite3_context* context, int, sqlite3_value** arguments) {
    auto* state = static_cast<SumState*>(sqlite3_aggregate_context(context, sizeof(SumState)));
    if (!state) {
        sqlite3_result_error_nomem(context);
        return;
    }
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL)
        return;
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    const int size = sqlite3_value_bytes(arguments[0]);
    state->seen = true;
    if (bytes)
        state->sum += ReadNumberUtf8(std::string_view(bytes, static_cast<size_t>(size)));
}

void sumFinal(sqlite3_context* context) {
    // A zero size looks the state up without creating it: no row stepped means NULL.
    const auto* state = static_cast<SumState*>(sqlite3_aggregate_context(context, 0));
    if (!state || !state->seen) {
        sqlite3_result_null(context);
        return;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, state->sum);
    sqlite3_result_text(context, buffer, static_cast<int>(result.ptr - buffer), SQLITE_TRANSIENT);
}

} // namespace

void RegisterSumFunction(Database& db) {
    // A server has the function from its schema.
    if (db.isServer())
        return;
    // Registering again while a statement of the connection runs would fail, so a known function is kept.
    sqlite3_stmt* probe = nullptr;
    const bool known =
        sqlite3_prepare_v2(db.handle(), "SELECT cj_sum(NULL)", -1, &probe, nullptr) == SQLITE_OK;
    sqlite3_finalize(probe);
    if (known)
        return;
    if (sqlite3_create_function_v2(db.handle(), "cj_sum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   nullptr, &sumStep, &sumFinal, nullptr) != SQLITE_OK)
        db.fail(QStringLiteral("统计函数无法登记"));
}

std::optional<double> SumValue(bool isNull, const QString& text) {
    if (isNull)
        return std::nullopt;
    return ParseWholeNumber(text).value_or(0.0);
}
