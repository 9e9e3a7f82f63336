#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "platform/com/ErrorInfo.h"
#include "platform/ui/MsgBox.h"
#include "support/settings/SettingsStore.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWidget>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const AppObject app{QStringLiteral("OlvaneTest"), QStringLiteral("Test"),
                    QStringLiteral("StoreTest"), QStringLiteral("Olvane - Test")};

// An object with public properties of every kind, as ProxySettings has them.
struct IProxyLike : IDispatch
{
    static constexpr GUID iid = makeGuid("{12121212-3434-5656-7878-909090909090}");
};

class ProxyLike : public ComObject<IProxyLike>
{
public:
    ProxyLike()
    {
        table.addProperty(
            QStringLiteral("AccessType"), [this] { return accessType; },
            [this](const QVariant& v) { accessType = v.toInt(); });
        table.addProperty(
            QStringLiteral("HTTPProxy"), [this] { return httpProxy; },
            [this](const QVariant& v) { httpProxy = v.toString(); });
        table.addProperty(
            QStringLiteral("Enabled"), [this] { return enabled; },
            [this](const QVariant& v) { enabled = v.toBool(); });
        table.addProperty(
            QStringLiteral("Password"), [this] { return password; },
            [this](const QVariant& v) { password = v.toString(); });
        table.addProperty(QStringLiteral("ReadOnly"), [] { return 1; }); // not listed
    }
    HRESULT GetPropertyNames(QStringList* names) override { return table.propertyNames(names); }
    HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& args,
                   QVariant* result) override
    {
        return table.invoke(member, kind, args, result);
    }
    int accessType = 0;
    QString httpProxy;
    bool enabled = false;
    QString password;
    DispatchTable table;
};

QVariant get(ISettingsStore* store, const QString& section, const QString& key, int kind,
             const QVariant& def)
{
    QVariant value;
    EXPECT_EQ(store->GetValue(section, key, kind, def, app, true, &value), S_OK);
    return value;
}
} // namespace

TEST(SettingsStore, EveryKindComesBackInALaterRun)
{
    {
        ComPtr<ISettingsStore> store = createObject<ISettingsStore>(CLSID_SettingsStore);
        EXPECT_EQ(get(store.get(), QString(), QStringLiteral("Username"), skText, QString()),
                  QString());
        EXPECT_EQ(
            get(store.get(), QString(), QStringLiteral("Send With Original Time"), skBoolean, true),
            true);
        EXPECT_EQ(
            get(store.get(), QString(), QStringLiteral("Wait Time Index"), skInteger, 0).toInt(),
            0);

        const QString tricky = QStringLiteral(" @Variant(x) ;=\"a\\b\" Жук\r\nline ");
        store->SaveValue(QStringLiteral("OFN Paths"), QStringLiteral("Last open TXT directory"),
                         skText, tricky, app, true);
        store->SaveValue(QString(), QStringLiteral("Username"), skText,
                         QStringLiteral("me@example.org"), app, true);
        store->SaveValue(QString(), QStringLiteral("Send With Original Time"), skBoolean, false,
                         app, true);
        store->SaveValue(QString(), QStringLiteral("Send As Backdated"), skBoolean, true, app,
                         true);
        store->SaveValue(QString(), QStringLiteral("Wait Time Index"), skInteger,
                         QVariant::fromValue<qint16>(-7), app, true);
    }
    ComPtr<ISettingsStore> later = createObject<ISettingsStore>(CLSID_SettingsStore);
    EXPECT_EQ(get(later.get(), QStringLiteral("OFN Paths"),
                  QStringLiteral("Last open TXT directory"), skText, QString()),
              QStringLiteral(" @Variant(x) ;=\"a\\b\" Жук\r\nline "));
    EXPECT_EQ(get(later.get(), QString(), QStringLiteral("Username"), skText, QString()),
              QStringLiteral("me@example.org"));
    EXPECT_EQ(
        get(later.get(), QString(), QStringLiteral("Send With Original Time"), skBoolean, true),
        false);
    EXPECT_EQ(get(later.get(), QString(), QStringLiteral("Send As Backdated"), skBoolean, false),
              true);
    EXPECT_EQ(get(later.get(), QString(), QStringLiteral("Wait Time Index"), skInteger, 0).toInt(),
              -7);
    // The main section and a named one do not mix.
    EXPECT_EQ(get(later.get(), QStringLiteral("Other"), QStringLiteral("Username"), skText,
                  QStringLiteral("d")),
              QStringLiteral("d"));

    const QString file = settingsFileName(app);
    EXPECT_EQ(QFile::permissions(file) &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              0);
}

