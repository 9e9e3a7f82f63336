#pragma once
#include "support/diary/DiaryPost.h"

#include <QList>

// Asks the publish journal about the posts of a newly read file, for the service and
// the account of the logon window. Posts published before: one question whether to leave
// them out (OK) or queue them all (Cancel). Posts left unconfirmed: one question whether
// to queue them again (OK) or leave them out (Cancel). Returns, per post, whether it goes
// into the queue; an empty list when every post does (nothing is known of them, or the
// journal cannot be read, which the user is told).
QList<bool> CheckPublishedPosts(IDiaryPostList* posts);
