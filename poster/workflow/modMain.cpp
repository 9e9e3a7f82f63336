#include "poster/workflow/modMain.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/ErrorInfo.h"
#include "poster/workflow/modApp.h"
#include "support/dialogs/OpenFileDialog.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"
#include "support/settings/SettingsStore.h"

#include <QApplication>

namespace {
const QString Section = QStringLiteral("OFN Paths");
const QString Key = QStringLiteral("Last open TXT directory");
} // namespace

QString AskDiaryFileName()
{
    OpenFileDialog dialog;
    dialog.Filter = QStringLiteral("Text files|*.TXT;*.QNP|All files|*.*");
    dialog.Owner = QApplication::activeWindow();

    // The remembered folder is a convenience: a store that cannot be read or written
    // never keeps the user from loading a file.
    const ComPtr<ISettingsStore> store = createObject<ISettingsStore>(CLSID_SettingsStore);
    QVariant folder;
    if (SUCCEEDED(store->GetValue(Section, Key, skText, QString(), App(), true, &folder)))
        dialog.InitDir = folder.toString();

    if (!dialog.ShowOpen())
        return {};
    QString chosenFolder;
    checkStatus(sxGetFilePath(dialog.FileName, &chosenFolder), "sxGetFilePath");
    if (FAILED(store->SaveValue(Section, Key, skText, chosenFolder, App(), true)))
        takeErrorInfo(); // not remembered this time; the load goes on
    return dialog.FileName;
}
