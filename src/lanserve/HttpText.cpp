#include "lanserve/HttpText.h"

#include <QStringDecoder>

#include <zlib.h>

#include <cctype>

namespace HttpText {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The text of UTF-8 bytes; `readable` turns false when they are not UTF-8.
QString utf8(const std::string& bytes, bool& readable) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    readable = readable && !decoder.hasError();
    return text;
}

std::string_view trimmedLeft(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool equalsNoCase(std::string_view value, std::string_view word) {
    return value.size() == word.size() && StartsWithNoCase(value, word);
}

} // namespace

std::string DecodeFormText(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            decoded += ' ';
            continue;
        }
        if (c == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        decoded += c;
    }
    return decoded;
}

QStringList AddFormFields(std::string_view text, QMultiHash<QString, QString>& fields) {
    QStringList unreadable;
    while (!text.empty()) {
        const size_t end = text.find('&');
        const std::string_view pair = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const size_t equals = pair.find('=');
        const std::string_view key = pair.substr(0, equals);
        if (key.empty())
            continue;
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        bool readable = true;
        const QString name = utf8(DecodeFormText(key), readable);
        fields.insert(name, utf8(DecodeFormText(value), readable));
        if (!readable)
            unreadable.append(name);
    }
    return unreadable;
}

Target SplitTarget(std::string_view target) {
    // The absolute form "http://host/path?query" names the same resource as "/path?query".
    if (StartsWithNoCase(target, "http://")) {
        const size_t path = target.find_first_of("/?", 7);
        target = path == std::string_view::npos ? std::string_view("/") : target.substr(path);
        if (!target.empty() && target.front() == '?')
            return {"/", target.substr(1)};
    }
    const size_t question = target.find('?');
    if (question == std::string_view::npos)
        return {target, {}};
    return {target.substr(0, question), target.substr(question + 1)};
}

std::optional<std::string> PageOfPath(std::string_view path) {
    constexpr std::string_view folder = "/phone/";
    constexpr std::string_view suffix = ".asp";
    if (path.size() <= folder.size() + suffix.size() || path.substr(0, folder.size()) != folder ||
        path.substr(path.size() - suffix.size()) != suffix)
        return std::nullopt;
    const std::string_view name = path.substr(folder.size(), path.size() - folder.size() - suffix.size());
    if (name.size() > 20)
        return std::nullopt;
    for (const char c : name)
        if (c < 'a' || c > 'z')
            return std::nullopt;
    return std::string(path.substr(folder.size()));
}

bool IsEntryPath(std::string_view path) {
    return path == "/" || path == "/phone" || path == "/phone/";
}

std::optional<std::string> CookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const size_t end = header.find(';');
        const std::string_view pair = trimmedLeft(header.substr(0, end));
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name && pair[name.size()] == '=')
            return std::string(pair.substr(name.size() + 1));
    }
    return std::nullopt;
}

bool StartsWithNoCase(std::string_view value, std::string_view prefix) {
    if (value.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(value[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::optional<int> TransferCodingRefusal(std::string_view transferEncoding) {
    int codings = 0;
    int chunked = 0;
    bool chunkedLast = false;
    while (!transferEncoding.empty()) {
        const size_t comma = transferEncoding.find(',');
        // Parameters ("gzip;q=1") are part of the coding's name here: no coding the server reads has any.
        const std::string_view coding = trimmed(transferEncoding.substr(0, comma));
        transferEncoding =
            comma == std::string_view::npos ? std::string_view() : transferEncoding.substr(comma + 1);
        if (coding.empty())
            continue; // empty list elements are allowed
        ++codings;
        chunkedLast = equalsNoCase(coding, "chunked");
        chunked += chunkedLast ? 1 : 0;
    }
    if (!chunkedLast || chunked > 1)
        return 400;
    if (codings > 1)
        return 501;
    return std::nullopt;
}

bool AcceptsGzip(std::string_view acceptEncoding) {
    while (!acceptEncoding.empty()) {
        const size_t comma = acceptEncoding.find(',');
        std::string_view item = acceptEncoding.substr(0, comma);
        acceptEncoding =
            comma == std::string_view::npos ? std::string_view() : acceptEncoding.substr(comma + 1);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        const size_t semicolon = item.find(';');
        std::string_view coding = item.substr(0, semicolon);
        while (!coding.empty() && (coding.back() == ' ' || coding.back() == '\t'))
            coding.remove_suffix(1);
        if (coding.size() != 4 || !StartsWithNoCase(coding, "gzip"))
            continue;
        if (semicolon == std::string_view::npos)
            return true;
        // "q=0", "q=0.0" … refuse it; any other weight takes it.
        std::string_view weight = item.substr(semicolon + 1);
        while (!weight.empty() && weight.front() == ' ')
            weight.remove_prefix(1);
        if (!StartsWithNoCase(weight, "q="))
            return true;
        weight.remove_prefix(2);
        return weight.find_first_not_of("0. \t") != std::string_view::npos;
    }
    return false;
}

QByteArray Gzipped(const QByteArray& bytes) {
    z_stream stream{};
    // 15 window bits plus 16 ask for the gzip wrapper; level 4 is most of the gain at a fraction of the time.
    if (deflateInit2(&stream, 4, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(bytes.size()))),
                   Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    const auto written = static_cast<qsizetype>(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        return {};
    out.truncate(written);
    return out;
}

} // namespace HttpText
