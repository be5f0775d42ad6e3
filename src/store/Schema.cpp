#include "store/Schema.h"

#include "store/Database.h"
#include "store/PasswordHash.h"

#include <QHash>

namespace {

struct Column {
    QByteArray name;
    int width; // 0 for the date columns
};

struct TableDef {
    const char* name;
    QList<Column> columns;
};

QList<Column> settingsColumns() {
    QList<Column> columns{{"餐馆名称", 100}, {"电话", 50}, {"地址", 100}};
    for (int i = 0; i < kSlotColumns; ++i)
        columns.append({QByteArray::number(i), 50});
    columns.append({{"左边距", 50},
                    {"上边距", 50},
                    {"打印机", 200},
                    {"密码", 50},
                    {"手机点餐", 10},
                    {"下边距", 50},
                    {"右边距", 50},
                    {"手机送厨", 10},
                    // What a guest with a table's code may order: most of one dish, most in one order, and
                    // whether a waiter confirms the order at the counter before it counts.
                    {"顾客每道限量", 10},
                    {"顾客每单限量", 10},
                    {"顾客订单确认", 10},
                    // When the business day ends (HH:mm): sales before it count to the day before.
                    {"营业日结束", 10},
                    // "1": each phone order rings at the counter and its table's tile flashes.
                    {"新单提醒", 10}});
    return columns;
}

const QList<TableDef>& tables() {
    static const QList<TableDef> defs{
        {"综合设置", settingsColumns()},
        {"桌台",
         {{"id", 50},
          {"日期", 0},
          {"桌号", 50},
          {"应收", 10},
          {"挂账金额", 10},
          {"挂账状态", 50},
          {"姓名", 50},
          {"电话", 50},
          {"备注", 50},
          {"菜品费用", 10},
          {"酒水费用", 10},
          {"其他费用", 10},
          {"结账状态", 10},
          {"退桌状态", 10},
          {"实收", 10},
          {"折扣", 10},
          {"备用1", 200},
          {"备用2", 200},
          {"人数", 10}}},
        {"明细",
         {{"id", 50},
          {"日期", 0},
          {"序号", 50},
          {"名称", 100},
          {"数量", 10},
          {"单位", 10},
          {"单价", 10},
          {"金额", 10},
          {"分类", 10},
          {"排序", 10},
          {"备注", 200},
          {"上菜", 50},
          {"备用1", 200},
          {"备用2", 200},
          {"备用3", 200},
          // Who added the line (工号 of 员工) and when (yyyy-MM-dd HH:mm:ss); empty on lines from before.
          {"点菜人", 10},
          {"点菜时间", 20}}},
        {"餐桌设置", {{"餐桌名称", 50}, {"编号", 50}}},
        {"菜单",
         {{"名称", 200},
          {"数量", 10},
          {"单位", 10},
          {"单价", 50},
          {"拼音", 200},
          {"查询", 50},
          {"备注", 200},
          {"备用1", 200},
          {"备用2", 50},
          {"备用3", 50},
          {"序号", 50},
          {"分类", 50},
          // The printers a dish goes to instead of those of its category (comma-separated names).
          {"打印机", 200},
          // "1" while the dish is sold out for today (估清); phones show it and cannot order it.
          {"估清", 10},
          // The group within its category the phone menu lists it under (凉菜, 热菜, 主食 …); may be empty.
          {"分组", 50},
          // One line the phone menu shows under the dish's name.
          {"描述", 100}}},
        // One row per printer; 用途 "后厨", "账单" or "后厨,账单"; 分类 a comma-separated list, may be empty.
        {"打印机",
         {{"名称", 50},
          {"地址", 200},
          {"纸宽", 10},
          {"用途", 10},
          {"分类", 200},
          {"钱箱", 10},
          {"启用", 10}}},
        // One row per ticket, bill, test page or drawer pulse on its way to a printer (see print/JobStore).
        {"打印任务",
         {{"编号", 20},
          {"打印机", 50},
          {"种类", 10},
          {"状态", 10},
          {"日期", 10},
          {"时间", 20},
          {"单号", 10},
          {"来源", 10},
          {"桌号", 50},
          {"内容", 20000},
          {"补打", 10},
          {"重打", 10},
          {"说明", 200},
          {"完成时间", 20}}},
        // One row per phone order that was sent: its one-time key (made when the menu page was served), so
        // the same order sent twice (a double tap, Back and send again) is taken once.
        {"手机订单令牌", {{"令牌", 64}, {"时间", 20}, {"桌号", 50}, {"结果", 500}}},
        // A guest's 呼叫服务员: waits (等待) until a counter answers it (已应答).
        {"呼叫", {{"编号", 20}, {"餐桌", 50}, {"桌号", 50}, {"时间", 20}, {"状态", 10}}},
        // Guest orders waiting for a waiter's 确认 at the counter before they reach the bill and the kitchen.
        {"待确认订单",
         {{"编号", 20},
          {"餐桌", 50},
          {"桌号", 50},
          {"时间", 20},
          {"内容", 20000},
          {"状态", 10},
          {"说明", 200}}},
        // One picture per dish (序号 of 菜单): a JPEG as base64 of at most 60 KB, and when it was set, which
        // the phone pages put in the picture's address. The picture comes last, so reading the stamps of
        // every dish never reads the pictures themselves.
        {"菜品图片", {{"序号", 20}, {"时间", 20}, {"图片", kDishPictureTextWidth}}},
        // What the kitchen has of each order line: one row per line and printer and send; 数量 is what that
        // ticket added (negative for a 退菜 ticket). The rows go with their line.
        {"送厨记录",
         {{"序号", 20},
          {"账单", 20},
          {"打印机", 50},
          {"任务", 20},
          {"单号", 10},
          {"数量", 20},
          {"时间", 20}}},
        // The ways a bill is paid, in the order the payment step offers them. 现金 "1" for the drawer's
        // money, the one method that gives change; 启用 "1" or "0" (a method is disabled, never deleted:
        // payments name it). 挂账 puts the amount on the customer's account (桌台.挂账金额).
        {"支付方式", {{"名称", 20}, {"排序", 10}, {"现金", 10}, {"启用", 10}}},
        // Each payment of a bill (单号 = 桌台.id), stored with its checkout. 金额 as tendered; 找零 the
        // change given back from it (cash only); 冲销 the 序号 of the payment a reversal undoes (a reopened
        // bill's payments are reversed, never deleted), empty for a payment. 班次 the cashier's shift, if one
        // is open.
        {"收款",
         {{"序号", 20},
          {"单号", 50},
          {"方式", 20},
          {"金额", 20},
          {"找零", 20},
          {"时间", 20},
          {"工号", 10},
          {"班次", 20},
          {"冲销", 20}}},
        // Which lines of which table's bill a 并台 joined into another bill (账单), one row per line, so
        // 撤销并台 can put each line back on its own table's bill. 餐桌 is the source table's index.
        {"并台记录", {{"账单", 50}, {"来源账单", 50}, {"餐桌", 10}, {"序号", 50}, {"时间", 20}}},
        // A cashier's shift at the drawer: 编号 counts from 1; 开始 and 结束 (empty while open) as
        // yyyy-MM-dd HH:mm:ss; 备用金 the float put in at the start, 实点 the cash counted at the end and
        // 应有 what the drawer should have held then (amounts in the program's text form). One open shift per
        // 工号.
        {"班次",
         {{"编号", 20},
          {"工号", 10},
          {"收银台", 100},
          {"开始", 20},
          {"结束", 20},
          {"备用金", 20},
          {"实点", 20},
          {"应有", 20}}},
        // Cash put into (positive 金额) or taken out of (negative) the drawer during a shift, with why.
        {"现金出入", {{"序号", 20}, {"班次", 20}, {"金额", 20}, {"说明", 200}, {"时间", 20}, {"工号", 10}}},
        // The day's close: one row per business day (营业日 yyyy-MM-dd), numbered from 1, with the report as
        // it was closed (内容, JSON). Rows are only ever added; a server refuses any other change.
        {"日结", {{"编号", 20}, {"营业日", 10}, {"时间", 20}, {"工号", 10}, {"内容", 20000}}},
        // The staff accounts. 角色 店长, 收银员 or 服务员; 密码散列 the password's slow salted hash (never
        // the password); 启用 "1" or "0" (an account is disabled, never deleted: the trail names it).
        {"员工", {{"工号", 10}, {"姓名", 50}, {"角色", 10}, {"密码散列", 200}, {"启用", 10}}},
        // What each role may do, by right: 允许 "1" or "0". A right a role lacks asks for a 店长's approval.
        // The row 收银员/折扣下限 holds the lowest discount given without approval in 允许 ("0.8").
        {"角色权限", {{"角色", 10}, {"权限", 50}, {"允许", 10}}},
        // The action trail: one row per recorded action, only ever added. 序号 counts from 1; 校验 chains
        // each row to the one before it (see the action trail), so a changed or missing row shows.
        {"操作记录",
         {{"序号", 20},
          {"时间", 20},
          {"工号", 10},
          {"动作", 20},
          {"桌号", 50},
          {"单号", 50},
          {"内容", 1000},
          {"原因", 200},
          {"批准人", 10},
          {"校验", 64}}},
    };
    return defs;
}

const QHash<QString, int>& widthIndex() {
    static const QHash<QString, int> index = [] {
        QHash<QString, int> map;
        for (const TableDef& table : tables())
            for (const Column& column : table.columns)
                map.insert(QString::fromUtf8(table.name) + QLatin1Char('.') + QString::fromUtf8(column.name),
                           column.width);
        return map;
    }();
    return index;
}

// Column types for the engine: on a server every text compares byte by byte as it does in the file, and
// each table gets the row number the file gives every row by itself, which the program orders by.
QByteArray columnType(const Database& db, int width) {
    const QByteArray type = width > 0 ? "VARCHAR(" + QByteArray::number(width) + ")"
                                      : QByteArray(db.isServer() ? "TEXT" : "DATETIME");
    return db.isServer() ? type + " COLLATE \"C\"" : type;
}

const TableDef& tableDef(const char* name) {
    for (const TableDef& table : tables())
        if (qstrcmp(table.name, name) == 0)
            return table;
    throw StoreError(QStringLiteral("没有表 %1").arg(QString::fromUtf8(name)));
}

QByteArray createTableSql(const Database& db, const TableDef& table) {
    QByteArray sql = "CREATE TABLE IF NOT EXISTS \"" + QByteArray(table.name) + "\" (";
    if (db.isServer())
        sql += "rowid BIGSERIAL PRIMARY KEY, ";
    bool first = true;
    for (const Column& column : table.columns) {
        if (!first)
            sql += ", ";
        first = false;
        sql += '"' + column.name + "\" " + columnType(db, column.width);
    }
    sql += ");";
    return sql;
}

// The server's versions of the functions the file's connection registers in C: reading a stored amount
// by the program's rule, its sum, SQLite's reading of a text as a whole number, and the clock claims expire
// by (the server's own, so counters whose clocks differ still agree). cj_number is one
// expression, so the server writes it into the query (statements ask for sum(cj_number(x)) rather than
// the cj_sum aggregate, whose step function the server would call row by row).
void CreateServerFunctions(Database& db) {
    db.exec(R"sql(
CREATE OR REPLACE FUNCTION cj_number(value text) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
  SELECT CASE WHEN value IS NULL THEN NULL
              WHEN value ~ '^-?[0-9]+(\.[0-9]*)?$' THEN value::double precision
              WHEN substring(translate(value, E' \t', '') FROM '^[+-]?[0-9]*\.?[0-9]*') ~ '[0-9]'
              THEN substring(translate(value, E' \t', '') FROM '^[+-]?[0-9]*\.?[0-9]*')::double precision
              ELSE 0 END
$$;
CREATE OR REPLACE FUNCTION cj_int(value text) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
  SELECT coalesce(substring(ltrim(value) FROM '^[+-]?[0-9]{1,18}')::bigint, 0)
$$;
CREATE OR REPLACE FUNCTION cj_sum_step(total double precision, value text) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
  SELECT CASE WHEN value IS NULL THEN total ELSE coalesce(total, 0) + cj_number(value) END
$$;
CREATE OR REPLACE FUNCTION cj_sum_final(total double precision) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT total::text $$;
CREATE OR REPLACE AGGREGATE cj_sum(text) (SFUNC = cj_sum_step, STYPE = double precision,
                                          FINALFUNC = cj_sum_final);
CREATE OR REPLACE FUNCTION cj_now_ms() RETURNS bigint
LANGUAGE sql VOLATILE PARALLEL SAFE AS $$
  SELECT floor(extract(epoch FROM clock_timestamp()) * 1000)::bigint
$$;
)sql");
}

void insertSampleRows(Database& db) {
    Statement settings(db,
                       "INSERT INTO \"综合设置\" (\"餐馆名称\", \"电话\", \"地址\", \"左边距\", \"上边距\", "
                       "\"打印机\", \"密码\", \"手机点餐\", \"下边距\", \"右边距\", \"手机送厨\") "
                       "VALUES (?, ?, ?, '10', '10', '', '739', '0', '', '', '1')");
    settings.bind(1, QStringLiteral("澄槿小馆")).bind(2, QStringLiteral("0571-88886666"));
    settings.bind(3, QStringLiteral("杭州市西湖区文三路88号"));
    settings.run();
    // Slots start empty rather than NULL so every reader sees text.
    for (int i = 0; i < kSlotColumns; ++i) {
        const QByteArray sql = "UPDATE \"综合设置\" SET \"" + QByteArray::number(i) + "\" = ''";
        db.exec(sql.constData());
    }

    Statement table(db, "INSERT INTO \"餐桌设置\" (\"餐桌名称\", \"编号\") VALUES (?, ?)");
    const QStringList names{QStringLiteral("大厅001"), QStringLiteral("大厅002"), QStringLiteral("大厅003"),
                            QStringLiteral("大厅004"), QStringLiteral("大厅005"), QStringLiteral("大厅006"),
                            QStringLiteral("大厅007"), QStringLiteral("大厅008"), QStringLiteral("大厅009"),
                            QStringLiteral("包厢1"),   QStringLiteral("包厢2"),   QStringLiteral("包厢3"),
                            QStringLiteral("包厢4")};
    for (int i = 0; i < names.size(); ++i) {
        table.bind(1, names.at(i)).bind(2, QStringLiteral("202401011200%1").arg(i, 2, 10, QLatin1Char('0')));
        table.run();
        table.reset();
    }

    struct Item {
        const char* category;
        const char* name;
        const char* unit;
        const char* price;
        const char* initials;
    };
    const Item items[] = {
        {"菜品", "宫保鸡丁", "份", "28", "gbjd"}, {"菜品", "鱼香肉丝", "份", "26", "yxrs"},
        {"菜品", "麻婆豆腐", "份", "18", "mpdf"}, {"菜品", "清蒸鲈鱼", "条", "58", "qzly"},
        {"酒水", "青岛啤酒", "瓶", "8", "qdpj"},  {"酒水", "可乐", "瓶", "5", "kl"},
        {"酒水", "橙汁", "杯", "6", "cz"},        {"其他", "米饭", "碗", "2", "mf"},
        {"其他", "餐具", "套", "1", "cj"},        {"其他", "打包盒", "个", "1", "dbh"},
    };
    Statement menu(
        db, "INSERT INTO \"菜单\" (\"名称\", \"数量\", \"单位\", \"单价\", \"拼音\", \"查询\", \"备注\", "
            "\"备用1\", \"备用2\", \"备用3\", \"序号\", \"分类\") "
            "VALUES (?, '1', ?, ?, ?, ?, '', '', '', '', ?, ?)");
    int key = 0;
    for (const Item& item : items) {
        const QString name = QString::fromUtf8(item.name);
        const QString initials = QString::fromUtf8(item.initials);
        menu.bind(1, name).bind(2, QString::fromUtf8(item.unit)).bind(3, QString::fromUtf8(item.price));
        menu.bind(4, initials).bind(5, name + QLatin1Char('-') + initials);
        menu.bind(6, QStringLiteral("202401011300%1").arg(key++, 2, 10, QLatin1Char('0')));
        menu.bind(7, QString::fromUtf8(item.category));
        menu.run();
        menu.reset();
    }
}

bool mayChangeSchema(Database& db) {
    Statement privilege(
        db, "SELECT CASE WHEN has_schema_privilege(current_schema(), 'CREATE') THEN 1 ELSE 0 END");
    return privilege.next() && privilege.integer(0) == 1;
}

// A statement naming a missing column cannot be prepared; the file is not touched either way. The probe
// runs in a savepoint of its own, since a server aborts the whole transaction on a failed statement.
bool hasColumn(Database& db, const char* table, const char* column) {
    // Qualified, because SQLite reads an unknown bare "name" as a string and the probe would pass.
    const QByteArray sql =
        QByteArray("SELECT \"") + table + "\".\"" + column + "\" FROM \"" + table + "\" WHERE 1 = 0";
    Transaction probeStep(db, Transaction::Kind::Write);
    try {
        Statement probe(db, sql.constData());
        probe.next();
        return true;
    } catch (const StoreError&) {
        return false;
    }
}

} // namespace

