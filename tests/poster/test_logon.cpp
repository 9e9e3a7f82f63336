// The logon window with real widgets and a real settings file in a temporary home, and
// the proxy buttons of both windows with the component's real dialog.
#include "platform/com/ClassRegistry.h"
#include "platform/protect/DataProtection.h"
#include "platform/ui/MsgBox.h"
#include "poster/service/frmLogon.h"
#include "poster/service/modPasswordCryptor.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modServiceAddress.h"
#include "poster/workflow/frmMain.h"
#include "poster/workflow/modApp.h"
#include "support/settings/SettingsStore.h"
#include "tests/TestSupport.h"
#include "tests/request/RequestFixtures.h"
#include "tests/sandbox/SandboxServer.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <gtest/gtest.h>

namespace {
// Records the documents that the window asks the desktop to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }
};

ComPtr<ISettingsStore> store()
{
    return createObject<ISettingsStore>(CLSID_SettingsStore);
}

QString storedText(const QString& key)
{
    QVariant value;
    store()->GetValue(QString(), key, skText, QStringLiteral("<none>"), App(), true, &value);
    return value.toString();
}

void storeText(const QString& key, const QString& value)
{
    ASSERT_EQ(store()->SaveValue(QString(), key, skText, value, App(), true), S_OK);
}

// The raw lines of one section of the settings file.
QMap<QString, QVariant> rawSection(const QString& section)
{
    QSettings file(settingsFileName(App()), QSettings::IniFormat);
    file.beginGroup(section);
    QMap<QString, QVariant> values;
    for (const QString& key : file.childKeys())
        values.insert(key, file.value(key));
    return values;
}

// Answers the modal proxy dialog once it is up. It comes from the component's own copy
// of the class, so it is reached by names.
void whenProxyDialogShows(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->objectName() != QStringLiteral("frmProxyConfig"))
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start(10);
}

void clickIn(QWidget* dialog, const char* button)
{
    dialog->findChild<QPushButton*>(QString::fromLatin1(button))->click();
}

class LogonWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::remove(settingsFileName(App()));
        LogonUserName.clear();
        LogonPassword.clear();
    }
    void TearDown() override
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (dynamic_cast<frmMain*>(window)) {
                window->setAttribute(Qt::WA_DeleteOnClose);
                window->close();
            }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A window as start-up opens it.
    std::unique_ptr<frmLogon> open()
    {
        auto form = std::make_unique<frmLogon>();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }

    MsgBoxScript boxes;
};
} // namespace

TEST_F(LogonWindow, FirstStartIsCentredAndEmptyAndProceedNeedsBothFields)
{
    const auto form = open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Brivet poster :: Starting"));
    EXPECT_FALSE(form->windowIcon().pixmap(32, 32).isNull()); // the program's own icon
    EXPECT_TRUE(form->txtUsername->text().isEmpty());
    EXPECT_TRUE(form->txtPassword->text().isEmpty());
    EXPECT_EQ(form->txtPassword->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(form->cmdPostsList->isEnabled());
    const QPoint centre = form->screen()->availableGeometry().center();
    EXPECT_LE((form->frameGeometry().center() - centre).manhattanLength(), 10);

    QTest::keyClicks(form->txtUsername, QStringLiteral("me@example.com"));
    EXPECT_FALSE(form->cmdPostsList->isEnabled());
    form->txtUsername->clear();
    QTest::keyClicks(form->txtPassword, QStringLiteral("secret"));
    EXPECT_FALSE(form->cmdPostsList->isEnabled());
    QTest::keyClicks(form->txtUsername, QStringLiteral("   "));
    EXPECT_TRUE(form->cmdPostsList->isEnabled()); // spaces count as a name
}

TEST_F(LogonWindow, ProceedHandsOverBothTextsUnchangedAndOpensTheMainWindow)
{
    const auto form = open();
    QTest::keyClicks(form->txtUsername, QStringLiteral("  me@example.com "));
    QTest::keyClicks(form->txtPassword, QStringLiteral(" pass word "));
    QTest::keyClick(form->txtPassword, Qt::Key_Return);

    EXPECT_EQ(LogonUserName, QStringLiteral("  me@example.com "));
    EXPECT_EQ(LogonPassword, QStringLiteral(" pass word "));
    EXPECT_FALSE(form->isVisible());
    auto* main = dynamic_cast<frmMain*>(form->mainWindow());
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Brivet poster :: 0"));
    EXPECT_EQ(storedText(QStringLiteral("Username")), QStringLiteral("  me@example.com "));
    EXPECT_EQ(DecodePassword(storedText(QStringLiteral("Password"))),
              QStringLiteral(" pass word "));
}

TEST_F(LogonWindow, EnterPressesTheFocusedButtonOrAnEnabledProceed)
{
    const auto form = open();
    QTest::keyClicks(form->txtUsername, QStringLiteral("me"));
    QTest::keyClick(form->txtUsername, Qt::Key_Return);
    QTest::keyClick(form->txtUsername, Qt::Key_Enter);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->mainWindow(), nullptr);
    EXPECT_TRUE(LogonUserName.isEmpty());

    form->cmdCancel->setFocus();
    QTest::keyClick(form->cmdCancel, Qt::Key_Return);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->mainWindow(), nullptr);
}

