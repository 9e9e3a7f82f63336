#include "platform/app/PrivateFolder.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "platform/protect/DataProtection.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/text/ControlCharacters.h"
#include "platform/ui/MsgBox.h"
#include "tests/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
struct IProbe : IDispatch
{
    static constexpr GUID iid = makeGuid("{11111111-2222-3333-4444-555555555555}");
    virtual int Value() const = 0;
};

class Probe : public ComObject<IProbe>
{
public:
    Probe()
    {
        m_table.addProperty(
            QStringLiteral("Value"), [this] { return m_value; },
            [this](const QVariant& v) { m_value = v.toInt(); });
    }
    ~Probe() override { ++destroyed; }
    int Value() const override { return m_value; }
    HRESULT GetPropertyNames(QStringList* names) override { return m_table.propertyNames(names); }
    HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& args,
                   QVariant* result) override
    {
        return m_table.invoke(member, kind, args, result);
    }
    static inline int destroyed = 0;

private:
    DispatchTable m_table;
    int m_value = 7;
};

struct IOther : IUnknown
{
    static constexpr GUID iid = makeGuid("{99999999-9999-9999-9999-999999999999}");
};

constexpr GUID CLSID_Probe = makeGuid("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
} // namespace

TEST(Guid, ParsesBraceTextAndPrintsItBack)
{
    constexpr GUID g = makeGuid("{B90C021C-C137-4F6A-A629-7BE882D1935C}");
    EXPECT_EQ(g.Data1, 0xB90C021Cu);
    EXPECT_EQ(g.Data4[7], 0x5C);
    EXPECT_EQ(guidToString(g), QStringLiteral("{B90C021C-C137-4F6A-A629-7BE882D1935C}"));
    GUID parsed;
    ASSERT_TRUE(guidFromString(QStringLiteral("{b90c021c-c137-4f6a-a629-7be882d1935c}"), &parsed));
    EXPECT_EQ(parsed, g);
    EXPECT_FALSE(guidFromString(QStringLiteral("B90C021C-C137-4F6A-A629-7BE882D1935C"), &parsed));
}

TEST(ComObject, CountsReferencesAndAnswersItsInterfaces)
{
    Probe::destroyed = 0;
    {
        ComPtr<IProbe> probe = ComPtr<IProbe>::adopt(new Probe);
        ComPtr<IDispatch> dispatch = probe.as<IDispatch>();
        ASSERT_TRUE(dispatch);
        ComPtr<IUnknown> unknown = probe.as<IUnknown>();
        ASSERT_TRUE(unknown);
        EXPECT_FALSE(probe.as<IOther>());
        EXPECT_EQ(Probe::destroyed, 0);
    }
    EXPECT_EQ(Probe::destroyed, 1);
}

TEST(ComObject, LateBindingByNameAndRaisedErrors)
{
    ComPtr<IProbe> probe = ComPtr<IProbe>::adopt(new Probe);
    callByName(probe.get(), QStringLiteral("value"), InvokeKind::PropertyPut, {42});
    EXPECT_EQ(callByName(probe.get(), QStringLiteral("VALUE"), InvokeKind::PropertyGet).toInt(),
              42);
    try {
        callByName(probe.get(), QStringLiteral("Missing"), InvokeKind::Method);
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), 438);
    }
    try {
        raiseError(ErrInvalidProcedureCall, QStringLiteral("olvHTTPRequestHT"));
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("Invalid procedure call or argument"));
        EXPECT_EQ(error.source(), QStringLiteral("olvHTTPRequestHT"));
    }
}

TEST(ClassRegistry, CreatesLocalClassesAndRaises429ForUnknownOnes)
{
    registerLocalClass(CLSID_Probe, [](const GUID& iid, void** object) {
        ComPtr<IProbe> probe = ComPtr<IProbe>::adopt(new Probe);
        return probe->QueryInterface(iid, object);
    });
    EXPECT_EQ(createObject<IProbe>(CLSID_Probe)->Value(), 7);
    try {
        createObject<IProbe>(makeGuid("{00000000-1111-2222-3333-444444444444}"));
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), ErrCantCreateObject);
    }
}