void CreateIndexes(Database& db) {
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"桌台_id\" ON \"桌台\" (\"id\");");
    // Covers the history list, so a search over years reads the index alone, never the wide bill rows.
    db.exec("CREATE INDEX IF NOT EXISTS \"桌台_历史\" ON \"桌台\" "
            "(\"日期\", \"退桌状态\", \"姓名\", \"id\", \"桌号\", \"挂账状态\");");
    // The closed bills in id order (their opening time), so a query over months or years reads its
    // newest page by walking back from its last day instead of sorting every bill of its dates.
    db.exec("CREATE INDEX IF NOT EXISTS \"桌台_结账\" ON \"桌台\" "
            "(\"退桌状态\", \"id\", \"日期\", \"姓名\", \"桌号\", \"挂账状态\");");
    // Most bills carry no customer name; a name search over years reads only those that do.
    db.exec("CREATE INDEX IF NOT EXISTS \"桌台_姓名\" ON \"桌台\" "
            "(\"姓名\", \"日期\", \"退桌状态\", \"id\", \"桌号\", \"挂账状态\") WHERE \"姓名\" <> '';");
    db.exec("CREATE INDEX IF NOT EXISTS \"明细_id\" ON \"明细\" (\"id\", \"排序\");");
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"明细_序号\" ON \"明细\" (\"序号\");");
    db.exec("CREATE INDEX IF NOT EXISTS \"明细_日期_分类\" ON \"明细\" (\"日期\", \"分类\");");
    db.exec("CREATE INDEX IF NOT EXISTS \"菜单_分类\" ON \"菜单\" (\"分类\");");
}

