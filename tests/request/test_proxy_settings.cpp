#include "platform/com/DispatchTable.h"
#include "platform/net/SystemProxy.h"
#include "tests/request/RequestFixtures.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {
const QString Direct = QStringLiteral("--execute=\"use_proxy=no\" --no-proxy");

QString textOf(_ProxySettings* proxy, HRESULT (_ProxySettings::*member)(QString*))
{
    QString text;
    EXPECT_EQ((proxy->*member)(&text), S_OK);
    return text;
}

struct System
{
    bool read = false, useProxy = false;
    QString http, https, ftp, bypass, user, password;
};

System systemSettings(_ProxySettings* proxy, bool full)
{
    System s;
    VARIANT_BOOL use = VARIANT_FALSE, read = VARIANT_FALSE;
    s.user = s.password = QStringLiteral("x");
    EXPECT_EQ(proxy->GetSystemSettings(toVariantBool(full), &use, &s.http, &s.https, &s.ftp,
                                       &s.bypass, &s.user, &s.password, &read),
              S_OK);
    s.read = read != VARIANT_FALSE;
    s.useProxy = use != VARIANT_FALSE;
    return s;
}

SystemProxyInfo proxyInfo(const char* proxies, const char* bypass = nullptr,
                          int type = InternetOpenTypeProxy)
{
    SystemProxyInfo info;
    info.accessType = type;
    if (proxies)
        info.proxyList = QByteArray(proxies);
    if (bypass)
        info.bypassList = QByteArray(bypass);
    return info;
}

class ProxySettingsTest : public ::testing::Test
{
protected:
    void TearDown() override { setSystemProxyAnswer(std::nullopt); }
    ComPtr<_ProxySettings> proxy = newProxySettings();
};
} // namespace

TEST_F(ProxySettingsTest, ANewObjectFollowsTheSystem)
{
    setSystemProxyAnswer(proxyInfo(nullptr, nullptr, InternetOpenTypeDirect));
    AccessType_Const type = atProxy;
    proxy->get_AccessType(&type);
    EXPECT_EQ(type, atSystem);
    EXPECT_EQ(textOf(proxy.get(), &_ProxySettings::toString),
              textOf(proxy.get(), &_ProxySettings::toString_System));
    EXPECT_EQ(textOf(proxy.get(), &_ProxySettings::toString), Direct);
    setSystemProxyAnswer(std::optional<SystemProxyInfo>()); // the query fails
    EXPECT_EQ(textOf(proxy.get(), &_ProxySettings::toString), Direct);

    for (int bad : {3, -1}) {
        proxy->put_AccessType(static_cast<AccessType_Const>(bad));
        proxy->get_AccessType(&type);
        EXPECT_EQ(type, atSystem);
    }
}

TEST_F(ProxySettingsTest, NamedProxiesBecomeWgetOptions)
{
    proxy->put_AccessType(atProxy);
    proxy->put_HTTP_Address(QStringLiteral("10.0.0.1:3128"));
    const QString base = QStringLiteral(
        "--execute=\"http_proxy=10.0.0.1:3128\" --execute=\"https_proxy=\" "
        "--execute=\"ftp_proxy=\" --execute=\"no_proxy=\" --execute=\"use_proxy=yes\" ");
    EXPECT_EQ(textOf(proxy.get(), &_ProxySettings::toString), base);
    proxy->put_UserName(QStringLiteral("u"));
    EXPECT_EQ(textOf(proxy.get(), &_ProxySettings::toString),
              base + QStringLiteral("--proxy-user=\"u\" "));
    proxy->put_Password(QStringLiteral("p\\"));
    EXPECT_EQ(textOf(proxy.get(), &_ProxySettings::toString),
              base + QStringLiteral("--proxy-user=\"u\" --proxy-password=\"p\\\\\" "));
    proxy->put_BypassList(QStringLiteral("a\"b"));
    EXPECT_TRUE(textOf(proxy.get(), &_ProxySettings::toString)
                    .contains(QStringLiteral("--execute=\"no_proxy=a\\\"b\" ")));
    proxy->put_AccessType(atDirect);
    EXPECT_EQ(textOf(proxy.get(), &_ProxySettings::toString), Direct);
    EXPECT_EQ(textOf(proxy.get(), &_ProxySettings::toString_Direct), Direct);
    QString stored;
    proxy->get_HTTP_Address(&stored);
    EXPECT_EQ(stored, QStringLiteral("10.0.0.1:3128"));
}

