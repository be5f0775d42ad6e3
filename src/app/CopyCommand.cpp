#include "app/CopyCommand.h"

#include "app/DatabaseCopy.h"
#include "store/Database.h"
#include "store/ProgramDatabase.h"

#include <QFileInfo>
#include <cstdio>

namespace {

void say(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::unique_ptr<Database> open(const QString& name, bool mustExist) {
    if (NamesServerDatabase(name))
        return Database::ConnectServer(name);
    if (mustExist && !QFileInfo(name).isFile())
        throw StoreError(QStringLiteral("数据库文件 %1 不存在").arg(name));
    return std::make_unique<Database>(name, DatabasePassword());
}

} // namespace

std::optional<int> RunCopyCommand(const QStringList& arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--copy-database"));
    if (at < 0)
        return std::nullopt;
    QStringList rest = arguments.mid(at + 1);
    CopyOptions options;
    options.overwrite = rest.removeAll(QStringLiteral("--overwrite")) > 0;
    if (rest.size() != 2) {
        say(QStringLiteral("用法：cjpos --copy-database 源 目标 [--overwrite]\n"
                           "源和目标是数据库.dat 文件的路径，或 postgresql://用户@主机/数据库 这样的地址。"));
        return 64;
    }
    options.progress = [](const QString& line) { say(line); };
    try {
        const std::unique_ptr<Database> from = open(rest.at(0), true);
        const std::unique_ptr<Database> to = open(rest.at(1), false);
        say(QStringLiteral("从 %1 复制到 %2").arg(from->path(), to->path()));
        const CopyReport report = CopyDatabase(*from, *to, options);
        say(QStringLiteral("完成：%1 张账单，应收合计 %2，两边一致。")
                .arg(report.bills)
                .arg(report.receivable, 0, 'f', 2));
        return 0;
    } catch (const StoreError& error) {
        say(error.text());
        return 1;
    }
}