void CreateTableTokens(Database& db) {
    const QByteArray sql = "CREATE TABLE IF NOT EXISTS \"桌台令牌\" (" +
                           QByteArray(db.isServer() ? "rowid BIGSERIAL PRIMARY KEY, " : "") + "\"编号\" " +
                           columnType(db, 50) + " NOT NULL, \"令牌\" " + columnType(db, 64) + " NOT NULL);";
    db.exec(sql.constData());
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"桌台令牌_编号\" ON \"桌台令牌\" (\"编号\");");
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"桌台令牌_令牌\" ON \"桌台令牌\" (\"令牌\");");
}

void CreatePrintTables(Database& db) {
    db.exec(createTableSql(db, tableDef("打印机")).constData());
    db.exec(createTableSql(db, tableDef("打印任务")).constData());
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"打印任务_编号\" ON \"打印任务\" (\"编号\");");
    // The spooler asks for each printer's next waiting job, and the main window counts them.
    db.exec("CREATE INDEX IF NOT EXISTS \"打印任务_状态\" ON \"打印任务\" (\"状态\", \"打印机\", \"编号\");");
    db.exec("CREATE INDEX IF NOT EXISTS \"打印任务_日期\" ON \"打印任务\" (\"日期\");");
}

void CreateKitchenRecords(Database& db) {
    db.exec(createTableSql(db, tableDef("送厨记录")).constData());
    db.exec("CREATE INDEX IF NOT EXISTS \"送厨记录_账单\" ON \"送厨记录\" (\"账单\", \"序号\");");
    if (!hasColumn(db, "菜单", "打印机"))
        db.exec(("ALTER TABLE \"菜单\" ADD COLUMN \"打印机\" " + columnType(db, 200)).constData());
}

