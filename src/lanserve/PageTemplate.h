#pragma once

#include <QHash>
#include <QString>
#include <vector>

// The page files are small templates that restaurants may edit. Placeholders:
//   {{name}}            the value, HTML-escaped
//   {{name|url}}        the value percent-encoded for a link, then HTML-escaped
//   {{#name}}...{{/name}} once per row of a list, once for a true flag or a non-empty text, else not at all
//   {{^name}}...{{/name}} only when the list is empty, the flag false, the text empty or the name unknown
// Inside a row, names are looked up in the row first, then outwards. No value is ever inserted unescaped.

class PageData;

struct PageValue {
    enum class Kind { Text, Flag, Rows };
    Kind kind = Kind::Text;
    QString text;
    bool flag = false;
    std::vector<PageData> rows;
};

class PageData {
public:
    PageData& set(const QString& name, const QString& text);
    PageData& set(const QString& name, const char* text) { return set(name, QString::fromUtf8(text)); }
    PageData& set(const QString& name, int number) { return set(name, QString::number(number)); }
    PageData& setFlag(const QString& name, bool flag);
    PageData& setRows(const QString& name, std::vector<PageData> rows);
    const PageValue* find(const QString& name) const;

private:
    QHash<QString, PageValue> values_;
};

class PageTemplate {
public:
    explicit PageTemplate(const QString& source);

    // Empty when the template is well formed; otherwise what is wrong and on which line.
    const QString& error() const { return error_; }
    QString render(const PageData& data) const;

    struct Node {
        enum class Kind { Text, Value, UrlValue, Section, Inverted };
        Kind kind = Kind::Text;
        QString text; // literal text, or the name
        std::vector<Node> children;
    };

private:
    std::vector<Node> nodes_;
    QString error_;
};

QString HtmlEscape(const QString& text);