TEST_F(LogonWindow, EveryWayOutRemembersWhatWasTyped)
{
    const std::function<void(frmLogon*)> waysOut[] = {
        [](frmLogon* f) { f->cmdCancel->click(); },
        [](frmLogon* f) { QTest::keyClick(f->txtPassword, Qt::Key_Escape); },
        [](frmLogon* f) { f->close(); }, // the title bar's close box
    };
    int n = 0;
    for (const auto& leave : waysOut) {
        const QString name = QStringLiteral("user%1@example.com").arg(++n);
        const QString password = QStringLiteral("Crème %1 пароль").arg(n);
        {
            const auto form = open();
            form->txtUsername->setText(name);
            form->txtPassword->setText(password);
            form->move(form->pos() + QPoint(7 * n, 5));
            leave(form.get());
            EXPECT_FALSE(form->isVisible()) << n;
        }
        const auto next = open();
        EXPECT_EQ(next->txtUsername->text(), name) << n;
        EXPECT_EQ(next->txtPassword->text(), password) << n;
        EXPECT_TRUE(next->cmdPostsList->isEnabled()) << n;
    }
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(LogonWindow, ButtonsAndLabelsFitTheirTexts)
{
    EXPECT_EQ(captionsThatDoNotFit(open().get()).join(u'\n').toStdString(), "");
}

TEST_F(LogonWindow, APlacementIsRestored)
{
    QPoint where;
    {
        const auto form = open();
        form->move(form->screen()->availableGeometry().topLeft() + QPoint(40, 30));
        where = form->pos();
        form->close();
    }
    const auto next = open();
    EXPECT_EQ(next->pos(), where);
}

TEST_F(LogonWindow, AClearedPasswordIsStoredEmpty)
{
    storeText(QStringLiteral("Username"), QStringLiteral("me"));
    storeText(QStringLiteral("Password"), EncodePassword(QStringLiteral("secret"), 2));
    {
        const auto form = open();
        EXPECT_EQ(form->txtPassword->text(), QStringLiteral("secret"));
        form->txtPassword->clear();
        EXPECT_FALSE(form->cmdPostsList->isEnabled());
        form->cmdCancel->click();
    }
    EXPECT_EQ(storedText(QStringLiteral("Password")), QString());
    EXPECT_TRUE(open()->txtPassword->text().isEmpty());
}

TEST_F(LogonWindow, AValueThisStartCannotReadIsKeptUntilANewPasswordIsTyped)
{
    // Protected with the keychain's key (scope 'K'), read in a start without a keychain.
    const QString keychainValue = QStringLiteral("Z4B") + QString(110, QLatin1Char('7'));
    storeText(QStringLiteral("Username"), QStringLiteral("me"));
    storeText(QStringLiteral("Password"), keychainValue);
    const std::function<void(frmLogon*)> leaveWithout[] = {
        [](frmLogon* f) { f->cmdCancel->click(); },
        [](frmLogon* f) {
            QTest::keyClicks(f->txtPassword, QStringLiteral("x"));
            f->txtPassword->clear(); // typed and taken back: no new password
            QTest::keyClick(f->txtPassword, Qt::Key_Escape);
        },
    };
    for (const auto& leave : leaveWithout) {
        const auto form = open();
        EXPECT_TRUE(form->txtPassword->text().isEmpty());
        leave(form.get());
        EXPECT_EQ(storedText(QStringLiteral("Password")), keychainValue);
    }
    {
        const auto form = open();
        QTest::keyClicks(form->txtPassword, QStringLiteral("new secret"));
        form->cmdCancel->click();
    }
    EXPECT_EQ(DecodePassword(storedText(QStringLiteral("Password"))), QStringLiteral("new secret"));
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(LogonWindow, APasswordWhoseKeyCannotBeKeptIsNotRememberedAndTheUserIsToldWhy)
{
    storeText(QStringLiteral("Password"), EncodePassword(QStringLiteral("old"), 2));
    const QString folder = protectionKeyFolder();
    const QString kept = folder + QStringLiteral(".kept");
    ASSERT_TRUE(QDir().rename(folder, kept));
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        const auto form = open();
        form->txtUsername->setText(QStringLiteral("me"));
        form->txtPassword->setText(QStringLiteral("new secret"));
        form->cmdCancel->click();
    }
    QFile::remove(folder);
    ASSERT_TRUE(QDir().rename(kept, folder));
    EXPECT_EQ(storedText(QStringLiteral("Password")), QString());
    EXPECT_EQ(storedText(QStringLiteral("Username")), QStringLiteral("me"));
    ASSERT_EQ(boxes.shown().size(), 1);
    const ShownBox& box = boxes.shown().first();
    EXPECT_EQ(box.style, 48);
    EXPECT_TRUE(box.prompt.contains(QStringLiteral("not remembered")));
    EXPECT_TRUE(box.prompt.contains(folder)) << box.prompt.toStdString();
    EXPECT_TRUE(box.prompt.contains(QStringLiteral("a file stands in its place")));
}

TEST_F(LogonWindow, TheStoredPasswordIsNeverInClearText)
{
    const QString password = QStringLiteral("Hunter2-Plain");
    {
        const auto form = open();
        form->txtUsername->setText(QStringLiteral("me"));
        form->txtPassword->setText(password);
        form->cmdCancel->click();
    }
    EXPECT_TRUE(storedText(QStringLiteral("Password")).startsWith(QLatin1Char('Z')));
    int files = 0;
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        QDirIterator it(qEnvironmentVariable(variable), QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            ++files;
            for (const QByteArray& form :
                 {password.toUtf8(), password.toLatin1().toHex(),
                  password.toLatin1().toHex().toUpper(),
                  QByteArray(reinterpret_cast<const char*>(password.utf16()), password.size() * 2)})
                EXPECT_FALSE(bytes.contains(form)) << file.fileName().toStdString();
        }
    }
    EXPECT_GT(files, 0);
}