void CreatePhoneOrderTables(Database& db) {
    db.exec(createTableSql(db, tableDef("手机订单令牌")).constData());
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"手机订单令牌_令牌\" ON \"手机订单令牌\" (\"令牌\");");
    db.exec(createTableSql(db, tableDef("待确认订单")).constData());
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"待确认订单_编号\" ON \"待确认订单\" (\"编号\");");
    for (const char* column : {"顾客每道限量", "顾客每单限量", "顾客订单确认"})
        if (!hasColumn(db, "综合设置", column))
            db.exec(
                ("ALTER TABLE \"综合设置\" ADD COLUMN \"" + QByteArray(column) + "\" " + columnType(db, 10))
                    .constData());
    db.exec("UPDATE \"综合设置\" SET \"顾客每道限量\" = '20' WHERE \"顾客每道限量\" IS NULL;");
    db.exec("UPDATE \"综合设置\" SET \"顾客每单限量\" = '100' WHERE \"顾客每单限量\" IS NULL;");
    db.exec("UPDATE \"综合设置\" SET \"顾客订单确认\" = '0' WHERE \"顾客订单确认\" IS NULL;");
}

void CreateGuestServiceTables(Database& db) {
    db.exec(createTableSql(db, tableDef("呼叫")).constData());
    for (const auto& [column, width] : {std::pair{"估清", 10}, std::pair{"分组", 50}})
        if (!hasColumn(db, "菜单", column))
            db.exec(
                ("ALTER TABLE \"菜单\" ADD COLUMN \"" + QByteArray(column) + "\" " + columnType(db, width))
                    .constData());
}

