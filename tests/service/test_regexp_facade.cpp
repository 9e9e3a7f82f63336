#include "platform/com/RuntimeError.h"
#include "poster/service/modCommon.h"
#include "poster/service/modSimpleRegExp.h"

#include <gtest/gtest.h>

TEST(RegExpExecute, EachCallSetsItsOwnOptions)
{
    const QString reply =
        QStringLiteral("{\"Token\":\"abc\",\"profile\":{\"id\":\"42\"}}\n\"token\":\"def\"");
    auto all = RegExpExecute(reply, QStringLiteral("\"token\":\"(.*?)\""), true, true, true, true);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->Count(), 2);
    EXPECT_EQ(all->Item(0)->SubMatches().value(0), QStringLiteral("abc"));
    EXPECT_EQ(all->Item(1)->SubMatches().value(0), QStringLiteral("def"));

    // Case-sensitive and not global now: only the lower-case one, once.
    auto one =
        RegExpExecute(reply, QStringLiteral("\"token\":\"(.*?)\""), false, false, false, true);
    ASSERT_EQ(one->Count(), 1);
    EXPECT_EQ(one->Item(0)->Value(), QStringLiteral("\"token\":\"def\""));
    EXPECT_EQ(one->Item(0)->FirstIndex(), reply.indexOf(QStringLiteral("\"token\"")));

    auto id = RegExpExecute(reply, QStringLiteral("\"id\":\"(\\d+)\""), true, true, true, true);
    EXPECT_EQ(id->Item(0)->SubMatches(), QStringList{QStringLiteral("42")});

    auto none = RegExpExecute(reply, QStringLiteral("nothing here"), true, true, true, true);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->Count(), 0);
    EXPECT_THROW(none->Item(0), RuntimeError); // the caller's parse failure
    // "." stops at a line feed.
    EXPECT_EQ(RegExpExecute(QStringLiteral("a\nb"), QStringLiteral("a.b"), true, true, true, true)
                  ->Count(),
              0);
}

TEST(RegExpExecute, InvalidPatternsRaiseOnlyWhenAskedTo)
{
    EXPECT_FALSE(
        RegExpExecute(QStringLiteral("x"), QStringLiteral("(unbalanced"), true, true, true, false));
    try {
        RegExpExecute(QStringLiteral("x"), QStringLiteral("(unbalanced"), true, true, true, true);
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), ErrRegExpSyntax);
    }
    // The shared object is still usable afterwards.
    EXPECT_EQ(
        RegExpExecute(QStringLiteral("x"), QStringLiteral("x"), true, true, true, true)->Count(),
        1);
}

TEST(LineBreaksToLF, EveryBreakBecomesOneLineFeed)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("a\r\nb\rc\nd"), QStringLiteral("a\nb\nc\nd")},
        {QStringLiteral("a\r\r\nb"), QStringLiteral("a\n\nb")},
        {QStringLiteral("\n\r"), QStringLiteral("\n\n")},
        {QString(), QString()},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(LineBreaksToLF(in), out);
}
