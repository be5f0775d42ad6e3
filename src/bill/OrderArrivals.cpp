#include "bill/OrderArrivals.h"

#include "bill/PhoneOrderKeys.h"
#include "store/Database.h"

#include <QDateTime>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString LookBackFrom(const QString& newest) {
    const QDateTime at = QDateTime::fromString(newest, kTimeFormat);
    return at.isValid() ? at.addSecs(-OrderArrivals::kLookBackSeconds).toString(kTimeFormat) : QString();
}

} // namespace

QList<ArrivedOrder> OrderArrivals::sinceLastLook() {
    Statement rows(db_, "SELECT \"令牌\", \"时间\", \"桌号\", \"结果\" FROM \"手机订单令牌\" "
                        "WHERE \"时间\" >= ? ORDER BY \"时间\"");
    rows.bind(1, LookBackFrom(newest_));
    QList<ArrivedOrder> arrived;
    QHash<QString, QString> seenNow;
    while (rows.next()) {
        const QString key = rows.text(0);
        const QString at = rows.text(1);
        if (primed_ && !seen_.contains(key))
            arrived.append({rows.text(2), rows.text(3) == kOrderResultPending});
        seenNow.insert(key, at);
        newest_ = std::max(newest_, at);
    }
    seen_ = std::move(seenNow);
    primed_ = true;
    return arrived;
}