TEST(ControlCharacters, AreShownAsEscapesAndPlainTextStays)
{
    struct Case
    {
        QString text;
        bool keepLineFeeds;
        QString shown;
    };
    const auto u = [](const char16_t* text) { return QString::fromUtf16(text); };
    const Case cases[] = {
        {u(u"Привет, tab\tand €"), false, u(u"Привет, tab\tand €")},
        {u(u"\x1b]0;title\x07"), false, u(u"\\x1B]0;title\\x07")},
        {u(u"a\rPublished\nb"), false, u(u"a\\rPublished\\nb")},
        {u(u"line\r\nnext\nlast\r"), true, u(u"line\nnext\nlast\\r")},
        {u(u"\u009b2J \u007f ") + QChar(0), false, u(u"\\x9B2J \\x7F \\x00")},
        {u(u"abc\u202edcba \u2066x\u2069 \u2028"), false,
         u(u"abc\\u202Edcba \\u2066x\\u2069 \\u2028")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(escapeControlCharacters(c.text, c.keepLineFeeds), c.shown)
            << c.text.toStdString();
}

TEST(AnsiCodePage, FollowsTheCodePageAndRoundTripsEveryByte)
{
    const QString russian = QStringLiteral("Привет, Ёж №1");
    EXPECT_EQ(toAnsi(russian, 1251), QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xE6 \xB9"
                                                "1"));
    EXPECT_EQ(fromAnsi(toAnsi(russian, 1251), 1251), russian);
    EXPECT_EQ(toAnsi(QStringLiteral("café €"), 1252), QByteArray("caf\xE9 \x80"));
    EXPECT_EQ(toAnsi(QStringLiteral("日本"), 1252), QByteArray("??"));
    QByteArray all(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    for (int codePage : {1251, 1252})
        EXPECT_EQ(toAnsi(fromAnsi(all, codePage), codePage), all) << codePage;
    setAnsiCodePage(1251);
    EXPECT_EQ(ansiCodePage(), 1251);
    setAnsiCodePage(0);
}

TEST(DataProtection, RoundTripsAndRejectsDamagedBlobs)
{
    for (bool machineWide : {false, true}) {
        QByteArray blob, plain;
        int error = -1;
        ASSERT_TRUE(protectData("secret \\\" pass", machineWide, &blob, &error));
        EXPECT_EQ(error, 0);
        EXPECT_FALSE(blob.contains("secret"));
        ASSERT_TRUE(unprotectData(blob, &plain, &error));
        EXPECT_EQ(plain, QByteArray("secret \\\" pass"));
        blob[blob.size() - 1] = static_cast<char>(blob.at(blob.size() - 1) ^ 1);
        EXPECT_FALSE(unprotectData(blob, &plain, &error));
        EXPECT_EQ(error, 13);
    }
    QByteArray plain;
    int error = 0;
    EXPECT_FALSE(unprotectData("Ushort", &plain, &error));
    // Two protections of one secret differ (random nonce).
    QByteArray a, b;
    protectData("x", false, &a, nullptr);
    protectData("x", false, &b, nullptr);
    EXPECT_NE(a, b);
}

TEST(DataProtection, ADamagedKeyFileIsReplacedAndAnUnusableOneReported)
{
    const QString keyFile = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                            QStringLiteral("/Olvane/protect.key");
    QByteArray old, plain;
    int error = -1;
    ASSERT_TRUE(protectData("old", false, &old, &error));
    const auto damage = [&](const QByteArray& content) {
        QFile::remove(keyFile);
        QFile file(keyFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    };
    const QList<QByteArray> damages = {"", "short", QByteArray(64, 'k')};
    for (const QByteArray& content : damages) {
        damage(content);
        QByteArray fresh;
        ASSERT_TRUE(protectData("new", false, &fresh, &error)) << content.size();
        EXPECT_EQ(error, 0);
        EXPECT_EQ(QFileInfo(keyFile).size(), 32);
        EXPECT_EQ(QFile::permissions(keyFile) & (QFile::ReadGroup | QFile::ReadOther), 0);
        ASSERT_TRUE(unprotectData(fresh, &plain, &error));
        EXPECT_EQ(plain, QByteArray("new"));
        EXPECT_FALSE(unprotectData(old, &plain, &error)); // made with the lost key
        EXPECT_EQ(error, 13);
        old = fresh;
    }
    // A folder in the key's place cannot be replaced: protection fails and says why.
    QFile::remove(keyFile);
    ASSERT_TRUE(QDir().mkpath(keyFile + QStringLiteral("/inside")));
    QByteArray blob;
    EXPECT_FALSE(protectData("x", false, &blob, &error));
    EXPECT_NE(error, 0);
    ASSERT_TRUE(QDir(keyFile).removeRecursively());
    EXPECT_TRUE(protectData("x", false, &blob, &error));
}

namespace {
mode_t modeOf(const QString& path)
{
    struct stat info = {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}
} // namespace

TEST(PrivateFolder, IsMadeAndKeptForTheUserAlone)
{
    QTemporaryDir root;
    const mode_t umaskBefore = ::umask(022);
    const QString fresh = root.path() + QStringLiteral("/a/b/Olvane");
    int error = -1;
    EXPECT_TRUE(makePrivateFolder(fresh, &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(modeOf(fresh), 0700u);
    // One that an earlier version made open to everyone is narrowed.
    const QString open = root.path() + QStringLiteral("/open");
    ASSERT_EQ(::mkdir(QFile::encodeName(open).constData(), 0755), 0);
    EXPECT_TRUE(makePrivateFolder(open, &error));
    EXPECT_EQ(modeOf(open), 0700u);
    ::umask(umaskBefore);

    QFile file(root.path() + QStringLiteral("/file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(makePrivateFolder(file.fileName(), &error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_FALSE(makePrivateFolder(file.fileName() + QStringLiteral("/below"), &error));
    EXPECT_EQ(error, ENOTDIR);
}

TEST(DataProtection, AFileInPlaceOfTheKeyFolderIsReportedAsSuch)
{
    const QString folder = protectionKeyFolder();
    EXPECT_EQ(folder, QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                          QStringLiteral("/Olvane"));
    const QString kept = folder + QStringLiteral(".kept");
    QDir().rename(folder, kept);
    QFile file(folder);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QByteArray blob;
    int error = 0;
    EXPECT_FALSE(protectData("x", false, &blob, &error));
    EXPECT_EQ(error, ENOTDIR);
    QFile::remove(folder);
    QDir().rename(kept, folder);
    EXPECT_TRUE(protectData("x", false, &blob, &error));
    EXPECT_EQ(modeOf(folder), 0700u);
}

namespace {
// Runs the real message box; inspect sees it once it is shown, then press closes it.
int showAndPress(const QString& prompt, int style, QMessageBox::StandardButton press,
                 const std::function<void(QMessageBox*)>& inspect,
                 const QString& title = QStringLiteral("Title"))
{
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        timer.stop();
        inspect(box);
        box->button(press)->click();
    });
    timer.start();
    return msgBox(prompt, style, title);
}

QRect screenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}
} // namespace

TEST(MsgBox, ShowsEveryTextAsPlainText)
{
    const QString prompt = QStringLiteral("===[ <b>News</b> ]===\r\n\r\nline one\r\nline two");
    bool seen = false;
    const int answer = showAndPress(prompt, vbInformation, QMessageBox::Ok, [&](QMessageBox* box) {
        seen = true;
        const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(label->text(), QStringLiteral("===[ <b>News</b> ]===\n\nline one\nline two"));
        EXPECT_EQ(box->findChild<QPlainTextEdit*>(), nullptr); // short: no details
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Title"));
    });
    EXPECT_TRUE(seen);
    EXPECT_EQ(answer, vbOK);
}

TEST(MsgBox, AHugeTextKeepsTheBoxAndItsButtonsOnTheScreen)
{
    QString many = QStringLiteral("Duplicates:\r\n\r\n");
    for (int i = 1; i <= 1000; ++i)
        many += QStringLiteral("\u2022 #%1 - 05.03.2010 10:00:00\r\n").arg(i);
    many += QStringLiteral("\r\nGo on loading?");
    QString body = QStringLiteral("===[ big ]===\r\n\r\n");
    const QString line = QString(98, QLatin1Char('x')) + QStringLiteral("\r\n");
    while (body.size() < 10'000'000)
        body += line;
    const QString oneLine = QString(3'000'000, QLatin1Char('y'));
    for (const QString& prompt : {many, body, oneLine}) {
        bool seen = false;
        const int answer = showAndPress(
            prompt, vbOKCancel | vbExclamation, QMessageBox::Cancel, [&](QMessageBox* box) {
                seen = true;
                EXPECT_TRUE(screenArea().contains(box->frameGeometry()))
                    << box->frameGeometry().y() << " " << box->frameGeometry().height() << " "
                    << screenArea().height() << " " << prompt.size();
                for (auto which : {QMessageBox::Ok, QMessageBox::Cancel}) {
                    QWidget* button = box->button(which);
                    EXPECT_TRUE(screenArea().contains(
                        QRect(button->mapToGlobal(QPoint(0, 0)), button->size())));
                }
                const auto* details =
                    box->findChild<QPlainTextEdit*>(QStringLiteral("msgBoxDetails"));
                ASSERT_NE(details, nullptr);
                // Wrapped to the area's width: nothing to scroll sideways.
                EXPECT_EQ(details->lineWrapMode(), QPlainTextEdit::WidgetWidth);
                EXPECT_EQ(details->horizontalScrollBar()->maximum(), 0);
                // Every character; lines of megabytes are broken for display.
                EXPECT_EQ(details->toPlainText().remove(u'\n'),
                          QString(prompt).remove(u'\r').remove(u'\n'));
                EXPECT_LT(box->text().size(), 8000);
            });
        EXPECT_TRUE(seen);
        EXPECT_EQ(answer, vbCancel);
    }
}

TEST(MsgBox, AShortenedListKeepsItsFirstAndLastLines)
{
    QString many;
    for (int i = 1; i <= 1000; ++i)
        many += QStringLiteral("line %1\r\n").arg(i);
    many += QStringLiteral("Go on?");
    showAndPress(many, vbOKCancel, QMessageBox::Ok, [&](QMessageBox* box) {
        EXPECT_TRUE(box->text().startsWith(QStringLiteral("line 1\nline 2\n")));
        EXPECT_TRUE(box->text().endsWith(QStringLiteral("\nGo on?")));
        EXPECT_TRUE(box->text().contains(QStringLiteral("more lines (the whole text is below)")));
    });
}

TEST(MsgBox, ATextThatFitsOnceWrappedShowsWholeWithoutDetails)
{
    QString paragraph;
    while (paragraph.size() < 1200)
        paragraph += QStringLiteral("Слова длинного абзаца без переносов строк, ");
    const QString prompt = paragraph + QStringLiteral("\r\n\r\nGo on?");
    showAndPress(prompt, vbOKCancel | vbExclamation, QMessageBox::Ok, [&](QMessageBox* box) {
        EXPECT_EQ(box->text(),
                  QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        EXPECT_EQ(box->findChild<QPlainTextEdit*>(), nullptr);
        EXPECT_TRUE(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->wordWrap());
        EXPECT_TRUE(screenArea().contains(box->frameGeometry()));
    });
}

TEST(MsgBox, ABoxThatFollowsAnotherAtOnceShowsOverTheSameWindow)
{
    QWidget window;
    window.resize(300, 200);
    window.move(screenArea().topLeft() + QPoint(20, 20)); // away from the screen's centre
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QList<QWidget*> owners;
    QList<QPoint> centres;
    const auto note = [&](QMessageBox* box) {
        owners << box->parentWidget();
        centres << box->frameGeometry().center();
    };
    // Retry, and the request fails again before any event is handled.
    showAndPress(QStringLiteral("failed"), vbRetryCancel | vbCritical, QMessageBox::Retry, note);
    showAndPress(QStringLiteral("failed again"), vbRetryCancel | vbCritical, QMessageBox::Cancel,
                 note);
    ASSERT_EQ(owners.size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(owners[i], &window) << i;
        EXPECT_LE(std::abs(centres[i].x() - window.frameGeometry().center().x()), 2) << i;
    }
}

TEST(MsgBox, AShortTextLeavesRoomForTheWholeTitle)
{
    const QString title = QStringLiteral("Olvane - Brivet poster");
    int width = 0, needed = 0;
    showAndPress(
        QStringLiteral("All done! ^_^v"), vbInformation, QMessageBox::Ok,
        [&](QMessageBox* box) {
            QFont bold = box->font();
            bold.setBold(true);
            needed = QFontMetrics(bold).horizontalAdvance(title);
            width = box->width();
        },
        title);
    // The title bar's icon and buttons take room beside the title.
    EXPECT_GE(width, needed + 80);
}

TEST(MsgBox, ABoxWithoutATitleCarriesTheDefaultOne)
{
    setMsgBoxDefaultTitle(QStringLiteral("Olvane - Program"));
    QString shown;
    showAndPress(
        QStringLiteral("text"), vbInformation, QMessageBox::Ok,
        [&](QMessageBox* box) { shown = box->windowTitle(); }, QString());
    EXPECT_EQ(shown, QStringLiteral("Olvane - Program"));
    {
        MsgBoxScript boxes; // callers' hooks see the title that is shown
        msgBox(QStringLiteral("text"), vbInformation, QString());
        msgBox(QStringLiteral("text"), vbInformation, QStringLiteral("Own"));
        EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Olvane - Program"));
        EXPECT_EQ(boxes.shown()[1].title, QStringLiteral("Own"));
    }
    setMsgBoxDefaultTitle(QString());
}
