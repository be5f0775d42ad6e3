// Time per symbol of clsQRCode against libqrencode on the same inputs in the same run.
//
// First with a fixed mask: libqrencode's public API always scores all eight masks with the penalty rules,
// while clsQRCode's EncodeText applies the mask it is given. So libqrencode is timed twice: through its
// public API (QRcode_encodeString: segmentation, version, eight masks, penalties) and through
// QRcode_encodeMask with mask 0, which the shared library exports but does not declare in qrencode.h (it runs
// the same work with one fixed mask and no scoring). Both sides get level M and an automatic version, and
// then once more the same fixed version. Our timings are given for the module matrix alone (EncodeModules)
// and for the finished picture (EncodeText).
//
// Then both choose the mask, on the addresses the program shows (the page address and a guest table
// code, then the 1,000-byte text): clsQRCode's best-mask entry, as modules and as picture, and
// CodeSheet::Symbol (a fresh encoder and the picture, what the mobile window draws) against
// QRcode_encodeString8bit (byte mode, level M, the mask chosen by libqrencode), and the former way of
// encoding the eight whole symbols and scoring each. No figure is printed unless our symbol is the one
// scoring the eight symbols picks and libqrencode's symbol has the size byte mode needs.
#include "common/QrMaskReference.h"
#include "mobile/CodeSheet.h"
#include "mobile/qr/QRCode.h"

#include <qrencode.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

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

