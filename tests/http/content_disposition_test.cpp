// Names from Content-Disposition: the extended form first, the plain one next, and every
// name a server may not choose refused, falling through to the next or to none.
#include <gtest/gtest.h>

#include <string>

#include "base/Results.h"
#include "http/ContentDisposition.h"

namespace {

TEST(ContentDisposition, TakesTheFirstUsableName) {
    const struct {
        std::u16string value;
        std::u16string name; // empty: none (result 0)
    } cases[] = {
        {u"attachment; filename=\"report.pdf\"", u"report.pdf"},
        {u"attachment; filename=report.pdf", u"report.pdf"},
        {u"attachment;filename=report.pdf ; size=3", u"report.pdf"},
        {u"inline; FileName = \"a b.txt\"", u"a b.txt"},
        {u"attachment; filename=\"q\\\"uote.txt\"", u"q\"uote.txt"}, // an escaped quote
        {u"attachment; filename*=UTF-8''%E6%97%A5%E6%9C%AC.txt", u"日本.txt"},
        {u"attachment; filename*=utf-8'ja'%e6%97%a5.txt; filename=\"plain.txt\"", u"日.txt"},
        {u"attachment; filename=\"plain.txt\"; filename*=UTF-8''ext.txt", u"ext.txt"},
        {u"attachment; filename*=ISO-8859-1''na%EFve.txt", u"na\u00efve.txt"},
        // An extended name that can't be used leaves the plain one.
        {u"attachment; filename*=UTF-8''%FF%FE.txt; filename=ok.txt", u"ok.txt"},
        {u"attachment; filename*=KOI8-R''x.txt; filename=ok.txt", u"ok.txt"},
        {u"attachment; filename*=UTF-8''bad%2.txt; filename=ok.txt", u"ok.txt"},
        {u"attachment; filename*=\"UTF-8''quoted.txt\"; filename=ok.txt", u"ok.txt"},
        {u"attachment; filename*=UTF-8''..%2F..%2Fetc%2Fpasswd; filename=ok.txt", u"ok.txt"},
        // A ";" inside quotes belongs to the name.
        {u"attachment; filename=\"a;b.txt\"", u"a;b.txt"},
        // Names no server may choose, in either form.
        {u"attachment; filename=\"../evil.sh\"", u""},
        {u"attachment; filename=\"dir/f.txt\"", u""},
        {u"attachment; filename=\"..\\\\evil\"", u""},
        {u"attachment; filename=\".bashrc\"", u""},
        {u"attachment; filename*=UTF-8''.profile", u""},
        {u"attachment; filename=\"..\"", u""},
        {u"attachment; filename=\"c:boot.ini\"", u""},
        {u"attachment; filename*=UTF-8''a%0Ab.txt", u""},
        {u"attachment; filename*=UTF-8''a%00b.txt", u""},
        {u"attachment; filename=\"\"", u""},
        {u"attachment; filename=", u""},
        {u"attachment; filename", u""},
        {u"attachment", u""},
        {u"", u""},
        {u"filename=top.txt", u""}, // a parameter comes after the type and ";"
        {u"attachment; name=\"field\"; filenames=x.txt", u""},
    };
    for (const auto& c : cases) {
        WCHAR buffer[64];
        const int result = HttpContentDispositionName(c.value.c_str(), buffer, 64);
        EXPECT_EQ(result, c.name.empty() ? kResultNo : kResultOk) << c.value.size();
        EXPECT_EQ(std::u16string(buffer), c.name) << c.value.size();
    }
}

TEST(ContentDisposition, ANameLongerThanTheBufferIsRefusedNotCut) {
    const std::u16string name(63, u'n');
    WCHAR buffer[64];
    const std::u16string fits = u"attachment; filename=" + name;
    EXPECT_EQ(HttpContentDispositionName(fits.c_str(), buffer, 64), kResultOk);
    EXPECT_EQ(std::u16string(buffer), name);
    const std::u16string longer = u"attachment; filename*=UTF-8''" + name + u"n";
    EXPECT_EQ(HttpContentDispositionName(longer.c_str(), buffer, 64), kResultNo);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(HttpContentDispositionName(nullptr, buffer, 64), kResultNullArgument);
    EXPECT_EQ(HttpContentDispositionName(fits.c_str(), buffer, 0), kResultNullArgument);
}

} // namespace