void CreateDishPictures(Database& db) {
    db.exec(createTableSql(db, tableDef("菜品图片")).constData());
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"菜品图片_序号\" ON \"菜品图片\" (\"序号\");");
    if (!hasColumn(db, "菜单", "描述"))
        db.exec(("ALTER TABLE \"菜单\" ADD COLUMN \"描述\" " + columnType(db, 100)).constData());
}

void CreateClaimTable(Database& db) {
    const QByteArray sql = "CREATE TABLE IF NOT EXISTS \"占用\" (" +
                           QByteArray(db.isServer() ? "rowid BIGSERIAL PRIMARY KEY, " : "") + "\"对象\" " +
                           columnType(db, 50) + " NOT NULL, \"持有者\" " + columnType(db, 64) +
                           " NOT NULL, \"说明\" " + columnType(db, 200) + " NOT NULL, \"到期\" " +
                           QByteArray(db.isServer() ? "BIGINT" : "INTEGER") + " NOT NULL);";
    db.exec(sql.constData());
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"占用_对象\" ON \"占用\" (\"对象\");");
}

void GuardActionTrail(Database& db) {
    // The counters' own role writes the trail, so a right withheld from it would stop the appends too:
    // the table itself refuses every change but an added row, whoever asks.
    db.exec(R"sql(
CREATE OR REPLACE FUNCTION cj_trail_unchangeable() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  RAISE EXCEPTION '操作记录不能修改或删除';
END
$$;
CREATE OR REPLACE TRIGGER "操作记录_不可修改" BEFORE UPDATE OR DELETE ON "操作记录"
  FOR EACH ROW EXECUTE FUNCTION cj_trail_unchangeable();
CREATE OR REPLACE TRIGGER "操作记录_不可清空" BEFORE TRUNCATE ON "操作记录"
  FOR EACH STATEMENT EXECUTE FUNCTION cj_trail_unchangeable();
)sql");
}

