#include "poster/workflow/modApp.h"

#include "platform/regexp/RegExp.h"
#include "support/diary/DiaryFileReader.h"
#include "support/settings/SettingsStore.h"

const AppObject& App()
{
    static const AppObject app{QStringLiteral("Olvane"), QStringLiteral("Brivet poster"),
                               QStringLiteral("BrivetPoster"),
                               QStringLiteral("Olvane - Brivet poster")};
    return app;
}

void RegisterComponentClasses()
{
    registerSettingsStoreClass();
    registerDiaryFileReaderClass();
    registerRegExpClass();
}
