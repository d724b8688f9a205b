// SPDX-FileCopyrightText: 2026 The Ocula authors
// SPDX-License-Identifier: MIT

#include "platform/filehive/filehivestorage.h"
#include "settings/mregistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <set>

using namespace ocula;

namespace ocula {

char* toString(const RegValue& v) {
    switch (v.kind()) {
    case RegValue::Kind::Empty:
        return qstrdup("Empty");
    case RegValue::Kind::Error:
        return qstrdup("ERROR");
    case RegValue::Kind::Integer:
        return qstrdup(QByteArray::number(*v.toLong()).constData());
    }
    return qstrdup("?");
}

} // namespace ocula

namespace {

const QString OculaKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarnwick\\Ocula");

// An in-memory registry that logs each storage call and counts the keys left open, so that
// the open-use-close discipline of mRegistry can be checked.
class RecordingStorage final : public RegistryStorage {
public:
    QStringList log;
    int openKeys = 0;
    bool failQuery = false;
    bool failSet = false;

    void addKey(RootKey root, const QString& path) { m_keys.insert({root, path}); }

    std::optional<Key> openKey(RootKey root, const QString& subKey, Access access) override {
        log << QStringLiteral("open %1 %2 %3")
                   .arg(rootKeyName(root), subKey,
                        access == Access::Read ? QStringLiteral("read") : QStringLiteral("write"));
        if (!subKey.isEmpty() && !m_keys.count({root, subKey}))
            return std::nullopt;
        return track(root, subKey);
    }
    std::optional<Key> createKey(RootKey root, const QString& subKey) override {
        log << QStringLiteral("create %1 %2").arg(rootKeyName(root), subKey);
        m_keys.insert({root, subKey});
        return track(root, subKey);
    }
    std::optional<int32_t> queryValue(Key key, const QString& name) override {
        log << QStringLiteral("query %1").arg(name);
        const auto it = m_values.find({m_handles.at(key), name});
        if (failQuery || it == m_values.end())
            return std::nullopt;
        return it->second;
    }
    bool setValue(Key key, const QString& name, int32_t value) override {
        log << QStringLiteral("set %1 %2").arg(name).arg(value);
        if (failSet)
            return false;
        m_values[{m_handles.at(key), name}] = value;
        return true;
    }
    void closeKey(Key key) override {
        log << QStringLiteral("close");
        if (m_handles.erase(key))
            --openKeys;
    }

private:
    using Path = std::pair<RootKey, QString>;
    Key track(RootKey root, const QString& path) {
        ++openKeys;
        m_handles[++m_next] = {root, path};
        return m_next;
    }

    std::set<Path> m_keys;
    std::map<std::pair<Path, QString>, int32_t> m_values;
    std::map<Key, Path> m_handles;
    Key m_next = 0;
};

} // namespace

class TestRegistry : public QObject {
    Q_OBJECT

private slots:
    void parseKeyPath_data();
    void parseKeyPath();
    void getRootKey_data();
    void getRootKey();
    void regValueConversions_data();
    void regValueConversions();

    void operationsOpenUseAndClose_data();
    void operationsOpenUseAndClose();
    void failedQueryStillClosesTheKey();

    void keyExists_data();
    void keyExists();
    void getKeyValue_data();
    void getKeyValue();
    void createKey_data();
    void createKey();
    void setKeyValue_data();
    void setKeyValue();
    void setKeyValueNeverCreatesTheKey();
    void valuesSurviveANewStorage();
    void rootsAreSeparate();
};

void TestRegistry::parseKeyPath_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("subKey");
    QTest::addColumn<quint32>("root");

    const quint32 none = 0;
    QTest::newRow("root only") << "HKEY_CURRENT_USER"
                               << "" << 0x80000001u;
    QTest::newRow("root and subkey") << OculaKey << "Software\\Tarnwick\\Ocula" << 0x80000001u;
    QTest::newRow("machine") << "HKEY_LOCAL_MACHINE\\Software"
                             << "Software" << 0x80000002u;
    QTest::newRow("dyn data") << "HKEY_DYN_DATA\\X"
                              << "X" << 0x80000006u;
    QTest::newRow("only the first backslash splits") << "HKEY_USERS\\\\a\\b"
                                                     << "\\a\\b" << 0x80000003u;
    QTest::newRow("trailing backslash") << "HKEY_CURRENT_USER\\"
                                        << "HKEY_CURRENT_USER\\" << none;
    QTest::newRow("trailing backslash after subkey") << OculaKey + "\\" << OculaKey + "\\" << none;
    QTest::newRow("lower-case prefix") << "hkey_current_user\\Software"
                                       << "hkey_current_user\\Software" << none;
    QTest::newRow("no root") << "Software\\Tarnwick"
                             << "Software\\Tarnwick" << none;
    QTest::newRow("empty") << ""
                           << "" << none;
    QTest::newRow("prefix cut short") << "HKEY"
                                      << "HKEY" << none;
    // A well-formed path loses its root part even when the root is unknown.
    QTest::newRow("misspelt root") << "HKEY_CURRENT_USR\\Software"
                                   << "Software" << none;
    QTest::newRow("prefix alone") << "HKEY_"
                                  << "" << none;
    QTest::newRow("root name in other case") << "HKEY_Current_User\\A"
                                             << "A" << none;
    QTest::newRow("space after root") << "HKEY_CURRENT_USER \\A"
                                      << "A" << none;
}

