// Checked by hand: SQLCipher 3 checks seals only by reading every page, which decrypts it and sets up its
// cipher and HMAC anew per page (4.5 s for 350 MB here, against 0.3 s for copying the file).
#include "store/PageSeals.h"

#include <QFile>
#include <QHashFunctions>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

// SQLCipher 3's defaults, which the program's files use: 1 KB pages whose last 48 bytes hold the
// initialisation vector (16) and the seal, an HMAC-SHA1 (20); the first page begins with the salt (16).
constexpr qint64 kPageSize = 1024;
constexpr int kSaltSize = 16;
constexpr int kKeySize = 32;
constexpr int kIvSize = 16;
constexpr int kSealSize = 20;
constexpr int kReserved = 48;
constexpr int kKeyRounds = 64000;
constexpr int kSealKeyRounds = 2;
constexpr unsigned char kSealSaltMask = 0x3a;
// Pages read at a time by each of the two threads.
constexpr qint64 kPagesPerRead = 1024;

using Key = std::array<unsigned char, kKeySize>;
using Salt = std::array<unsigned char, kSaltSize>;
// A fast hash of each page's bytes, by page number from 1 at index 0; 0 for a page not known.
using PageHashes = std::vector<size_t>;

size_t pageHash(const uchar* page) {
    const size_t hash = qHashBits(page, kPageSize, QHashSeed::globalSeed());
    return hash ? hash : 1;
}

// What this process knows: the seal key of the last salt (derived slowly on purpose, 25 ms) and the hashes
// of the pages whose seals held.
struct SealMemory {
    std::mutex mutex;
    QByteArray secret;
    Salt salt{};
    Key key{}; // the password's key for this salt, as SQLCipher derives it
    Key sealKey{};
    PageHashes sound;
};

SealMemory& memory() {
    static SealMemory instance;
    return instance;
}

bool derive(const unsigned char* secret, int secretSize, const unsigned char* salt, int rounds, Key& key) {
    return PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(secret), secretSize, salt, kSaltSize, rounds,
                                  kKeySize, key.data()) == 1;
}

// The seal key for the file's salt, and what is known of its pages (nothing for another salt).
std::optional<std::pair<Key, PageHashes>> recall(const QString& password, const uchar* salt) {
    SealMemory& known = memory();
    const QByteArray secret = password.toUtf8();
    const std::scoped_lock lock(known.mutex);
    if (secret == known.secret && std::equal(known.salt.begin(), known.salt.end(), salt))
        return std::pair(known.sealKey, known.sound);
    Key key{};
    Key sealKey{};
    Salt sealSalt{};
    std::transform(salt, salt + kSaltSize, sealSalt.begin(), [](uchar b) { return b ^ kSealSaltMask; });
    if (!derive(reinterpret_cast<const unsigned char*>(secret.constData()), static_cast<int>(secret.size()),
                salt, kKeyRounds, key) ||
        !derive(key.data(), kKeySize, sealSalt.data(), kSealKeyRounds, sealKey))
        return std::nullopt;
    known.secret = secret;
    std::copy(salt, salt + kSaltSize, known.salt.begin());
    known.key = key;
    known.sealKey = sealKey;
    known.sound.clear();
    return std::pair(sealKey, PageHashes());
}

void remember(const uchar* salt, const PageHashes& sound) {
    SealMemory& known = memory();
    const std::scoped_lock lock(known.mutex);
    if (std::equal(known.salt.begin(), known.salt.end(), salt))
        known.sound = sound;
}

struct DigestDeleter {
    void operator()(EVP_MD* digest) const { EVP_MD_free(digest); }
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Digest = std::unique_ptr<EVP_MD, DigestDeleter>;
using DigestState = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

// HMAC-SHA1 with its two padded keys hashed once: each page then costs two copies of a digest state and
// its own bytes (OpenSSL's MAC interface sets the key up again for every page, several times slower).
class Sealer {
public:
    explicit Sealer(const Key& key) : sha1_(EVP_MD_fetch(nullptr, "SHA1", nullptr)) {
        std::array<unsigned char, kSha1Block> inner{};
        std::array<unsigned char, kSha1Block> outer{};
        for (size_t i = 0; i < inner.size(); ++i) {
            const unsigned char k = i < key.size() ? key[i] : 0;
            inner[i] = k ^ 0x36;
            outer[i] = k ^ 0x5c;
        }
        ready_ = sha1_ && start(inner_, inner.data()) && start(outer_, outer.data()) && work_ && finish_;
    }
    bool ready() const { return ready_; }

    // Whether the page `number` holds its seal: over its bytes after the salt up to the seal, followed by
    // the page number, little-endian.
    bool holds(const uchar* page, qint64 number) {
        const int skip = number == 1 ? kSaltSize : 0;
        const unsigned char pageNumber[4] = {
            static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
            static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)};
        unsigned char innerDigest[EVP_MAX_MD_SIZE];
        unsigned char seal[EVP_MAX_MD_SIZE];
        unsigned int innerSize = 0;
        unsigned int sealSize = 0;
        return EVP_MD_CTX_copy_ex(work_.get(), inner_.get()) == 1 &&
               EVP_DigestUpdate(work_.get(), page + skip, kPageSize - kReserved + kIvSize - skip) == 1 &&
               EVP_DigestUpdate(work_.get(), pageNumber, sizeof pageNumber) == 1 &&
               EVP_DigestFinal_ex(work_.get(), innerDigest, &innerSize) == 1 &&
               EVP_MD_CTX_copy_ex(finish_.get(), outer_.get()) == 1 &&
               EVP_DigestUpdate(finish_.get(), innerDigest, innerSize) == 1 &&
               EVP_DigestFinal_ex(finish_.get(), seal, &sealSize) == 1 && sealSize == kSealSize &&
               std::memcmp(seal, page + kPageSize - kReserved + kIvSize, kSealSize) == 0;
    }

private:
    static constexpr size_t kSha1Block = 64;

