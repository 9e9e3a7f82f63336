#include "platform/text/UserLanguage.h"

#include <QLocale>

int GetUserDefaultLangID()
{
    return QLocale().language() == QLocale::Russian ? LangRussian : LangEnglishUS;
}