// Medians as above for several pieces of work timed in turn within each run, so that a change in the load
// of a shared machine falls on all of them alike.
std::vector<double> InterleavedMedianMicroseconds(int runs, const std::vector<std::function<void()>>& works) {
    for (int i = 0; i < std::max(10, runs / 20); ++i) {
        for (const auto& work : works) {
            work();
        }
    }
    std::vector<std::vector<double>> times(works.size());
    for (int i = 0; i < runs; ++i) {
        for (std::size_t w = 0; w < works.size(); ++w) {
            const auto start = Clock::now();
            works[w]();
            times[w].push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    std::vector<double> medians;
    for (std::vector<double>& one : times) {
        std::nth_element(one.begin(), one.begin() + runs / 2, one.end());
        medians.push_back(one[std::size_t(runs / 2)]);
    }
    return medians;
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

// The version a byte-mode-only encoder needs at level M: one segment with its count field.
int ByteModeVersion(const QByteArray& text) {
    for (int version = 1; version <= 40; ++version) {
        const int bits = 4 + (version < 10 ? 8 : 16) + 8 * int(text.size());
        if (clsQRCode::DataCodewordCount(version, clsQRCode::kLevelM) * 8 >= bits) {
            return version;
        }
    }
    return 0;
}

// The mask libqrencode applied, read back from the format information beside the top-left finder.
int LibraryMask(const QRcode& code) {
    int bits = 0;
    const auto dark = [&code](int x, int y) { return code.data[y * code.width + x] & 1; };
    for (int i = 0; i <= 5; ++i) {
        bits |= dark(8, i) << i;
    }
    bits |= dark(8, 7) << 6 | dark(8, 8) << 7 | dark(7, 8) << 8;
    for (int i = 9; i < 15; ++i) {
        bits |= dark(14 - i, 8) << i;
    }
    for (int mask = 0; mask < 8; ++mask) {
        if (clsQRCode::FormatBits(clsQRCode::kLevelM, mask) == bits) {
            return mask;
        }
    }
    return -1;
}

// Why the outputs are not the expected ones; empty when they are.
QByteArray CheckBestMask(const QByteArray& text, int& ourMask, int& libraryMask) {
    clsQRCode ours;
    const QrMaskReference::Choice expected = QrMaskReference::BestMask(ours, text, 0, clsQRCode::kLevelM);
    if (expected.mask < 0) {
        return "the text does not fit";
    }
    if (ours.EncodeModulesBestMask(text, 0, clsQRCode::kLevelM, &ourMask) != expected.modules ||
        ourMask != expected.mask) {
        return "our modules differ from the symbol the eight-mask scoring picks";
    }
    const QImage picture = ours.EncodeText(text, 0, clsQRCode::kLevelM, expected.mask);
    if (ours.EncodeTextBestMask(text, 0, clsQRCode::kLevelM) != picture ||
        CodeSheet::Symbol(text) != picture) {
        return "our picture differs from the fixed-mask picture of the chosen mask";
    }
    QRcode* const library = QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M);
    const int expectedWidth = clsQRCode::SymbolSize(ByteModeVersion(text));
    const bool sized = library != nullptr && library->width == expectedWidth;
    libraryMask = sized ? LibraryMask(*library) : -1;
    QRcode_free(library);
    if (!sized) {
        return "libqrencode's symbol is not " + QByteArray::number(expectedWidth) + " modules wide";
    }
    return libraryMask < 0 ? "libqrencode's format information names no mask" : QByteArray();
}

bool CompareBestMask(const char* name, const QByteArray& text, int runs) {
    int ourMask = -1;
    int libraryMask = -1;
    if (const QByteArray fault = CheckBestMask(text, ourMask, libraryMask); !fault.isEmpty()) {
        std::printf("\n%s: no figures, %s\n", name, fault.constData());
        return false;
    }
    std::printf("\n%s (%lld bytes), level M, version %d, lowest-penalty mask: ours %d, libqrencode %d\n",
                name, static_cast<long long>(text.size()),
                clsQRCode::ChooseVersion(text, 0, clsQRCode::kLevelM), ourMask, libraryMask);
    clsQRCode ours;
    const std::vector<double> medians = InterleavedMedianMicroseconds(
        runs, {[&] { QRcode_free(QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M)); },
               [&] { (void)ours.EncodeModulesBestMask(text, 0, clsQRCode::kLevelM); },
               [&] { (void)ours.EncodeTextBestMask(text, 0, clsQRCode::kLevelM); },
               [&] { (void)CodeSheet::Symbol(text); },
               [&] {
                   const int mask = QrMaskReference::BestMask(ours, text, 0, clsQRCode::kLevelM).mask;
                   (void)ours.EncodeText(text, 0, clsQRCode::kLevelM, mask);
               }});
    const double library = medians[0];
    const double modules = medians[1];
    const double picture = medians[2];
    const double window = medians[3];
    const double former = medians[4];
    std::printf("    libqrencode encodeString8bit (8 masks scored)    %9.1f us\n", library);
    std::printf("    clsQRCode EncodeModulesBestMask                  %9.1f us   ratio ours/lib %.2f\n",
                modules, modules / library);
    std::printf("    clsQRCode EncodeTextBestMask, picture            %9.1f us   ratio ours/lib %.2f\n",
                picture, picture / library);
    std::printf("    CodeSheet::Symbol (new encoder, picture)         %9.1f us   ratio ours/lib %.2f\n",
                window, window / library);
    std::printf("    eight whole symbols scored, then the picture     %9.1f us   ratio ours/lib %.2f\n",
                former, former / library);
    return true;
}

} // namespace

int main() {
    std::printf("QR encoding, median time per symbol (libqrencode %s)\n", QRcode_APIVersionString());
    Compare("page address", "http://10.0.0.8:8212/phone/list.asp", 5000);
    Compare("1,000-byte text", ThousandBytes(), 1000);

    const QByteArray token = QCryptographicHash::hash("12", QCryptographicHash::Md5).toHex();
    bool expected = CompareBestMask("page address", "http://192.168.1.23:8212/phone/list.asp", 5000);
    expected =
        CompareBestMask("guest table code", "http://192.168.1.23:8212/phone/menu.asp?t=" + token, 5000) &&
        expected;
    expected = CompareBestMask("1,000-byte text", ThousandBytes(), 200) && expected;
    return expected ? 0 : 1;
}
