// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

// Hive file format: UTF-8 text; "[Software\Tarnwick\Ocula]" opens a key ("[]" is the root),
// then one "Name"=-1 line per value (decimal, 32-bit); lines starting with ; or # are comments.
#include "platform/filehive/filehivestorage.h"

#include "platform/filehive/hive.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace ocula {

namespace {

// A save holds the lock for milliseconds. A lock file this old whose owner cannot be told
// (a writer killed before it wrote its process id) is taken over.
constexpr int StaleLockTime = 5000;
constexpr int LockWait = 10000;

// Keeps a damaged hive file under a new name so that a person can still recover from it
// what could not be read. Never overwrites an earlier copy.
bool keepAside(const QString& file) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = file + QStringLiteral(".damaged-") + stamp;
    for (int n = 1; n < 1000; ++n) {
        const QString target = n == 1 ? base : base + u'-' + QString::number(n);
        if (QFileInfo::exists(target))
            continue;
        return QFile::copy(file, target);
    }
    return false;
}

bool acquire(QLockFile& lock) {
    // QLockFile's own waiting sleeps 100 ms and more between attempts, far longer than a
    // save takes; poll briefly instead, with jitter so that two writers do not stay in step.
    const QDeadlineTimer deadline(LockWait);
    for (;;) {
        if (lock.tryLock(0))
            return true;
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            return false;
        QThread::usleep(200 + QRandomGenerator::system()->bounded(1800));
    }
}

// QSaveFile's temporary copies of `file` ("<file>.XXXXXX", six letters). Writers write them
// only while they hold the lock, so whoever holds it now knows that every one is left over
// from a writer killed during its save.
QStringList temporaryCopies(const QString& file) {
    const QFileInfo info(file);
    const QString prefix = info.fileName() + u'.';
    const QDir dir = info.dir();
    QStringList found;
    for (const QString& name :
         dir.entryList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden)) {
        const QStringView suffix = QStringView(name).mid(prefix.size());
        if (std::all_of(suffix.begin(), suffix.end(),
                        [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; }))
            found.append(dir.filePath(name));
    }
    return found;
}

void removeTemporaryCopies(const QString& file) {
    for (const QString& copy : temporaryCopies(file))
        QFile::remove(copy);
}

} // namespace

FileHiveStorage::FileHiveStorage(QString directory) : m_directory(std::move(directory)) {}

QString FileHiveStorage::defaultDirectory() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/ocula");
}

QString FileHiveStorage::hiveFilePath(RootKey root) const {
    const QString name = rootKeyName(root);
    if (name.isEmpty())
        return {};
    return m_directory + u'/' + name + QStringLiteral(".conf");
}

FileHiveStorage::FileState FileHiveStorage::load(RootKey root, Hive& hive) const {
    hive = Hive();
    const QString path = hiveFilePath(root);
    const QFileInfo info(path);
    if (!info.exists())
        return FileState::Missing;
    if (!info.isFile())
        return FileState::Unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileState::Unreadable;
    // In chunks: asking for the whole limit at once would allocate all of it every time.
    QByteArray text;
    while (text.size() <= MaxFileSize) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        text += chunk;
    }
    if (file.error() != QFileDevice::NoError)
        return FileState::Unreadable;
    bool damaged = false;
    if (text.size() > MaxFileSize) {
        damaged = true;
        text.truncate(text.lastIndexOf('\n', MaxFileSize - 1) + 1);
    }
    bool unparsed = false;
    hive = Hive::parse(text, &unparsed);
    return damaged || unparsed ? FileState::Damaged : FileState::Intact;
}

bool FileHiveStorage::modify(RootKey root, const std::function<Edit(Hive&)>& edit) {
    const QString path = hiveFilePath(root);
    if (path.isEmpty() || !QDir().mkpath(m_directory))
        return false;
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(StaleLockTime);
    if (!acquire(lock))
        return false;
    removeTemporaryCopies(path);
    m_leftoversChecked.insert(root);

    Hive hive;
    const FileState state = load(root, hive);
    // A file that exists but cannot be read would be lost by writing over it.
    if (state == FileState::Unreadable)
        return false;
    const Edit outcome = edit(hive);
    if (outcome != Edit::Changed)
        return outcome == Edit::Unchanged;

    const QByteArray text = hive.serialize(rootKeyName(root));
    if (text.size() > MaxFileSize)
        return false;
    if (state == FileState::Damaged && !keepAside(path))
        return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        return false;
    return out.commit();
}

