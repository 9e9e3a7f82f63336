#pragma once
// frmLogon: the program's first window. Takes the user name and the password, keeps
// both per user between runs (the password protected), and opens the main window.
#include <QPointer>
#include <QWidget>

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
};