TEST_F(ProxySettingsTest, SystemListsAreParsed)
{
    const struct
    {
        const char* proxies;
        const char* http;
        const char* https;
        const char* ftp;
    } cases[] = {
        {"http=p1:80 https=p2:443", "p1:80", "p2:443", ""},
        {"p:8080", "p:8080", "p:8080", "p:8080"},
        {"socks=s:1080 p:8080", "p:8080", "p:8080", "p:8080"},
        {"http=a:1 p:8080", "a:1", "", ""},
        {"HTTP=a:1  http=b:2", "b:2", "", ""},
    };
    for (const auto& c : cases) {
        setSystemProxyAnswer(proxyInfo(c.proxies));
        const System s = systemSettings(proxy.get(), false);
        EXPECT_TRUE(s.read);
        EXPECT_TRUE(s.useProxy);
        EXPECT_EQ(s.http, QString::fromLatin1(c.http)) << c.proxies;
        EXPECT_EQ(s.https, QString::fromLatin1(c.https)) << c.proxies;
        EXPECT_EQ(s.ftp, QString::fromLatin1(c.ftp)) << c.proxies;
        EXPECT_TRUE(s.user.isEmpty() && s.password.isEmpty());
    }
    setSystemProxyAnswer(proxyInfo("p:1", "<local> *.lan:8080 <-loopback> *.LAN"));
    EXPECT_EQ(systemSettings(proxy.get(), false).bypass, QStringLiteral("127.0.0.1,*.lan"));
    EXPECT_EQ(
        textOf(proxy.get(), &_ProxySettings::toString_System),
        QStringLiteral("--execute=\"http_proxy=p:1\" --execute=\"https_proxy=p:1\" "
                       "--execute=\"ftp_proxy=p:1\" "
                       "--execute=\"no_proxy=127.0.0.1,*.lan\" --execute=\"use_proxy=yes\" "));

    setSystemProxyAnswer(proxyInfo("http=p:1", nullptr, InternetOpenTypeDirect));
    System direct = systemSettings(proxy.get(), false);
    EXPECT_TRUE(direct.read);
    EXPECT_FALSE(direct.useProxy);
    EXPECT_TRUE(direct.http.isEmpty());
    EXPECT_EQ(systemSettings(proxy.get(), true).http, QStringLiteral("p:1"));
}

TEST_F(ProxySettingsTest, TheEnvironmentIsTheSystemConfiguration)
{
    setenv("http_proxy", "http://user:pw@proxy.lan:3128/", 1);
    setenv("HTTPS_PROXY", "secure.lan:443", 1);
    setenv("no_proxy", "localhost, .example.org:8080", 1);
    const System s = systemSettings(proxy.get(), false);
    unsetenv("http_proxy");
    unsetenv("HTTPS_PROXY");
    unsetenv("no_proxy");
    EXPECT_TRUE(s.useProxy);
    EXPECT_EQ(s.http, QStringLiteral("proxy.lan:3128"));
    EXPECT_EQ(s.https, QStringLiteral("secure.lan:443"));
    EXPECT_EQ(s.ftp, QString());
    EXPECT_EQ(s.bypass, QStringLiteral("localhost,.example.org"));
    EXPECT_FALSE(systemSettings(proxy.get(), false).useProxy);
}

TEST_F(ProxySettingsTest, PropertiesAreListedForTheSettingsStore)
{
    QStringList names;
    proxy->GetPropertyNames(&names);
    EXPECT_EQ(names, (QStringList{QStringLiteral("AccessType"), QStringLiteral("HTTP_Address"),
                                  QStringLiteral("HTTPS_Address"), QStringLiteral("FTP_Address"),
                                  QStringLiteral("BypassList"), QStringLiteral("UserName"),
                                  QStringLiteral("Password")}));
    callByName(proxy.get(), QStringLiteral("AccessType"), InvokeKind::PropertyPut, {2});
    AccessType_Const type = atSystem;
    proxy->get_AccessType(&type);
    EXPECT_EQ(type, atProxy);
}

TEST_F(ProxySettingsTest, IPv6BypassEntriesAndCredentialsInTheProxyAddress)
{
    setenv("http_proxy", "http://proxy%20user:p%40ss:w@proxy.lan:3128/", 1);
    setenv("no_proxy", "[::1]:80,[fe80::1],::2,host:8080", 1);
    const System s = systemSettings(proxy.get(), false);
    const QString text = textOf(proxy.get(), &_ProxySettings::toString);
    proxy->put_UserName(QStringLiteral("own"));
    proxy->put_Password(QStringLiteral("own-pw"));
    const QString own = textOf(proxy.get(), &_ProxySettings::toString_System);
    unsetenv("http_proxy");
    unsetenv("no_proxy");

    EXPECT_EQ(s.bypass, QStringLiteral("::1,fe80::1,::2,host"));
    // Never handed out: the dialog would store them.
    EXPECT_TRUE(s.user.isEmpty() && s.password.isEmpty());
    EXPECT_EQ(text, QStringLiteral("--execute=\"http_proxy=proxy.lan:3128\" "
                                   "--execute=\"https_proxy=\" --execute=\"ftp_proxy=\" "
                                   "--execute=\"no_proxy=::1,fe80::1,::2,host\" "
                                   "--execute=\"use_proxy=yes\" --proxy-user=\"proxy user\" "
                                   "--proxy-password=\"p@ss:w\" "));
    EXPECT_TRUE(own.endsWith(QStringLiteral("--proxy-user=\"own\" --proxy-password=\"own-pw\" ")));
}
