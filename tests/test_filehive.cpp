// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/filehive/filehivestorage.h"
#include "platform/filehive/hive.h"
#include "settings/mregistry.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <optional>

using namespace ocula;
using namespace std::chrono_literals;

namespace {

const QString OculaKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarnwick\\Ocula");
const QString OculaSubKey = QStringLiteral("Software\\Tarnwick\\Ocula");

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A temporary copy as QSaveFile names it, left by a writer killed in the middle of its save.
QString temporaryCopy(const FileHiveStorage& storage, const char* suffix) {
    return storage.hiveFilePath(RootKey::CurrentUser) + u'.' + QLatin1String(suffix);
}

QStringList damagedCopies(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral("*.damaged-*")}, QDir::Files);
}

// -1 stands for "no value": no test value uses it.
int valueOr(const Hive& hive, const QString& key, const QString& name) {
    return hive.value(key, name).value_or(-1);
}

QString valueName(int i) {
    return QStringLiteral("Value%1").arg(i, 3, 10, QLatin1Char('0'));
}

} // namespace

class TestFileHive : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void oddNamesRoundTrip();
    void savedFileReadsBackUndamaged();

    void randomBytesKeepReadableValues();
    void damagedFileIsKeptAsideOnce();
    void emptyFileIsAnEmptyHive();
    void truncatedFileKeepsCompleteLines();
    void oversizedFileKeepsItsStart();
    void directoryWhereTheFileShouldBe();
    void locationBelowAFile();
    void readOnlyDirectory();
    void unreadableFileIsNotOverwritten();

    void savingWhatTheFileHoldsLeavesTheLockAlone();
    void leftBehindLockIsTakenOver();
    void concurrentWritersLoseNothing();
    void killedWriterLeavesAWholeFile();
};

