// The out-of-memory messages: each place where memory runs out has its own words, in both
// languages, shown from the one table.
#include <gtest/gtest.h>

#include <string>

#include "download/Failure.h"
#include "qb/testhook.h"
#include "tests/platform/scoped_env.h"

namespace {

TEST(NoMemory, EachPlaceHasItsOwnTextAndIconInBothLanguages) {
    struct Case {
        NoMemory where;
        const char* lang;
        std::u16string title;
        std::u16string text;
        UINT icon;
    } cases[] = {
        {NoMemory::kSharedObjects, "en_US.UTF-8", u"ERROR", u"Not enought memory.", MB_ICONERROR},
        {NoMemory::kSharedObjects, "ja_JP.UTF-8", u"エラー", u"メモリが足りません。", MB_ICONERROR},
        {NoMemory::kDialogBuffer, "en_US.UTF-8", u"ERROR",
         u"Not enough memory to execute this software.", MB_ICONERROR},
        {NoMemory::kDialogBuffer, "ja_JP.UTF-8", u"エラー",
         u"ソフトウェアの起動に必要なメモリ不足しています。", MB_ICONERROR},
        {NoMemory::kWorkBuffers, "en_US.UTF-8", u"ERROR", u"Not enough memory.",
         MB_ICONEXCLAMATION},
        {NoMemory::kWorkBuffers, "ja_JP.UTF-8", u"エラー", u"作業用メモリが足りません。",
         MB_ICONEXCLAMATION},
    };
    ScopedEnv env;
    env.clearLocale();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        env.set("LANG", c.lang);
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        qb::test::AnswerMessageBox(IDOK);
        ShowNoMemory(nullptr, c.where);
        const auto history = qb::test::ModalHistory();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].title, c.title);
        EXPECT_EQ(history[0].text, c.text);
        EXPECT_EQ(history[0].type, c.icon | MB_TOPMOST);
    }
    qb::test::Reset();
}

} // namespace
