// Time per symbol of clsQRCode against libqrencode on the same inputs in the same run.
//
// libqrencode always scores all eight masks with the penalty rules, while clsQRCode applies the mask it is
// given. So libqrencode is timed twice: through its public API (QRcode_encodeString: segmentation, version,
// eight masks, penalties) and through QRcode_encodeMask with mask 0, which the shared library exports but
// does not declare in qrencode.h (it runs the same work with one fixed mask and no scoring). Both sides get
// level M and an automatic version, and then once more the same fixed version. Our timings are given for
// the module matrix alone (EncodeModules) and for the finished picture (EncodeText).
#include "mobile/qr/QRCode.h"

#include <qrencode.h>

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

extern "C" {
// Exported by libqrencode, declared only in its private headers.
QRcode* QRcode_encodeMask(QRinput* input, int mask);
int Split_splitStringToQRinput(const char* string, QRinput* input, QRencodeMode hint, int casesensitive);
}

namespace {

using Clock = std::chrono::steady_clock;

// Median of single-call times in microseconds, after a warm-up.
double MedianMicroseconds(int runs, const std::function<void()>& work) {
    for (int i = 0; i < std::max(10, runs / 20); ++i) {
        work();
    }
    QList<double> times;
    times.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.append(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[runs / 2];
}

QByteArray ThousandBytes() {
    // A menu-like text: words, prices, punctuation, so that byte, numeric and alphanumeric runs all occur.
    const QByteArray line =
        "Braised pork belly with rice 28.00; Mapo tofu 12.50; TEA-POT 8 / 1000ml, table 12 ok. ";
    return line.repeated(1000 / line.size() + 1).left(1000);
}

QRcode* LibraryFixedMask(const QByteArray& text, int version) {
    QRinput* input = QRinput_new2(version, QR_ECLEVEL_M);
    if (input == nullptr) {
        return nullptr;
    }
    QRcode* code = nullptr;
    if (Split_splitStringToQRinput(text.constData(), input, QR_MODE_8, 1) == 0) {
        code = QRcode_encodeMask(input, 0);
    }
    QRinput_free(input);
    return code;
}

int LibraryVersion(QRcode* code) {
    const int version = code != nullptr ? code->version : 0;
    QRcode_free(code);
    return version;
}

void Compare(const char* name, const QByteArray& text, int runs) {
    clsQRCode ours;
    const int ourVersion = clsQRCode::ChooseVersion(text, 0, clsQRCode::kLevelM);
    const int libraryVersion =
        LibraryVersion(QRcode_encodeString(text.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1));
    const int libraryFixedVersion = LibraryVersion(LibraryFixedMask(text, 0));
    std::printf("\n%s (%lld bytes), level M: our version %d, libqrencode version %d (fixed-mask path %d)\n",
                name, static_cast<long long>(text.size()), ourVersion, libraryVersion, libraryFixedVersion);

    for (const int version : {0, std::max(ourVersion, libraryVersion)}) {
        const double oursModules =
            MedianMicroseconds(runs, [&] { (void)ours.EncodeModules(text, version, clsQRCode::kLevelM, 0); });
        const double oursPicture =
            MedianMicroseconds(runs, [&] { (void)ours.EncodeText(text, version, clsQRCode::kLevelM, 0); });
        const double libraryAll = MedianMicroseconds(runs, [&] {
            QRcode_free(QRcode_encodeString(text.constData(), version, QR_ECLEVEL_M, QR_MODE_8, 1));
        });
        const double libraryMask0 =
            MedianMicroseconds(runs, [&] { QRcode_free(LibraryFixedMask(text, version)); });
        std::printf("  version %s:\n", version == 0 ? "automatic" : qPrintable(QByteArray::number(version)));
        std::printf("    clsQRCode EncodeModules (mask 0)           %9.1f us\n", oursModules);
        std::printf("    clsQRCode EncodeText, picture (mask 0)     %9.1f us\n", oursPicture);
        std::printf(
            "    libqrencode encodeString (8 masks scored)  %9.1f us   ratio ours/lib %.2f (picture %.2f)\n",
            libraryAll, oursModules / libraryAll, oursPicture / libraryAll);
        std::printf(
            "    libqrencode encodeMask (mask 0 fixed)      %9.1f us   ratio ours/lib %.2f (picture %.2f)\n",
            libraryMask0, oursModules / libraryMask0, oursPicture / libraryMask0);
    }
}

} // namespace

int main() {
    std::printf("QR encoding, median time per symbol (libqrencode %s)\n", QRcode_APIVersionString());
    Compare("page address", "http://10.0.0.8:8212/phone/list.asp", 5000);
    Compare("1,000-byte text", ThousandBytes(), 1000);
    return 0;
}
