#pragma once
// DiaryFileReader: reads a diary export file (docs/diary-export-format.md) into
// DiaryPost records, all or nothing.
#include "support/diary/DiaryPost.h"

struct IDiaryFileReader : IUnknown
{
    static constexpr GUID iid = makeGuid("{3FBF6218-FB1D-4585-9861-1790AD569D87}");
    // Why the last LoadFile failed, e.g. "line 17: ...".
    virtual QString LastError() const = 0;
    // The posts of the last successful LoadFile, in file order.
    virtual ComPtr<IDiaryPostList> Posts() const = 0;
    virtual bool LoadFile(const QString& path) = 0;
};

constexpr GUID CLSID_DiaryFileReader = makeGuid("{15C1CFF4-DD91-4668-86DA-2DBA1825E181}");

COMPONENTS_EXPORT void registerDiaryFileReaderClass();
COMPONENTS_EXPORT ComPtr<IDiaryFileReader> newDiaryFileReader();
