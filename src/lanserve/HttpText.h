#pragma once

#include <QByteArray>
#include <QMultiHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>

// The parts of a request that the phone pages read, taken from the raw bytes the browser sent. The server
// library hands over the request target undecoded, so a "%00" or an encoded slash can never change which
// page is asked for.
namespace HttpText {

// "%41+b" -> "A b": percent escapes and '+' as space; a malformed escape stays as it is.
std::string DecodeFormText(std::string_view text);

// Adds the fields of "a=1&b=2" (query text or a form body) to `fields`, decoded as UTF-8. Returns the names
// of the fields whose bytes are not UTF-8 (their text in `fields` holds replacement characters).
QStringList AddFormFields(std::string_view text, QMultiHash<QString, QString>& fields);

// The request target split at '?': the path as sent and the query text without the '?'. A target in
// absolute form ("http://host/path") gives the path after the host.
struct Target {
    std::string_view path;
    std::string_view query;
};
Target SplitTarget(std::string_view target);

// The page file a path names when it is "/phone/<name>.asp" with 1 to 20 lower-case letters; nothing
// else under /phone/ or elsewhere names a page.
std::optional<std::string> PageOfPath(std::string_view path);

// True for the addresses that lead a phone to the table list: "/", "/phone" and "/phone/".
bool IsEntryPath(std::string_view path);

// The value of cookie `name` in one Cookie header ("a=1; b=2"), if it is there.
std::optional<std::string> CookieValue(std::string_view header, std::string_view name);

// True when the value starts with `prefix`, letters compared without case.
bool StartsWithNoCase(std::string_view value, std::string_view prefix);

// The refusal a request's Transfer-Encoding (the values of all such headers, joined with commas) calls
// for, if any. The server reads a chunked body and nothing else: chunked must be the last coding (400
// otherwise, as the body's end cannot be found) and come once; before it, any other coding is one the
// server does not implement (501).
std::optional<int> TransferCodingRefusal(std::string_view transferEncoding);

// True when an Accept-Encoding header takes gzip ("gzip, deflate, br"; not "gzip;q=0").
bool AcceptsGzip(std::string_view acceptEncoding);
// The bytes as a gzip stream; empty when compressing failed.
QByteArray Gzipped(const QByteArray& bytes);

} // namespace HttpText
