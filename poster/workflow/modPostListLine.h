#pragma once
#include "support/diary/DiaryPost.h"

// The line that lstPosts shows for a post: list date, " * " for adult-only posts
// (else three spaces), then the title, or the first 50 characters of the body when
// the title is empty.
QString PostListLine(IDiaryPost* post);
