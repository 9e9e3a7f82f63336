#include "poster/workflow/frmMain.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/ErrorInfo.h"
#include "platform/process/TerminationSignals.h"
#include "platform/ui/MsgBox.h"
#include "poster/service/modPostSender.h"
#include "poster/workflow/UploadRun.h"
#include "poster/workflow/frmWait.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modAppWindowTitle.h"
#include "poster/workflow/modCheckDiaryPostTimes.h"
#include "poster/workflow/modCheckPublishedPosts.h"
#include "poster/workflow/modConfigProxyHT.h"
#include "poster/workflow/modDateFormat.h"
#include "poster/workflow/modFormLayout.h"
#include "poster/workflow/modMain.h"
#include "poster/workflow/modPostListLine.h"
#include "poster/workflow/modWaitTimeSupport.h"
#include "support/dialogs/AboutBox.h"
#include "support/diary/DiaryFileReader.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"
#include "support/settings/SettingsStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>

namespace {
// The design-time client area, with the status bar along its bottom edge.
constexpr int DesignWidth = 7335;
constexpr int DesignHeight = 4620;
constexpr int StatusBarHeight = 330;

const QString WindowPlacement = QStringLiteral("Window placement");
const QString SendWithOriginalTime = QStringLiteral("Send With Original Time");
const QString SendAsBackdated = QStringLiteral("Send As Backdated");
const QString WaitTimeIndex = QStringLiteral("Wait Time Index");

// The selected line's index, or -1 when no line is selected.
int selectedIndex(const QListWidget* list)
{
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? list->currentRow() : -1;
}

ComPtr<ISettingsStore> settingsStore()
{
    return createObject<ISettingsStore>(CLSID_SettingsStore);
}

// A store failure raises the store's own error, which names the file and the cause.
void check(HRESULT hr)
{
    checkCall(hr, QStringLiteral("SettingsStore"));
}

// A handler met an error that nothing else handles: tell the user and stay alive.
void reportError(const std::exception& error)
{
    msgBox(QString::fromUtf8(error.what()), vbCritical, App().Title);
}

// The run's steps on this window's queue and list.
class MainWindowRun : public UploadRunSteps
{
public:
    explicit MainWindowRun(frmMain& form) : m_form(form) {}

    int PostsLeft() const override { return m_form.LoadedPosts.size(); }
    void SelectFirstPost() override { m_form.lstPosts->setCurrentRow(0); }
    void ShowStatus(const QString& text) override { m_form.ShowStatus(text); }
    void ProcessInput() override { QCoreApplication::processEvents(); }
    // A program told to end (SIGTERM, SIGINT, SIGHUP) starts no further post.
    bool StopRequested() const override { return m_form.StopRequested || TerminationRequested(); }
    bool SendFirstPost() override
    {
        if (!m_form.SendPostFunction)
            raiseError(ErrCantCreateObject, QStringLiteral("modPostSender"));
        // The run holds the post while it is sent.
        const ComPtr<IDiaryPost> post = m_form.LoadedPosts.first();
        try {
            return m_form.SendPostFunction(post, m_form.chkSendWithOriginalTime->isChecked(),
                                           m_form.chkSendAsBackdated->isChecked());
        } catch (const RuntimeError& error) {
            // Say which post failed (a body the converter refuses, say); it stays queued.
            raiseError(error.number(), error.source(),
                       QStringLiteral("The post \"%1\" was not sent: %2")
                           .arg(PostListLine(post.get()), error.description()));
        }
    }
    void RemoveFirstPost() override
    {
        m_form.LoadedPosts.removeFirst();
        delete m_form.lstPosts->takeItem(0);
        m_form.UpdateControls();
    }
    bool WaitBeforeNextPost() override
    {
        // A fresh window for every wait, dropped as soon as it has answered.
        frmWait wait(&m_form);
        if (wait.IsWaiting())
            wait.exec();
        return wait.DoProceed;
    }

private:
    frmMain& m_form;
};
} // namespace