TEST(SettingsStore, ObjectsRoundTripAndThePasswordIsNeverPlain)
{
    const QString password = QStringLiteral("pa\"ss\\wörd");
    {
        auto object = ComPtr<ProxyLike>::adopt(new ProxyLike);
        object->accessType = 2;
        object->httpProxy = QStringLiteral("proxy.example:3128");
        object->enabled = true;
        object->password = password;
        ComPtr<ISettingsStore> store = createObject<ISettingsStore>(CLSID_SettingsStore);
        ASSERT_EQ(store->SaveObject(QStringLiteral("Proxy HT"), object.get(), app, true), S_OK);
    }
    QFile file(settingsFileName(app));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_TRUE(content.contains("proxy.example"));
    EXPECT_FALSE(content.contains("wörd")) << content.constData();
    EXPECT_FALSE(content.contains("ReadOnly"));

    auto loaded = ComPtr<ProxyLike>::adopt(new ProxyLike);
    ComPtr<ISettingsStore> store = createObject<ISettingsStore>(CLSID_SettingsStore);
    ASSERT_EQ(store->LoadObject(QStringLiteral("Proxy HT"), loaded.get(), app, true), S_OK);
    EXPECT_EQ(loaded->accessType, 2);
    EXPECT_EQ(loaded->httpProxy, QStringLiteral("proxy.example:3128"));
    EXPECT_TRUE(loaded->enabled);
    EXPECT_EQ(loaded->password, password);

    // A section with nothing stored leaves the properties as they are.
    auto untouched = ComPtr<ProxyLike>::adopt(new ProxyLike);
    untouched->httpProxy = QStringLiteral("keep");
    store->LoadObject(QStringLiteral("Empty"), untouched.get(), app, true);
    EXPECT_EQ(untouched->httpProxy, QStringLiteral("keep"));
}

TEST(SettingsStore, EachWindowKeepsItsOwnPlacement)
{
    QWidget main, logon;
    main.setObjectName(QStringLiteral("frmMain"));
    logon.setObjectName(QStringLiteral("frmLogon"));
    ComPtr<ISettingsStore> store = createObject<ISettingsStore>(CLSID_SettingsStore);
    bool found = true;
    ASSERT_EQ(store->LoadFormPlacement(QString(), QStringLiteral("Window placement"), &main, app, 0,
                                       100, 100, true, &found),
              S_OK);
    EXPECT_FALSE(found);

    main.setGeometry(40, 50, 300, 200);
    logon.setGeometry(60, 70, 250, 150);
    store->SaveFormPlacement(QString(), QStringLiteral("Window placement"), &main, app, true);
    store->SaveFormPlacement(QString(), QStringLiteral("Window placement"), &logon, app, true);

    QWidget main2, logon2;
    main2.setObjectName(QStringLiteral("frmMain"));
    logon2.setObjectName(QStringLiteral("frmLogon"));
    ComPtr<ISettingsStore> later = createObject<ISettingsStore>(CLSID_SettingsStore);
    later->LoadFormPlacement(QString(), QStringLiteral("Window placement"), &main2, app, 0, 10, 10,
                             true, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(QRect(main2.pos(), main2.size()), QRect(40, 50, 300, 200));
    later->LoadFormPlacement(QString(), QStringLiteral("Window placement"), &logon2, app, 0, 10, 10,
                             true, &found);
    EXPECT_EQ(QRect(logon2.pos(), logon2.size()), QRect(60, 70, 250, 150));
}

TEST(SettingsStore, RejectsUnknownKinds)
{
    ComPtr<ISettingsStore> store = createObject<ISettingsStore>(CLSID_SettingsStore);
    QVariant value;
    EXPECT_TRUE(FAILED(store->GetValue(QString(), QStringLiteral("x"), 2, 0, app, true, &value)));
    EXPECT_TRUE(FAILED(store->SaveValue(QString(), QStringLiteral("x"), 1,
                                        QStringLiteral("not a number"), app, true)));
}

TEST(SettingsStore, EveryPasswordLikePropertyIsProtected)
{
    class Holder : public ComObject<IProxyLike>
    {
    public:
        Holder()
        {
            table.addProperty(
                QStringLiteral("ServerPassword"), [this] { return secret; },
                [this](const QVariant& v) { secret = v.toString(); });
        }
        HRESULT GetPropertyNames(QStringList* names) override { return table.propertyNames(names); }
        HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& args,
                       QVariant* result) override
        {
            return table.invoke(member, kind, args, result);
        }
        QString secret;
        DispatchTable table;
    };
    auto holder = ComPtr<Holder>::adopt(new Holder);
    holder->secret = QStringLiteral("hunter2-secret");
    ComPtr<ISettingsStore> store = createObject<ISettingsStore>(CLSID_SettingsStore);
    ASSERT_EQ(store->SaveObject(QStringLiteral("Request"), holder.get(), app, true), S_OK);
    QFile file(settingsFileName(app));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("hunter2"));
    auto loaded = ComPtr<Holder>::adopt(new Holder);
    store->LoadObject(QStringLiteral("Request"), loaded.get(), app, true);
    EXPECT_EQ(loaded->secret, QStringLiteral("hunter2-secret"));
}