void TestFileHive::parse_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("damaged");

    const QByteArray header = "[Software\\Tarnwick\\Ocula]\n";
    QTest::newRow("quoted") << header + "\"Factor\"=6\n" << OculaSubKey << "Factor" << 6 << false;
    QTest::newRow("negative") << header + "\"A\"=-2147483648\n"
                              << OculaSubKey << "A" << INT32_MIN << false;
    QTest::newRow("largest") << header + "\"A\"=2147483647\n"
                             << OculaSubKey << "A" << INT32_MAX << false;
    QTest::newRow("plus sign") << header + "\"A\"=+7\n" << OculaSubKey << "A" << 7 << false;
    QTest::newRow("typed by hand") << header + "  Factor = 9  \n"
                                   << OculaSubKey << "Factor" << 9 << false;
    QTest::newRow("spaces around the sign") << header + "\"Factor\" = 8\n"
                                            << OculaSubKey << "Factor" << 8 << false;
    QTest::newRow("CRLF") << QByteArray("[Software\\Tarnwick\\Ocula]\r\n\"Factor\"=5\r\n")
                          << OculaSubKey << "Factor" << 5 << false;
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + header + "\"Factor\"=4\n"
                                     << OculaSubKey << "Factor" << 4 << false;
    QTest::newRow("comments") << "; note\n# note\n" + header + "; \"Factor\"=1\n\"Factor\"=3\n"
                              << OculaSubKey << "Factor" << 3 << false;
    QTest::newRow("no final line break")
        << header + "\"Factor\"=12" << OculaSubKey << "Factor" << 12 << true;
    QTest::newRow("escaped name") << header + "\"a \\\"b\\\" \\\\\"=2\n"
                                  << OculaSubKey << "a \"b\" \\" << 2 << false;
    QTest::newRow("equals sign in a name") << header + "\"x=y\"=2\n"
                                           << OculaSubKey << "x=y" << 2 << false;
    QTest::newRow("later line wins") << header + "\"A\"=1\n\"a\"=2\n"
                                     << OculaSubKey << "A" << 2 << false;
    QTest::newRow("key given twice") << header + "\"A\"=1\n[Software]\n" + header + "\"B\"=2\n"
                                     << OculaSubKey << "A" << 1 << false;
    QTest::newRow("root values") << QByteArray("[]\n\"Top\"=1\n") << ""
                                 << "Top" << 1 << false;
    QTest::newRow("parents implied") << header << "Software\\Tarnwick"
                                     << "X" << -1 << false;

    QTest::newRow("beyond 32 bits") << header + "\"A\"=2147483648\n\"B\"=1\n"
                                    << OculaSubKey << "A" << -1 << true;
    QTest::newRow("below 32 bits") << header + "\"A\"=-2147483649\n"
                                   << OculaSubKey << "A" << -1 << true;
    QTest::newRow("huge number") << header + "\"A\"=99999999999999999999999\n"
                                 << OculaSubKey << "A" << -1 << true;
    QTest::newRow("not a number") << header + "\"A\"=six\n" << OculaSubKey << "A" << -1 << true;
    QTest::newRow("trailing text") << header + "\"A\"=6 px\n" << OculaSubKey << "A" << -1 << true;
    QTest::newRow("hexadecimal") << header + "\"A\"=0x10\n" << OculaSubKey << "A" << -1 << true;
    QTest::newRow("sign alone") << header + "\"A\"=-\n" << OculaSubKey << "A" << -1 << true;
    QTest::newRow("no value") << header + "\"A\"=\n" << OculaSubKey << "A" << -1 << true;
    QTest::newRow("unclosed quote") << header + "\"A=1\n" << OculaSubKey << "A" << -1 << true;
    QTest::newRow("bad escape") << header + "\"A\\n\"=1\n" << OculaSubKey << "A\\n" << -1 << true;
    QTest::newRow("no equals sign") << header + "\"A\" 1\n" << OculaSubKey << "A" << -1 << true;
    QTest::newRow("value before any key")
        << "\"A\"=1\n" + header << OculaSubKey << "A" << -1 << true;
    QTest::newRow("bad line keeps the others") << header + "\"A\"=1\ngarbage\n\"B\"=2\n"
                                               << OculaSubKey << "B" << 2 << true;
    QTest::newRow("unclosed header drops its values")
        << header + "\"A\"=1\n[Software\\Other\n\"A\"=2\n"
        << OculaSubKey << "A" << 1 << true;
    QTest::newRow("empty key name")
        << QByteArray("[Software\\\\Ocula]\n\"A\"=1\n") << "Software\\\\Ocula"
        << "A" << -1 << true;
    QTest::newRow("control character in a name") << header + "\"A\tB\"=1\n\"C\"=3\n"
                                                 << OculaSubKey << "C" << 3 << true;
    QTest::newRow("invalid UTF-8 elsewhere") << header + "\"A\"=1\n\"\xff\xfe\"=2\n"
                                             << OculaSubKey << "A" << 1 << true;
    QTest::newRow("NUL bytes") << header + QByteArray("\"A\"=1\n\0\0\0\n", 11) << OculaSubKey << "A"
                               << 1 << true;
}

void TestFileHive::parse() {
    QFETCH(QByteArray, text);
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(int, expected);
    QFETCH(bool, damaged);

    bool wasDamaged = !damaged;
    const Hive hive = Hive::parse(text, &wasDamaged);
    QCOMPARE(wasDamaged, damaged);
    QCOMPARE(valueOr(hive, key, name), expected);
}

void TestFileHive::oddNamesRoundTrip() {
    Hive hive;
    const QStringList keys = {QString(),
                              QStringLiteral("Software"),
                              QStringLiteral("a]b\\[c]"),
                              QStringLiteral(" spaced \\ out "),
                              QStringLiteral("Ünïcödé\\日本"),
                              QStringLiteral(";#=\"")};
    const QStringList names = {QString(),
                               QStringLiteral("Factor"),
                               QStringLiteral("\"quoted\""),
                               QStringLiteral("back\\slash\\"),
                               QStringLiteral("a=b=c"),
                               QStringLiteral("[not a key]"),
                               QStringLiteral("; not a comment"),
                               QStringLiteral("  padded  "),
                               QStringLiteral("Grüße")};
    int n = 0;
    for (const QString& key : keys) {
        QVERIFY(hive.addKey(key));
        for (const QString& name : names)
            QVERIFY(hive.setValue(key, name, (n % 2 ? -1 : 1) * n * 104729));
        ++n;
    }
    bool damaged = true;
    const Hive back = Hive::parse(hive.serialize(QStringLiteral("HKEY_USERS")), &damaged);
    QVERIFY(!damaged);
    QVERIFY(back == hive);
}

