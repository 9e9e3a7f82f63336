#include "poster/workflow/modPostListLine.h"

#include "poster/workflow/modDateFormat.h"

namespace {
// Wider than any screen shows in the list's font; a longer title is cut, as laying out
// megabytes of title on every repaint would freeze the window.
constexpr qsizetype ShownTitle = 1000;

QString shownTitle(const QString& title)
{
    if (title.size() <= ShownTitle)
        return title;
    const qsizetype n = title.at(ShownTitle - 1).isHighSurrogate() ? ShownTitle - 1 : ShownTitle;
    return title.left(n) + u'\u2026';
}
} // namespace

QString PostListLine(IDiaryPost* post)
{
    const QString title = post->Title();
    return ListDateText(post->PostDate()) +
           (post->AdultOnly() ? QStringLiteral(" * ") : QStringLiteral("   ")) +
           (title.isEmpty() ? post->Body().left(50) : shownTitle(title));
}