void CreateStaffTables(Database& db) {
    for (const char* table : {"员工", "角色权限", "操作记录"})
        db.exec(createTableSql(db, tableDef(table)).constData());
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"员工_工号\" ON \"员工\" (\"工号\");");
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"操作记录_序号\" ON \"操作记录\" (\"序号\");");
    db.exec("CREATE INDEX IF NOT EXISTS \"操作记录_时间\" ON \"操作记录\" (\"时间\");");
    if (db.isServer())
        GuardActionTrail(db);
    for (const auto& [column, width] : {std::pair{"点菜人", 10}, std::pair{"点菜时间", 20}})
        if (!hasColumn(db, "明细", column))
            db.exec(
                ("ALTER TABLE \"明细\" ADD COLUMN \"" + QByteArray(column) + "\" " + columnType(db, width))
                    .constData());
    if (Statement any(db, "SELECT 1 FROM \"员工\" LIMIT 1"); any.next())
        return;
    // The installation's one password becomes the first account's, a 店长's; from now on only its hash
    // is kept.
    QString password;
    if (Statement read(db, "SELECT \"密码\" FROM \"综合设置\" ORDER BY rowid LIMIT 1"); read.next())
        password = read.text(0);
    Statement insert(db, "INSERT INTO \"员工\" (\"工号\", \"姓名\", \"角色\", \"密码散列\", \"启用\") "
                         "VALUES (?, ?, ?, ?, '1')");
    insert.bind(1, kFirstStaffId).bind(2, QStringLiteral("店长")).bind(3, QStringLiteral("店长"));
    insert.bind(4, HashPassword(password)).run();
    db.exec("UPDATE \"综合设置\" SET \"密码\" = '';");
}