TEST_F(LogonWindow, EachStoredItemIsRestoredOnItsOwn)
{
    const QString damaged[] = {
        QStringLiteral("Z0011223344556677889900AABBCCDDEEFF"), // another user's or damaged
        QStringLiteral("Z123"),
        QStringLiteral("not a password form"),
    };
    for (const QString& password : damaged) {
        open()->close(); // leaves a placement
        storeText(QStringLiteral("Username"), QStringLiteral("me@example.com"));
        storeText(QStringLiteral("Password"), password);
        {
            QSettings file(settingsFileName(App()), QSettings::IniFormat);
            int placements = 0;
            const QStringList keys = file.allKeys();
            for (const QString& key : keys)
                if (key.contains(QStringLiteral("frmLogon"))) {
                    file.setValue(key, QStringLiteral("garbage"));
                    ++placements;
                }
            EXPECT_GT(placements, 0);
        }
        const auto form = open();
        EXPECT_EQ(form->txtUsername->text(), QStringLiteral("me@example.com"));
        EXPECT_TRUE(form->txtPassword->text().isEmpty()) << password.toStdString();
        EXPECT_FALSE(form->cmdPostsList->isEnabled());
        const QPoint centre = form->screen()->availableGeometry().center();
        EXPECT_LE((form->frameGeometry().center() - centre).manhattanLength(), 10);
    }
}

TEST_F(LogonWindow, TabOrderAndSelectAllOnFocus)
{
    const auto form = open();
    form->txtUsername->setText(QStringLiteral("me@example.com"));
    form->txtPassword->setText(QStringLiteral("secret"));
    form->activateWindow();
    form->txtUsername->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->txtUsername->selectedText(), QStringLiteral("me@example.com"));

    QWidget* expected[] = {form->txtPassword, form->cmdProxy, form->cmdPostsList, form->cmdCancel,
                           form->txtUsername};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCoreApplication::processEvents();
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    EXPECT_TRUE(form->txtUsername->hasSelectedText());
    form->txtPassword->deselect();
    QTest::mouseClick(form->txtPassword, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->txtPassword->selectionLength(), 6);
}