void TestFileHive::savedFileReadsBackUndamaged() {
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    QVERIFY(mRegistry::CreateKey(storage, OculaKey + QStringLiteral("\\Options")));
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("MainLeft"), -120));
    QVERIFY(mRegistry::SetKeyValue(storage, QStringLiteral("HKEY_CURRENT_USER"),
                                   QStringLiteral("AtRoot"), 1));

    bool damaged = true;
    const Hive hive = Hive::parse(readFile(storage.hiveFilePath(RootKey::CurrentUser)), &damaged);
    QVERIFY(!damaged);
    QVERIFY(hive.hasKey(OculaSubKey + QStringLiteral("\\Options")));
    QCOMPARE(valueOr(hive, OculaSubKey, QStringLiteral("MainLeft")), -120);
    QCOMPARE(valueOr(hive, QString(), QStringLiteral("AtRoot")), 1);
}

void TestFileHive::randomBytesKeepReadableValues() {
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    const QString file = storage.hiveFilePath(RootKey::CurrentUser);
    for (quint32 seed = 1; seed <= 20; ++seed) {
        QByteArray noise(4096, Qt::Uninitialized);
        QRandomGenerator rng(seed);
        rng.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        const QByteArray bytes = "[Software\\Tarnwick\\Ocula]\n\"Factor\"=7\n\n" + noise +
                                 "\n[Software\\Tarnwick\\Ocula\\Options]\n\"Steps\"=3\n";
        QVERIFY(writeFile(file, bytes));

        QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor")),
                 RegValue::integer(7));
        QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey + QStringLiteral("\\Options"),
                                        QStringLiteral("Steps")),
                 RegValue::integer(3));
        QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Missing")),
                 RegValue::error());
        // Reading alone never touches the file.
        QCOMPARE(readFile(file), bytes);

        QVERIFY(writeFile(file, noise));
        QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor")),
                 RegValue::error());
        QVERIFY(mRegistry::CreateKey(storage, OculaKey));
        QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 8));
        QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor")),
                 RegValue::integer(8));
        const QStringList copies = damagedCopies(dir.path());
        QCOMPARE(copies.size(), 1);
        QCOMPARE(readFile(dir.filePath(copies.first())), noise);
        QVERIFY(QFile::remove(dir.filePath(copies.first())));
    }
}

void TestFileHive::damagedFileIsKeptAsideOnce() {
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    const QString file = storage.hiveFilePath(RootKey::CurrentUser);
    const QByteArray edited = "[Software\\Tarnwick\\Ocula]\n\"Factor\"=7\n\"Steps\"=seven\n"
                              "\"MainLeft\"=4294967296\n\"MainTop\"=-15\n";
    QVERIFY(writeFile(file, edited));
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Steps")), RegValue::error());
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("MainLeft")),
             RegValue::error());
    QVERIFY(damagedCopies(dir.path()).isEmpty());

    // Writing the same value again changes nothing, so the file stays as it is.
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 7));
    QCOMPARE(readFile(file), edited);

    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 9));
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Steps"), 2));
    const QStringList copies = damagedCopies(dir.path());
    QCOMPARE(copies.size(), 1);
    QCOMPARE(readFile(dir.filePath(copies.first())), edited);

    bool damaged = true;
    const Hive saved = Hive::parse(readFile(file), &damaged);
    QVERIFY(!damaged);
    QCOMPARE(valueOr(saved, OculaSubKey, QStringLiteral("Factor")), 9);
    QCOMPARE(valueOr(saved, OculaSubKey, QStringLiteral("Steps")), 2);
    QCOMPARE(valueOr(saved, OculaSubKey, QStringLiteral("MainTop")), -15);
    QCOMPARE(valueOr(saved, OculaSubKey, QStringLiteral("MainLeft")), -1);
}

void TestFileHive::emptyFileIsAnEmptyHive() {
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    QVERIFY(writeFile(storage.hiveFilePath(RootKey::LocalMachine), QByteArray()));
    const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Ocula");
    QVERIFY(mRegistry::KeyExists(storage, QStringLiteral("HKEY_LOCAL_MACHINE")));
    QVERIFY(!mRegistry::KeyExists(storage, machine));
    QCOMPARE(mRegistry::GetKeyValue(storage, machine, QStringLiteral("Version")),
             RegValue::error());
    QVERIFY(mRegistry::CreateKey(storage, machine));
    QVERIFY(mRegistry::SetKeyValue(storage, machine, QStringLiteral("Version"), 30));
    QCOMPARE(mRegistry::GetKeyValue(storage, machine, QStringLiteral("Version")),
             RegValue::integer(30));
    QVERIFY(damagedCopies(dir.path()).isEmpty());
}

