#pragma once

#include "bill/BillHeader.h"
#include "bill/BillStore.h"
#include "bill/OrderLine.h"
#include "bill/Payments.h"
#include "store/StoreError.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

class Database;
class Transaction;

// A step refused because another writer settled, moved or deleted the bill, or removed the line, a moment
// before: nothing was stored, and the writer should look at the bill again.
class BillChangedElsewhere : public StoreError {
public:
    using StoreError::StoreError;
};

// Changes other writers (phones, another counter) made to the open bill that the user here has not acted
// on since they appeared.
struct ChangesElsewhere {
    int added = 0;
    int changed = 0;
    int removed = 0;
    bool any() const { return added + changed + removed > 0; }
    bool operator==(const ChangesElsewhere&) const = default;
};

// A line the kitchen already has, changed by a step: as it was (with what the kitchen has), and its
// quantity now; empty when the line was deleted.
struct KitchenChange {
    OrderLine line;
    QString quantityNow;
};

// How the open bill meets the kitchen, set by whoever opens it (the counter's desk, a phone page).
struct KitchenRules {
    // Whether a new line carries the kitchen mark √; by default a dish does.
    std::function<bool(const OrderLine&)> marksNewLine;
    // Runs inside the step that changed lines the kitchen has, so the kitchen hears of it with the change;
    // `takeBack` says who took dishes back and why, for the 退菜 ticket. True when it wrote tickets.
    std::function<bool(const QString& billId, const QString& tableName, const QList<KitchenChange>& changes,
                       const QString& takeBack)>
        tell;
};

// The open bill: which bill it is (a table's, or a closed one from the history list), its header and lines
// as stored, and every edit the ordering window and the phone pages make to it.
//
// The bill is written by several hands at once, so the document never writes from a copy: every edit is one
// step applied in one transaction to what is stored now (which bill the table holds, the line as it is), and
// the bill row's totals are computed from the stored lines inside that step. After each step, and whenever
// followStored() is called, the document shows the bill as stored and says what others changed. A change
// that cannot be stored leaves the document as it was and throws StoreError. Windows observe it through its
// signals.
class BillDocument : public QObject {
    Q_OBJECT
public:
    explicit BillDocument(Database& db, QObject* parent = nullptr);

    // Opens the bill a table's slot holds, or a new bill whose id will be the time `now` (or the next free
    // second); a new bill is stored, and its id reserved, by the step that stores its first line.
    void openTable(int table, const QString& tableName, const QDateTime& now);
    // Opens a closed bill chosen in the history list; its saves leave the slots and 退桌状态 alone. Throws
    // StoreError when the bill no longer exists.
    void openClosedBill(const QString& billId);

    // The table whose bill is open; -1 for a closed bill from the history list (or before any opening).
    int table() const { return table_; }
    bool isClosedBill() const { return closedBill_; }
    // The bill's id; for a new bill not stored yet, the id it will most likely get.
    const QString& billId() const { return state_.header.billId; }
    bool isStored() const { return state_.stored.has_value(); }
    const BillHeader& header() const { return state_.header; }
    const QList<OrderLine>& lines() const { return state_.lines; }
    QStringList sortKeys() const;
    int selectedLine() const;
    // The discount factor as typed (0.8 is 20 % off), or as a reopened paid bill was discounted; never
    // stored.
    const QString& discount() const { return state_.discount; }
    // Why this document can no longer change its bill (settled or moved elsewhere); empty while it can.
    const QString& goneReason() const { return gone_; }

    // Header fields as typed. They are stored with the next step (storeFields, save, any line change); a
    // bill with nothing stored yet keeps them until its first line.
    void setCustomerName(const QString& text);
    void setPhone(const QString& text);
    void setBillRemark(const QString& text);
    // 人数 as a whole number of guests, empty when not given.
    void setGuests(const QString& text);
    // 实收 typed by staff: from now on it no longer follows 应收.
    void setReceived(const QString& text);
    void setCredit(const QString& text);
    void storeFields();

