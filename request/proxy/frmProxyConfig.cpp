#include "request/proxy/frmProxyConfig.h"

#include "platform/com/ErrorInfo.h"
#include "platform/text/UserLanguage.h"
#include "platform/ui/MsgBox.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
bool isRussian()
{
    return GetUserDefaultLangID() == LangRussian;
}

// Wide enough for the caption with room on both sides, whichever language it is in
// (the style's own size leaves a long Russian caption touching the edges).
int buttonWidth(const QPushButton* button)
{
    const QFontMetrics metrics(button->font());
    return std::max(button->sizeHint().width(),
                    metrics.horizontalAdvance(button->text()) + 2 * metrics.height());
}

QString fieldOf(_ProxySettings* settings, HRESULT (_ProxySettings::*get)(QString*))
{
    QString value;
    checkCall((settings->*get)(&value), QStringLiteral("ProxySettings"));
    return value;
}
} // namespace

// The icon lives in this library's resources; naming it here keeps the resource in a
// static link too.
static void initResources()
{
    Q_INIT_RESOURCE(kwqt0100);
}

frmProxyConfig::frmProxyConfig(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmProxyConfig"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(9);
    setFont(font);
    setWindowTitle(QStringLiteral("Параметры прокси-сервера"));

    const auto lineEdit = [this](const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        return edit;
    };
    const auto label = [this](const QString& text) {
        auto* tag = new QLabel(text, this);
        tag->setObjectName(QStringLiteral("lblTag%1").arg(lblTag.size()));
        lblTag.append(tag);
        return tag;
    };

    const QString options[] = {QStringLiteral("Использовать настройки Internet Explorer"),
                               QStringLiteral("Не использовать прокси-сервер"),
                               QStringLiteral("Использовать прокси-сервер")};
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < 3; ++i) {
        optAccessType[i] = new QRadioButton(options[i], this);
        optAccessType[i]->setObjectName(QStringLiteral("optAccessType%1").arg(i));
        connect(optAccessType[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                optAccessType_Click(i);
        });
        layout->addWidget(optAccessType[i]);
    }

    fraServer = new QGroupBox(QStringLiteral(" Сервер "), this);
    fraServer->setObjectName(QStringLiteral("fraServer"));
    txtHTTPAddress = lineEdit("txtHTTPAddress");
    txtHTTPSAddress = lineEdit("txtHTTPSAddress");
    txtFTPAddress = lineEdit("txtFTPAddress");
    txtUserName = lineEdit("txtUserName");
    txtPassword = lineEdit("txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    auto* server = new QGridLayout(fraServer);
    imgIcon[0] = new QLabel(fraServer);
    server->addWidget(imgIcon[0], 0, 0, 5, 1, Qt::AlignTop);
    const char* serverTags[] = {"HTTP прокси – адрес и порт:", "HTTPS прокси – адрес и порт:",
                                "FTP прокси – адрес и порт:", "Имя пользователя:", "Пароль:"};
    QLineEdit* serverFields[] = {txtHTTPAddress, txtHTTPSAddress, txtFTPAddress, txtUserName,
                                 txtPassword};
    for (int row = 0; row < 5; ++row) {
        server->addWidget(label(QString::fromUtf8(serverTags[row])), row, 1);
        serverFields[row]->setMinimumWidth(220);
        server->addWidget(serverFields[row], row, 2);
    }
    server->setColumnStretch(2, 1);
    layout->addWidget(fraServer);

    fraBypass = new QGroupBox(QStringLiteral(" Исключения "), this);
    fraBypass->setObjectName(QStringLiteral("fraBypass"));
    txtBypassList = lineEdit("txtBypassList");
    auto* bypass = new QGridLayout(fraBypass);
    imgIcon[1] = new QLabel(fraBypass);
    bypass->addWidget(imgIcon[1], 0, 0, 2, 1, Qt::AlignTop);
    QLabel* bypassTag = label(QStringLiteral(
        "Не использовать прокси-сервер для адресов, указанных здесь через запятую:"));
    bypassTag->setWordWrap(true);
    bypass->addWidget(bypassTag, 0, 1);
    bypass->addWidget(txtBypassList, 1, 1);
    bypass->setColumnStretch(1, 1);
    layout->addWidget(fraBypass);
    imgIcon[0]->setObjectName(QStringLiteral("imgIcon0"));
    imgIcon[1]->setObjectName(QStringLiteral("imgIcon1"));

    cmdDetect = new QPushButton(QStringLiteral("Определить"), this);
    cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    cmdCancel = new QPushButton(QStringLiteral("Отмена"), this);
    cmdDetect->setObjectName(QStringLiteral("cmdDetect"));
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdDetect->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);
    cmdOk->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdDetect);
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);
    connect(cmdDetect, &QPushButton::clicked, this, [this] { cmdDetect_Click(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });

    for (QLineEdit* field : serverFields)
        field->installEventFilter(this);
    Form_Load();
}

void frmProxyConfig::Form_Load()
{
    if (!isRussian())
        SetEnglishTexts();
    cmdDetect->setMinimumWidth(buttonWidth(cmdDetect));
    const int pair = std::max(buttonWidth(cmdOk), buttonWidth(cmdCancel));
    cmdOk->setMinimumWidth(pair);
    cmdCancel->setMinimumWidth(pair);
    resize(sizeHint().expandedTo(QSize(460, 0)));
    sxCenterFormEx(this, 0);
    sxFixUserControlsContainerWindow();
    // A blank picture: the title bar shows no icon rather than the application's.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
    initResources();
    QPixmap icon;
    if (suLoadResIconEx(QStringLiteral("IDI_PROXY"), reinterpret_cast<void*>(&initResources),
                        &icon) >= 0) {
        imgIcon[0]->setPixmap(icon);
        imgIcon[1]->setPixmap(icon);
    }
    Ok = false;
}

