#pragma once

#include "settings/Password.h"

#include <optional>

class Database;
class QWidget;

// Before an action that needs `right`: who may do it goes on at once (the answer is empty: no approver);
// anyone else is asked for a 店长's 工号 and password on the spot, and the answer is that 店长's 工号.
// Nothing when the approval was refused or cancelled (the user has been told).
std::optional<QString> ApproveRight(QWidget* parent, Database& db, const StaffAccount& who,
                                    const QString& right);

// Before an action beyond what any role but the 店长's may do alone (a discount below the cashier's
// limit): a signed-in 店长 goes on at once, anyone else is asked for a 店长's approval; `why` says what
// needs it.
std::optional<QString> ApproveAsOwner(QWidget* parent, Database& db, const StaffAccount& who,
                                      const QString& why);