namespace {
QString keyFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Olvane/protect.key");
}

// A store on its own file in a fresh folder.
QString freshStoreFile(const QString& folderName)
{
    const QString folder = QDir(testFolder()).filePath(folderName);
    QDir().mkpath(folder);
    return folder + QStringLiteral("/settings.ini");
}
} // namespace

TEST(SettingsStore, ADamagedKeyFileIsReplacedAndAnUnusableOneReported)
{
    ComPtr<ISettingsStore> store = newSettingsStore(freshStoreFile(QStringLiteral("keys")));
    auto object = ComPtr<ProxyLike>::adopt(new ProxyLike);
    object->httpProxy = QStringLiteral("proxy.example");
    object->password = QStringLiteral("proxy-secret");
    ASSERT_EQ(store->SaveObject(QStringLiteral("Proxy HT"), object.get(), app, true), S_OK);

    // A truncated key file: the next save makes a new key and keeps the password.
    {
        QFile key(keyFileName());
        ASSERT_TRUE(key.open(QIODevice::WriteOnly | QIODevice::Truncate));
        key.write("short");
    }
    object->password = QStringLiteral("second-secret");
    ASSERT_EQ(store->SaveObject(QStringLiteral("Proxy HT"), object.get(), app, true), S_OK);
    auto loaded = ComPtr<ProxyLike>::adopt(new ProxyLike);
    store->LoadObject(QStringLiteral("Proxy HT"), loaded.get(), app, true);
    EXPECT_EQ(loaded->password, QStringLiteral("second-secret"));
    EXPECT_EQ(QFileInfo(keyFileName()).size(), 32);

    // A key that cannot be replaced (a folder in its place): the failure is reported,
    // the other values are kept, and the password is never written readable.
    ASSERT_TRUE(QFile::remove(keyFileName()));
    ASSERT_TRUE(QDir().mkpath(keyFileName() + QStringLiteral("/inside")));
    object->httpProxy = QStringLiteral("other.example");
    object->password = QStringLiteral("third-secret");
    takeErrorInfo();
    EXPECT_TRUE(FAILED(store->SaveObject(QStringLiteral("Proxy HT"), object.get(), app, true)));
    const auto error = takeErrorInfo();
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->description().contains(QStringLiteral("settings.ini")));
    EXPECT_TRUE(error->description().contains(QStringLiteral("Password")));
    loaded = ComPtr<ProxyLike>::adopt(new ProxyLike);
    store->LoadObject(QStringLiteral("Proxy HT"), loaded.get(), app, true);
    EXPECT_EQ(loaded->httpProxy, QStringLiteral("other.example"));
    EXPECT_TRUE(loaded->password.isEmpty());
    ASSERT_TRUE(QDir(keyFileName()).removeRecursively());
}

