// The one writer of kqcam's files, on the races a process test cannot
// stage: a name taken while the file is written, a type known only at the
// end, a writer that gives up.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "filename.h"
#include "process.h"

namespace kqcam {
namespace {

using kqcam_test::FreshFolder;
using kqcam_test::ListFolder;
using kqcam_test::ReadFile;
using kqcam_test::WriteFile;

#if defined(_WIN32)
const char kSep[] = "\\";
#else
const char kSep[] = "/";
#endif

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = FreshFolder(std::string("OutputFile.") +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::string In(const std::string& name) const { return dir_ + kSep + name; }
    std::unique_ptr<OutputFile> Create(const std::string& name, ExistingFiles existing = ExistingFiles::kMovePast) {
        std::string skipped;
        return OutputFile::Create(In(name), "jpg", existing, &counter_, &skipped);
    }
    std::string dir_;
    unsigned counter_ = 0;
};

TEST_F(OutputFileTest, ANameTakenWhileWritingIsPassedOverNotReplaced) {
    std::unique_ptr<OutputFile> file = Create("a%n.jpg");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Path(), In("a1.jpg"));
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{"a1.jpg.part"});
    WriteFile(In("a1.jpg"), "someone else's");
    ASSERT_TRUE(file->Write("mine", 4));
    EXPECT_EQ(file->Commit(), In("a2.jpg"));
    EXPECT_EQ(ReadFile(In("a1.jpg")), "someone else's");
    EXPECT_EQ(ReadFile(In("a2.jpg")), "mine");
    EXPECT_EQ(counter_, 2u);

    // Without a counter the number goes before the suffix.
    file = Create("b.jpg");
    WriteFile(In("b.jpg"), "first");
    file->Write("second", 6);
    EXPECT_EQ(file->Commit(), In("b-1.jpg"));
}

TEST_F(OutputFileTest, TheSuffixComesFromTheDataAtTheEnd) {
    const std::uint8_t tiff[] = {'I', 'I', 42, 0};
    EXPECT_EQ(SuffixOfData(tiff, 4), "tif");
    EXPECT_EQ(SuffixOfData(tiff, 3), "");
    std::unique_ptr<OutputFile> file = Create("c%n.%C");
    EXPECT_EQ(file->Path(), In("c1.jpg"));
    file->Write(tiff, sizeof tiff);
    EXPECT_EQ(file->Commit(SuffixOfData(tiff, sizeof tiff)), In("c1.tif"));
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{"c1.tif"});
}

TEST_F(OutputFileTest, AnAbandonedFileLeavesNothingAndOverwriteReplaces) {
    {
        std::unique_ptr<OutputFile> file = Create("d.jpg");
        file->Write("half", 4);
    }
    EXPECT_TRUE(ListFolder(dir_).empty());

    WriteFile(In("e.jpg"), "old");
    std::unique_ptr<OutputFile> skipped = Create("e.jpg", ExistingFiles::kSkip);
    EXPECT_FALSE(skipped);
    std::unique_ptr<OutputFile> file = Create("e.jpg", ExistingFiles::kOverwrite);
    file->Write("new", 3);
    EXPECT_EQ(file->Commit(), In("e.jpg"));
    EXPECT_EQ(ReadFile(In("e.jpg")), "new");

    // A cut keeps what comes before it and forgets a failed write.
    file = Create("f.jpg");
    file->Write("whole|cut", 9);
    ASSERT_TRUE(file->TruncateTo(5));
    EXPECT_EQ(file->Commit(), In("f.jpg"));
    EXPECT_EQ(ReadFile(In("f.jpg")), "whole");
}

}  // namespace
}  // namespace kqcam