void TestRegistry::parseKeyPath() {
    QFETCH(QString, path);
    QFETCH(QString, subKey);
    QFETCH(quint32, root);

    RootKey parsed = RootKey::None;
    mRegistry::ParseKeyPath(path, parsed);
    QCOMPARE(path, subKey);
    QCOMPARE(quint32(parsed), root);
}

void TestRegistry::getRootKey_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("root");

    QTest::newRow("classes root") << "HKEY_CLASSES_ROOT" << 0x80000000u;
    QTest::newRow("current user") << "HKEY_CURRENT_USER" << 0x80000001u;
    QTest::newRow("local machine") << "HKEY_LOCAL_MACHINE" << 0x80000002u;
    QTest::newRow("users") << "HKEY_USERS" << 0x80000003u;
    QTest::newRow("performance data") << "HKEY_PERFORMANCE_DATA" << 0x80000004u;
    QTest::newRow("current config") << "HKEY_CURRENT_CONFIG" << 0x80000005u;
    QTest::newRow("dyn data") << "HKEY_DYN_DATA" << 0x80000006u;
    QTest::newRow("lower case") << "hkey_users" << 0u;
    QTest::newRow("short form") << "HKCU" << 0u;
    QTest::newRow("longer") << "HKEY_USERSX" << 0u;
    QTest::newRow("shorter") << "HKEY_USER" << 0u;
    QTest::newRow("empty") << "" << 0u;
}

void TestRegistry::getRootKey() {
    QFETCH(QString, name);
    QFETCH(quint32, root);
    QCOMPARE(quint32(mRegistry::GetRootKey(name)), root);
}

void TestRegistry::regValueConversions_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("longOk");
    QTest::addColumn<int>("asLong");
    QTest::addColumn<bool>("shortOk");
    QTest::addColumn<int>("asShort");
    QTest::addColumn<bool>("asBool");

    const int integer = int(RegValue::Kind::Integer);
    QTest::newRow("empty is zero")
        << int(RegValue::Kind::Empty) << 0 << true << 0 << true << 0 << false;
    QTest::newRow("error converts to nothing")
        << int(RegValue::Kind::Error) << 0 << false << 0 << false << 0 << false;
    QTest::newRow("one") << integer << 1 << true << 1 << true << 1 << true;
    QTest::newRow("two is true") << integer << 2 << true << 2 << true << 2 << true;
    QTest::newRow("minus one is true") << integer << -1 << true << -1 << true << -1 << true;
    QTest::newRow("zero is false") << integer << 0 << true << 0 << true << 0 << false;
    QTest::newRow("short max") << integer << 32767 << true << 32767 << true << 32767 << true;
    QTest::newRow("short min") << integer << -32768 << true << -32768 << true << -32768 << true;
    QTest::newRow("above short") << integer << 32768 << true << 32768 << false << 0 << true;
    QTest::newRow("below short") << integer << -32769 << true << -32769 << false << 0 << true;
    QTest::newRow("long min") << integer << INT32_MIN << true << INT32_MIN << false << 0 << true;
}

void TestRegistry::regValueConversions() {
    QFETCH(int, kind);
    QFETCH(int, value);
    QFETCH(bool, longOk);
    QFETCH(int, asLong);
    QFETCH(bool, shortOk);
    QFETCH(int, asShort);
    QFETCH(bool, asBool);

    const RegValue v = kind == int(RegValue::Kind::Integer) ? RegValue::integer(value)
                       : kind == int(RegValue::Kind::Error) ? RegValue::error()
                                                            : RegValue();
    QCOMPARE(v.toLong().has_value(), longOk);
    QCOMPARE(v.toBool().has_value(), longOk);
    if (longOk) {
        QCOMPARE(*v.toLong(), asLong);
        QCOMPARE(*v.toBool(), asBool);
    }
    QCOMPARE(v.toShort().has_value(), shortOk);
    if (shortOk)
        QCOMPARE(int(*v.toShort()), asShort);
}

