#pragma once
// The loop of an upload run, apart from any window: the queue is published from its
// head, one post at a time. A published post leaves the queue before anything else
// happens; a post that could not be published stays at the head, so that the next run
// starts again with it. Nothing is ever lost or sent twice by the loop itself.
#include <QString>

// What the run needs from whoever holds the queue (the main window, brivet-post).
class UploadRunSteps
{
public:
    virtual ~UploadRunSteps() = default;
    virtual int PostsLeft() const = 0;
    // The run's total T, read once at the start: the posts left, unless the holder
    // counts posts published before this run too (brivet-post --skip).
    virtual int RunTotal() const { return PostsLeft(); }
    virtual void SelectFirstPost() = 0;
    virtual void ShowStatus(const QString& text) = 0;
    // Lets the input that is waiting through once, so that the status is painted and a
    // stop request is seen.
    virtual void ProcessInput() = 0;
    virtual bool StopRequested() const = 0;
    // Publishes the first post; false when it was not published and the user, already
    // told, gave up.
    virtual bool SendFirstPost() = 0;
    virtual void RemoveFirstPost() = 0;
    // The pause before the next post; false when the run is to stop.
    virtual bool WaitBeforeNextPost() = 0;
};

enum class UploadRunEnd {
    AllDone,      // the queue is empty
    UploadFailed, // the first post could not be published and stays first
    Stopped,      // a stop request, before an upload or from the wait
};

struct UploadRunResult
{
    UploadRunEnd end;
    int total;     // RunTotal() when the run started
    int published; // posts published and removed by this run
};

// Runs the loop to its end. waitChoice is the row of the wait-time table, read once;
// row 1 ("No wait") never waits, and no wait follows the last post. Errors raised by
// the steps pass to the caller, with the queue as it stood.
UploadRunResult RunUpload(UploadRunSteps& steps, int waitChoice);

// The status texts of a run.
QString UploadingStatus(int number, int total);
extern const QString WaitingStatus;
extern const QString StoppedStatus;
