#include "poster/workflow/UploadRun.h"

const QString WaitingStatus = QStringLiteral("Waiting before next post...");
const QString StoppedStatus = QStringLiteral("Stopped...");

QString UploadingStatus(int number, int total)
{
    return QStringLiteral("Uploading post %1 of %2").arg(number).arg(total);
}

UploadRunResult RunUpload(UploadRunSteps& steps, int waitChoice)
{
    UploadRunResult result{UploadRunEnd::AllDone, steps.RunTotal(), 0};
    const auto stop = [&](UploadRunEnd end) {
        steps.ShowStatus(StoppedStatus);
        result.end = end;
        return result;
    };
    while (steps.PostsLeft() > 0) {
        steps.SelectFirstPost();
        steps.ShowStatus(UploadingStatus(result.total - steps.PostsLeft() + 1, result.total));
        steps.ProcessInput();
        if (steps.StopRequested())
            return stop(UploadRunEnd::Stopped);
        if (!steps.SendFirstPost())
            return stop(UploadRunEnd::UploadFailed);
        steps.RemoveFirstPost();
        ++result.published;
        if (waitChoice == 1 || steps.PostsLeft() == 0)
            continue;
        // A stop asked for during the upload still waits among the input; the modal wait
        // window would drop it.
        steps.ProcessInput();
        if (steps.StopRequested())
            return stop(UploadRunEnd::Stopped);
        steps.ShowStatus(WaitingStatus);
        if (!steps.WaitBeforeNextPost())
            return stop(UploadRunEnd::Stopped);
    }
    return result;
}