TEST_F(LogonWindow, F1OpensTheReadMeAndShiftF1TheAboutWindow)
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    const auto form = open();
    QTest::keyClick(form->txtUsername, Qt::Key_F1);
    QTest::keyClick(form->txtUsername, Qt::Key_F1, Qt::ControlModifier);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_TRUE(recorder.opened[0].toLocalFile().endsWith(QStringLiteral("/ReadMe.TXT")));
    EXPECT_TRUE(boxes.shown().isEmpty());

    QTest::keyClick(form->cmdProxy, Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_TRUE(boxes.shown()[0].title.startsWith(QStringLiteral("About ")));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(LogonWindow, BothProxyButtonsStoreTheSettingsOnlyWhenConfirmed)
{
    useComponentBesideTests();
    {
        const ComPtr<_ProxySettings> initial = newProxySettings();
        initial->put_AccessType(atProxy);
        initial->put_HTTP_Address(QStringLiteral("10.1.1.1:3128"));
        initial->put_Password(QStringLiteral("proxy-secret"));
        ASSERT_EQ(store()->SaveObject(QStringLiteral("Proxy HT"), initial.get(), App(), true),
                  S_OK);
    }
    const auto before = rawSection(QStringLiteral("Proxy HT"));
    ASSERT_FALSE(before.isEmpty());

    const auto form = open();
    frmMain main;
    const std::function<void()> buttons[] = {[&] { form->cmdProxy->click(); },
                                             [&] { main.cmdProxy->click(); }};
    int n = 0;
    for (const auto& press : buttons) {
        ++n;
        QString shown;
        whenProxyDialogShows([&](QWidget* dialog) {
            shown = dialog->findChild<QLineEdit*>(QStringLiteral("txtHTTPAddress"))->text();
            dialog->findChild<QLineEdit*>(QStringLiteral("txtHTTPAddress"))
                ->setText(QStringLiteral("10.9.9.9:80"));
            clickIn(dialog, "cmdCancel");
        });
        press();
        EXPECT_EQ(shown, QStringLiteral("10.1.1.1:3128")) << n;
        EXPECT_EQ(rawSection(QStringLiteral("Proxy HT")), before) << n;
    }

    n = 0;
    for (const auto& press : buttons) {
        const QString address = QStringLiteral("10.2.2.%1:8080").arg(++n);
        whenProxyDialogShows([&](QWidget* dialog) {
            dialog->findChild<QLineEdit*>(QStringLiteral("txtHTTPAddress"))->setText(address);
            dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword"))
                ->setText(QStringLiteral("new-proxy-secret"));
            clickIn(dialog, "cmdOk");
        });
        press();
        const ComPtr<_ProxySettings> reread = newProxySettings();
        ASSERT_EQ(store()->LoadObject(QStringLiteral("Proxy HT"), reread.get(), App(), true), S_OK);
        QString http, password;
        AccessType_Const type = atSystem;
        reread->get_HTTP_Address(&http);
        reread->get_Password(&password);
        reread->get_AccessType(&type);
        EXPECT_EQ(http, address);
        EXPECT_EQ(password, QStringLiteral("new-proxy-secret"));
        EXPECT_EQ(type, atProxy);
        QFile file(settingsFileName(App()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains("proxy-secret"));
    }
}

namespace {
// What the logon window showed when it came back after a refused password.
struct Reentry
{
    QString title;
    QString userName;
    bool passwordFocused;
    QString passwordSelected;
    bool modal;
};

// The main window's run against the sandbox service, with the logon window's own
// handler for refused credentials.
class RefusedPassword : public LogonWindow
{
protected:
    void SetUp() override
    {
        LogonWindow::SetUp();
        QString error;
        ASSERT_TRUE(sandbox.start({QStringLiteral("--account"), Account + QStringLiteral(":right")},
                                  &error))
            << error.toStdString();
        ASSERT_TRUE(SetServiceBaseAddress(sandbox.baseAddress(), &error)) << error.toStdString();
        AccessToken.clear();
        ProfileId.clear();
        SetRefusedLogonHandler(frmLogon::ReenterCredentials);
        setMsgBoxHook([this](const QString& prompt, int style, const QString&) {
            prompts << prompt;
            return style == (vbRetryCancel | vbCritical) ? vbRetry : vbOK;
        });
    }
    void TearDown() override
    {
        for (const QPointer<QTimer>& timer : timers)
            delete timer;
        SetRefusedLogonHandler({});
        setMsgBoxHook({});
        LogonWindow::TearDown();
    }

    // Logs on with the given password in the first logon window and loads one post.
    frmMain* proceed(const QString& password)
    {
        first = open();
        first->txtUsername->setText(Account);
        first->txtPassword->setText(password);
        first->cmdPostsList->click();
        auto* main = dynamic_cast<frmMain*>(first->mainWindow());
        if (main) {
            main->cboWaitTime->setCurrentIndex(0);
            main->LoadDiaryFile(writeTestFile(
                QStringLiteral("one.txt"),
                "DIARY-EXPORT 1\nPOST 2010-03-05 10:00:00\nTITLE One\nBODY\nbody\n.\n"));
            main->UpdateControls();
        }
        return main;
    }

    // Acts in each logon window that comes back, after noting what it showed.
    void whenAskedAgain(std::function<void(frmLogon&)> act)
    {
        auto* timer = new QTimer(qApp);
        QObject::connect(timer, &QTimer::timeout, timer, [this, act, timer] {
            auto* window = dynamic_cast<frmLogon*>(QApplication::activeModalWidget());
            if (!window || window->property("answered").toBool())
                return;
            window->setProperty("answered", true);
            reentries.append({window->windowTitle(), window->txtUsername->text(),
                              window->focusWidget() == window->txtPassword,
                              window->txtPassword->selectedText(), window->isModal()});
            act(*window);
        });
        timer->start(5);
        timers.append(timer);
    }

    int logonRequests() const { return sandbox.log().count(QStringLiteral("/v2/sessions?nonce=")); }

    const QString Account = QStringLiteral("writer@brivet.example");
    SandboxServer sandbox;
    std::unique_ptr<frmLogon> first;
    QStringList prompts;
    QList<Reentry> reentries;
    QList<QPointer<QTimer>> timers;
};
} // namespace

TEST_F(RefusedPassword, RetryOpensTheLogonWindowAgainAndProceedLogsOnWithTheNewPassword)
{
    frmMain* main = proceed(QStringLiteral("wrong"));
    ASSERT_NE(main, nullptr);
    whenAskedAgain([](frmLogon& window) {
        // Typing replaces the selected, refused password.
        QTest::keyClicks(window.txtPassword, QStringLiteral("right"));
        window.cmdPostsList->click();
    });
    main->cmdSendPosts->click();

    ASSERT_EQ(reentries.size(), 1);
    EXPECT_EQ(reentries[0].title, QStringLiteral("Brivet poster :: Starting"));
    EXPECT_EQ(reentries[0].userName, Account);
    EXPECT_TRUE(reentries[0].passwordFocused);
    EXPECT_EQ(reentries[0].passwordSelected, QStringLiteral("wrong"));
    EXPECT_TRUE(reentries[0].modal);
    ASSERT_EQ(prompts.size(), 2);
    EXPECT_TRUE(prompts[0].contains(QStringLiteral("It did not accept the user name or password")))
        << prompts[0].toStdString();
    EXPECT_EQ(prompts[1], QStringLiteral("All done! ^_^v"));
    EXPECT_EQ(sandbox.entries().size(), 1);
    EXPECT_EQ(logonRequests(), 2);
    EXPECT_EQ(LogonPassword, QStringLiteral("right"));
    // Remembered as on every way out of the window, and the main window stays.
    EXPECT_EQ(DecodePassword(storedText(QStringLiteral("Password"))), QStringLiteral("right"));
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(RefusedPassword, ExitInTheLogonWindowGivesUpAsCancelDoes)
{
    frmMain* main = proceed(QStringLiteral("wrong"));
    ASSERT_NE(main, nullptr);
    whenAskedAgain([](frmLogon& window) {
        window.txtUsername->setText(QStringLiteral("other@brivet.example"));
        QTest::keyClick(window.txtPassword, Qt::Key_Escape);
    });
    main->cmdSendPosts->click();

    EXPECT_EQ(reentries.size(), 1);
    EXPECT_EQ(prompts.size(), 1);
    EXPECT_EQ(logonRequests(), 1);
    EXPECT_EQ(main->StatusText(), QStringLiteral("\tStopped..."));
    EXPECT_EQ(main->LoadedPosts.size(), 1);
    EXPECT_TRUE(main->cmdSendPosts->isEnabled());
    EXPECT_EQ(storedText(QStringLiteral("Username")), QStringLiteral("other@brivet.example"));
    EXPECT_TRUE(sandbox.entries().isEmpty());
}

#include "test_logon.moc"
