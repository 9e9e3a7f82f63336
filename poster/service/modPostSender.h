#pragma once
// modPostSender: the session with the Brivet service and the upload of one entry,
// through the KWQT0100 request component.
#include "poster/service/modPublishJournal.h"
#include "support/diary/DiaryPost.h"

#include <QByteArray>
#include <QString>
#include <functional>

// Set by the logon window when the user proceeds; held in memory only.
extern QString LogonUserName;
extern QString LogonPassword;
// The session: empty while there is none; set and emptied together.
extern QString AccessToken;
extern QString ProfileId;
// The User-Agent text of both requests.
extern const QString UploadUserAgent;

// String resources 1000 (logon body) and 2000 (entry body).
QString LogonBodyTemplate();
QString EntryBodyTemplate();

// Creates the session with LogonUserName and LogonPassword. Failed requests offer
// Retry and Cancel; true when the token and the profile id were taken from the reply.
bool LogOn();
// Asks the user for other credentials after the service refused the logon's (HTTP 401
// or 403) and the user chose Retry: true when LogonUserName and LogonPassword now hold
// new ones to log on with, false to give up as Cancel does.
using RefusedLogonHandler = std::function<bool()>;
// Installed by the windows; without one, Retry sends the refused logon again.
void SetRefusedLogonHandler(RefusedLogonHandler handler);
// Takes the token and the profile id from the service's reply; on failure shows the
// parse-failure message, empties both and returns false.
bool ParseSessionResponse(const QByteArray& response);
// Safe inside a JSON string literal: backslash, quote, line breaks (as \n) and every
// other control character escaped; an unpaired surrogate becomes U+FFFD; everything
// else unchanged.
QString JsonEscape(const QString& text);
// 13 decimal digits, never beginning with 0.
QString MakeNonce();
// The filled entry template of a post (body already converted to HTML).
QString EntryRequestBody(const QString& htmlBody, const QString& title, bool adultOnly,
                         const QString& profileId);
// The id of the entry that the reply confirms: a JSON:API document whose primary data
// has the type "entries" and an id. Empty for any other reply.
QString ConfirmedEntryId(const QByteArray& reply);
// The service and account that the publish journal keeps this session's posts under.
JournalScope ServiceJournalScope();
// The same as UTF-8 bytes, as the request sends them (suUNICODEToUTF8, then suStrConvB),
// made without a UTF-16 copy of the whole text.
QByteArray EntryRequestBytes(const QString& htmlBody, const QString& title, bool adultOnly,
                             const QString& profileId);
// Publishes one post, logging on first when there is no session. True when the service
// confirmed it; false when it was not confirmed (logon failed, Cancel). The publish
// journal records the post as sending before the request and as published after the
// confirmation; a post it holds as sending goes again with its recorded nonce. A journal
// that cannot be opened or written stops it before any request. The two options come
// from the main window and do not change the request.
bool SendPost(const ComPtr<IDiaryPost>& post, bool sendWithOriginalTime, bool sendAsBackdated);
