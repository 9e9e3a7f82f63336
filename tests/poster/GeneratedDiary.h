#pragma once
// A generated diary export for runs against the sandbox service: every markup the
// converter knows (and some it does not), Cyrillic text, adult posts, empty titles, and
// tabs and quotes in titles. Post n (from 1) carries "Entry n." in its body's first line.
#include <QByteArray>

QByteArray GeneratedDiary(int count);
