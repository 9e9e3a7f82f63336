#include "poster/workflow/modPostListLine.h"

#include "poster/workflow/modDateFormat.h"

QString PostListLine(IDiaryPost* post)
{
    const QString title = post->Title();
    return ListDateText(post->PostDate()) +
           (post->AdultOnly() ? QStringLiteral(" * ") : QStringLiteral("   ")) +
           (title.isEmpty() ? post->Body().left(50) : title);
}
