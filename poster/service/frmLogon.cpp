#include "poster/service/frmLogon.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/ErrorInfo.h"
#include "platform/protect/DataProtection.h"
#include "platform/ui/MsgBox.h"
#include "poster/service/modPasswordCryptor.h"
#include "poster/service/modPostSender.h"
#include "poster/workflow/frmMain.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modAppWindowTitle.h"
#include "poster/workflow/modConfigProxyHT.h"
#include "poster/workflow/modFormLayout.h"
#include "support/dialogs/AboutBox.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"
#include "support/settings/SettingsStore.h"

#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cerrno>
#include <cstring>
#include <exception>

namespace {
constexpr int DesignWidth = 4800;
constexpr int DesignHeight = 2040;

const QString WindowPlacement = QStringLiteral("Window placement");
const QString UsernameKey = QStringLiteral("Username");
const QString PasswordKey = QStringLiteral("Password");

ComPtr<ISettingsStore> settingsStore()
{
    return createObject<ISettingsStore>(CLSID_SettingsStore);
}

// A store failure raises the store's own error, which names the file and the cause.
void check(HRESULT hr)
{
    checkCall(hr, QStringLiteral("SettingsStore"));
}

QString storedText(const QString& key)
{
    QVariant value;
    check(settingsStore()->GetValue(QString(), key, skText, QString(), App(), true, &value));
    return value.toString();
}

void saveText(const QString& key, const QString& value)
{
    check(settingsStore()->SaveValue(QString(), key, skText, value, App(), true));
}

QString protectionFailureCause(int error)
{
    if (error == ENOTDIR || error == EEXIST)
        return QStringLiteral("a file stands in its place");
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

frmLogon::frmLogon(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmLogon"));
    setWindowTitle(QStringLiteral("LOGON"));
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));