    // Adds a menu item as a new line; returns its position (lines stay grouped by category).
    int addItem(const MenuRecord& record, const QDateTime& now);
    void setQuantity(int line, const QString& text);
    void setPrice(int line, const QString& text);
    void setRemark(int line, const QString& text);
    void toggleServed(int line);
    // The kitchen mark lives in the document only, never in the database.
    void toggleKitchenMark(int line);
    // After the lines went to the kitchen: their marks go, and what the kitchen has is read again.
    void sentToKitchen(const QStringList& lineIds);
    void setKitchenRules(KitchenRules rules) { kitchen_ = std::move(rules); }
    // Who edits this bill (工号), for the action trail.
    void setActor(const QString& staffId) { actor_ = staffId; }
    // Why the next edit takes back what the kitchen has (one of the trail's reasons, or typed); used once.
    void setTakeBackReason(const QString& reason) { takeBackReason_ = reason; }
    // The 店长 who approved the next take-back (工号), when the actor's role needed it; used once.
    void setTakeBackApprover(const QString& approver) { takeBackApprover_ = approver; }
    // The 店长 who approved the amounts the next save stores (a discount below the limit), when needed.
    void setAmountsApprover(const QString& approver) { amountsApprover_ = approver; }
    // The 店长 who approved changing this closed bill (反结账), when the actor's role needed it.
    void setReopenApprover(const QString& approver) { reopenApprover_ = approver; }
    // Why a bill of a closed business day is reopened; the trail's row of the 反结账 keeps it.
    void setReopenReason(const QString& reason) { reopenReason_ = reason; }
    // Deletes the selected line; nothing happens while no line is selected.
    void deleteSelected();
    // Selects a line; a row past the last line clears the highlight but keeps the previous selection.
    bool selectLine(int row);

    // Runs several edits as one step: either all of them are stored, or none is and the document is as it
    // was before (the StoreError is passed on).
    void runAsOneStep(const std::function<void()>& edits);

    // Sums the lines by category into the header's totals.
    void computeTotals();

    // The discount factor: 实收 = 应收 × factor, whole; from now on 实收 follows every change of 应收 until
    // staff type 实收 themselves.
    void applyDiscount(const QString& text);
    // 实收 (or 挂账) becomes 应收; 实收 then follows 应收 as well.
    void fillReceived();
    void fillCredit();

    enum class SaveResult {
        Saved,
        NothingToSave,
        // Checking out was not done: the bill changed elsewhere since the user last acted on it (see
        // changesElsewhere()); the document now shows it as stored.
        ChangedElsewhere
    };
    // Writes the typed fields, the bill row and (for a table's bill) its slot in one step; after checkOut()
    // this is the checkout.
    SaveResult save();
    // Marks the bill as left; the following save frees its table.
    void checkOut();
    // The same with the payments taken: the following save stores them with the checkout, in its
    // transaction. On a closed bill (反结账) that save reverses the payments stored before. Payments for
    // an amount due of 0 or less are none, and leave 实收 and 挂账 as they are.
    void checkOut(const PaymentTally& payments);
    void cancelCheckOut();
    // What the payments must cover: 实收 (and 挂账) as typed or discounted, else 应收; in fen. A changed
    // closed bill is settled anew from 应收 unless 实收 was set here, or it was paid at a discount, which
    // its reopening puts back in the 折扣 box.
    qint64 amountDue() const;
    // A closed bill changed here since it was opened: its save must settle it again.
    bool needsSettling() const;
    // The bill's stored payments no reversal has undone.
    QList<StoredPayment> standingPayments();
    // Where the payments are taken (the cashier's shift, once shifts exist); empty for none.
    void setShift(const QString& shift) { shift_ = shift; }
    // Or asked inside the checkout's step, so the shift is the one open as the payments are stored.
    void setShiftLookup(std::function<QString()> lookup) { shiftLookup_ = std::move(lookup); }

    // Reads the stored bill and shows what other writers changed. Returns true when anything changed.
    bool followStored();
    // Changes of others the user has not acted on since they appeared, and a sentence about them for a
    // question before checkout ("手机刚加了 2 道菜，应收 184").
    const ChangesElsewhere& changesElsewhere() const { return state_.unseen; }
    QString changesElsewhereText() const;
    void acknowledgeChanges();

Q_SIGNALS:
    void opened();
    // The lines changed (added, removed or edited, here or elsewhere): the list to show is lines().
    void linesChanged();
    void lineChanged(int line);
    void totalsChanged();
    // Customer fields (name, phone, remark, guests) changed elsewhere.
    void fieldsChanged();
    void selectionChanged(int line);
    // Lines another writer added or changed just now, by line id.
    void linesChangedElsewhere(const QStringList& lineIds);
    // The bill left this table elsewhere (settled, moved) or was deleted: nothing more can be stored.
    void gone(const QString& reason);
    // A table's slot now holds this value as stored (the bill id, or empty once the bill has left).
    void slotStored(int table, const QString& value);
    // A step stored tickets for the kitchen (退菜, 加菜).
    void kitchenTicketsWritten();

private:
    // How 实收 is decided: as stored, from the discount box, as the whole 应收, or as typed.
    enum class ReceivedRule { AsStored, FromDiscount, WholeReceivable, Typed };

