// Initials of dish and drink names whose characters have more than one reading: each row's initials are
// what staff type for the name, written by hand from its usual reading.

#include "menu/Pinyin.h"

#include <QTest>

class PinyinDishesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initials_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("initials");
        const auto row = [](const char* name, const char* initials) {
            QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(initials);
        };

        // Common characters, read as the order of GB2312 places them.
        row("番茄炒蛋", "fqcd");
        row("茄子煲", "qzb");
        row("鱼香茄子", "yxqz");
        row("茄汁大虾", "qzdx");
        row("长寿面", "csm");
        row("长沙臭豆腐", "cscdf");
        row("长城干红", "ccgh");
        row("长江鲥鱼", "cjsy");
        row("长白山人参鸡汤", "cbsrsjt");
        row("蛤蜊蒸蛋", "glzd");
        row("曾记粥铺", "zjzp");
        row("厦门炒米粉", "xmcmf");
        row("果脯", "gf");
        row("汤匙", "tc");
        row("回锅肉", "hgr");
        row("干锅花菜", "gghc");
        row("干煸豆角", "gbdj");
        row("藕盒", "oh");
        row("卤味拼盘", "lwpp");
        row("红烧肉", "hsr");
        row("蚌埠烧饼", "bbsb");
        row("乐山钵钵鸡", "lsbbj");
        row("大理乳扇", "dlrs");
        row("薄荷柠檬水", "bhnms");
        row("薄饼", "bb");
        row("皮蛋瘦肉粥", "pdsrz");
        row("艇仔粥", "tzz");
        row("煲仔饭", "bzf");
        row("蛋卷", "dj");
        row("鸡蛋卷饼", "jdjb");
        row("卷心菜", "jxc");
        row("水煮鱼", "szy");
        row("着", "z");
        row("朝天椒炒肉", "ctjcr");
        row("腊肠", "lc");
        row("炸酱面", "zjm");
        row("扎啤", "zp");
        row("煎饼果子", "jbgz");
        row("馄饨", "ht");
        row("臊子面", "szm");
        row("毛血旺", "mxw");
        row("腌笃鲜", "ydx");
        row("叉烧包", "csb");
        row("什锦炒饭", "sjcf");
        row("白切鸡", "bqj");
        row("芥末虾球", "jmxq");
        row("咖啡", "kf");
        row("卡布奇诺", "kbqn");
        row("铁观音", "tgy");
        row("普洱茶", "pec");
        // 参 always gives s.
        row("海参捞饭", "hslf");
        row("党参乌鸡汤", "dswjt");

        // Less common characters, read as the current dictionaries read them.
        row("豆豉蒸排骨", "dczpg");
        row("豉汁蒸凤爪", "czzfz");
        row("豆豉鲮鱼油麦菜", "dclyymc");

        // Characters a menu reads otherwise than a dictionary's first reading.
        row("德州扒鸡", "dzpj");
        row("扒白菜", "pbc");
        row("黑椒牛扒", "hjnp");
        row("粘豆包", "ndb");
        row("蕃茄牛腩", "fqnn");

        // Traditional forms read like their simplified forms.
        row("長壽麵", "csm");
        row("廈門炒米粉", "xmcmf");

        // Words that read a character otherwise than it reads alone.
        row("重庆小面", "cqxm");
        row("重庆火锅", "cqhg");
        row("重阳糕", "cyg");
        row("银行", "yh");
        row("单县羊肉汤", "sxyrt");
        row("西藏牦牛肉", "xzmnr");
        row("藏红花茶", "zhhc");
        row("秘制调料", "mztl");
        row("牛轧糖", "ngt");
        row("蛤蟆油", "hmy");
        row("鸡胸脯", "jxp");
        row("咖喱牛肉饭", "glnrf");
        row("店长推荐", "dztj");
        // Words a menu reads otherwise than the phrase dictionary, or lacks.
        row("白灼芥兰", "bzgl");
        row("蚝油芥蓝", "hygl");
        row("芥蓝菜", "glc");
        row("雪蛤炖木瓜", "xhdmg");
        // A word that would change the first character of the next word gives way to it.
        row("农家长寿面", "njcsm");
        row("养生长寿面", "yscsm");
        row("手工长寿面", "sgcsm");
        row("农家长豆角", "njcdj");
        row("鸡汤汤面", "jttm");
        row("银行卡", "yhk");
    }
    void initials() {
        QFETCH(QString, name);
        QFETCH(QString, initials);
        QCOMPARE(PinyinInitials(name), initials);
    }
};

QTEST_APPLESS_MAIN(PinyinDishesTest)
#include "test_pinyin_dishes.moc"