frmMain::frmMain(QWidget* parent) : QWidget(parent), SendPostFunction(SendPost)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("MAIN"));
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));

    lstPosts = new QListWidget(this);
    lstPosts->setObjectName(QStringLiteral("lstPosts"));
    lstPosts->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lstPosts->setUniformItemSizes(true); // keeps a list of 100,000 posts quick
    lstPosts->setSelectionMode(QAbstractItemView::SingleSelection);

    const auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdClear = button("cmdClear", "Clear");
    cmdLoadFile = button("cmdLoadFile", "Load");
    cmdUserpics = button("cmdUserpics", "Userpics");
    cmdProxy = button("cmdProxy", "Proxy");
    cmdSendPosts = button("cmdSendPosts", "Send");
    cmdStop = button("cmdStop", "Stop");

    cboWaitTime = new QComboBox(this);
    cboWaitTime->setObjectName(QStringLiteral("cboWaitTime"));

    chkSendWithOriginalTime = new QCheckBox(QStringLiteral("Send posts with original date"), this);
    chkSendWithOriginalTime->setObjectName(QStringLiteral("chkSendWithOriginalTime"));
    chkSendWithOriginalTime->setToolTip(
        QStringLiteral(" Check to send posts with dates from headers, not current date "));
    chkSendAsBackdated = new QCheckBox(QStringLiteral("Send as backdated"), this);
    chkSendAsBackdated->setObjectName(QStringLiteral("chkSendAsBackdated"));
    chkSendAsBackdated->setToolTip(
        QStringLiteral(" See ReadMe.TXT file for info on this checkbox "));

    stStatus = new QStatusBar(this);
    stStatus->setObjectName(QStringLiteral("stStatus"));
    stStatus->setSizeGripEnabled(false);
    m_statusLabel = new QLabel(stStatus);
    m_statusLabel->setAlignment(Qt::AlignCenter);
    stStatus->addWidget(m_statusLabel, 1);

    placeControls();

    QWidget* order[] = {lstPosts,
                        chkSendWithOriginalTime,
                        chkSendAsBackdated,
                        cmdClear,
                        cmdLoadFile,
                        cmdUserpics,
                        cmdProxy,
                        cmdSendPosts,
                        cmdStop,
                        cboWaitTime};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QWidget* control : order)
        control->installEventFilter(this); // the window sees every key first

    connect(cmdLoadFile, &QPushButton::clicked, this, &frmMain::cmdLoadFile_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
    connect(cmdProxy, &QPushButton::clicked, this, &frmMain::cmdProxy_Click);
    connect(cmdSendPosts, &QPushButton::clicked, this, &frmMain::cmdSendPosts_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
    connect(lstPosts, &QListWidget::doubleClicked, this, &frmMain::lstPosts_DblClick);

    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::placeControls()
{
    PlaceControl(lstPosts, 120, 120, 5775, 3435);
    PlaceControl(cmdClear, 6000, 120, 1215, 435);
    PlaceControl(cmdLoadFile, 6000, 600, 1215, 435);
    PlaceControl(cmdUserpics, 6000, 1200, 1215, 435);
    PlaceControl(cmdProxy, 6000, 1680, 1215, 435);
    PlaceControl(cmdSendPosts, 6000, 2280, 1215, 435);
    PlaceControl(cmdStop, 6000, 2760, 1215, 435);
    PlaceControl(cboWaitTime, 6000, 3360, 1215, 330);
    PlaceControl(chkSendWithOriginalTime, 180, 3720, 2835, 255);
    PlaceControl(chkSendAsBackdated, 180, 4020, 2115, 255);
    PlaceControl(stStatus, 0, DesignHeight - StatusBarHeight, DesignWidth, StatusBarHeight);
    setFixedSize(DesignWidth / TwipsPerPixel, DesignHeight / TwipsPerPixel);
}

void frmMain::Form_Load()
{
    bool inIde = false;
    checkStatus(sxIsInIDE(&inIde), "sxIsInIDE");
    if (!inIde)
        suSetWindowResIconAll(this, QStringLiteral("A_MAIN"));
    sxFixUserControlsContainerWindow();
    setWindowTitle(WindowTitle());
    ArrangeControls();
    LoadSettings();
    Clear();
    ShowStatus(QString());
}

void frmMain::ArrangeControls()
{
    FillWaitTimeList(cboWaitTime);

    cmdUserpics->hide();
    const int d = cmdProxy->y() - cmdUserpics->y();
    for (QWidget* control : {static_cast<QWidget*>(cmdProxy), static_cast<QWidget*>(cmdSendPosts),
                             static_cast<QWidget*>(cmdStop), static_cast<QWidget*>(cboWaitTime)})
        control->move(control->x(), control->y() - d);

    // The options keep working through their stored values; the band that shows them
    // goes away.
    chkSendAsBackdated->hide();
    chkSendWithOriginalTime->hide();
    const int band = stStatus->y() - chkSendWithOriginalTime->y();
    setFixedSize(width(), height() - band);
    stStatus->move(stStatus->x(), stStatus->y() - band);
}

void frmMain::LoadSettings()
{
    try {
        const ComPtr<ISettingsStore> store = settingsStore();
        bool found = false;
        check(store->LoadFormPlacement(QString(), WindowPlacement, this, App(), 0, width(),
                                       height(), true, &found));
        if (!found)
            sxCenterFormEx(this, 0);

        QVariant value;
        check(
            store->GetValue(QString(), SendWithOriginalTime, skBoolean, true, App(), true, &value));
        chkSendWithOriginalTime->setChecked(value.toBool());
        check(store->GetValue(QString(), SendAsBackdated, skBoolean, false, App(), true, &value));
        chkSendAsBackdated->setChecked(value.toBool());
        check(store->GetValue(QString(), WaitTimeIndex, skInteger, 0, App(), true, &value));
        const int index = value.toInt();
        cboWaitTime->setCurrentIndex(index >= 0 && index < cboWaitTime->count() ? index : 0);
    } catch (const std::exception&) {
        // Whatever could not be read keeps its default.
        if (cboWaitTime->currentIndex() < 0)
            cboWaitTime->setCurrentIndex(0);
    }
}

void frmMain::SaveSettings()
{
    const ComPtr<ISettingsStore> store = settingsStore();
    check(store->SaveFormPlacement(QString(), WindowPlacement, this, App(), true));
    check(store->SaveValue(QString(), SendWithOriginalTime, skBoolean,
                           chkSendWithOriginalTime->isChecked(), App(), true));
    check(store->SaveValue(QString(), SendAsBackdated, skBoolean, chkSendAsBackdated->isChecked(),
                           App(), true));
    check(store->SaveValue(QString(), WaitTimeIndex, skInteger,
                           QVariant::fromValue(static_cast<qint16>(cboWaitTime->currentIndex())),
                           App(), true));
}

void frmMain::ShowStatus(const QString& text)
{
    // The leading tab centres the text in the status bar's simple style.
    m_statusText = QLatin1Char('\t') + text;
    m_statusLabel->setText(text);
}

void frmMain::UpdateControls()
{
    const bool idle = !IsSending;
    const bool filled = lstPosts->count() > 0;
    for (QWidget* control :
         {static_cast<QWidget*>(chkSendWithOriginalTime), static_cast<QWidget*>(chkSendAsBackdated),
          static_cast<QWidget*>(cmdLoadFile), static_cast<QWidget*>(cmdProxy),
          static_cast<QWidget*>(cmdUserpics), static_cast<QWidget*>(cboWaitTime),
          static_cast<QWidget*>(lstPosts)})
        control->setEnabled(idle);
    cmdClear->setEnabled(idle && filled);
    cmdSendPosts->setEnabled(idle && filled);
    cmdStop->setEnabled(!idle);
    if (idle)
        lstPosts->setFocus();
    else
        cmdStop->setFocus();
    setWindowTitle(WindowTitle(QString(), QString::number(lstPosts->count())));
}

void frmMain::LoadDiaryFile(const QString& path)
{
    const ComPtr<IDiaryFileReader> reader = createObject<IDiaryFileReader>(CLSID_DiaryFileReader);
    if (!reader->LoadFile(path)) {
        msgBox(path + QStringLiteral("\r\n\r\nCan't open diary file.\r\n\r\n") +
                   reader->LastError(),
               vbCritical, App().Title);
        return;
    }
    const ComPtr<IDiaryPostList> posts = reader->Posts();
    if (!CheckDiaryPostTimes(posts.get()))
        return;
    // Empty when the journal knows none of the file's posts: all of them are queued.
    const QList<bool> queued = CheckPublishedPosts(posts.get());

    const int count = posts->Count();
    QStringList lines;
    lines.reserve(count);
    LoadedPosts.reserve(LoadedPosts.size() + count);
    for (int i = 0; i < count; ++i) {
        if (!queued.isEmpty() && !queued.at(i))
            continue;
        ComPtr<IDiaryPost> post = posts->Item(i);
        lines << PostListLine(post.get());
        LoadedPosts.append(std::move(post));
    }
    const int appended = static_cast<int>(lines.size());
    lstPosts->addItems(lines);

    QString status =
        QStringLiteral("Loaded posts: %1 (%2 total)").arg(appended).arg(LoadedPosts.size());
    if (appended < count)
        status += QStringLiteral(", %1 left out").arg(count - appended);
    ShowStatus(status);
    if (lstPosts->count() > 0)
        lstPosts->setCurrentRow(0);
}

void frmMain::cmdLoadFile_Click()
{
    try {
        const QString path = AskDiaryFileName();
        if (path.isEmpty())
            return;
        LoadDiaryFile(path);
        UpdateControls();
        QApplication::beep();
    } catch (const std::exception& error) {
        reportError(error);
    }
}

void frmMain::Clear()
{
    lstPosts->clear();
    LoadedPosts = {};
    UpdateControls();
    ShowStatus(QStringLiteral("List was cleared"));
}

void frmMain::cmdClear_Click()
{
    Clear();
}

void frmMain::cmdProxy_Click()
{
    ConfigureNewProxySettings();
}

void frmMain::cmdSendPosts_Click()
{
    if (IsSending)
        return;
    if (chkSendAsBackdated->isChecked()) {
        const QString warning =
            QStringLiteral("\"Send as backdated\" is enabled. Your friends will ") +
            QStringLiteral("not be notified about your new posts. Use this option ") +
            QStringLiteral("only if you really need it.") + QStringLiteral("\r\n\r\n") +
            QStringLiteral("Continue with this option?");
        if (msgBox(warning, vbOKCancel | vbExclamation, App().Title) == vbCancel)
            return;
    }

    IsSending = true;
    StopRequested = false;
    UpdateControls();
    const auto backToIdle = [this] {
        IsSending = false;
        StopRequested = false;
        UpdateControls();
    };
    try {
        WaitChoice = cboWaitTime->currentIndex() + 1;
        MainWindowRun steps(*this);
        RunUpload(steps, WaitChoice);
    } catch (const std::exception& error) {
        // The post being sent stays queued; the window must be usable again.
        backToIdle();
        ShowStatus(StoppedStatus);
        reportError(error);
        return;
    }
    backToIdle();
    if (lstPosts->count() == 0) {
        ShowStatus(QString());
        msgBox(QStringLiteral("All done! ^_^v"), vbInformation, App().Title);
    }
}

void frmMain::cmdStop_Click()
{
    StopRequested = true;
}

void frmMain::lstPosts_DblClick()
{
    try {
        const int index = selectedIndex(lstPosts);
        if (index < 0 || index >= LoadedPosts.size())
            return;
        const ComPtr<IDiaryPost> post = LoadedPosts.at(index);
        QString header = post->Title();
        if (post->AdultOnly()) {
            if (!header.isEmpty())
                header += QStringLiteral(" | ");
            header += QStringLiteral("18+");
        }
        if (!header.isEmpty())
            header += QStringLiteral(" | ");
        header += GeneralDateText(post->PostDate());
        const QString text =
            QStringLiteral("===[ ") + header + QStringLiteral(" ]===\r\n\r\n") + post->Body();
        int pressed = 0;
        sxMsgBox2(text, vbInformation, QString(), &pressed);
    } catch (const std::exception&) {
    }
}

void frmMain::lstPosts_KeyDown(int key, Qt::KeyboardModifiers shift)
{
    if (key != Qt::Key_Delete || shift != Qt::NoModifier)
        return;
    try {
        const int i = selectedIndex(lstPosts);
        if (i < 0)
            return;
        delete lstPosts->takeItem(i);
        if (i >= LoadedPosts.size())
            return;
        LoadedPosts.removeAt(i);
        if (i > lstPosts->count() - 1) {
            lstPosts->setCurrentRow(i - 1);
            if (i - 1 < 0)
                lstPosts->clearSelection();
        } else {
            lstPosts->setCurrentRow(i);
        }
        ShowStatus(QStringLiteral("Post #%1 was removed").arg(i + 1));
        UpdateControls();
    } catch (const std::exception&) {
    }
}

bool frmMain::Form_KeyDown(int key, Qt::KeyboardModifiers shift)
{
    if (IsSending) {
        if (key == Qt::Key_Escape && shift == Qt::NoModifier) {
            StopRequested = true;
            return true;
        }
        return false;
    }
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
        close();
        return true;
    }
    return false;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers shift = ShiftState(keyEvent->modifiers());
        if (Form_KeyDown(keyEvent->key(), shift))
            return true;
        if (watched == lstPosts && keyEvent->key() == Qt::Key_Delete) {
            lstPosts_KeyDown(keyEvent->key(), shift);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::keyPressEvent(QKeyEvent* event)
{
    if (!Form_KeyDown(event->key(), ShiftState(event->modifiers())))
        QWidget::keyPressEvent(event);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (IsSending) {
        // The run stops at its next yield; the window stays.
        StopRequested = true;
        event->ignore();
        return;
    }
    try {
        SaveSettings();
    } catch (const std::exception& error) {
        reportError(error);
    }
    event->accept();
}

void frmMain::paintEvent(QPaintEvent*)
{
    suPaintDesktop2(this);
}
