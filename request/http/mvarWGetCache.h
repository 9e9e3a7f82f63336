#pragma once
// Where wget and its data live: the folder KWQT0100 beside this library, with the
// build in Win51 (or Win40 for older systems, "legacy" wget) and the data in Data.
// Kept per thread and computed once unless forced.
#include <QString>

struct WGetCache
{
    QString WGetEXEFileName;
    QString WGetEXEDataPath;
    bool LegacyWGet = false;
};

const WGetCache& InitWGetCache(bool force);
