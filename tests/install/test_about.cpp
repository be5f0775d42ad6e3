#include "ui/AboutBox.h"
#include "ui/Manual.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// Stands in for the browser: records the addresses the program asks to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

class AboutTest : public QObject {
    Q_OBJECT
private:
    static void touch(const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html></html>");
    }

private Q_SLOTS:
    void findManual_data() {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("inSource");
        QTest::addColumn<QString>("expected");
        QTest::newRow("installed program") << true << false << "prefix/share/cjpos/manual/index.html";
        QTest::newRow("build tree") << false << true << "source/doc/manual/index.html";
        QTest::newRow("installed wins") << true << true << "prefix/share/cjpos/manual/index.html";
        QTest::newRow("missing") << false << false << "";
    }

    void findManual() {
        QFETCH(bool, installed);
        QFETCH(bool, inSource);
        QFETCH(QString, expected);
        QTemporaryDir root;
        QDir().mkpath(root.filePath(QStringLiteral("prefix/bin")));
        if (installed)
            touch(root.filePath(QStringLiteral("prefix/share/cjpos/manual/index.html")));
        const QString source = root.filePath(QStringLiteral("source/doc/manual/index.html"));
        if (inSource)
            touch(source);
        const QString found = FindManual(root.filePath(QStringLiteral("prefix/bin")), source);
        QCOMPARE(found, expected.isEmpty() ? QString() : root.filePath(expected));
    }

    void buildTreeFindsTheRealManual() {
        const QString path = ManualPath();
        QVERIFY2(path.endsWith(QStringLiteral("/doc/manual/index.html")), qPrintable(path));
        QVERIFY(QFileInfo(path).isFile());
    }

    void versionText() {
        QCOMPARE(VersionText(QStringLiteral("2.0.0")), QStringLiteral("V2.0"));
        QCOMPARE(VersionText(QStringLiteral("2.1")), QStringLiteral("V2.1"));
        QCOMPARE(VersionText(QStringLiteral("3")), QStringLiteral("V3.0"));
    }

    void aboutBoxShowsNameVersionAndOpensTheManual() {
        UrlRecorder browser;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "open");
        QWidget main;
        QDialog* box = ShowAboutBox(&main);
        QVERIFY(box->isVisible());
        QCOMPARE(box->windowTitle(), QStringLiteral("版本信息"));
        QCOMPARE(box->findChild<QLabel*>(QStringLiteral("ProgramName"))->text(),
                 QStringLiteral("澄槿餐饮点餐收银软件"));
        QCOMPARE(box->findChild<QLabel*>(QStringLiteral("VersionText"))->text(), QStringLiteral("V2.0"));
        // The icon comes from the resources linked into every program that uses the windows.
        QCOMPARE(box->findChild<QLabel*>(QStringLiteral("ProgramIcon"))->pixmap().size(), QSize(64, 64));

        auto* link = box->findChild<QLabel*>(QStringLiteral("ManualLink"));
        QVERIFY(link->text().contains(QStringLiteral("操作教程")));
        Q_EMIT link->linkActivated(QStringLiteral("manual"));
        QCOMPARE(browser.opened.size(), 1);
        QCOMPARE(browser.opened.first().toLocalFile(), ManualPath());
        QVERIFY(!browser.opened.first().hasFragment());

        // The mobile window's link goes straight to the section on connecting a phone.
        QVERIFY(OpenManual(&main, kManualMobileSection));
        QCOMPARE(browser.opened.last().fragment(), QStringLiteral("mobile"));
        QFile manual(ManualPath());
        QVERIFY(manual.open(QIODevice::ReadOnly));
        QVERIFY(manual.readAll().contains("id=\"mobile\""));

        // A second request raises the same box.
        QCOMPARE(ShowAboutBox(&main), box);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    void enterAfterTheManualLinkClosesTheBox() {
        UrlRecorder browser;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "open");
        QWidget main;
        QPointer<QDialog> box = ShowAboutBox(&main);
        QApplication::setActiveWindow(box);
        QVERIFY(QTest::qWaitForWindowActive(box));
        QSignalSpy accepted(box.data(), &QDialog::accepted);

        // A click on the words of the link opens the manual once.
        auto* link = box->findChild<QLabel*>(QStringLiteral("ManualLink"));
        const QPoint onText(link->contentsRect().left() +
                                link->fontMetrics().horizontalAdvance(QStringLiteral("操")),
                            link->height() / 2);
        QTest::mouseClick(link, Qt::LeftButton, {}, onText);
        QCOMPARE(browser.opened.size(), 1);

        // Enter now presses 确  定: the box closes and the manual is not asked for again.
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused);
        QTest::keyClick(focused, Qt::Key_Return);
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(browser.opened.size(), 1);
        QVERIFY(!box || !box->isVisible());
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }
};

QTEST_MAIN(AboutTest)
#include "test_about.moc"
