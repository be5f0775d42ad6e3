#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Money counted in fen (0.01 yuan) as whole numbers, so payments, change and totals add up exactly: a bill
// of 0.1 + 0.2 is paid with 0.3.

// Reads an amount as typed or stored: blanks around it aside, an optional minus, digits and at most two
// decimals ("12", "12.5", "-0.30"). Nothing for anything else, more decimals included ("1.005", "1e3",
// "12元", "").
std::optional<qint64> ParseFen(const QString& text);

// The amount as text, shortest form without trailing zeros ("12", "12.5", "0.3", "-3"); as the bill's
// columns hold amounts.
QString FenText(qint64 fen);

// Fen of an amount already stored by the program (NumberText's form); a stored amount with more decimals
// is rounded halves away from zero, and text that is no number is 0.
qint64 StoredFen(const QString& text);
