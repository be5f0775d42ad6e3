#pragma once

#include <QString>
#include <stdexcept>

// A database operation that did not happen. The message is meant for the user (Chinese) and the log.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const QString& message) : std::runtime_error(message.toStdString()), text_(message) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};

// A value longer than its column (see CheckWidths): nothing was written, and the message names the field.
// Whoever sent the value can shorten it; nothing is wrong with the database.
class ValueTooLong : public StoreError {
public:
    using StoreError::StoreError;
};
