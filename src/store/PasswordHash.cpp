#include "store/PasswordHash.h"

#include "store/StoreError.h"

#include <sodium.h>

namespace {

// OWASP's minimum for Argon2id: 19 MiB and two passes, about 50 ms here. Enough to make a stolen file's
// hashes slow to guess, and quick enough for a sign-in at the counter or on a phone.
constexpr unsigned long long kPasses = 2;
constexpr size_t kMemory = 19 * 1024 * 1024;

void startSodium() {
    // Safe to call again and from several threads; fails only without a source of randomness.
    if (sodium_init() < 0)
        throw StoreError(QStringLiteral("无法初始化密码加密库"));
}

} // namespace

QString NormalizedPassword(const QString& entered) {
    return entered.trimmed().toLower();
}

QString HashPassword(const QString& entered) {
    startSodium();
    const QByteArray password = NormalizedPassword(entered).toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(hash, password.constData(), static_cast<unsigned long long>(password.size()),
                              kPasses, kMemory, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw StoreError(QStringLiteral("内存不足，密码无法加密保存"));
    return QString::fromLatin1(hash);
}

bool PasswordHashMatches(const QString& entered, const QString& hash) {
    startSodium();
    const QByteArray password = NormalizedPassword(entered).toUtf8();
    const QByteArray stored = hash.toLatin1();
    if (stored.isEmpty() || stored.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(stored.constData(), password.constData(),
                                    static_cast<unsigned long long>(password.size())) == 0;
}
