#include "mobile/ServicePages.h"

#include "store/ProgramDatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <optional>

namespace {

// Every page text the program has written into data folders, by SHA-256. A page still equal to one of
// them was never edited and may be replaced by the current version. When a page changes, its new hash is
// added here (a test checks that the current pages are listed), and no hash is ever removed.
const QHash<QString, QSet<QByteArray>>& shippedHashes() {
    static const QByteArray placeholder = "b3f47f01238f6a49edfd7a427491da262c3514867560a04219f4734483eca874";
    static const QHash<QString, QSet<QByteArray>> hashes{
        {QStringLiteral("delete.asp"),
         {placeholder, "9954eb7af9055cd64b18dec94433024ff2435a8953ae5392b6f1ea2a46fc0480",
          "2c6dbef2e3b186c2cd0f46716799c7dac5c4b422cd2091f353b2a3415f70aa11",
          "43d7578aaecb6b416d9d237bb18cd4a459880bf786738b9e37b2b8f894bb5d20"}},
        {QStringLiteral("detail.asp"),
         {placeholder, "b28468a84c6386a5f0c255697094e68a806f0e544da96a60b83befbdfc49980e",
          "1557b3d0a65c69d36dc2d8189d47696c012bbf81155126d22b3199fe5b56125b",
          "3bc944f0530cc7b4a5daef21eb331197915f964a24279799300595623057a886",
          "2ef297505034a0e843a2cf4c09b18aa94ff10377e22b4c516c12e7fc1c9590a5",
          "9c2fbca7328ccfec138d1f60e91c0c9c7d9cb838119e8335f7573a01ee3beedc"}},
        {QStringLiteral("list.asp"),
         {placeholder, "cc5a15242ca4477e4624049a21c445a95fce11160face102e8ee9cf73bfd9b67",
          "e0eb8afcc3d7abfd409d0f337b05458eae9faab13bfe239394abdf45522fb63c",
          "d6b3d2bc5ff7ad0bc7a039e5dcaa628004998dab45ca04737f2343fdc4077316"}},
        {QStringLiteral("menu.asp"),
         {placeholder, "c4b9b6ba7ceab32d3d86740326d44f2682e31ab94083c398500e805acd85c9ff",
          "87373ad3c3520180ec330419044f4c056647241454e326444056d6b66dcbe645",
          "dafbeed5360194592572a4596dad572acb538650bf351b6efe8478f8c4cd23cf",
          "67855f069f91b291eb437b44d7da327b5dbb1241d32d848f49b028bc5c79afd4",
          "12406e1dd341c1c3210d394c5184bc7ca45d15e6c8d17e98621be735fc3ea25e",
          "5db4cfd1f1e84340f9fe3e398b155346c4335806b810c3f29d611ec337d469fb",
          "129a825ef81bf7e8dd495505c318d878a4f07bf451a05c69d9a1ed042a615a75"}},
        {QStringLiteral("modify.asp"),
         {placeholder, "9a8d0e641f39a77adb197f245e7b6ce5591fbcb5c7def540c8708ed39d991d0c",
          "9fd04d7241298b33b21099a5347e7df28bd43669b4cb1f70f7d4ae1053fed332",
          "3cd11cbc05095d940af6deaf756a84d24c756a63522c3a3f5d8abb8555c2b457"}},
        {QStringLiteral("save.asp"),
         {placeholder, "1418d198108bb6a9df8a83672926b4f422ec7abef18afec6d39d733ecd98a51e",
          "ddf917356db615f4bf2f14b05b478dff37540926fcaaf08fa434abb09a38a34f"}},
        {QStringLiteral("savemenu.asp"),
         {placeholder, "ca4ac000f92d58b8f9dd2bbff7838ee3c97c07b529508af6802d7045b8a2af82",
          "9ad4d3d8bc6e34fa79b8c1a7a79d22474319a9809e0f816d2b97ac4d1d2ae2bd"}},
    };
    return hashes;
}

QByteArray currentPage(const QString& name) {
    QFile source(QStringLiteral(":/phone/") + name);
    return source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
}

// The page in the data folder, or nothing when it is missing or unreadable.
std::optional<QByteArray> pageInFolder(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

const QStringList& ServicePageNames() {
    // The page templates the program carries, as built into it.
    static const QStringList names = QDir(QStringLiteral(":/phone")).entryList(QDir::Files, QDir::Name);
    return names;
}

bool IsShippedPage(const QString& name, const QByteArray& content) {
    return shippedHashes().value(name).contains(
        QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

QStringList WriteServicePages(const QString& dataFolder) {
    const QString folder = dataFolder + QStringLiteral("/phone");
    CreateFolderPath(folder);
    QStringList written;
    for (const QString& name : ServicePageNames()) {
        const QString target = folder + QLatin1Char('/') + name;
        const QByteArray current = currentPage(name);
        if (current.isEmpty())
            continue;
        if (QFileInfo::exists(target)) {
            const std::optional<QByteArray> existing = pageInFolder(target);
            if (!existing || *existing == current || !IsShippedPage(name, *existing))
                continue;
        }
        QSaveFile out(target);
        if (out.open(QIODevice::WriteOnly) && out.write(current) >= 0 && out.commit())
            written.append(name);
    }
    return written;
}

QStringList EditedServicePages(const QString& dataFolder) {
    QStringList edited;
    for (const QString& name : ServicePageNames()) {
        const std::optional<QByteArray> existing =
            pageInFolder(dataFolder + QStringLiteral("/phone/") + name);
        if (existing && *existing != currentPage(name) && !IsShippedPage(name, *existing))
            edited.append(name);
    }
    return edited;
}
