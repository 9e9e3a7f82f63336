// The proxy settings dialog, driven as real widgets on the offscreen platform.
#include "platform/net/SystemProxy.h"
#include "platform/ui/MsgBox.h"
#include "request/proxy/frmProxyConfig.h"
#include "tests/TestSupport.h"
#include "tests/request/RequestFixtures.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace {
struct Fields
{
    AccessType_Const type = atSystem;
    QString http, https, ftp, user, password, bypass;
    bool operator==(const Fields&) const = default;
};

Fields fieldsOf(_ProxySettings* settings)
{
    Fields f;
    settings->get_AccessType(&f.type);
    settings->get_HTTP_Address(&f.http);
    settings->get_HTTPS_Address(&f.https);
    settings->get_FTP_Address(&f.ftp);
    settings->get_UserName(&f.user);
    settings->get_Password(&f.password);
    settings->get_BypassList(&f.bypass);
    return f;
}

Fields shownIn(const frmProxyConfig& dialog)
{
    Fields f;
    f.type = _atMax;
    for (int i = _atMin; i <= _atMax; ++i)
        if (dialog.optAccessType[i]->isChecked())
            f.type = static_cast<AccessType_Const>(i);
    f.http = dialog.txtHTTPAddress->text();
    f.https = dialog.txtHTTPSAddress->text();
    f.ftp = dialog.txtFTPAddress->text();
    f.user = dialog.txtUserName->text();
    f.password = dialog.txtPassword->text();
    f.bypass = dialog.txtBypassList->text();
    return f;
}

const Fields Stored = {atDirect,
                       QStringLiteral("h:1"),
                       QStringLiteral("s:2"),
                       QStringLiteral("f:3"),
                       QStringLiteral("me"),
                       QStringLiteral("secret"),
                       QStringLiteral("*.lan")};

QList<QLineEdit*> textBoxes(const frmProxyConfig& d)
{
    return {d.txtHTTPAddress, d.txtHTTPSAddress, d.txtFTPAddress,
            d.txtUserName,    d.txtPassword,     d.txtBypassList};
}

class ProxyDialogTest : public ::testing::Test
{
protected:
    ProxyDialogTest()
    {
        settings->put_AccessType(Stored.type);
        settings->put_HTTP_Address(Stored.http);
        settings->put_HTTPS_Address(Stored.https);
        settings->put_FTP_Address(Stored.ftp);
        settings->put_UserName(Stored.user);
        settings->put_Password(Stored.password);
        settings->put_BypassList(Stored.bypass);
    }
    ~ProxyDialogTest() override
    {
        setSystemProxyAnswer(std::nullopt);
        QLocale::setDefault(QLocale::system());
    }
    // Created and filled as ShowConfigDialog does it.
    std::unique_ptr<frmProxyConfig> open(AccessType_Const type)
    {
        settings->put_AccessType(type);
        auto dialog = std::make_unique<frmProxyConfig>();
        dialog->PS = settings;
        dialog->Init();
        dialog->show();
        return dialog;
    }

    ComPtr<_ProxySettings> settings = newProxySettings();
    MsgBoxScript boxes;
};

// Answers the modal dialog of ShowConfigDialog once it is up, as a user would. The
// dialog comes from the component's own copy of the class, so it is reached by names.
void whenDialogShows(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->objectName() != QStringLiteral("frmProxyConfig"))
            return;
        timer->deleteLater();
        timer->stop();
        act(dialog);
    });
    timer->start(10);
}
} // namespace