void TestFileHive::truncatedFileKeepsCompleteLines() {
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    const QString options = OculaKey + QStringLiteral("\\Options");
    QVERIFY(mRegistry::CreateKey(storage, options));
    for (int i = 0; i < 6; ++i) {
        QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, valueName(i), 1000 + i));
        QVERIFY(mRegistry::SetKeyValue(storage, options, valueName(i), -2000 - i));
    }
    const QString file = storage.hiveFilePath(RootKey::CurrentUser);
    const QByteArray whole = readFile(file);

    for (qsizetype cut = 0; cut < whole.size(); ++cut) {
        const QByteArray part = whole.left(cut);
        QVERIFY(writeFile(file, part));
        for (int i = 0; i < 6; ++i) {
            for (const auto& [key, value] :
                 {std::pair(OculaKey, 1000 + i), std::pair(options, -2000 - i)}) {
                const QByteArray line =
                    '"' + valueName(i).toUtf8() + "\"=" + QByteArray::number(value) + '\n';
                // Headers come first in the file, so a whole value line has its key.
                const qsizetype at =
                    whole.indexOf(line, whole.indexOf('[' + key.mid(18).toUtf8() + "]\n"));
                QVERIFY(at > 0);
                if (at + line.size() <= cut) {
                    QCOMPARE(mRegistry::GetKeyValue(storage, key, valueName(i)),
                             RegValue::integer(value));
                }
            }
        }
    }
    // A truncated file is kept aside when the next save replaces it.
    QVERIFY(writeFile(file, whole.left(whole.size() - 3)));
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, valueName(0), 1));
    const QStringList copies = damagedCopies(dir.path());
    QCOMPARE(copies.size(), 1);
    QCOMPARE(readFile(dir.filePath(copies.first())), whole.left(whole.size() - 3));
}

void TestFileHive::oversizedFileKeepsItsStart() {
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    const QString file = storage.hiveFilePath(RootKey::CurrentUser);
    QByteArray bytes = "[Software\\Tarnwick\\Ocula]\n\"Factor\"=7\n";
    const QByteArray filler(99, ';');
    while (bytes.size() <= FileHiveStorage::MaxFileSize)
        bytes += filler + '\n';
    bytes += "\"Beyond\"=1\n";
    QVERIFY(writeFile(file, bytes));

    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor")),
             RegValue::integer(7));
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Beyond")),
             RegValue::error());
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Steps"), 2));
    QCOMPARE(damagedCopies(dir.path()).size(), 1);
    QVERIFY(QFileInfo(file).size() < 1024);
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor")),
             RegValue::integer(7));
}

void TestFileHive::directoryWhereTheFileShouldBe() {
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    const QString file = storage.hiveFilePath(RootKey::CurrentUser);
    QVERIFY(QDir().mkpath(file + QStringLiteral("/inside")));

    QVERIFY(mRegistry::KeyExists(storage, QStringLiteral("HKEY_CURRENT_USER")));
    QVERIFY(!mRegistry::KeyExists(storage, OculaKey));
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor")),
             RegValue::error());
    QVERIFY(!mRegistry::CreateKey(storage, OculaKey));
    QVERIFY(!mRegistry::SetKeyValue(storage, QStringLiteral("HKEY_CURRENT_USER"),
                                    QStringLiteral("Factor"), 1));
    QVERIFY(QFileInfo(file).isDir());
    QVERIFY(QFileInfo::exists(file + QStringLiteral("/inside")));

    // The other roots are not affected.
    const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE\\Software");
    QVERIFY(mRegistry::CreateKey(storage, machine));
    QVERIFY(mRegistry::SetKeyValue(storage, machine, QStringLiteral("Version"), 30));
    QCOMPARE(mRegistry::GetKeyValue(storage, machine, QStringLiteral("Version")),
             RegValue::integer(30));
}