TEST(SettingsStore, ACorruptFileIsSetAsideOnceAndAFreshOneStarted)
{
    MsgBoxScript boxes;
    const QString name = freshStoreFile(QStringLiteral("corrupt"));
    const QByteArray damage = "[Main]\nUsername=kept\n\x01\x02 garbage without equals\n";
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damage);
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    }
    ComPtr<ISettingsStore> store = newSettingsStore(name);
    EXPECT_EQ(store->SaveValue(QString(), QStringLiteral("Username"), skText, QStringLiteral("new"),
                               app, true),
              S_OK);
    EXPECT_EQ(
        store->SaveValue(QString(), QStringLiteral("Wait Time Index"), skInteger, 3, app, true),
        S_OK);
    EXPECT_EQ(get(store.get(), QString(), QStringLiteral("Username"), skText, QString()),
              QStringLiteral("new"));
    ASSERT_EQ(boxes.shown().size(), 1); // told once
    EXPECT_EQ(boxes.shown()[0].style, vbExclamation);
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(name + QStringLiteral(".damaged")));
    QFile kept(name + QStringLiteral(".damaged"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), damage);
    EXPECT_EQ(QFile::permissions(name) & (QFile::ReadOther | QFile::ReadGroup), 0);
}

TEST(SettingsStore, AFailedSaveNamesTheFileAndTheCause)
{
    const QString name = freshStoreFile(QStringLiteral("blocked"));
    ASSERT_TRUE(QDir().mkpath(name)); // a folder where the file should be
    ComPtr<ISettingsStore> store = newSettingsStore(name);
    takeErrorInfo();
    EXPECT_EQ(store->SaveValue(QString(), QStringLiteral("Username"), skText, QStringLiteral("me"),
                               app, true),
              DISP_E_EXCEPTION);
    const auto error = takeErrorInfo();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->description(), QStringLiteral("Could not save the settings file %1: a folder "
                                                   "of that name stands in its place.")
                                        .arg(name));
    QVariant value;
    EXPECT_EQ(store->GetValue(QString(), QStringLiteral("Username"), skText, QStringLiteral("d"),
                              app, true, &value),
              S_OK);
    EXPECT_EQ(value.toString(), QStringLiteral("d"));
}

// A file created readable by others and narrowed afterwards would show as a change of
// its attributes after it appeared; a file private from its creation shows none.
TEST(SettingsStore, ANewFileIsPrivateFromItsCreation)
{
    const mode_t oldMask = ::umask(022);
    const QString name = freshStoreFile(QStringLiteral("private"));
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(QFileInfo(name).absolutePath()),
                                  IN_CREATE | IN_ATTRIB | IN_MOVED_TO),
              0);
    ComPtr<ISettingsStore> store = newSettingsStore(name);
    ASSERT_EQ(store->SaveValue(QString(), QStringLiteral("Username"), skText, QStringLiteral("me"),
                               app, true),
              S_OK);
    ::umask(oldMask);
    alignas(inotify_event) char buffer[16384];
    const ssize_t length = ::read(watch, buffer, sizeof buffer);
    ::close(watch);
    ASSERT_GT(length, 0);
    bool appeared = false;
    for (char* p = buffer; p < buffer + length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(p);
        if (event->len && QByteArray(event->name) == "settings.ini") {
            appeared = appeared || (event->mask & (IN_CREATE | IN_MOVED_TO));
            EXPECT_FALSE(event->mask & IN_ATTRIB) << "permissions changed after creation";
        }
        p += sizeof(inotify_event) + event->len;
    }
    EXPECT_TRUE(appeared);
    EXPECT_EQ(QFile::permissions(name) &
                  (QFile::ReadOther | QFile::ReadGroup | QFile::WriteOther | QFile::WriteGroup),
              0);
}
