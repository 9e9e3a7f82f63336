#pragma once
// frmLogon: the program's first window. Takes the user name and the password, keeps
// both per user between runs (the password protected), and opens the main window.
#include <QPointer>
#include <QWidget>

class QEventLoop;
class QLabel;
class QLineEdit;
class QPushButton;

class frmLogon : public QWidget
{
public:
    explicit frmLogon(QWidget* parent = nullptr);
    ~frmLogon() override;

    QLabel* lblTag[2];
    QLineEdit* txtUsername;
    QLineEdit* txtPassword;
    QPushButton* cmdProxy;
    QPushButton* cmdPostsList;
    QPushButton* cmdCancel;

    // "Proceed" is enabled exactly when both fields hold text.
    void UpdateProceedButton();
    void LoadLogonSettings();
    void SaveLogonSettings();

    // Event handlers, public so that tests can drive them.
    void cmdPostsList_Click();
    void cmdProxy_Click();
    void cmdCancel_Click();
    // True when the key was handled by the window and goes no further.
    bool Form_KeyDown(int key, Qt::KeyboardModifiers shift);

    // The main window that Proceed opened, or nullptr.
    QWidget* mainWindow() const { return m_mainWindow; }

    // After the service refused the credentials: the window again, modal, with the user
    // name and password of the refused logon and the password selected. Proceed takes
    // the new texts into LogonUserName and LogonPassword and returns true; any other way
    // out returns false. The texts are remembered as on every way out of the window.
    static bool ReenterCredentials();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Form_Load();
    void placeControls();

    QPointer<QWidget> m_mainWindow;
    bool m_saved = false;
    // Set while the window asks again for refused credentials.
    QEventLoop* m_reentry = nullptr;
    bool m_reentered = false;
    bool m_keepStoredPassword = false;
};
