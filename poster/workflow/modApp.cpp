#include "poster/workflow/modApp.h"

#include "platform/regexp/RegExp.h"
#include "platform/ui/MsgBox.h"
#include "support/diary/DiaryFileReader.h"
#include "support/settings/SettingsStore.h"

const AppObject& App()
{
    static const AppObject app = [] {
        AppObject made{QStringLiteral("Olvane"), QStringLiteral("Brivet poster"),
                       QStringLiteral("BrivetPoster"), QStringLiteral("Olvane - Brivet poster")};
        // Boxes whose callers pass no title (the outside components, the preview) carry
        // the program's title too.
        setMsgBoxDefaultTitle(made.Title);
        return made;
    }();
    return app;
}

void RegisterComponentClasses()
{
    registerSettingsStoreClass();
    registerDiaryFileReaderClass();
    registerRegExpClass();
}