    // Everything a failed step puts back.
    struct State {
        BillHeader header;                // as shown: stored values, typed fields, totals of the lines
        std::optional<BillHeader> stored; // the bill row as last read or written; nullopt: no row
        QList<OrderLine> lines;
        QString selectedLineId;
        BillFields typed; // typed here and not stored yet
        QString discount;
        ReceivedRule receivedRule = ReceivedRule::AsStored;
        ChangesElsewhere unseen;
        bool createdHere = false;    // this document inserted the bill row
        bool bound = false;          // the id is this bill's: stored, held by the table's slot, or reserved
        bool reopenRecorded = false; // the trail has this closed bill's reopening
        // The discount was taken from a paid bill's 实收 + 挂账: it covers both, so 实收 is what is left
        // of the discounted amount once the stored 挂账 is taken off.
        bool discountCoversCredit = false;
    };

    void startEditing(const BillHeader& header, const std::optional<BillHeader>& stored,
                      const QList<OrderLine>& lines);
    // One step: `edit` runs on the stored bill inside the transaction, then the bill row follows its lines.
    // `ownLines` are the lines the edit touches; any other difference came from elsewhere.
    void applyStep(const std::function<void(QStringList& ownLines)>& edit);
    // Inside a step: which bill the stored table holds now; refuses what may not be written.
    void resolveStoredBill();
    // Reads the stored header and lines into the document; returns true when something differs.
    bool takeStored(const QStringList& ownLines);
    void followReceivable();
    // A closed bill paid below its 应收: its rate (实收 + 挂账) / 应收 goes into the 折扣 box.
    void restorePaidDiscount();
    // Inside a step: writes the bill row, the typed fields and the slot as the lines now require.
    void persistBill(bool leaving, bool linesTouched);
    void markGone(const QString& reason);
    void editStoredLine(int line, const std::function<void(OrderLine&)>& edit);
    void setTyped(BillField field, QString BillHeader::*member, const QString& text);
    void announceSlot(const QString& value);
    // The user acted on the bill: what others changed before is taken as seen.
    void afterOwnAction();
    bool marksNewLine(const OrderLine& line) const;
    void tellKitchen(const QList<KitchenChange>& changes);
    QList<OrderLine> linesWithKitchen(const QString& billId);
    // Inside a step, for the action trail: a closed bill's first change, what checkout or a closed bill's
    // save changes of the amounts, and a changed price.
    void recordReopening();
    void recordAmounts(const std::optional<BillHeader>& before);
    void recordPrice(const OrderLine& before, const OrderLine& after);
    // Inside the checkout's step: the payments decide 实收 and 挂账, and are stored with it.
    void takePayments();
    void storePayments();
    void appendTrail(const QString& action, const QString& content, const QString& approver,
                     const QString& reason = {});

    Database& db_;
    KitchenRules kitchen_;
    QString actor_;
    QString takeBackReason_;
    QString takeBackApprover_;
    QString amountsApprover_;
    QString reopenApprover_;
    QString reopenReason_;
    BillHeader closedAsOpened_; // a closed bill as it was when opened here
    BillStore store_;
    State state_;
    QDateTime openedAt_; // the time a new bill's id is taken from
    QString slotAtOpen_; // what the table's slot held when the bill was opened (or joined)
    bool leaving_ = false;
    std::optional<PaymentTally> payments_; // taken for the next save's checkout
    QString shift_;
    std::function<QString()> shiftLookup_;
    QString gone_;

    int table_ = -1;
    bool closedBill_ = false;

    int stepDepth_ = 0; // steps running inside runAsOneStep
    std::optional<QString> slotToAnnounce_;
    std::optional<QString> pendingSlot_; // the slot the running step stored
    bool kitchenTold_ = false;           // the running step wrote kitchen tickets
};