void CreatePaymentTables(Database& db) {
    db.exec(createTableSql(db, tableDef("支付方式")).constData());
    db.exec(createTableSql(db, tableDef("收款")).constData());
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"支付方式_名称\" ON \"支付方式\" (\"名称\");");
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"收款_序号\" ON \"收款\" (\"序号\");");
    db.exec("CREATE INDEX IF NOT EXISTS \"收款_单号\" ON \"收款\" (\"单号\");");
    db.exec("CREATE INDEX IF NOT EXISTS \"收款_时间\" ON \"收款\" (\"时间\");");
    if (Statement any(db, "SELECT 1 FROM \"支付方式\" LIMIT 1"); any.next())
        return;
    int order = 0;
    for (const char* method : {"现金", "微信", "支付宝", "银行卡", "会员卡/储值", "挂账"}) {
        Statement insert(db, "INSERT INTO \"支付方式\" (\"名称\", \"排序\", \"现金\", \"启用\") "
                             "VALUES (?, ?, ?, '1')");
        const QString name = QString::fromUtf8(method);
        insert.bind(1, name).bind(2, QString::number(++order));
        insert.bind(3, name == kCashMethod ? QStringLiteral("1") : QStringLiteral("0")).run();
    }
}

void CreateMergeRecords(Database& db) {
    db.exec(createTableSql(db, tableDef("并台记录")).constData());
    db.exec("CREATE INDEX IF NOT EXISTS \"并台记录_账单\" ON \"并台记录\" (\"账单\");");
}

void GuardDayCloses(Database& db) {
    db.exec(R"sql(
CREATE OR REPLACE FUNCTION cj_day_close_unchangeable() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  RAISE EXCEPTION '日结不能修改或删除';
END
$$;
CREATE OR REPLACE TRIGGER "日结_不可修改" BEFORE UPDATE OR DELETE ON "日结"
  FOR EACH ROW EXECUTE FUNCTION cj_day_close_unchangeable();
CREATE OR REPLACE TRIGGER "日结_不可清空" BEFORE TRUNCATE ON "日结"
  FOR EACH STATEMENT EXECUTE FUNCTION cj_day_close_unchangeable();
)sql");
}

void CreateShiftTables(Database& db) {
    for (const char* table : {"班次", "现金出入", "日结"})
        db.exec(createTableSql(db, tableDef(table)).constData());
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"班次_编号\" ON \"班次\" (\"编号\");");
    // Two counters starting a shift for the same 工号 at once: the second insert fails rather than
    // leaving two open shifts.
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"班次_未交班\" ON \"班次\" (\"工号\") WHERE \"结束\" = '';");
    db.exec("CREATE INDEX IF NOT EXISTS \"现金出入_班次\" ON \"现金出入\" (\"班次\");");
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"日结_编号\" ON \"日结\" (\"编号\");");
    db.exec("CREATE UNIQUE INDEX IF NOT EXISTS \"日结_营业日\" ON \"日结\" (\"营业日\");");
    db.exec("CREATE INDEX IF NOT EXISTS \"收款_班次\" ON \"收款\" (\"班次\");");
    if (!hasColumn(db, "综合设置", "营业日结束"))
        db.exec(("ALTER TABLE \"综合设置\" ADD COLUMN \"营业日结束\" " + columnType(db, 10)).constData());
    db.exec("UPDATE \"综合设置\" SET \"营业日结束\" = '04:00' WHERE \"营业日结束\" IS NULL;");
    if (db.isServer())
        GuardDayCloses(db);
}

void CreateSchema(Database& db) {
    Transaction transaction(db);
    for (const TableDef& table : tables())
        db.exec(createTableSql(db, table).constData());
    CreateTableTokens(db);
    CreatePrintTables(db);
    CreateClaimTable(db);
    CreateKitchenRecords(db);
    CreateIndexes(db);
    insertSampleRows(db);
    CreatePhoneOrderTables(db);
    CreateGuestServiceTables(db);
    CreateDishPictures(db);
    CreateStaffTables(db);
    CreatePaymentTables(db);
    CreateMergeRecords(db);
    CreateShiftTables(db);
    if (db.isServer())
        CreateServerFunctions(db);
    db.setUserVersion(kSchemaVersion);
    transaction.commit();
}

