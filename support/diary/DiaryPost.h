#pragma once
// DiaryPost and DiaryPostList: the posts that DiaryFileReader delivers. Posts are
// shared, reference-counted and read-only once made.
#include "platform/com/ComPtr.h"
#include "support/ComponentsExport.h"

#include <QDateTime>

// A post's date and time are the diary's wall-clock values; they are held with the UTC
// time spec so that no daylight-saving rule can shift or reject them.
struct IDiaryPost : IUnknown
{
    static constexpr GUID iid = makeGuid("{FDC5387C-4568-4D85-8254-5D4713209DCF}");
    virtual QDateTime PostDate() const = 0;
    virtual QString Title() const = 0;
    virtual QString Body() const = 0;
    // 1-based position of the post in its file.
    virtual int Index() const = 0;
    // Line of the file where the post begins.
    virtual int SourceLine() const = 0;
    virtual QString SourceFile() const = 0;
    // Length of Body in characters.
    virtual int BodyLength() const = 0;
    // True when Title is empty.
    virtual bool Untitled() const = 0;
    virtual bool AdultOnly() const = 0;
};

struct IDiaryPostList : IUnknown
{
    static constexpr GUID iid = makeGuid("{BAEBF450-A904-44A1-B177-FA0B097F1BE8}");
    virtual int Count() const = 0;
    // index from 0 to Count - 1; raises error 9 outside that range.
    virtual ComPtr<IDiaryPost> Item(int index) const = 0;
};

struct DiaryPostData
{
    QDateTime postDate;
    QString title;
    QString body;
    bool adultOnly = false;
    int index = 0;
    int sourceLine = 0;
};

COMPONENTS_EXPORT ComPtr<IDiaryPost> newDiaryPost(DiaryPostData data,
                                                  const QString& sourceFile = {});
COMPONENTS_EXPORT ComPtr<IDiaryPostList> newDiaryPostList(QList<ComPtr<IDiaryPost>> posts);
