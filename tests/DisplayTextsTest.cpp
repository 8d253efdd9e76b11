// The dialog's texts, digit for digit, including the values where the
// single-precision step or the tie rule decides the last digit.
#include "dialog/DisplayTexts.h"

#include "SizeOracle.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace quorvel {
namespace {

const auto Utf8 = [](const std::u16string& s) { return Utf16ToUtf8(s); };

TEST(FormatSizeText, Table)
{
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0Byte"},
        {1, "1Byte"},
        {1023, "1023Byte"},
        {1024, "1.000KB"},
        {1088, "1.063KB"},  // exactly 1.0625: a tie, away from zero
        {1024 + 192, "1.188KB"},  // 1.1875, another odd multiple of 64
        {1024 + 320, "1.313KB"},  // 1.3125
        {1048575, "1023.999KB"},
        {1048576, "1.000MB"},
        {1572864, "1.500MB"},
        {0x3FFFFFFF, "1024.000MB"},  // the float step rounds up past 1023.9999990
        {0x40000000, "1.000GB"},
        {uint64_t {1} << 32, "4.000GB"},
        {1048576525, "1000.000MB"},  // float gives 1000.00048828125; the double would print 1000.001
        {1048576 + 524, "1.000MB"},  // 1.00049973: below the tie
        {1048576 + 525, "1.001MB"},  // 1.000500679 as a float: 1.00050067901611328125
        {(uint64_t {1} << 30) * 1000 + (uint64_t {1} << 19), "1000.000GB"},  // 1000.00048828125 exactly after float
        {UINT64_MAX, "17179869184.000GB"},  // rounds up to 2^64 as a float
        {(uint64_t {1} << 63) + 1, "8589934592.000GB"},
    };
    for (const auto& [size, expected] : cases)
        EXPECT_EQ(Utf8(FormatSizeText(size)), expected) << size;
}

TEST(FormatSizeText, AgreesWithAnIndependentOracleAcrossTheRange)
{
    const uint32_t seed = 4242;
    std::mt19937_64 rng(seed);
    for (int i = 0; i < 200000; ++i) {
        // Spread over every magnitude, and near multiples of 64 where ties live.
        const int bits = 1 + static_cast<int>(rng() % 64);
        uint64_t size = rng() >> (64 - bits);
        if (i % 3 == 0)
            size = (size & ~uint64_t {63}) | 32;
        ASSERT_EQ(Utf8(FormatSizeText(size)), test::SizeOracle(size)) << size << " seed " << seed;
    }
}

TEST(FormatClockText, PadsWithSpacesAndShowsAFailedConversionAsZerosAndMinusOnes)
{
    EXPECT_EQ(Utf8(FormatClockText(LocalTime {2012, 4, 19, 9, 5, 7})), "现在时间:2012年 4月19日 9: 5: 7");
    EXPECT_EQ(Utf8(FormatClockText(LocalTime {2026, 12, 31, 23, 59, 58})), "现在时间:2026年12月31日23:59:58");
    EXPECT_EQ(Utf8(FormatClockText(LocalTime {2026, 1, 1, 0, 0, 0})), "现在时间:2026年 1月 1日 0: 0: 0");
    EXPECT_EQ(Utf8(FormatClockText(LocalTime {10000, 1, 1, 0, 0, 0})), "现在时间:10000年 1月 1日 0: 0: 0");
    EXPECT_EQ(Utf8(FormatClockText(std::nullopt)), "现在时间:   0年 0月 0日-1:-1:-1");
}

TEST(FormatClockText, LocalTimeOfFixedInstantsGivesAFullLine)
{
    ASSERT_TRUE(ToLocalTime(CurrentTime()).has_value());
    // Noon UTC on 1 July is that day in every time zone but a day's edge;
    // 2040 is past the reach of a 32-bit time_t.
    for (const auto& [t, year] : {std::pair<int64_t, int> {1719835200, 2024}, {2224756800, 2040}}) {
        const auto local = ToLocalTime(t);
        ASSERT_TRUE(local.has_value()) << t;
        EXPECT_EQ(local->year, year);
        EXPECT_TRUE(local->month == 7 || (local->month == 6 && local->day == 30)) << local->month;
        EXPECT_EQ(FormatClockText(local).size(), std::u16string(u"现在时间:2012年 4月19日 9: 5: 7").size());
    }
}

TEST(FormatDoneText, TextsAndCaptions)
{
    const MessageText one = FormatDoneText(CipherDirection::Encipher, 1);
    EXPECT_EQ(Utf8(one.text), "文件加密完成,用时0.1秒");
    EXPECT_EQ(Utf8(one.caption), "加密完成");
    EXPECT_EQ(Utf8(FormatDoneText(CipherDirection::Encipher, 0).text), "文件加密完成,用时少于0.1秒");
    EXPECT_EQ(Utf8(FormatDoneText(CipherDirection::Decipher, 0).text), "文件解密完成,用时少于0.1秒");
    EXPECT_EQ(Utf8(FormatDoneText(CipherDirection::Decipher, 15).text), "文件解密完成,用时1.5秒");
    EXPECT_EQ(Utf8(FormatDoneText(CipherDirection::Decipher, 3).caption), "解密完成");
    EXPECT_EQ(Utf8(FormatDoneText(CipherDirection::Encipher, 36000).text), "文件加密完成,用时3600.0秒");
}