    bool start(DigestState& state, const unsigned char* paddedKey) {
        state.reset(EVP_MD_CTX_new());
        return state && EVP_DigestInit_ex2(state.get(), sha1_.get(), nullptr) == 1 &&
               EVP_DigestUpdate(state.get(), paddedKey, kSha1Block) == 1;
    }

    Digest sha1_;
    DigestState inner_;
    DigestState outer_;
    DigestState work_{EVP_MD_CTX_new()};
    DigestState finish_{EVP_MD_CTX_new()};
    bool ready_ = false;
};

// Checks pages [first, end) (numbered from 1) of the open file, filling `hashes` for the sound ones; the
// first page that fails, or 0.
qint64 firstBadPage(int file, qint64 first, qint64 end, const Key& sealKey, const PageHashes& known,
                    PageHashes& hashes, std::atomic<bool>& zeroPageSeen) {
    Sealer sealer(sealKey);
    if (!sealer.ready())
        return first;
    std::vector<uchar> chunk(kPagesPerRead * kPageSize);
    for (qint64 start = first; start < end; start += kPagesPerRead) {
        const qint64 count = std::min<qint64>(kPagesPerRead, end - start);
        if (::pread(file, chunk.data(), count * kPageSize, (start - 1) * kPageSize) != count * kPageSize)
            return start;
        for (qint64 i = 0; i < count; ++i) {
            const qint64 number = start + i;
            const uchar* page = chunk.data() + i * kPageSize;
            const size_t hash = pageHash(page);
            const auto index = static_cast<size_t>(number - 1);
            const bool sound = (index < known.size() && known[index] == hash) || sealer.holds(page, number);
            if (!sound && std::all_of(page, page + kPageSize, [](uchar b) { return b == 0; })) {
                zeroPageSeen = true;
                continue;
            }
            if (!sound)
                return number;
            hashes[index] = hash;
        }
    }
    return 0;
}

// The salt at the start of the file.
std::optional<Salt> readSalt(int file) {
    Salt salt{};
    if (::pread(file, salt.data(), salt.size(), 0) != static_cast<ssize_t>(salt.size()))
        return std::nullopt;
    return salt;
}

} // namespace

QString RememberedRawKey(const QString& path, const QString& password) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<Salt> salt = readSalt(file.handle());
    SealMemory& known = memory();
    const std::scoped_lock lock(known.mutex);
    if (!salt || password.toUtf8() != known.secret || *salt != known.salt)
        return {};
    const QByteArray hex = QByteArray(reinterpret_cast<const char*>(known.key.data()), kKeySize).toHex();
    return QStringLiteral("x'%1'").arg(QString::fromLatin1(hex));
}

SealCheck CheckPageSeals(const QString& path, const QString& password) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0 || file.size() % kPageSize != 0)
        return {SealCheck::State::Unknown, 0, 0};
    const qint64 pages = file.size() / kPageSize;
    const int descriptor = file.handle();
    const std::optional<Salt> salt = readSalt(descriptor);
    const auto recalled = salt ? recall(password, salt->data()) : std::nullopt;
    if (!recalled)
        return {SealCheck::State::Unknown, 0, pages};
    const Key& sealKey = recalled->first;
    const PageHashes& known = recalled->second;
    PageHashes hashes(static_cast<size_t>(pages), 0);
    // A first page that fails means other settings, not damage: the engine's own check decides then.
    std::atomic<bool> zeroPageSeen = false;
    if (firstBadPage(descriptor, 1, 2, sealKey, {}, hashes, zeroPageSeen) != 0 || zeroPageSeen)
        return {SealCheck::State::Unknown, 1, pages};
    // Two halves on two threads.
    const qint64 middle = 2 + (pages - 1) / 2;
    auto secondHalf = std::async(std::launch::async, [&] {
        return firstBadPage(descriptor, middle, pages + 1, sealKey, known, hashes, zeroPageSeen);
    });
    const qint64 badInFirst = firstBadPage(descriptor, 2, middle, sealKey, known, hashes, zeroPageSeen);
    const qint64 badInSecond = secondHalf.get();
    remember(salt->data(), hashes);
    const qint64 bad = badInFirst ? badInFirst : badInSecond;
    if (bad)
        return {SealCheck::State::Damaged, bad, pages};
    // The engine passes an all-zero page without a seal, but such a page inside a table is damage all the
    // same (a torn write, a block lost by the disk): only the engine's own look through the tables tells.
    return {zeroPageSeen ? SealCheck::State::Unknown : SealCheck::State::Sound, 0, pages};
}