void TestFileHive::locationBelowAFile() {
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("plain")), "not a directory\n"));
    FileHiveStorage storage(dir.filePath(QStringLiteral("plain/ocula")));
    QVERIFY(mRegistry::KeyExists(storage, QStringLiteral("HKEY_CURRENT_USER")));
    QVERIFY(!mRegistry::KeyExists(storage, OculaKey));
    QVERIFY(!mRegistry::CreateKey(storage, OculaKey));
    QVERIFY(!mRegistry::SetKeyValue(storage, QStringLiteral("HKEY_CURRENT_USER"),
                                    QStringLiteral("Factor"), 1));
    QCOMPARE(mRegistry::GetKeyValue(storage, QStringLiteral("HKEY_CURRENT_USER"),
                                    QStringLiteral("Factor")),
             RegValue::error());
    QCOMPARE(readFile(dir.filePath(QStringLiteral("plain"))), QByteArray("not a directory\n"));
}

void TestFileHive::readOnlyDirectory() {
#ifdef Q_OS_UNIX
    if (geteuid() == 0)
        QSKIP("permission bits do not stop root from writing");
#endif
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    QVERIFY(mRegistry::CreateKey(storage, OculaKey));
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 6));
    const QFile::Permissions writable = QFileInfo(dir.path()).permissions();
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

    const bool written = mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 7);
    const bool created = mRegistry::CreateKey(storage, OculaKey + QStringLiteral("\\Options"));
    const RegValue factor = mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor"));
    const bool existing = mRegistry::CreateKey(storage, OculaKey);
    QVERIFY(QFile::setPermissions(dir.path(), writable));

    QVERIFY(!written);
    QVERIFY(!created);
    QCOMPARE(factor, RegValue::integer(6));
    QVERIFY(existing);
}

void TestFileHive::unreadableFileIsNotOverwritten() {
#ifdef Q_OS_UNIX
    if (geteuid() == 0)
        QSKIP("permission bits do not stop root from reading");
#endif
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    QVERIFY(mRegistry::CreateKey(storage, OculaKey));
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 6));
    const QString file = storage.hiveFilePath(RootKey::CurrentUser);
    const QByteArray before = readFile(file);
    const QFile::Permissions readable = QFileInfo(file).permissions();
    QVERIFY(QFile::setPermissions(file, QFile::WriteOwner));

    const RegValue factor = mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor"));
    const bool written = mRegistry::SetKeyValue(storage, QStringLiteral("HKEY_CURRENT_USER"),
                                                QStringLiteral("Steps"), 1);
    QVERIFY(QFile::setPermissions(file, readable));

    QCOMPARE(factor, RegValue::error());
    QVERIFY(!written);
    QCOMPARE(readFile(file), before);
}

#ifdef Q_OS_UNIX

namespace {

// Continues the writes that an earlier, killed writer left off: generation g + 1 goes over
// generation g one value at a time, each write a save of its own. Stops after `saves` writes,
// or only when killed if `saves` is negative.
[[noreturn]] void runGenerationWriter(const QString& dir, int count, int saves) {
    FileHiveStorage storage(dir);
    const Hive hive = Hive::parse(readFile(storage.hiveFilePath(RootKey::CurrentUser)));
    int32_t generation = valueOr(hive, OculaSubKey, valueName(0));
    int next = 1;
    while (next < count && valueOr(hive, OculaSubKey, valueName(next)) == generation)
        ++next;
    if (next == count) {
        ++generation;
        next = 0;
    }
    const auto key =
        storage.openKey(RootKey::CurrentUser, OculaSubKey, RegistryStorage::Access::Write);
    if (!key)
        _exit(2);
    for (;; ++generation, next = 0) {
        for (; next < count; ++next) {
            if (saves-- == 0)
                _exit(0);
            if (!storage.setValue(*key, valueName(next), generation))
                _exit(3);
        }
    }
}

// Writes `count` values of its own, each a locked read-modify-write of the shared file.
[[noreturn]] void runNamedWriter(const QString& dir, const QString& prefix, int count) {
    FileHiveStorage storage(dir);
    for (int i = 0; i < count; ++i) {
        if (!mRegistry::SetKeyValue(storage, OculaKey, prefix + QString::number(i), i))
            _exit(3);
    }
    _exit(0);
}

} // namespace

#endif

