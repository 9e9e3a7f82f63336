#pragma once
// frmProxyConfig: the modal dialog in which the user edits one ProxySettings object.
// It writes into the object only on OK.
#include "request/KWQT0100.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class frmProxyConfig : public QDialog
{
public:
    explicit frmProxyConfig(QWidget* parent = nullptr);

    ComPtr<_ProxySettings> PS; // set before Init
    bool Ok = false;           // true only after OK
    // Fills the controls from PS.
    void Init();

    // Indexed by AccessType_Const.
    QRadioButton* optAccessType[3];
    QGroupBox* fraServer;
    QGroupBox* fraBypass;
    QList<QLabel*> lblTag;
    QLabel* imgIcon[2];
    QLineEdit* txtHTTPAddress;
    QLineEdit* txtHTTPSAddress;
    QLineEdit* txtFTPAddress;
    QLineEdit* txtUserName;
    QLineEdit* txtPassword;
    QLineEdit* txtBypassList;
    QPushButton* cmdDetect;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;

    void optAccessType_Click(int index);
    void cmdDetect_Click();
    void cmdOk_Click();
    void cmdCancel_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void SetEnglishTexts();
};

// Opens the dialog for settings; true when the user confirmed with OK.
bool ShowProxyConfigDialog(_ProxySettings* settings);