void TestRegistry::operationsOpenUseAndClose_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("expectedLog");

    const QString sub = QStringLiteral("Software\\Tarnwick\\Ocula");
    const QString open = QStringLiteral("open HKEY_CURRENT_USER ") + sub;
    QTest::newRow("exists") << "exists" << OculaKey << QStringList{open + " read", "close"};
    QTest::newRow("exists, missing key")
        << "exists" << OculaKey + "\\Missing" << QStringList{open + "\\Missing read"};
    QTest::newRow("create") << "create" << OculaKey
                            << QStringList{"create HKEY_CURRENT_USER " + sub, "close"};
    QTest::newRow("get") << "get" << OculaKey
                         << QStringList{open + " read", "query Factor", "close"};
    QTest::newRow("get, missing key")
        << "get" << OculaKey + "\\Missing" << QStringList{open + "\\Missing read"};
    QTest::newRow("set") << "set" << OculaKey
                         << QStringList{open + " write", "set Factor -1", "close"};
    QTest::newRow("set, missing key is not created")
        << "set" << OculaKey + "\\Missing" << QStringList{open + "\\Missing write"};
    for (const char* op : {"exists", "create", "get", "set"}) {
        QTest::addRow("%s, malformed path", op) << QString(op) << OculaKey + "\\" << QStringList();
        QTest::addRow("%s, unknown root", op)
            << QString(op) << "HKEY_LOCAL_USER\\Software" << QStringList();
    }
}

void TestRegistry::operationsOpenUseAndClose() {
    QFETCH(QString, operation);
    QFETCH(QString, path);
    QFETCH(QStringList, expectedLog);

    RecordingStorage storage;
    storage.addKey(RootKey::CurrentUser, QStringLiteral("Software\\Tarnwick\\Ocula"));
    if (operation == "exists")
        mRegistry::KeyExists(storage, path);
    else if (operation == "create")
        mRegistry::CreateKey(storage, path);
    else if (operation == "get")
        mRegistry::GetKeyValue(storage, path, QStringLiteral("Factor"));
    else
        mRegistry::SetKeyValue(storage, path, QStringLiteral("Factor"), -1);
    QCOMPARE(storage.log, expectedLog);
    QCOMPARE(storage.openKeys, 0);
}

void TestRegistry::failedQueryStillClosesTheKey() {
    RecordingStorage storage;
    storage.addKey(RootKey::CurrentUser, QStringLiteral("Software\\Tarnwick\\Ocula"));
    QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 6));
    storage.failQuery = true;
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("Factor")),
             RegValue::error());
    QCOMPARE(storage.openKeys, 0);
    storage.failSet = true;
    QVERIFY(!mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 7));
    QCOMPARE(storage.openKeys, 0);
}

// The file store, seeded with the user key and one value, behind the real mRegistry.
struct SeededStore {
    QTemporaryDir dir;
    FileHiveStorage storage{dir.path()};
    const bool seeded = mRegistry::CreateKey(storage, OculaKey) &&
                        mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("Factor"), 6);

    QByteArray fileBytes(RootKey root) const {
        QFile f(storage.hiveFilePath(root));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

void TestRegistry::keyExists_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("exists");

    for (const RootKeyName& r : RootKeyNames)
        QTest::addRow("root %s alone", r.name.data()) << QString(r.name) << true;
    QTest::newRow("the key") << OculaKey << true;
    QTest::newRow("a parent") << "HKEY_CURRENT_USER\\Software" << true;
    QTest::newRow("other case") << "HKEY_CURRENT_USER\\SOFTWARE\\tarnwick\\OCULA" << true;
    QTest::newRow("missing child") << OculaKey + "\\Options" << false;
    QTest::newRow("other root") << "HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Ocula" << false;
    QTest::newRow("root with trailing backslash") << "HKEY_CURRENT_USER\\" << false;
    QTest::newRow("key with trailing backslash") << OculaKey + "\\" << false;
    QTest::newRow("lower-case prefix") << "hkey_current_user\\Software" << false;
    QTest::newRow("lower-case root") << "HKEY_current_user\\Software" << false;
    QTest::newRow("no root") << "Software\\Tarnwick\\Ocula" << false;
    QTest::newRow("misspelt root") << "HKEY_CURRENT_USR\\Software\\Tarnwick\\Ocula" << false;
    QTest::newRow("empty component") << "HKEY_CURRENT_USER\\Software\\\\Tarnwick" << false;
    QTest::newRow("empty path") << "" << false;
}