// At each exit every setting is saved, as a rule with the value the file holds already.
void TestFileHive::savingWhatTheFileHoldsLeavesTheLockAlone() {
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    QVERIFY(mRegistry::CreateKey(storage, OculaKey));
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 6));
    const QString path = storage.hiveFilePath(RootKey::CurrentUser);
    const QString lockPath = path + QStringLiteral(".lock");
    const QByteArray saved = readFile(path);

    // Another writer in the middle of its save: an unchanged value of the next run does not
    // wait for it, nor touch the copy it is writing.
    FileHiveStorage nextRun(dir.path());
    QLockFile other(lockPath);
    QVERIFY(other.tryLock(0));
    const QString copy = temporaryCopy(storage, "WrItEr");
    QVERIFY(writeFile(copy, "half a hive"));
    QVERIFY(mRegistry::SetKeyValue(nextRun, OculaKey, QStringLiteral("Factor"), 6));
    QVERIFY(QFileInfo::exists(lockPath));
    QVERIFY(QFileInfo::exists(copy));
    QCOMPARE(readFile(path), saved);
    other.unlock();

    // Once no writer holds the lock, the copy is a leftover; an unchanged save removes it.
    QVERIFY(mRegistry::SetKeyValue(nextRun, OculaKey, QStringLiteral("Factor"), 6));
    QVERIFY(!QFileInfo::exists(copy));
    QVERIFY(!QFileInfo::exists(lockPath));
    QCOMPARE(readFile(path), saved);

    // A new value is still written, and the lock let go.
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 7));
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor")),
             RegValue::integer(7));
    QVERIFY(!QFileInfo::exists(lockPath));
}

void TestFileHive::leftBehindLockIsTakenOver() {
#ifndef Q_OS_UNIX
    QSKIP("needs fork() and SIGKILL");
#else
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    QVERIFY(mRegistry::CreateKey(storage, OculaKey));
    const QString lockPath = storage.hiveFilePath(RootKey::CurrentUser) + QStringLiteral(".lock");

    // A writer killed while it held the lock, in the middle of writing its copy.
    const QString copy = temporaryCopy(storage, "kILLed");
    int ready[2];
    QCOMPARE(pipe(ready), 0);
    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        QLockFile lock(lockPath);
        const char held = lock.tryLock(0) && writeFile(copy, "half a hive") ? 'y' : 'n';
        if (write(ready[1], &held, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    char held = 0;
    const ssize_t got = read(ready[0], &held, 1);
    // Before any check can return: the child would wait forever.
    kill(pid, SIGKILL);
    QCOMPARE(waitpid(pid, nullptr, 0), pid);
    close(ready[0]);
    close(ready[1]);
    QCOMPARE(got, ssize_t(1));
    QCOMPARE(held, 'y');
    QVERIFY(QFileInfo::exists(lockPath));
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 6));
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor")),
             RegValue::integer(6));
    QVERIFY(!QFileInfo::exists(lockPath));
    QVERIFY(!QFileInfo::exists(copy));

    // A writer killed before it could say who it was leaves an empty lock file, which only
    // its age gives away. The next run's first save cleans up, whether it changes the value
    // or writes what the file holds and so would need no lock.
    auto leaveEmptyLock = [&] {
        QFile lockFile(lockPath);
        return lockFile.open(QIODevice::WriteOnly) &&
               lockFile.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                    QFileDevice::FileModificationTime) &&
               writeFile(copy, "half a hive");
    };
    for (const int factor : {7, 7}) {
        QVERIFY(leaveEmptyLock());
        FileHiveStorage nextRun(dir.path());
        QVERIFY(mRegistry::SetKeyValue(nextRun, OculaKey, QStringLiteral("Factor"), factor));
        QCOMPARE(mRegistry::GetKeyValue(nextRun, OculaKey, QStringLiteral("Factor")),
                 RegValue::integer(factor));
        QVERIFY(!QFileInfo::exists(lockPath));
        QVERIFY(!QFileInfo::exists(copy));
    }
#endif
}

void TestFileHive::concurrentWritersLoseNothing() {
#ifndef Q_OS_UNIX
    QSKIP("needs fork()");
#else
    QTemporaryDir dir;
    {
        FileHiveStorage storage(dir.path());
        QVERIFY(mRegistry::CreateKey(storage, OculaKey));
    }
    constexpr int Count = 80;
    const QStringList prefixes = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    std::vector<pid_t> children;
    for (const QString& prefix : prefixes) {
        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0)
            runNamedWriter(dir.path(), prefix, Count);
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    FileHiveStorage storage(dir.path());
    for (const QString& prefix : prefixes) {
        for (int i = 0; i < Count; ++i) {
            QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, prefix + QString::number(i)),
                     RegValue::integer(i));
        }
    }
    QVERIFY(damagedCopies(dir.path()).isEmpty());