void MigrateSchema(Database& db) {
    const int version = db.userVersion();
    if (version > kSchemaVersion)
        throw StoreError(QStringLiteral("%1 %2 由更新版本的软件写入（版本 %3），本软件无法使用。")
                             .arg(db.isServer() ? QStringLiteral("数据库") : QStringLiteral("数据库文件"))
                             .arg(db.path())
                             .arg(version));
    // A prepared database on a server: a role that may only read and write rows works on it as it is.
    if (version == kSchemaVersion && db.isServer() && !mayChangeSchema(db))
        return;
    Transaction transaction(db);
    CreateIndexes(db);
    if (db.isServer())
        CreateServerFunctions(db);
    if (version < 2)
        CreateTableTokens(db);
    if (version < 3) {
        CreatePrintTables(db);
        // Phone orders go to the kitchen by themselves once a kitchen printer is set up.
        if (!hasColumn(db, "综合设置", "手机送厨")) {
            db.exec(("ALTER TABLE \"综合设置\" ADD COLUMN \"手机送厨\" " + columnType(db, 10)).constData());
            db.exec("UPDATE \"综合设置\" SET \"手机送厨\" = '1';");
        }
    }
    if (version < 4)
        CreateClaimTable(db);
    if (version < 5)
        CreateKitchenRecords(db);
    if (version < 6)
        CreatePhoneOrderTables(db);
    if (version < 7) {
        CreateGuestServiceTables(db);
        CreateDishPictures(db);
    }
    if (version < 8)
        CreateStaffTables(db);
    else if (db.isServer())
        GuardActionTrail(db); // a server prepared before the trail was guarded
    if (version < 9) {
        CreatePaymentTables(db);
        CreateMergeRecords(db);
        CreateShiftTables(db);
    }
    // Empty reads as off: restaurants whose kitchen prints phone orders need no bell.
    if (version < 10 && !hasColumn(db, "综合设置", "新单提醒"))
        db.exec(("ALTER TABLE \"综合设置\" ADD COLUMN \"新单提醒\" " + columnType(db, 10)).constData());
    // Empty: the guests were not counted.
    if (version < 10 && !hasColumn(db, "桌台", "人数"))
        db.exec(("ALTER TABLE \"桌台\" ADD COLUMN \"人数\" " + columnType(db, 10)).constData());
    if (version < kSchemaVersion)
        db.setUserVersion(kSchemaVersion);
    transaction.commit();
}

QStringList ProgramTableNames() {
    QStringList names;
    for (const TableDef& table : tables())
        names.append(QString::fromUtf8(table.name));
    names.append(QStringLiteral("桌台令牌"));
    return names;
}

int ColumnWidth(const QString& table, const QString& column) {
    return widthIndex().value(table + QLatin1Char('.') + column, 0);
}

int CharacterCount(const QString& text) {
    return static_cast<int>(text.toUcs4().size());
}

void CheckWidths(const QString& table, std::initializer_list<std::pair<const char*, QString>> values) {
    for (const auto& [column, value] : values) {
        const int width = ColumnWidth(table, QString::fromUtf8(column));
        if (width > 0 && CharacterCount(value) > width)
            throw ValueTooLong(QStringLiteral("“%1”太长：最多 %2 个字符，现在是 %3 个字符，未保存。")
                                   .arg(QString::fromUtf8(column))
                                   .arg(width)
                                   .arg(CharacterCount(value)));
    }
}

namespace {
constexpr const char* kUnfinishedCopy = "复制未完成";
} // namespace

void MarkUnfinishedCopy(Database& db) {
    db.exec(
        (QByteArray("CREATE TABLE IF NOT EXISTS \"") + kUnfinishedCopy + "\" (\"开始\" TEXT)").constData());
}

void ClearUnfinishedCopyMark(Database& db) {
    db.exec((QByteArray("DROP TABLE IF EXISTS \"") + kUnfinishedCopy + '"').constData());
}

bool HasUnfinishedCopyMark(Database& db) {
    return HasTable(db, kUnfinishedCopy);
}

bool HasTable(Database& db, const char* name) {
    Statement probe(db, db.isServer()
                            ? "SELECT count(*) FROM information_schema.tables WHERE table_schema = "
                              "current_schema() AND table_name = ?"
                            : "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
    probe.bind(1, QString::fromUtf8(name));
    return probe.next() && probe.integer(0) > 0;
}

void RefuseUnfinishedCopy(Database& db) {
    if (HasUnfinishedCopyMark(db))
        throw StoreError(QStringLiteral("数据库 %1 是一次没有完成的复制，不能使用。请重新运行 "
                                        "cjpos --copy-database 完成复制（不需要 --overwrite）。")
                             .arg(db.path()));
}
