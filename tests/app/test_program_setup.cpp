// The program's own set-up of Qt: Qt's standard texts in Chinese, the program's texts untouched, and window
// titles that are the captions alone.

#include "app/ProgramSetup.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

class ProgramSetupTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        SetUpProgramApplication(static_cast<QApplication&>(*QCoreApplication::instance()));
    }

    void standardButtonsSpeakChinese() {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("提示"), QStringLiteral("重新生成二维码吗？"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
        // Shortcut letters such as "(&Y)" may follow the word.
        const auto word = [&](QMessageBox::StandardButton button) {
            return box.button(button)->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
        };
        QCOMPARE(word(QMessageBox::Yes), QStringLiteral("是"));
        QCOMPARE(word(QMessageBox::No), QStringLiteral("否"));
        QCOMPARE(word(QMessageBox::Ok), QStringLiteral("确定"));
        QCOMPARE(word(QMessageBox::Cancel), QStringLiteral("取消"));
        // The program's own words stay as they are.
        QCOMPARE(box.windowTitle(), QStringLiteral("提示"));
        QCOMPARE(box.text(), QStringLiteral("重新生成二维码吗？"));
    }

    void textBoxMenuSpeaksChinese() {
        QLineEdit edit(QStringLiteral("宫保鸡丁"));
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (const QAction* action : menu->actions())
            if (!action->isSeparator())
                texts.append(action->text());
        QVERIFY2(!texts.isEmpty(), "the text box has no menu");
        for (const QString& text : texts) {
            const bool latinWordsOnly =
                std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4E00; });
            QVERIFY2(!latinWordsOnly, qPrintable(QStringLiteral("untranslated menu entry: ") + text));
        }
    }

    // The window system appends an application display name, once set, to every title; none is set.
    void titlesAreTheCaptionsAlone() {
        QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("cjpos"));
    }
};

QTEST_MAIN(ProgramSetupTest)
#include "test_program_setup.moc"
