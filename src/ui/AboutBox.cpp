#include "ui/AboutBox.h"

#include "ui/Manual.h"
#include "ui/Widgets.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#ifndef CJ_VERSION
#define CJ_VERSION "2.0"
#endif

namespace {
const QString kAboutName = QStringLiteral("AboutBox");

QLabel* IconLabel(QWidget* parent) {
    auto* icon = new QLabel(parent);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    const QPixmap picture(QStringLiteral(":/cjpos/cjpos-64.png"));
    if (!picture.isNull())
        icon->setPixmap(picture);
    icon->setAlignment(Qt::AlignTop);
    return icon;
}

QLabel* TextLabel(const QString& text, int pointSize, bool bold, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

QDialog* BuildAboutBox(QWidget* parent) {
    auto* box = new QDialog(parent);
    box->setObjectName(kAboutName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("版本信息"));

    auto* name = TextLabel(kProgramTitle, 14, true, box);
    name->setObjectName(QStringLiteral("ProgramName"));
    auto* version = TextLabel(VersionText(QStringLiteral(CJ_VERSION)), 11, false, box);
    version->setObjectName(QStringLiteral("VersionText"));
    auto* link = new QLabel(QStringLiteral("<a href=\"manual\">操作教程</a>"), box);
    link->setObjectName(QStringLiteral("ManualLink"));
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);

    auto* buttons = new QDialogButtonBox(box);
    QPushButton* ok = buttons->addButton(QStringLiteral("确  定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    // A click on the link leaves the focus on it, where Enter would open the manual again: hand the focus
    // back to 确  定, so Enter closes the box as in any dialog.
    QObject::connect(link, &QLabel::linkActivated, box, [box, ok] {
        OpenManual(box);
        ok->setFocus(Qt::OtherFocusReason);
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addSpacing(8);
    texts->addWidget(link);
    auto* top = new QHBoxLayout;
    top->addWidget(IconLabel(box));
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(20, 20, 20, 12);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addWidget(buttons);
    box->setFixedSize(box->sizeHint().expandedTo(QSize(360, 0)));
    return box;
}
} // namespace

QString VersionText(const QString& version) {
    QStringList parts = version.split(QLatin1Char('.'));
    while (parts.size() < 2)
        parts.append(QStringLiteral("0"));
    return QStringLiteral("V") + parts.at(0) + QLatin1Char('.') + parts.at(1);
}

QDialog* ShowAboutBox(QWidget* parent) {
    QDialog* box = parent ? parent->findChild<QDialog*>(kAboutName, Qt::FindDirectChildrenOnly) : nullptr;
    if (!box) {
        box = BuildAboutBox(parent);
        CenterOnScreen(box);
    }
    box->show();
    box->raise();
    box->activateWindow();
    return box;
}