TEST(FormatDoneText, TenthsMatchPrintfOfTicksTimesPointOne)
{
    // The double ticks * 0.1 never sits on a tie, so any correct printf agrees.
    for (int64_t t : {1ll, 2ll, 3ll, 7ll, 9ll, 10ll, 11ll, 99ll, 12345ll, 2147483647ll, -1ll, -15ll, -2147483648ll}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.1f", static_cast<double>(t) * 0.1);
        EXPECT_EQ(Utf8(FormatDoneText(CipherDirection::Encipher, static_cast<int32_t>(t)).text),
                  std::string("文件加密完成,用时") + expected + "秒");
    }
}

TEST(FormatFailureText, NamesTheFileAndTheCause)
{
    const struct {
        JobStatus status;
        FileStatus file;
        const char* text;
        const char* caption;
    } cases[] = {
        {JobStatus::WriteFailed, {FileError::DiskFull, 28}, "写入文件“en_报告.doc”失败：磁盘空间不足。未生成输出文件。",
         "写入文件错误"},
        {JobStatus::ReadFailed, {FileError::Truncated, 0},
         "读取文件“报告.doc”失败：文件在处理过程中变短了。未生成输出文件。", "读取文件错误"},
        {JobStatus::CreateOutputFailed, {FileError::NameTooLong, 36}, "无法创建文件“en_报告.doc”：文件名太长。",
         "创建文件错误"},
        {JobStatus::CreateOutputFailed, {FileError::TooLarge, 223},
         "无法创建文件“en_报告.doc”：文件太大，此文件系统存放不下。", "创建文件错误"},
        // "文件不存在" only for a file that is really not there; any other cause is named.
        {JobStatus::OpenSourceFailed, {FileError::NotFound, 2}, "文件不存在", "打开文件错误"},
        {JobStatus::OpenSourceFailed, {FileError::InUse, 32}, "无法打开文件“报告.doc”：文件正被其他程序使用。",
         "打开文件错误"},
    };
    // An error without a name of its own is told in the system's words.
    const std::string systemWords = Utf8(SystemErrorText(5));  // EIO, ERROR_ACCESS_DENIED: words on both
    ASSERT_FALSE(systemWords.empty());
    JobOutcome outcome;
    outcome.outputName = u"en_报告.doc";
    for (const auto& c : cases) {
        outcome.status = c.status;
        outcome.file = c.file;
        const MessageText m = FormatFailureText(outcome, u"报告.doc");
        EXPECT_EQ(Utf8(m.text), c.text);
        EXPECT_EQ(Utf8(m.caption), c.caption);
    }
    outcome.file = {FileError::IsFolder, 0};
    EXPECT_EQ(Utf8(FormatFailureText(outcome, u"资料").text), "无法打开文件“资料”：这是一个文件夹。");
    outcome.file = {FileError::Other, 5};
    EXPECT_EQ(Utf8(FormatFailureText(outcome, u"资料").text), "无法打开文件“资料”：系统错误：" + systemWords + "（代码 5）。");
}

// Every reason reads as words in both languages, each its own; an error the
// program has no name for gives the system's words beside its code.
TEST(FileErrorText, EveryReasonIsWordsNeverABareNumber)
{
    std::vector<std::u16string> chinese, english;
    for (int e = static_cast<int>(FileError::NotFound); e < static_cast<int>(FileError::Other); ++e) {
        const FileStatus status {static_cast<FileError>(e), 77};
        chinese.push_back(FileErrorText(status, TextLanguage::Chinese, u"WORDS"));
        english.push_back(FileErrorText(status, TextLanguage::English, u"WORDS"));
        SCOPED_TRACE(Utf8(english.back()));
        for (const std::u16string* text : {&chinese.back(), &english.back()}) {
            EXPECT_EQ(text->find(u"77"), std::u16string::npos);
            EXPECT_EQ(text->find(u"WORDS"), std::u16string::npos);
        }
        EXPECT_EQ(english.back().find(u"system error"), std::u16string::npos);
    }
    for (auto* texts : {&chinese, &english}) {
        std::sort(texts->begin(), texts->end());
        EXPECT_EQ(std::adjacent_find(texts->begin(), texts->end()), texts->end()) << "two errors, one text";
    }
    const FileStatus unnamed {FileError::Other, 5};
    EXPECT_EQ(FileErrorText(unnamed, TextLanguage::English, u"Input/output error"),
              u"Input/output error (system error 5)");
    EXPECT_EQ(FileErrorText(unnamed, TextLanguage::Chinese, u"拒绝访问"), u"系统错误：拒绝访问（代码 5）");
    EXPECT_EQ(FileErrorText(unnamed, TextLanguage::English, u""), u"system error 5");
    EXPECT_EQ(FileErrorText({FileError::Other, 0}, TextLanguage::Chinese, u"WORDS"), u"系统错误（代码 0）");
}

}  // namespace
}  // namespace quorvel
