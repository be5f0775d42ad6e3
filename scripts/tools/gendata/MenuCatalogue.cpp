#include "MenuCatalogue.h"

namespace {

struct Word {
    const char* text;
    const char* initials;
};

constexpr Word kMethods[] = {
    {"红烧", "hs"}, {"清蒸", "qz"}, {"干煸", "gb"}, {"爆炒", "bc"}, {"糖醋", "tc"},
    {"麻辣", "ml"}, {"香煎", "xj"}, {"蒜蓉", "sr"}, {"酸菜", "sc"}, {"宫保", "gb"},
    {"鱼香", "yx"}, {"椒盐", "jy"}, {"水煮", "sz"}, {"孜然", "zr"}, {"葱爆", "cb"},
    {"酱爆", "jb"}, {"干锅", "gg"}, {"铁板", "tb"}, {"白灼", "bz"}, {"回锅", "hg"},
};

constexpr Word kIngredients[] = {
    {"排骨", "pg"}, {"鸡丁", "jd"}, {"牛肉", "nr"}, {"鱼片", "yp"}, {"虾仁", "xr"},
    {"豆腐", "df"}, {"茄子", "qz"}, {"肉丝", "rs"}, {"鸭块", "yk"}, {"羊肉", "yr"},
};

struct Fixed {
    const char* name;
    const char* initials;
    const char* unit;
    double price;
};

constexpr Fixed kDrinks[] = {
    {"青岛啤酒", "qdpj", "瓶", 8},
    {"雪花啤酒", "xhpj", "瓶", 7},
    {"百威啤酒", "bwpj", "瓶", 12},
    {"哈尔滨啤酒", "hebpj", "瓶", 8},
    {"燕京啤酒", "yjpj", "瓶", 7},
    {"可乐", "kl", "瓶", 5},
    {"雪碧", "xb", "瓶", 5},
    {"芬达", "fd", "瓶", 5},
    {"橙汁", "cz", "杯", 6},
    {"椰汁", "yz", "瓶", 8},
    {"酸梅汤", "smt", "壶", 18},
    {"王老吉", "wlj", "罐", 6},
    {"加多宝", "jdb", "罐", 6},
    {"矿泉水", "kqs", "瓶", 3},
    {"苏打水", "sds", "瓶", 4.5},
    {"绿茶", "lc", "壶", 15},
    {"红茶", "hc", "壶", 15},
    {"奶茶", "nc", "杯", 9.5},
    {"豆浆", "dj", "杯", 4},
    {"柠檬水", "nms", "壶", 12},
    {"二锅头", "egt", "瓶", 15},
    {"五粮液", "wly", "瓶", 980},
    {"茅台", "mt", "瓶", 1680},
    {"汾酒", "fj", "瓶", 168},
    {"干红葡萄酒", "ghptj", "瓶", 128},
    {"白葡萄酒", "bptj", "瓶", 118},
    {"黄酒", "hj", "壶", 28},
    {"米酒", "mj", "碗", 6},
    {"鲜榨西瓜汁", "xzxgz", "扎", 28},
    {"鲜榨芒果汁", "xzmgz", "扎", 32},
};

constexpr Fixed kOthers[] = {
    {"米饭", "mf", "碗", 2},     {"馒头", "mt", "个", 1.5},        {"花卷", "hj", "个", 1.5},
    {"面条", "mt", "碗", 12},    {"饺子", "jz", "份", 18},         {"餐具", "cj", "套", 1},
    {"打包盒", "dbh", "个", 1},  {"纸巾", "zj", "包", 2},          {"茶位", "cw", "位", 3},
    {"包厢费", "bxf", "间", 50}, {"蛋炒饭", "dcf", "份", 15},      {"炒面", "cm", "份", 15},
    {"小菜", "xc", "碟", 6},     {"咸菜", "xc", "碟", 4},          {"瓜子", "gz", "碟", 8},
    {"花生", "hs", "碟", 8},     {"果盘", "gp", "份", 38},         {"[时令]甜品", "sltp", "份", 16},
    {"汤圆", "ty", "碗", 10},    {"皮蛋瘦肉粥", "pdsrz", "碗", 8},
};

} // namespace

std::vector<GeneratedItem> MenuCatalogue() {
    std::vector<GeneratedItem> items;
    int index = 0;
    for (const Word& method : kMethods) {
        for (const Word& ingredient : kIngredients) {
            if (index % 2 == 0) {
                GeneratedItem item;
                item.category = QStringLiteral("菜品");
                item.name = QString::fromUtf8(method.text) + QString::fromUtf8(ingredient.text);
                item.initials = QString::fromUtf8(method.initials) + QString::fromUtf8(ingredient.initials);
                item.unit = index % 6 == 0 ? QStringLiteral("盘") : QStringLiteral("份");
                // Prices from 12 to 88, every seventh with half a yuan.
                item.price = 12 + (index * 37) % 77 + (index % 7 == 0 ? 0.5 : 0.0);
                if (index % 25 == 0)
                    item.oldUnit = QStringLiteral("例");
                items.push_back(item);
            }
            ++index;
        }
    }
    // The even combinations give 100 dishes; one of them is sold under a bracketed name.
    items[3].name = QStringLiteral("[招牌]") + items[3].name;
    items[3].initials = QStringLiteral("zp") + items[3].initials;

    const auto addFixed = [&items](const QString& category, const Fixed& fixed) {
        items.push_back({category, QString::fromUtf8(fixed.name), QString::fromUtf8(fixed.initials),
                         QString::fromUtf8(fixed.unit), fixed.price, QString()});
    };
    for (const Fixed& drink : kDrinks)
        addFixed(QStringLiteral("酒水"), drink);
    for (const Fixed& other : kOthers)
        addFixed(QStringLiteral("其他"), other);
    return items;
}

QStringList CustomerNames() {
    return {QStringLiteral("张伟"),   QStringLiteral("王芳"),     QStringLiteral("李娜"),
            QStringLiteral("刘强"),   QStringLiteral("陈静"),     QStringLiteral("杨洋"),
            QStringLiteral("赵磊"),   QStringLiteral("黄敏"),     QStringLiteral("周杰"),
            QStringLiteral("吴刚"),   QStringLiteral("徐丽"),     QStringLiteral("孙涛"),
            QStringLiteral("马超"),   QStringLiteral("朱琳"),     QStringLiteral("胡军"),
            QStringLiteral("郭靖"),   QStringLiteral("林峰"),     QStringLiteral("何静"),
            QStringLiteral("高翔"),   QStringLiteral("罗兰"),     QStringLiteral("老王"),
            QStringLiteral("李老板"), QStringLiteral("公司聚餐"), QStringLiteral("O'Brien")};
}