RegistryStorage::Key FileHiveStorage::registerKey(RootKey root, const QString& path,
                                                  bool writable) {
    const Key key = m_nextKey++;
    m_open.emplace(key, OpenKey{root, path, writable});
    return key;
}

std::optional<RegistryStorage::Key> FileHiveStorage::openKey(RootKey root, const QString& subKey,
                                                             Access access) {
    if (hiveFilePath(root).isEmpty() || !Hive::isValidKeyPath(subKey))
        return std::nullopt;
    if (!subKey.isEmpty()) {
        Hive hive;
        load(root, hive);
        if (!hive.hasKey(subKey))
            return std::nullopt;
    }
    return registerKey(root, subKey, access == Access::Write);
}

std::optional<RegistryStorage::Key> FileHiveStorage::createKey(RootKey root,
                                                               const QString& subKey) {
    if (hiveFilePath(root).isEmpty() || !Hive::isValidKeyPath(subKey))
        return std::nullopt;
    Hive existing;
    load(root, existing);
    // An existing key needs no write, so it opens even where the file cannot be written.
    if (!existing.hasKey(subKey)) {
        const bool created = modify(root, [&](Hive& hive) {
            if (hive.hasKey(subKey))
                return Edit::Unchanged;
            return hive.addKey(subKey) ? Edit::Changed : Edit::Abort;
        });
        if (!created)
            return std::nullopt;
    }
    return registerKey(root, subKey, true);
}

std::optional<int32_t> FileHiveStorage::queryValue(Key key, const QString& name) {
    const auto it = m_open.find(key);
    if (it == m_open.end())
        return std::nullopt;
    Hive hive;
    load(it->second.root, hive);
    return hive.value(it->second.path, name);
}

bool FileHiveStorage::setValue(Key key, const QString& name, int32_t value) {
    const auto it = m_open.find(key);
    if (it == m_open.end() || !it->second.writable || !Hive::isValidValueName(name))
        return false;
    const OpenKey& open = it->second;
    auto holdsValue = [&](const Hive& hive) {
        return hive.hasKey(open.path) && hive.value(open.path, name) == value;
    };
    // Most saves write what the file holds already (every setting, at each exit): those
    // need neither the lock, whose file is created, synced to disk and deleted each time,
    // nor a write. A writer that changes the value after this look comes after this save.
    Hive current;
    if (load(open.root, current) == FileState::Intact && holdsValue(current)) {
        removeLeftovers(open.root);
        return true;
    }
    return modify(open.root, [&](Hive& hive) {
        // The key may have gone since it was opened, when the file was edited by hand.
        if (!hive.hasKey(open.path))
            return Edit::Abort;
        if (holdsValue(hive))
            return Edit::Unchanged;
        return hive.setValue(open.path, name, value) ? Edit::Changed : Edit::Abort;
    });
}

// The lock-free path of an unchanged save would never clean what killed writers left: a
// look once per store (a run saves once), and a clean-up under the lock if there is any.
void FileHiveStorage::removeLeftovers(RootKey root) {
    if (m_leftoversChecked.count(root) != 0)
        return;
    const QString path = hiveFilePath(root);
    const QString lockPath = path + QStringLiteral(".lock");
    if (QFileInfo::exists(lockPath) || !temporaryCopies(path).isEmpty()) {
        QLockFile lock(lockPath);
        lock.setStaleLockTime(StaleLockTime);
        // A live writer holds it: those files may be its save; look again next time.
        if (!lock.tryLock(0))
            return;
        removeTemporaryCopies(path);
    }
    m_leftoversChecked.insert(root);
}

void FileHiveStorage::closeKey(Key key) {
    m_open.erase(key);
}

} // namespace ocula
