// The "@" text form of order lines: fromText accepts exactly eleven "@"-terminated fields and gives back
// the same text, and a line whose fields hold no "@" survives toText and fromText unchanged; one whose
// fields do hold "@" must be refused rather than read with shifted fields.
// Input: UTF-8 text, parsed as it is; then split at newlines into the eleven fields of a line.

#include "bill/OrderLine.h"

#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail) {
    std::fprintf(stderr, "fuzz_orderline: %s: %s\n", what, detail.toUtf8().constData());
    std::abort();
}

OrderLine lineFromFields(QStringList fields) {
    while (fields.size() < 11)
        fields.append(QString());
    return OrderLine{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5],
                     fields[6], fields[7], fields[8], fields[9], fields[10]};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 8192)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    if (const std::optional<OrderLine> parsed = OrderLine::fromText(text)) {
        if (text.count(QLatin1Char('@')) != 11 || !text.endsWith(QLatin1Char('@')))
            fail("accepted a text without exactly eleven fields", text);
        if (parsed->toText() != text)
            fail("a parsed line does not give its text back", text);
    } else if (text.count(QLatin1Char('@')) == 11 && text.endsWith(QLatin1Char('@'))) {
        fail("refused eleven @-terminated fields", text);
    }

    const QStringList fields = text.split(QLatin1Char('\n'));
    if (fields.size() > 11)
        return 0;
    const OrderLine line = lineFromFields(fields);
    const std::optional<OrderLine> back = OrderLine::fromText(line.toText());
    if (text.contains(QLatin1Char('@'))) {
        if (back)
            fail("a line with @ in a field was read back with shifted fields", text);
    } else if (!back || *back != line) {
        fail("a line without @ did not survive toText and fromText", text);
    }
    return 0;
}
