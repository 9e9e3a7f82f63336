#pragma once
// ErrorReporter: tells the user about a failed request or a caught run-time error, in
// words a person can act on, through the one message-box function (so tests answer it
// through its hook). Tools without a screen give it a sink instead.
#include "platform/com/RuntimeError.h"

#include <QString>
#include <functional>

struct _olvHTTPRequestHT;

// One report as it would be shown.
struct ErrorReport
{
    QString text;
    int style = 0;
    // The address of the failed request; empty for a run-time error.
    QString requestUrl;
};

class ErrorReporter
{
public:
    // The program-wide reporter, created on first use.
    static ErrorReporter& instance();

    // Shows leadingText and what the request reports about its failure with the given
    // style (21: Retry and Cancel, critical icon); returns the button pressed.
    int ShowRequestError(_olvHTTPRequestHT* request, int style, int reserved,
                         const QString& leadingText, int reserved2);
    // Shows leadingText and the error's description with the critical icon and OK.
    int ShowRunTimeError(const RuntimeError& error, int style, int reserved,
                         const QString& leadingText, int reserved2);

    // For a request that succeeded whose reply is not the confirmation expected: the
    // leading text, that the service did not confirm it, the HTTP status and the reply's
    // first line. Returns the button pressed.
    int ShowUnconfirmedReply(_olvHTTPRequestHT* request, int style, const QString& leadingText);
    // Any other message (for example that the program's own records failed).
    int ShowMessage(const QString& text, int style);

    static QString RequestErrorText(_olvHTTPRequestHT* request, const QString& leadingText);
    static QString UnconfirmedReplyText(_olvHTTPRequestHT* request, const QString& leadingText);
    static QString RunTimeErrorText(const RuntimeError& error, const QString& leadingText);

    // Reports go to sink, which answers as the box would; an empty sink brings the
    // message boxes back.
    using Sink = std::function<int(const ErrorReport& report)>;
    void setSink(Sink sink);

private:
    int show(const ErrorReport& report);
    Sink m_sink;
};