TEST_F(ProxyDialogTest, OpensWithTheAccessTypeAndFieldsEnabledOnlyForAProxy)
{
    const QColor window = QApplication::palette().color(QPalette::Base);
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    for (const AccessType_Const type : {atProxy, atSystem, atDirect}) {
        const auto dialog = open(type);
        Fields expected = Stored;
        expected.type = type;
        EXPECT_EQ(shownIn(*dialog), expected) << type;
        const bool enabled = type == atProxy;
        EXPECT_EQ(dialog->fraServer->isEnabled(), enabled);
        EXPECT_EQ(dialog->fraBypass->isEnabled(), enabled);
        EXPECT_EQ(dialog->lblTag.size(), 6);
        for (const QLabel* tag : dialog->lblTag)
            EXPECT_EQ(tag->isEnabled(), enabled);
        for (const QLabel* image : dialog->imgIcon) {
            EXPECT_EQ(image->isEnabled(), enabled);
            EXPECT_FALSE(image->pixmap().isNull());
        }
        for (const QLineEdit* box : textBoxes(*dialog)) {
            EXPECT_EQ(box->isEnabled(), enabled) << box->objectName().toStdString();
            EXPECT_EQ(box->palette().color(QPalette::Base), enabled ? window : buttonFace);
        }
        EXPECT_EQ(dialog->txtPassword->echoMode(), QLineEdit::Password);
        EXPECT_FALSE(dialog->Ok);
    }
    // Clicking an option applies the same rule.
    const auto dialog = open(atDirect);
    dialog->optAccessType[atProxy]->click();
    EXPECT_TRUE(dialog->txtHTTPAddress->isEnabled());
    dialog->optAccessType[atSystem]->click();
    EXPECT_FALSE(dialog->txtBypassList->isEnabled());
}

TEST_F(ProxyDialogTest, DetectFillsTheFieldsAndSelectsTheProxyOptionWithoutTouchingTheObject)
{
    struct Case
    {
        const char* name;
        std::function<void()> system;
        Fields shown;
    };
    const auto environment = [] {
        setenv("http_proxy", "http://proxy.lan:3128/", 1);
        setenv("https_proxy", "secure.lan:443", 1);
        setenv("no_proxy", "localhost,.example.org", 1);
    };
    const QList<Case> cases = {
        {"proxy environment variables",
         environment,
         {atProxy, QStringLiteral("proxy.lan:3128"), QStringLiteral("secure.lan:443"), QString(),
          QString(), QString(), QStringLiteral("localhost,.example.org")}},
        {"no proxy environment variables", [] {}, {atProxy}},
        // A system that connects directly still hands over its configured addresses.
        {"direct system with addresses",
         [] {
             SystemProxyInfo info;
             info.accessType = InternetOpenTypeDirect;
             info.proxyList = QByteArray("http=p:1 ftp=f:21");
             info.bypassList = QByteArray("<local>");
             setSystemProxyAnswer(info);
         },
         {atProxy, QStringLiteral("p:1"), QString(), QStringLiteral("f:21"), QString(), QString(),
          QStringLiteral("127.0.0.1")}},
    };
    for (const Case& c : cases) {
        c.system();
        const auto dialog = open(atSystem);
        dialog->cmdDetect->click();
        unsetenv("http_proxy");
        unsetenv("https_proxy");
        unsetenv("no_proxy");
        setSystemProxyAnswer(std::nullopt);
        EXPECT_EQ(shownIn(*dialog), c.shown) << c.name;
        EXPECT_TRUE(dialog->txtHTTPAddress->isEnabled()) << c.name;
        Fields unchanged = Stored;
        unchanged.type = atSystem;
        EXPECT_EQ(fieldsOf(settings.get()), unchanged) << c.name;
        EXPECT_TRUE(boxes.shown().isEmpty());
    }
}

