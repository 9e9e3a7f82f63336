#pragma once
#include "support/diary/DiaryPost.h"

// Warns (in Russian) about posts of one file that carry the same time to the second
// and asks whether to load the file anyway. True: go on loading.
bool CheckDiaryPostTimes(IDiaryPostList* posts);