#endif
}

void TestFileHive::killedWriterLeavesAWholeFile() {
#ifndef Q_OS_UNIX
    QSKIP("needs fork() and SIGKILL");
#else
    // Memory-backed where there is one, to keep 200 rounds quick: a killed process leaves the
    // same files behind on any file system, only the flushes to disk take longer.
    const bool shm = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
    QTemporaryDir dir(shm ? QStringLiteral("/dev/shm/ocula-test-XXXXXX") : QString());
    QVERIFY(dir.isValid());
    FileHiveStorage storage(dir.path());
    const QString file = storage.hiveFilePath(RootKey::CurrentUser);
    constexpr int Count = 120;
    {
        Hive hive;
        hive.addKey(OculaSubKey);
        for (int i = 0; i < Count; ++i)
            hive.setValue(OculaSubKey, valueName(i), 0);
        QVERIFY(writeFile(file, hive.serialize(QStringLiteral("HKEY_CURRENT_USER"))));
    }

    // Kill moments spread over the first few saves of each writer, however fast the disk.
    QElapsedTimer probeClock;
    probeClock.start();
    const pid_t probe = fork();
    QVERIFY(probe >= 0);
    if (probe == 0)
        runGenerationWriter(dir.path(), Count, 8);
    int probeStatus = 0;
    QCOMPARE(waitpid(probe, &probeStatus, 0), probe);
    QVERIFY(WIFEXITED(probeStatus) && WEXITSTATUS(probeStatus) == 0);
    const quint32 killWithin = quint32(qMax<qint64>(probeClock.nsecsElapsed() / 2000, 100));

    QRandomGenerator rng(20240611);
    qint64 saves = 0;
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < 200; ++round) {
        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0)
            runGenerationWriter(dir.path(), Count, -1);
        usleep(rng.bounded(killWithin));
        QCOMPARE(kill(pid, SIGKILL), 0);
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        // Exiting on its own would mean that a write failed.
        QVERIFY2(WIFSIGNALED(status), qPrintable(QString::number(WEXITSTATUS(status))));

        bool damaged = true;
        const Hive hive = Hive::parse(readFile(file), &damaged);
        QVERIFY2(!damaged, qPrintable(QStringLiteral("round %1").arg(round)));
        // Whole saves of single values: a run of the newer generation, then the older one.
        const int newer = valueOr(hive, OculaSubKey, valueName(0));
        int prefix = 1;
        while (prefix < Count && valueOr(hive, OculaSubKey, valueName(prefix)) == newer)
            ++prefix;
        const int older = prefix < Count ? valueOr(hive, OculaSubKey, valueName(prefix)) : newer;
        QVERIFY2(
            older >= 0 && (older == newer || older == newer - 1),
            qPrintable(QStringLiteral("round %1: %2 then %3").arg(round).arg(newer).arg(older)));
        for (int i = prefix; i < Count; ++i)
            QCOMPARE(valueOr(hive, OculaSubKey, valueName(i)), older);
        saves = older == newer ? qint64(newer) * Count : qint64(older) * Count + prefix;

        // QLockFile judges a lock file that its writer was killed before filling in by age
        // alone (30 s for its own .rmlock files), which would stall the next rounds; taking
        // over a left-behind lock is tested on its own.
        const QDir files(dir.path());
        for (const QString& name : files.entryList({QStringLiteral("*.lock*")}, QDir::Files))
            QVERIFY(QFile::remove(files.filePath(name)));
    }
    // Writers that keep failing to take the lock would leave the file as it was.
    QVERIFY2(saves > 8 + 40, qPrintable(QString::number(saves)));
    QVERIFY(damagedCopies(dir.path()).isEmpty());
    qInfo("%lld single-value saves, 200 kills within %u us, %lld ms", saves - 8, killWithin,
          clock.elapsed());
#endif
}

QTEST_GUILESS_MAIN(TestFileHive)
#include "test_filehive.moc"