void TestRegistry::keyExists() {
    QFETCH(QString, path);
    QFETCH(bool, exists);
    SeededStore store;
    QVERIFY(store.seeded);
    QCOMPARE(mRegistry::KeyExists(store.storage, path), exists);
}

void TestRegistry::getKeyValue_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<RegValue>("expected");

    QTest::newRow("stored") << OculaKey << "Factor" << RegValue::integer(6);
    QTest::newRow("name in other case") << OculaKey << "FACTOR" << RegValue::integer(6);
    QTest::newRow("key in other case") << "HKEY_CURRENT_USER\\software\\TARNWICK\\ocula"
                                       << "factor" << RegValue::integer(6);
    QTest::newRow("missing value") << OculaKey << "Steps" << RegValue::error();
    QTest::newRow("missing key") << OculaKey + "\\Options"
                                 << "Factor" << RegValue::error();
    QTest::newRow("value of a parent") << "HKEY_CURRENT_USER\\Software"
                                       << "Factor" << RegValue::error();
    QTest::newRow("root only") << "HKEY_CURRENT_USER"
                               << "Factor" << RegValue::error();
    QTest::newRow("trailing backslash") << OculaKey + "\\"
                                        << "Factor" << RegValue();
    QTest::newRow("root with trailing backslash") << "HKEY_CURRENT_USER\\"
                                                  << "Factor" << RegValue();
    QTest::newRow("lower-case prefix") << "hkey_CURRENT_USER\\Software\\Tarnwick\\Ocula"
                                       << "Factor" << RegValue();
    QTest::newRow("no root") << "Software\\Tarnwick\\Ocula"
                             << "Factor" << RegValue();
    QTest::newRow("misspelt root") << "HKEY_CURENT_USER\\Software\\Tarnwick\\Ocula"
                                   << "Factor" << RegValue();
}

void TestRegistry::getKeyValue() {
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(RegValue, expected);
    SeededStore store;
    QVERIFY(store.seeded);
    QCOMPARE(mRegistry::GetKeyValue(store.storage, path, name), expected);
}

void TestRegistry::createKey_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("created");
    QTest::addColumn<QStringList>("existAfterwards");

    QTest::newRow("new key with parents")
        << "HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Ocula" << true
        << QStringList{"HKEY_LOCAL_MACHINE\\Software", "HKEY_LOCAL_MACHINE\\Software\\Tarnwick",
                       "HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Ocula"};
    QTest::newRow("child of an existing key")
        << OculaKey + "\\Options" << true << QStringList{OculaKey + "\\Options", OculaKey};
    QTest::newRow("existing key") << OculaKey << true << QStringList{OculaKey};
    QTest::newRow("existing key in other case")
        << "HKEY_CURRENT_USER\\SOFTWARE\\Tarnwick\\Ocula" << true << QStringList{OculaKey};
    QTest::newRow("root alone") << "HKEY_USERS" << true << QStringList{"HKEY_USERS"};
    QTest::newRow("trailing backslash")
        << "HKEY_LOCAL_MACHINE\\Software\\" << false << QStringList();
    QTest::newRow("lower-case prefix") << "hkey_LOCAL_MACHINE\\Software" << false << QStringList();
    QTest::newRow("misspelt root") << "HKEY_LOCAL_MASHINE\\Software" << false << QStringList();
    QTest::newRow("empty component")
        << "HKEY_LOCAL_MACHINE\\Software\\\\X" << false << QStringList();
}

void TestRegistry::createKey() {
    QFETCH(QString, path);
    QFETCH(bool, created);
    QFETCH(QStringList, existAfterwards);

    SeededStore store;
    QVERIFY(store.seeded);
    const QByteArray machineBefore = store.fileBytes(RootKey::LocalMachine);
    QCOMPARE(mRegistry::CreateKey(store.storage, path), created);
    for (const QString& key : existAfterwards)
        QVERIFY2(mRegistry::KeyExists(store.storage, key), qPrintable(key));
    if (!created)
        QCOMPARE(store.fileBytes(RootKey::LocalMachine), machineBefore);
    // Creating a key leaves the values that were there.
    QCOMPARE(mRegistry::GetKeyValue(store.storage, OculaKey, QStringLiteral("Factor")),
             RegValue::integer(6));
}

