#pragma once
// frmMain: the program's working window with the queue of loaded posts.
#include "support/diary/DiaryPost.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;

class frmMain : public QWidget
{
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The queue, parallel to lstPosts: line n shows LoadedPosts[n] (the system's item
    // n + 1).
    QList<ComPtr<IDiaryPost>> LoadedPosts;
    bool IsSending = false;
    bool StopRequested = false;
    // Publishes one post for the run (the service client's SendPost); tests script it.
    std::function<bool(const ComPtr<IDiaryPost>& post, bool withOriginalTime, bool asBackdated)>
        SendPostFunction;

    QListWidget* lstPosts;
    QPushButton* cmdClear;
    QPushButton* cmdLoadFile;
    QPushButton* cmdUserpics;
    QPushButton* cmdProxy;
    QPushButton* cmdSendPosts;
    QPushButton* cmdStop;
    QComboBox* cboWaitTime;
    QCheckBox* chkSendWithOriginalTime;
    QCheckBox* chkSendAsBackdated;
    QStatusBar* stStatus;

    void LoadDiaryFile(const QString& path);
    void ShowStatus(const QString& text);
    // The status bar's text as ShowStatus set it, the leading tab included.
    QString StatusText() const { return m_statusText; }
    void UpdateControls();
    void LoadSettings();
    void SaveSettings();

    // Event handlers, public so that the workflow and tests can drive them.
    void cmdLoadFile_Click();
    void cmdClear_Click();
    void cmdProxy_Click();
    void cmdSendPosts_Click();
    void cmdStop_Click();
    void lstPosts_DblClick();
    void lstPosts_KeyDown(int key, Qt::KeyboardModifiers shift);
    // True when the key was handled by the window and goes no further.
    bool Form_KeyDown(int key, Qt::KeyboardModifiers shift);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Form_Load();
    void ArrangeControls();
    void placeControls();
    void Clear();

    QLabel* m_statusLabel;
    QString m_statusText;
};