TEST_F(ProxyDialogTest, AFailedDetectionSaysSoAndChangesNothing)
{
    setSystemProxyAnswer(std::optional<SystemProxyInfo>());
    const auto dialog = open(atDirect);
    dialog->cmdDetect->click();
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].prompt, QStringLiteral("Can't detect proxy server settings."));
    EXPECT_EQ(boxes.shown()[0].style, vbCritical | vbOKOnly);
    EXPECT_TRUE(boxes.shown()[0].title.isEmpty());
    EXPECT_EQ(shownIn(*dialog), Stored);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(ProxyDialogTest, OkStoresTheSelectedOptionAndAllSixFieldsUnchanged)
{
    setSystemProxyAnswer(SystemProxyInfo{InternetOpenTypeProxy, QByteArray("d:8"), {}});
    auto dialog = open(atDirect);
    dialog->cmdDetect->click();
    dialog->txtUserName->setText(QStringLiteral("  who "));
    dialog->cmdOk->click();
    EXPECT_TRUE(dialog->Ok);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(fieldsOf(settings.get()),
              (Fields{atProxy, QStringLiteral("d:8"), QStringLiteral("d:8"), QStringLiteral("d:8"),
                      QStringLiteral("  who "), QString(), QString()}));

    // The system option keeps the (disabled) fields as they were typed.
    dialog = open(atProxy);
    dialog->txtBypassList->setText(QStringLiteral("a, b ,c"));
    dialog->optAccessType[atSystem]->click();
    QTest::keyClick(dialog.get(), Qt::Key_Return); // OK is the default button
    EXPECT_TRUE(dialog->Ok);
    const Fields stored = fieldsOf(settings.get());
    EXPECT_EQ(stored.type, atSystem);
    EXPECT_EQ(stored.bypass, QStringLiteral("a, b ,c"));
    EXPECT_EQ(stored.http, QStringLiteral("d:8"));
}

TEST_F(ProxyDialogTest, CancelEscapeAndTheCloseButtonLeaveTheObjectAlone)
{
    const std::function<void(frmProxyConfig*)> ways[] = {
        [](frmProxyConfig* d) { d->cmdCancel->click(); },
        [](frmProxyConfig* d) { QTest::keyClick(d, Qt::Key_Escape); },
        [](frmProxyConfig* d) { d->windowHandle()->close(); },
    };
    for (const auto& cancel : ways) {
        const auto dialog = open(atDirect);
        dialog->cmdDetect->click();
        cancel(dialog.get());
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_FALSE(dialog->Ok);
        EXPECT_EQ(fieldsOf(settings.get()), Stored);
    }
}

TEST_F(ProxyDialogTest, EveryTextFollowsTheUsersLanguage)
{
    const auto texts = [](const frmProxyConfig& d) {
        QStringList all{d.windowTitle()};
        for (const QRadioButton* option : d.optAccessType)
            all << option->text();
        all << d.fraServer->title() << d.fraBypass->title();
        for (const QLabel* tag : d.lblTag)
            all << tag->text();
        all << d.cmdDetect->text() << d.cmdOk->text() << d.cmdCancel->text();
        return all;
    };
    const QStringList english = {
        QStringLiteral("Proxy server settings"),
        QStringLiteral("Use Internet Explorer settings"),
        QStringLiteral("Don't use proxy server"),
        QStringLiteral("Use proxy server"),
        QStringLiteral(" Server "),
        QStringLiteral(" Bypass "),
        QStringLiteral("HTTP proxy – address and port number:"),
        QStringLiteral("HTTPS proxy – address and port number:"),
        QStringLiteral("FTP proxy – address and port number:"),
        QStringLiteral("User name:"),
        QStringLiteral("Password:"),
        QStringLiteral("Don't use proxy server for these comma-separated addresses:"),
        QStringLiteral("Detect"),
        QStringLiteral("Ok"),
        QStringLiteral("Cancel")};
    const QStringList russian = {
        QStringLiteral("Параметры прокси-сервера"),
        QStringLiteral("Использовать настройки Internet Explorer"),
        QStringLiteral("Не использовать прокси-сервер"),
        QStringLiteral("Использовать прокси-сервер"),
        QStringLiteral(" Сервер "),
        QStringLiteral(" Исключения "),
        QStringLiteral("HTTP прокси – адрес и порт:"),
        QStringLiteral("HTTPS прокси – адрес и порт:"),
        QStringLiteral("FTP прокси – адрес и порт:"),
        QStringLiteral("Имя пользователя:"),
        QStringLiteral("Пароль:"),
        QStringLiteral("Не использовать прокси-сервер для адресов, указанных здесь через запятую:"),
        QStringLiteral("Определить"),
        QStringLiteral("Ok"),
        QStringLiteral("Отмена")};
    const struct
    {
        QLocale locale;
        QStringList texts;
        QString detectFailure;
    } cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), english,
         QStringLiteral("Can't detect proxy server settings.")},
        {QLocale(QLocale::German, QLocale::Germany), english,
         QStringLiteral("Can't detect proxy server settings.")},
        {QLocale(QLocale::Russian, QLocale::Russia), russian,
         QStringLiteral("Не удалось определить настройки прокси-сервера.")},
    };
    for (const auto& c : cases) {
        QLocale::setDefault(c.locale);
        const auto dialog = open(atProxy);
        EXPECT_EQ(texts(*dialog), c.texts) << c.locale.name().toStdString();
        setSystemProxyAnswer(std::optional<SystemProxyInfo>());
        boxes.clear();
        dialog->cmdDetect->click();
        ASSERT_EQ(boxes.shown().size(), 1);
        EXPECT_EQ(boxes.shown()[0].prompt, c.detectFailure);
    }
}