void TestRegistry::setKeyValue_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("written");

    QTest::newRow("replace") << OculaKey << "Factor" << 12 << true;
    QTest::newRow("replace in other case") << OculaKey << "FACTOR" << 12 << true;
    QTest::newRow("new value") << OculaKey << "Steps" << 1 << true;
    QTest::newRow("minus one") << OculaKey << "ClrArrow" << -1 << true;
    QTest::newRow("smallest") << OculaKey << "A" << INT32_MIN << true;
    QTest::newRow("largest") << OculaKey << "A" << INT32_MAX << true;
    QTest::newRow("system colour") << OculaKey << "ClrDivs" << int(0x80000014u) << true;
    QTest::newRow("odd name") << OculaKey << "say \"hi\" = \\" << 5 << true;
    QTest::newRow("into the root") << "HKEY_CURRENT_USER"
                                   << "Top" << 3 << true;
    QTest::newRow("into a parent") << "HKEY_CURRENT_USER\\Software"
                                   << "X" << 4 << true;
    QTest::newRow("trailing backslash") << OculaKey + "\\"
                                        << "Factor" << 12 << false;
    QTest::newRow("lower-case prefix") << "hkey_current_user\\Software\\Tarnwick\\Ocula"
                                       << "Factor" << 12 << false;
    QTest::newRow("misspelt root") << "HKEY_CURRENT_USERS\\Software\\Tarnwick\\Ocula"
                                   << "Factor" << 12 << false;
    QTest::newRow("name with a line break") << OculaKey << "a\nb" << 1 << false;
}

void TestRegistry::setKeyValue() {
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(int, value);
    QFETCH(bool, written);

    SeededStore store;
    QVERIFY(store.seeded);
    const QByteArray before = store.fileBytes(RootKey::CurrentUser);
    QCOMPARE(mRegistry::SetKeyValue(store.storage, path, name, value), written);
    if (written) {
        QCOMPARE(mRegistry::GetKeyValue(store.storage, path, name), RegValue::integer(value));
    } else {
        QCOMPARE(store.fileBytes(RootKey::CurrentUser), before);
        QCOMPARE(mRegistry::GetKeyValue(store.storage, OculaKey, QStringLiteral("Factor")),
                 RegValue::integer(6));
    }
}

void TestRegistry::setKeyValueNeverCreatesTheKey() {
    SeededStore store;
    QVERIFY(store.seeded);
    const QByteArray userBefore = store.fileBytes(RootKey::CurrentUser);
    const QString options = OculaKey + QStringLiteral("\\Options");
    QVERIFY(!mRegistry::SetKeyValue(store.storage, options, QStringLiteral("Factor"), 6));
    QVERIFY(!mRegistry::KeyExists(store.storage, options));
    QCOMPARE(store.fileBytes(RootKey::CurrentUser), userBefore);

    const QString machine = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Ocula");
    QVERIFY(!mRegistry::SetKeyValue(store.storage, machine, QStringLiteral("Version"), 30));
    QVERIFY(!QFile::exists(store.storage.hiveFilePath(RootKey::LocalMachine)));
}

void TestRegistry::valuesSurviveANewStorage() {
    QTemporaryDir dir;
    {
        FileHiveStorage storage(dir.path());
        QVERIFY(mRegistry::CreateKey(storage, OculaKey + QStringLiteral("\\Options")));
        QVERIFY(mRegistry::SetKeyValue(storage, OculaKey, QStringLiteral("MainLeft"), -1));
        QVERIFY(mRegistry::SetKeyValue(storage, OculaKey + QStringLiteral("\\Options"),
                                       QStringLiteral("ClrGridA"), INT32_MIN));
    }
    FileHiveStorage storage(dir.path());
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey, QStringLiteral("MainLeft")),
             RegValue::integer(-1));
    QCOMPARE(mRegistry::GetKeyValue(storage, OculaKey + QStringLiteral("\\Options"),
                                    QStringLiteral("ClrGridA")),
             RegValue::integer(INT32_MIN));
    // Stored as a signed number a person can read, not as an unsigned bit pattern.
    QFile file(storage.hiveFilePath(RootKey::CurrentUser));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\"MainLeft\"=-1\n"));
}

void TestRegistry::rootsAreSeparate() {
    QTemporaryDir dir;
    FileHiveStorage storage(dir.path());
    for (const RootKeyName& r : RootKeyNames) {
        QVERIFY(mRegistry::CreateKey(storage, r.name + QStringLiteral("\\Key")));
        QVERIFY(mRegistry::SetKeyValue(storage, r.name + QStringLiteral("\\Key"),
                                       QStringLiteral("V"), int(r.root)));
    }
    for (const RootKeyName& r : RootKeyNames) {
        QCOMPARE(
            mRegistry::GetKeyValue(storage, r.name + QStringLiteral("\\Key"), QStringLiteral("V")),
            RegValue::integer(int(r.root)));
        QVERIFY(QFile::exists(dir.filePath(r.name + QStringLiteral(".conf"))));
    }
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "test_registry.moc"
