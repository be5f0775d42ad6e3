#include "lanserve/PageTemplate.h"

#include <QUrl>

namespace {

using Node = PageTemplate::Node;
using Scope = std::vector<const PageData*>;

const PageValue* lookUp(const Scope& scope, const QString& name) {
    for (auto it = scope.rbegin(); it != scope.rend(); ++it)
        if (const PageValue* value = (*it)->find(name))
            return value;
    return nullptr;
}

bool isTrue(const PageValue* value) {
    if (!value)
        return false;
    switch (value->kind) {
    case PageValue::Kind::Text:
        return !value->text.isEmpty();
    case PageValue::Kind::Flag:
        return value->flag;
    case PageValue::Kind::Rows:
        return !value->rows.empty();
    }
    return false;
}

void renderNodes(const std::vector<Node>& nodes, Scope& scope, QString& out);

void renderSection(const Node& node, Scope& scope, QString& out) {
    const PageValue* value = lookUp(scope, node.text);
    if (node.kind == Node::Kind::Inverted) {
        if (!isTrue(value))
            renderNodes(node.children, scope, out);
        return;
    }
    if (!isTrue(value))
        return;
    if (value->kind != PageValue::Kind::Rows) {
        renderNodes(node.children, scope, out);
        return;
    }
    for (const PageData& row : value->rows) {
        scope.push_back(&row);
        renderNodes(node.children, scope, out);
        scope.pop_back();
    }
}

void renderNodes(const std::vector<Node>& nodes, Scope& scope, QString& out) {
    for (const Node& node : nodes) {
        switch (node.kind) {
        case Node::Kind::Text:
            out += node.text;
            break;
        case Node::Kind::Value:
        case Node::Kind::UrlValue: {
            const PageValue* value = lookUp(scope, node.text);
            if (!value || value->kind != PageValue::Kind::Text)
                break;
            out += node.kind == Node::Kind::Value
                       ? HtmlEscape(value->text)
                       : HtmlEscape(QString::fromLatin1(QUrl::toPercentEncoding(value->text)));
            break;
        }
        case Node::Kind::Section:
        case Node::Kind::Inverted:
            renderSection(node, scope, out);
            break;
        }
    }
}

int lineOf(const QString& source, qsizetype position) {
    return static_cast<int>(QStringView(source).left(position).count(QLatin1Char('\n'))) + 1;
}

} // namespace

PageData& PageData::set(const QString& name, const QString& text) {
    PageValue value;
    value.text = text;
    values_.insert(name, std::move(value));
    return *this;
}

PageData& PageData::setFlag(const QString& name, bool flag) {
    PageValue value;
    value.kind = PageValue::Kind::Flag;
    value.flag = flag;
    values_.insert(name, std::move(value));
    return *this;
}

PageData& PageData::setRows(const QString& name, std::vector<PageData> rows) {
    PageValue value;
    value.kind = PageValue::Kind::Rows;
    value.rows = std::move(rows);
    values_.insert(name, std::move(value));
    return *this;
}

const PageValue* PageData::find(const QString& name) const {
    const auto it = values_.constFind(name);
    return it == values_.constEnd() ? nullptr : &it.value();
}

PageTemplate::PageTemplate(const QString& source) {
    // Open sections, innermost last; each holds the node list being filled.
    std::vector<std::vector<Node>*> open{&nodes_};
    std::vector<std::pair<QString, qsizetype>> openNames;
    qsizetype at = 0;
    while (at < source.size()) {
        const qsizetype start = source.indexOf(QLatin1String("{{"), at);
        if (start < 0) {
            open.back()->push_back(Node{Node::Kind::Text, source.mid(at), {}});
            break;
        }
        if (start > at)
            open.back()->push_back(Node{Node::Kind::Text, source.mid(at, start - at), {}});
        const qsizetype end = source.indexOf(QLatin1String("}}"), start + 2);
        if (end < 0) {
            error_ = QStringLiteral("第 %1 行的 {{ 没有配对的 }}").arg(lineOf(source, start));
            return;
        }
        const QString tag = source.mid(start + 2, end - start - 2).trimmed();
        at = end + 2;
        const QChar sigil = tag.isEmpty() ? QChar() : tag.front();
        const QString name = (sigil == u'#' || sigil == u'^' || sigil == u'/') ? tag.mid(1).trimmed() : tag;
        if (name.isEmpty()) {
            error_ = QStringLiteral("第 %1 行有空的占位符").arg(lineOf(source, start));
            return;
        }
        if (sigil == u'#' || sigil == u'^') {
            open.back()->push_back(
                Node{sigil == u'#' ? Node::Kind::Section : Node::Kind::Inverted, name, {}});
            open.push_back(&open.back()->back().children);
            openNames.emplace_back(name, start);
        } else if (sigil == u'/') {
            if (openNames.empty() || openNames.back().first != name) {
                error_ =
                    QStringLiteral("第 %1 行的 {{/%2}} 没有对应的开头").arg(lineOf(source, start)).arg(name);
                return;
            }
            open.pop_back();
            openNames.pop_back();
        } else if (name.endsWith(QLatin1String("|url"))) {
            open.back()->push_back(Node{Node::Kind::UrlValue, name.chopped(4).trimmed(), {}});
        } else {
            open.back()->push_back(Node{Node::Kind::Value, name, {}});
        }
    }
    if (!openNames.empty())
        error_ = QStringLiteral("第 %1 行的 {{#%2}} 没有结尾")
                     .arg(lineOf(source, openNames.back().second))
                     .arg(openNames.back().first);
}

QString PageTemplate::render(const PageData& data) const {
    QString out;
    out.reserve(4096);
    Scope scope{&data};
    renderNodes(nodes_, scope, out);
    return out;
}

QString HtmlEscape(const QString& text) {
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}