void frmProxyConfig::SetEnglishTexts()
{
    setWindowTitle(QStringLiteral("Proxy server settings"));
    optAccessType[atSystem]->setText(QStringLiteral("Use Internet Explorer settings"));
    optAccessType[atDirect]->setText(QStringLiteral("Don't use proxy server"));
    optAccessType[atProxy]->setText(QStringLiteral("Use proxy server"));
    fraServer->setTitle(QStringLiteral(" Server "));
    fraBypass->setTitle(QStringLiteral(" Bypass "));
    const QString tags[] = {
        QStringLiteral("HTTP proxy – address and port number:"),
        QStringLiteral("HTTPS proxy – address and port number:"),
        QStringLiteral("FTP proxy – address and port number:"),
        QStringLiteral("User name:"),
        QStringLiteral("Password:"),
        QStringLiteral("Don't use proxy server for these comma-separated addresses:")};
    for (int i = 0; i < lblTag.size(); ++i)
        lblTag[i]->setText(tags[i]);
    cmdDetect->setText(QStringLiteral("Detect"));
    cmdCancel->setText(QStringLiteral("Cancel"));
}

void frmProxyConfig::Init()
{
    AccessType_Const type = atSystem;
    checkCall(PS->get_AccessType(&type), QStringLiteral("ProxySettings"));
    const int index = type < _atMin || type > _atMax ? int(atSystem) : int(type);
    // setChecked runs the click rule only when the selection changes.
    optAccessType[index]->setChecked(true);
    optAccessType_Click(index);
    txtHTTPAddress->setText(fieldOf(PS.get(), &_ProxySettings::get_HTTP_Address));
    txtHTTPSAddress->setText(fieldOf(PS.get(), &_ProxySettings::get_HTTPS_Address));
    txtFTPAddress->setText(fieldOf(PS.get(), &_ProxySettings::get_FTP_Address));
    txtUserName->setText(fieldOf(PS.get(), &_ProxySettings::get_UserName));
    txtPassword->setText(fieldOf(PS.get(), &_ProxySettings::get_Password));
    txtBypassList->setText(fieldOf(PS.get(), &_ProxySettings::get_BypassList));
}

void frmProxyConfig::optAccessType_Click(int index)
{
    const bool enabled = index == atProxy;
    fraServer->setEnabled(enabled);
    fraBypass->setEnabled(enabled);
    for (QLabel* image : imgIcon)
        image->setEnabled(enabled);
    for (QLabel* tag : lblTag)
        tag->setEnabled(enabled);
    const QColor background =
        QApplication::palette().color(enabled ? QPalette::Base : QPalette::Button);
    for (QLineEdit* field : {txtHTTPAddress, txtHTTPSAddress, txtFTPAddress, txtUserName,
                             txtPassword, txtBypassList}) {
        field->setEnabled(enabled);
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, background);
        field->setPalette(palette);
    }
}

void frmProxyConfig::cmdDetect_Click()
{
    VARIANT_BOOL useProxy = VARIANT_FALSE, found = VARIANT_FALSE;
    QString http, https, ftp, bypass, user, password;
    checkCall(PS->GetSystemSettings(VARIANT_TRUE, &useProxy, &http, &https, &ftp, &bypass, &user,
                                    &password, &found),
              QStringLiteral("ProxySettings"));
    if (found == VARIANT_FALSE) {
        msgBox(isRussian() ? QStringLiteral("Не удалось определить настройки прокси-сервера.")
                           : QStringLiteral("Can't detect proxy server settings."),
               vbCritical | vbOKOnly, QString());
        return;
    }
    txtHTTPAddress->setText(http);
    txtHTTPSAddress->setText(https);
    txtFTPAddress->setText(ftp);
    txtUserName->setText(user);
    txtPassword->setText(password);
    txtBypassList->setText(bypass);
    optAccessType[atProxy]->setChecked(true);
}

void frmProxyConfig::cmdOk_Click()
{
    AccessType_Const type = atDirect;
    for (int i = _atMin; i <= _atMax; ++i) {
        if (optAccessType[i]->isChecked()) {
            type = static_cast<AccessType_Const>(i);
            break;
        }
    }
    checkCall(PS->put_AccessType(type), QStringLiteral("ProxySettings"));
    PS->put_HTTP_Address(txtHTTPAddress->text());
    PS->put_HTTPS_Address(txtHTTPSAddress->text());
    PS->put_FTP_Address(txtFTPAddress->text());
    PS->put_UserName(txtUserName->text());
    PS->put_Password(txtPassword->text());
    PS->put_BypassList(txtBypassList->text());
    Ok = true;
    hide();
}

void frmProxyConfig::cmdCancel_Click()
{
    hide();
}

bool frmProxyConfig::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn)
        sxTextBox_SelectAll(QApplication::focusWidget());
    return QDialog::eventFilter(watched, event);
}

void frmProxyConfig::closeEvent(QCloseEvent* event)
{
    // The title bar's close button cancels; a close from the program goes through.
    if (event->spontaneous()) {
        event->ignore();
        cmdCancel_Click();
        return;
    }
    QDialog::closeEvent(event);
}

bool ShowProxyConfigDialog(_ProxySettings* settings)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        raiseError(ErrInvalidProcedureCall, QStringLiteral("ProxySettings"),
                   QStringLiteral("The proxy settings dialog needs a desktop application"));
    frmProxyConfig dialog;
    dialog.PS = ComPtr<_ProxySettings>::share(settings);
    dialog.Init();
    dialog.exec();
    return dialog.Ok;
}
