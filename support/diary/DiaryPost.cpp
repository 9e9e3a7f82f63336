#include "support/diary/DiaryPost.h"

#include "platform/com/RuntimeError.h"

namespace {
class DiaryPost : public ComObject<IDiaryPost>
{
public:
    DiaryPost(DiaryPostData data, const QString& sourceFile)
        : m_data(std::move(data)), m_sourceFile(sourceFile)
    {
    }
    QDateTime PostDate() const override { return m_data.postDate; }
    QString Title() const override { return m_data.title; }
    QString Body() const override { return m_data.body; }
    int Index() const override { return m_data.index; }
    int SourceLine() const override { return m_data.sourceLine; }
    QString SourceFile() const override { return m_sourceFile; }
    int BodyLength() const override { return static_cast<int>(m_data.body.size()); }
    bool Untitled() const override { return m_data.title.isEmpty(); }
    bool AdultOnly() const override { return m_data.adultOnly; }

private:
    DiaryPostData m_data;
    QString m_sourceFile; // shared between the posts of one file
};

class DiaryPostList : public ComObject<IDiaryPostList>
{
public:
    explicit DiaryPostList(QList<ComPtr<IDiaryPost>> posts) : m_posts(std::move(posts)) {}
    int Count() const override { return static_cast<int>(m_posts.size()); }
    ComPtr<IDiaryPost> Item(int index) const override
    {
        if (index < 0 || index >= m_posts.size())
            raiseError(9, QStringLiteral("DiaryPostList"));
        return m_posts.at(index);
    }

private:
    QList<ComPtr<IDiaryPost>> m_posts;
};
} // namespace

ComPtr<IDiaryPost> newDiaryPost(DiaryPostData data, const QString& sourceFile)
{
    return ComPtr<IDiaryPost>::adopt(new DiaryPost(std::move(data), sourceFile));
}

ComPtr<IDiaryPostList> newDiaryPostList(QList<ComPtr<IDiaryPost>> posts)
{
    return ComPtr<IDiaryPostList>::adopt(new DiaryPostList(std::move(posts)));
}
