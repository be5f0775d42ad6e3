#pragma once

#include <optional>
#include <string_view>

class Database;
class QString;

// The text-to-number rule of ReadNumber applied to UTF-8 bytes without building a QString: blanks and tabs
// are skipped, then an optional sign, digits with at most one decimal point; any other character ends the
// number. Text without a digit reads as 0.
double ReadNumberUtf8(std::string_view text);

// Registers the aggregate cj_sum(x) on the connection: the sum of the values read by ReadNumberUtf8, as the
// shortest text that reads back as the same double; NULL when every x was NULL. The statistics let the
// database group and add with it, so the sums are those of the program's own number rule.
void RegisterSumFunction(Database& db);

// Reads a cj_sum result back: nullopt for NULL.
std::optional<double> SumValue(bool isNull, const QString& text);