    lblTag[0] = new QLabel(QStringLiteral("Username:"), this);
    lblTag[1] = new QLabel(QStringLiteral("Password:"), this);
    txtUsername = new QLineEdit(this);
    txtUsername->setObjectName(QStringLiteral("txtUsername"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    lblTag[0]->setBuddy(txtUsername);
    lblTag[1]->setBuddy(txtPassword);

    const auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdProxy = button("cmdProxy", "Proxy...");
    cmdPostsList = button("cmdPostsList", "Proceed");
    cmdPostsList->setDefault(true);
    cmdCancel = button("cmdCancel", "Exit");

    placeControls();

    QWidget* order[] = {txtUsername, txtPassword, cmdProxy, cmdPostsList, cmdCancel};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QWidget* control : order)
        control->installEventFilter(this); // the window sees every key first

    connect(txtUsername, &QLineEdit::textChanged, this, &frmLogon::UpdateProceedButton);
    connect(txtPassword, &QLineEdit::textChanged, this, &frmLogon::UpdateProceedButton);
    connect(cmdProxy, &QPushButton::clicked, this, &frmLogon::cmdProxy_Click);
    connect(cmdPostsList, &QPushButton::clicked, this, &frmLogon::cmdPostsList_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLogon::cmdCancel_Click);

    Form_Load();
}

frmLogon::~frmLogon() = default;

void frmLogon::placeControls()
{
    PlaceControl(lblTag[0], 240, 240, 1095, 255);
    PlaceControl(txtUsername, 1380, 180, 3180, 345);
    PlaceControl(lblTag[1], 240, 720, 1095, 255);
    PlaceControl(txtPassword, 1380, 660, 3180, 345);
    PlaceControl(cmdProxy, 240, 1380, 1215, 435);
    PlaceControl(cmdPostsList, 2160, 1380, 1215, 435);
    PlaceControl(cmdCancel, 3420, 1380, 1140, 435);
    setFixedSize(DesignWidth / TwipsPerPixel, DesignHeight / TwipsPerPixel);
}

void frmLogon::Form_Load()
{
    bool inIde = false;
    if (sxIsInIDE(&inIde) >= 0 && !inIde)
        suSetWindowResIconAll(this, QStringLiteral("A_MAIN"));
    sxFixUserControlsContainerWindow();
    setWindowTitle(WindowTitle(QString(), QStringLiteral("Starting")));
    LoadLogonSettings();
    UpdateProceedButton();
}

void frmLogon::LoadLogonSettings()
{
    // Each item on its own: one that cannot be restored keeps its first state.
    bool found = false;
    try {
        check(settingsStore()->LoadFormPlacement(QString(), WindowPlacement, this, App(), 0,
                                                 width(), height(), true, &found));
    } catch (const std::exception&) {
        found = false;
    }
    if (!found)
        sxCenterFormEx(this, 0);
    try {
        txtUsername->setText(storedText(UsernameKey));
    } catch (const std::exception&) {
    }
    try {
        const QString stored = storedText(PasswordKey);
        txtPassword->setText(DecodePassword(stored));
        // A value that this start cannot read (its key may be in a keychain that is not
        // running now) is kept until the user types another password.
        m_keepStoredPassword = !stored.isEmpty() && txtPassword->text().isEmpty();
    } catch (const std::exception&) {
    }
}

void frmLogon::SaveLogonSettings()
{
    bool failed = false;
    const auto step = [&failed](const auto& save) {
        try {
            save();
        } catch (const std::exception&) {
            failed = true;
        }
    };
    step([this] {
        check(settingsStore()->SaveFormPlacement(QString(), WindowPlacement, this, App(), true));
    });
    step([this] { saveText(UsernameKey, txtUsername->text()); });
    const QString password = txtPassword->text();
    int protectionError = 0;
    if (!password.isEmpty() || !m_keepStoredPassword) {
        const QString stored = EncodePassword(password, 2, &protectionError);
        step([&stored] { saveText(PasswordKey, stored); });
    }
    if (failed)
        msgBox(QStringLiteral("Your user name and password could not be saved for the next start."),
               vbExclamation, App().Title);
    if (protectionError != 0)
        msgBox(QStringLiteral("Your password is not remembered for the next start: its key could "
                              "not be kept in the folder %1 (%2).")
                   .arg(QDir::toNativeSeparators(protectionKeyFolder()),
                        protectionFailureCause(protectionError)),
               vbExclamation, App().Title);
}

void frmLogon::UpdateProceedButton()
{
    cmdPostsList->setEnabled(!txtUsername->text().isEmpty() && !txtPassword->text().isEmpty());
}

void frmLogon::cmdPostsList_Click()
{
    if (!cmdPostsList->isEnabled())
        return;
    LogonUserName = txtUsername->text();
    LogonPassword = txtPassword->text();
    if (m_reentry) {
        // The main window is open already; its run logs on with the new texts.
        m_reentered = true;
        close();
        return;
    }
    auto* window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    m_mainWindow = window;
    close();
}

void frmLogon::cmdProxy_Click()
{
    ConfigureNewProxySettings();
}

void frmLogon::cmdCancel_Click()
{
    close();
}

bool frmLogon::Form_KeyDown(int key, Qt::KeyboardModifiers shift)
{
    if (key == Qt::Key_F1 && shift == Qt::ShiftModifier) {
        ShowAboutBox(this, App(), QString(), nullptr,
                     QStringLiteral("For everyone who keeps writing."));
        return true;
    }
    if (key == Qt::Key_F1 && shift == Qt::NoModifier) {
        sxOpenReadMeFile(0);
        return true;
    }
    if (key == Qt::Key_Escape && shift == Qt::NoModifier) {
        cmdCancel->click();
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && shift == Qt::NoModifier) {
        // A button with the focus takes Enter itself; elsewhere the default button does.
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* target = focused ? focused : cmdPostsList;
        if (target->isEnabled())
            target->click();
        return true;
    }
    return false;
}

bool frmLogon::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (Form_KeyDown(keyEvent->key(), ShiftState(keyEvent->modifiers())))
            return true;
    } else if (event->type() == QEvent::FocusIn &&
               (watched == txtUsername || watched == txtPassword)) {
        auto* box = static_cast<QLineEdit*>(watched);
        // After the focus change, so that a mouse click does not undo the selection.
        QMetaObject::invokeMethod(
            box, [box] { sxTextBox_SelectAll(box); }, Qt::QueuedConnection);
        sxTextBox_SelectAll(box);
    }
    return QWidget::eventFilter(watched, event);
}

void frmLogon::keyPressEvent(QKeyEvent* event)
{
    if (!Form_KeyDown(event->key(), ShiftState(event->modifiers())))
        QWidget::keyPressEvent(event);
}

void frmLogon::closeEvent(QCloseEvent* event)
{
    if (!m_saved) {
        m_saved = true;
        SaveLogonSettings();
    }
    event->accept();
    if (m_reentry)
        m_reentry->quit();
}

bool frmLogon::ReenterCredentials()
{
    frmLogon window;
    window.setWindowModality(Qt::ApplicationModal);
    window.txtUsername->setText(LogonUserName);
    window.txtPassword->setText(LogonPassword);
    QEventLoop loop;
    window.m_reentry = &loop;
    window.show();
    window.activateWindow();
    window.txtPassword->setFocus(Qt::OtherFocusReason);
    window.txtPassword->selectAll();
    loop.exec();
    window.m_reentry = nullptr;
    return window.m_reentered;
}

void frmLogon::paintEvent(QPaintEvent*)
{
    suPaintDesktop2(this);
}
