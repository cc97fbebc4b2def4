#include "messages.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace dravonel;

namespace {

QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

QString codePoints(std::initializer_list<char16_t> units) {
    QString out;
    for (char16_t u : units)
        out += QChar(u);
    return out;
}

const QChar kIdeographicSpace(0x3000);

} // namespace

TEST(Messages, ProgramTextsKeepTheirFullWidthForms) {
    EXPECT_EQ(resDravonel(1), utf8("Dravo圧縮"));
    EXPECT_EQ(resDravonel(9999), utf8("Dravonel2 for Win32"));
    // Full-width digits, yen sign and Latin letters must survive as such.
    EXPECT_EQ(resDravonel(8035), codePoints({0xFF12, 0x91CD}));
    EXPECT_EQ(resDravonel(3100), utf8("一度で実行できるファイル数は最大１０００までです。"));
    EXPECT_TRUE(resDravonel(203).contains(QChar(0xFFE5)));
    EXPECT_EQ(resDravonel(2200),
              utf8("フィルターに不正な値が設定されました。初期値に戻します。（初期値　*.*）"));
}

TEST(Messages, RunStatusLinesBeginWithOneIdeographicSpace) {
    for (int id : {20000, 20001, 20002, 20003, 20004, 20005, 20010, 20015, 20020, 20021, 20040,
                   20042, 20043, 20044, 20050, 20101}) {
        const QString text = resDravonel(id);
        ASSERT_GE(text.size(), 2) << id;
        EXPECT_EQ(text[0], kIdeographicSpace) << id;
        EXPECT_NE(text[1], kIdeographicSpace) << id;
    }
    EXPECT_EQ(resDravonel(20000), kIdeographicSpace + utf8("ＬＺＨ圧縮中です"));
    // The tail of the skipped-files line and the library-busy messages are not indented.
    EXPECT_EQ(resDravonel(20041), utf8("あります"));
    EXPECT_EQ(resDravonel(20100), utf8("現在UNLHA32.DLLは使用中です"));
}

TEST(Messages, CancelCaptionIsHalfWidthKatakana) {
    const QString cancel = codePoints({0xFF77, 0xFF6C, 0xFF9D, 0xFF7E, 0xFF99});
    EXPECT_EQ(resAll(5), cancel);
    EXPECT_EQ(resAll(8043), cancel);
}

TEST(Messages, FileDialogFiltersKeepTheirBars) {
    EXPECT_EQ(resDravonel(12), utf8("DravonelFile(*.DVF)|*.DVF"));
    EXPECT_EQ(resAll(11), utf8("LogFile(*.LOG)|*.LOG|全てのファイル(*.*)|*.*"));
}

TEST(Messages, BracketedCharactersAreLiteral) {
    EXPECT_EQ(resAll(101), utf8("フォルダ名には [\\] は使用できません"));
    EXPECT_EQ(resAll(102), utf8("フォルダ名には [*] は使用できません"));
    EXPECT_EQ(resAll(103), utf8("フォルダ名には [?] は使用できません"));
}

TEST(Messages, SharedTextsAreIdentical) {
    const std::pair<int, int> program[] = {{1004, 3006}, {3007, 4004},   {5000, 5001},
                                           {8033, 8039}, {10020, 10040}, {10002, 10063}};
    for (auto [a, b] : program) {
        EXPECT_FALSE(resDravonel(a).isEmpty()) << a;
        EXPECT_EQ(resDravonel(a), resDravonel(b)) << a << " " << b;
    }
    EXPECT_EQ(resAll(5), resAll(8043));
    EXPECT_EQ(resAll(1100), resAll(11101));
    EXPECT_FALSE(resAll(1100).isEmpty());
    EXPECT_EQ(resAll(5101), resDravonel(201));
    EXPECT_EQ(resAll(5101), utf8("セーブできませんでした。"));
    // Similar but not shared: the common overwrite question has no final full stop.
    EXPECT_EQ(resDravonel(200), resAll(5100) + utf8("。"));
}

TEST(Messages, TablesAreSeparateNameSpaces) {
    for (int id = 8056; id <= 8060; ++id) {
        EXPECT_FALSE(resDravonel(id).isEmpty()) << id;
        EXPECT_FALSE(resAll(id).isEmpty()) << id;
        EXPECT_NE(resDravonel(id), resAll(id)) << id;
    }
    EXPECT_EQ(resAll(8061), utf8("自動実行時、結果を自動的にクリップボートにコピーします"));
    EXPECT_EQ(resDravonel(8061), QString());
    EXPECT_EQ(resAll(1), QString());
    EXPECT_EQ(resDravonel(5), QString());
}

TEST(Messages, ContactLinesAreCommonMessages) {
    for (int id : {7003, 7004, 7005}) {
        EXPECT_FALSE(resAll(id).isEmpty()) << id;
        EXPECT_EQ(resDravonel(id), QString()) << id;
    }
    EXPECT_TRUE(resAll(7004).contains(u'@'));
}

TEST(Messages, UnlistedIdentifiersGiveEmptyText) {
    for (int id : {0, -1, -32768, 32767, 99999, 5, 10, 13, 10059, 10064, 20045, 20102}) {
        EXPECT_EQ(resDravonel(id), QString()) << id;
    }
    for (int id : {0, -1, -32768, 32767, 1, 12, 7002, 7006, 11001, 11104}) {
        EXPECT_EQ(resAll(id), QString()) << id;
    }
    // Listed, but empty; its neighbours have texts.
    EXPECT_EQ(resDravonel(10060), QString());
    EXPECT_EQ(resDravonel(10061), utf8("テンポラリドライブ名を設定します"));
}

TEST(Messages, EveryListedIdentifierIsFound) {
    EXPECT_EQ(resDravonelTable().size(), 125u);
    EXPECT_EQ(resAllTable().size(), 54u);
    for (const MessageEntry& e : resDravonelTable()) {
        const QString text = resDravonel(e.id);
        EXPECT_EQ(text, QString::fromUtf8(e.text)) << e.id;
        EXPECT_EQ(text.isEmpty(), e.id == 10060) << e.id;
    }
    for (const MessageEntry& e : resAllTable()) {
        const QString text = resAll(e.id);
        EXPECT_EQ(text, QString::fromUtf8(e.text)) << e.id;
        EXPECT_FALSE(text.isEmpty()) << e.id;
    }
}
