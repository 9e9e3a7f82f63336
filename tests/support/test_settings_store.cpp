#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "support/settings/SettingsStore.h"
#include "tests/TestSupport.h"

#include <QFile>
#include <QWidget>
#include <gtest/gtest.h>

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
