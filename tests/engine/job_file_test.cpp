// Reading job files without a host: each layout and line ending, and files
// broken part-way, which still give the values before the break.
#include "job_file.h"

#include <gtest/gtest.h>

using namespace dravonel;

namespace {

struct Case {
    const char* what;
    QByteArray text;
    const char *in, *out, *name; // null: not given
    QStringList entries;
};

std::optional<QString> given(const char* value) {
    return value ? std::optional<QString>(QString::fromUtf8(value)) : std::nullopt;
}

} // namespace

TEST(JobFileParse, TakesEachLayoutLineEndingAndBreak) {
    const Case cases[] = {
        {"header, CR LF",
         "Dravonel2 DVF FILE\r\nINDIR=/i\r\nOUTDIR=/o\r\nFILENAME=n\r\n/i/a b\r\n",
         "/i",
         "/o",
         "n",
         {"/i/a b"}},
        {"older name key, LF, byte-order mark",
         "\xEF\xBB\xBF"
         "Dravonel2 DVF FILE\nINDIR=/i\nOUTDIR=/o\nLZHFILENAME=日本\n/i/x\n/i/y",
         "/i",
         "/o",
         "日本",
         {"/i/x", "/i/y"}},
        {"bare values, CR", "/i\r/o\rname\r/i/z\r", "/i", "/o", "name", {"/i/z"}},
        {"no entries", "Dravonel2 DVF FILE\r\nINDIR=\r\nOUTDIR=\r\nFILENAME=\r\n", "", "", "", {}},
        {"broken at the output folder",
         "Dravonel2 DVF FILE\r\nINDIR=/i\r\nOUT=/o\r\n",
         "/i",
         nullptr,
         nullptr,
         {}},
        {"broken at the name",
         "Dravonel2 DVF FILE\r\nINDIR=/i\r\nOUTDIR=/o\r\nNAME=x\r\n/i/a\r\n",
         "/i",
         "/o",
         nullptr,
         {}},
        {"header alone", "Dravonel2 DVF FILE\r\n", nullptr, nullptr, nullptr, {}},
        {"empty", "", nullptr, nullptr, nullptr, {}},
    };
    for (const Case& c : cases) {
        const ParsedJob job = parseJobFile(c.text);
        EXPECT_EQ(job.inputFolder, given(c.in)) << c.what;
        EXPECT_EQ(job.outputFolder, given(c.out)) << c.what;
        EXPECT_EQ(job.archiveName, given(c.name)) << c.what;
        EXPECT_EQ(job.entries, c.entries) << c.what;
    }
}