TEST_F(ProxyDialogTest, TextsFitTheirControlsInBothLanguages)
{
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::Russian, QLocale::Russia)}) {
        QLocale::setDefault(locale);
        const auto dialog = open(atProxy);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        EXPECT_EQ(captionsThatDoNotFit(dialog.get()).join(u'\n').toStdString(), "")
            << locale.name().toStdString();
        // Each address field holds a host and port of common length in view.
        const int address = dialog->txtHTTPAddress->fontMetrics().horizontalAdvance(
            QStringLiteral("proxy.example.com:3128"));
        for (QLineEdit* box : textBoxes(*dialog))
            EXPECT_GE(box->width(), address) << box->objectName().toStdString();
    }
}

TEST_F(ProxyDialogTest, FocusSelectsTheWholeTextOfTheServerFields)
{
    const auto dialog = open(atProxy);
    dialog->activateWindow();
    for (QLineEdit* box : textBoxes(*dialog)) {
        box->deselect();
        box->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
        ASSERT_TRUE(box->hasFocus());
        // (Qt itself selects on Tab only; the rule covers every way in, but not the bypass list.)
        EXPECT_EQ(box->selectedText(), box == dialog->txtBypassList ? QString() : box->text())
            << box->objectName().toStdString();
    }
}

TEST_F(ProxyDialogTest, ShowConfigDialogReturnsTrueOnlyAfterOk)
{
    whenDialogShows([](QWidget* d) {
        d->findChild<QRadioButton*>(QStringLiteral("optAccessType2"))->click();
        d->findChild<QLineEdit*>(QStringLiteral("txtHTTPAddress"))
            ->setText(QStringLiteral("typed:80"));
        d->findChild<QPushButton*>(QStringLiteral("cmdOk"))->click();
    });
    VARIANT_BOOL confirmed = VARIANT_FALSE;
    ASSERT_EQ(settings->ShowConfigDialog(&confirmed), S_OK);
    EXPECT_NE(confirmed, VARIANT_FALSE);
    EXPECT_EQ(fieldsOf(settings.get()).http, QStringLiteral("typed:80"));
    EXPECT_EQ(fieldsOf(settings.get()).type, atProxy);

    whenDialogShows([](QWidget* d) {
        d->findChild<QLineEdit*>(QStringLiteral("txtHTTPAddress"))
            ->setText(QStringLiteral("dropped:80"));
        d->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    ASSERT_EQ(settings->ShowConfigDialog(&confirmed), S_OK);
    EXPECT_EQ(confirmed, VARIANT_FALSE);
    EXPECT_EQ(fieldsOf(settings.get()).http, QStringLiteral("typed:80"));
}
