// The placeholder rules of the page files: escaping, links, sections and the messages for broken files.

#include "lanserve/PageTemplate.h"

#include <QTest>

class TestPageTemplate : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rendering_data();
    void rendering();
    void brokenTemplates_data();
    void brokenTemplates();
};

namespace {

PageData sample() {
    PageData data;
    data.set(QStringLiteral("title"), QStringLiteral("<b>\"鱼\" & 'x'</b>"));
    data.set(QStringLiteral("empty"), QString());
    data.set(QStringLiteral("id"), QStringLiteral("a b&c/é"));
    data.setFlag(QStringLiteral("on"), true);
    data.setFlag(QStringLiteral("off"), false);
    std::vector<PageData> rows(2);
    rows[0].set(QStringLiteral("name"), QStringLiteral("宫保鸡丁"));
    rows[1].set(QStringLiteral("name"), QStringLiteral("<i>"));
    rows[1].set(QStringLiteral("title"), QStringLiteral("inner"));
    data.setRows(QStringLiteral("rows"), std::move(rows));
    data.setRows(QStringLiteral("none"), {});
    return data;
}

} // namespace

void TestPageTemplate::rendering_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    QTest::newRow("escaped value") << "[{{title}}]"
                                   << "[&lt;b&gt;&quot;鱼&quot; &amp; &#39;x&#39;&lt;/b&gt;]";
    QTest::newRow("spaces in tag") << "{{ title }}"
                                   << "&lt;b&gt;&quot;鱼&quot; &amp; &#39;x&#39;&lt;/b&gt;";
    QTest::newRow("link value") << "?l={{id|url}}"
                                << "?l=a%20b%26c%2F%C3%A9";
    QTest::newRow("unknown name") << "[{{nothing}}]"
                                  << "[]";
    QTest::newRow("rows") << "{{#rows}}<{{name}}>{{/rows}}"
                          << "<宫保鸡丁><&lt;i&gt;>";
    QTest::newRow("row before outer") << "{{#rows}}{{title}};{{/rows}}"
                                      << "&lt;b&gt;&quot;鱼&quot; &amp; &#39;x&#39;&lt;/b&gt;;inner;";
    QTest::newRow("empty rows") << "a{{#none}}x{{/none}}{{^none}}empty{{/none}}"
                                << "aempty";
    QTest::newRow("flags") << "{{#on}}1{{/on}}{{#off}}2{{/off}}{{^off}}3{{/off}}"
                           << "13";
    QTest::newRow("text as condition") << "{{#empty}}x{{/empty}}{{^empty}}y{{/empty}}{{#id}}z{{/id}}"
                                       << "yz";
    QTest::newRow("list as value") << "[{{rows}}]"
                                   << "[]";
    QTest::newRow("single braces") << "a { b } {c}"
                                   << "a { b } {c}";
}

void TestPageTemplate::rendering() {
    QFETCH(QString, source);
    QFETCH(QString, expected);
    const PageTemplate page(source);
    QVERIFY2(page.error().isEmpty(), qPrintable(page.error()));
    QCOMPARE(page.render(sample()), expected);
}

void TestPageTemplate::brokenTemplates_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("unclosed tag") << "a\nb {{title"
                                  << "第 2 行";
    QTest::newRow("unclosed section") << "{{#rows}}\n{{name}}"
                                      << "{{#rows}}";
    QTest::newRow("wrong end") << "{{#rows}}{{/none}}"
                               << "{{/none}}";
    QTest::newRow("stray end") << "x{{/rows}}"
                               << "{{/rows}}";
    QTest::newRow("empty tag") << "{{ }}"
                               << "空的";
}

void TestPageTemplate::brokenTemplates() {
    QFETCH(QString, source);
    QFETCH(QString, mentions);
    const PageTemplate page(source);
    QVERIFY(page.error().contains(mentions));
}

QTEST_GUILESS_MAIN(TestPageTemplate)
#include "test_page_template.moc"
