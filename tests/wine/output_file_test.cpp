// Opening the output file in every save mode, automatic names, the second
// "ACK\r" of a transfer, and the removal of a file left empty.
#include "app/settings.h"
#include "errors/error_codes.h"
#include "session/output_file.h"

#include "test_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

SYSTEMTIME At1437()
{
    SYSTEMTIME time{};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = 6;
    time.wHour = 14;
    time.wMinute = 37;
    return time;
}

void WriteToOutput(const std::string& bytes)
{
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(outputFile, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CloseOutputFile();
        outputFileCreatedThisSession = false;
        std::strcpy(settings.outputFileName, "stored.txt");
    }
    void TearDown() override { CloseOutputFile(); }

    int Open(SaveMode mode, const std::string& name)
    {
        settings.saveMode = mode;
        return OpenOutputFileAt(dir_.Path().c_str(), name.c_str(), At1437());
    }
    TestDir dir_;
};

}  // namespace

TEST_F(OutputFileTest, OverwriteEmptiesAnExistingFile)
{
    WriteWholeFile(dir_.File("out.txt"), "earlier data");
    ASSERT_EQ(Open(OVERWRITE, "out.txt"), 1);
    EXPECT_TRUE(outputFileCreatedThisSession);
    WriteToOutput("new");
    CloseOutputFile();
    EXPECT_EQ(ReadWholeFile(dir_.File("out.txt")), "new");
    EXPECT_EQ(std::string(OutputFilePath()), dir_.File("out.txt"));
}

TEST_F(OutputFileTest, AppendWritesAfterTheLastByteOrCreatesTheFile)
{
    WriteWholeFile(dir_.File("out.txt"), "earlier;");
    ASSERT_EQ(Open(APPEND, "out.txt"), 1);
    EXPECT_FALSE(outputFileCreatedThisSession);
    WriteToOutput("more");
    CloseOutputFile();
    EXPECT_EQ(ReadWholeFile(dir_.File("out.txt")), "earlier;more");

    ASSERT_EQ(Open(AUTO_APPEND, "fresh.txt"), 1);
    EXPECT_TRUE(outputFileCreatedThisSession);
    WriteToOutput("x");
    CloseOutputFile();
    EXPECT_EQ(ReadWholeFile(dir_.File("fresh.txt")), "x");
}

TEST_F(OutputFileTest, FailuresGiveTheModesCodeAndLeaveNoFileOpen)
{
    WriteWholeFile(dir_.File("held.txt"), "x");
    HANDLE holder = CreateFileA(dir_.File("held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(OVERWRITE, "held.txt"), ERR_FILE_CREATE);
    EXPECT_EQ(outputFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(APPEND, "held.txt"), ERR_FILE_OPEN);
    EXPECT_EQ(Open(AUTO_APPEND, "held.txt"), ERR_FILE_OPEN);
    EXPECT_EQ(outputFile, INVALID_HANDLE_VALUE);
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(dir_.File("held.txt")), "x");
}

TEST_F(OutputFileTest, APathOver260CharactersIsAFailedOpen)
{
    const std::string name(260 - dir_.Path().size(), 'n');   // one character too many
    EXPECT_EQ(Open(OVERWRITE, name), ERR_FILE_CREATE);
    EXPECT_EQ(Open(APPEND, name), ERR_FILE_OPEN);
    const std::string fits(259 - dir_.Path().size(), 'n');
    EXPECT_EQ(Open(OVERWRITE, fits), 1);
}

TEST_F(OutputFileTest, KeyboardEmulationOpensNothing)
{
    EXPECT_EQ(Open(KEYBOARD_EMULATION, "out.txt"), 1);
    EXPECT_EQ(outputFile, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(PathExists(dir_.File("out.txt")));
}

TEST_F(OutputFileTest, ASecondAckOfTheSameTransferKeepsTheOpenFile)
{
    ASSERT_EQ(Open(OVERWRITE, "out.txt"), 1);
    HANDLE first = outputFile;
    WriteToOutput("record1");
    EXPECT_EQ(Open(OVERWRITE, "out.txt"), 1);
    EXPECT_EQ(outputFile, first);
    WriteToOutput("record2");
    CloseOutputFile();
    EXPECT_EQ(ReadWholeFile(dir_.File("out.txt")), "record1record2");

    ASSERT_EQ(Open(AUTO_FILE_NAME, ""), 1);
    EXPECT_EQ(Open(AUTO_FILE_NAME, ""), 1);
    CloseOutputFile();
    EXPECT_TRUE(PathExists(dir_.File("6C061437.TXT")));
    EXPECT_FALSE(PathExists(dir_.File("6C061438.TXT")));
}

TEST_F(OutputFileTest, AutomaticNameTakesTheFirstFreeCandidate)
{
    ASSERT_EQ(Open(AUTO_FILE_NAME, "ignored.txt"), 1);
    EXPECT_STREQ(settings.outputFileName, "6C061437.TXT");
    CloseOutputFile();
    WriteWholeFile(dir_.File("6C061438.TXT"), "taken");
    ASSERT_EQ(Open(AUTO_FILE_NAME, ""), 1);
    EXPECT_STREQ(settings.outputFileName, "6C061439.TXT");
    EXPECT_EQ(std::string(OutputFilePath()), dir_.File("6C061439.TXT"));
    EXPECT_FALSE(PathExists(dir_.File("ignored.txt")));
}

TEST_F(OutputFileTest, AllElevenCandidatesTakenGivesCreateErrorAndNoNewFile)
{
    const char* names[] = {"6C061437", "6C061438", "6C061439", "6C06143A", "6C06143B", "6C06143C",
                           "6C06143D", "6C06143E", "6C06143F", "6C06143G", "6C06143H"};
    for (const char* name : names) WriteWholeFile(dir_.File(std::string(name) + ".TXT"), "old");
    EXPECT_EQ(Open(AUTO_FILE_NAME, ""), ERR_FILE_CREATE);
    EXPECT_STREQ(settings.outputFileName, "stored.txt");
    EXPECT_EQ(outputFile, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(PathExists(dir_.File("6C06143I.TXT")));
    for (const char* name : names) EXPECT_EQ(ReadWholeFile(dir_.File(std::string(name) + ".TXT")), "old");
}

TEST_F(OutputFileTest, AutomaticNameInAMissingDirectoryFails)
{
    settings.saveMode = AUTO_FILE_NAME;
    EXPECT_EQ(OpenOutputFileAt(dir_.File("missing").c_str(), "", At1437()), ERR_FILE_CREATE);
    EXPECT_EQ(outputFile, INVALID_HANDLE_VALUE);
}

TEST_F(OutputFileTest, DriveRootDirectoryGivesTwoBackslashesInARow)
{
    settings.saveMode = OVERWRITE;
    const std::string name = "varnolt_root_" + std::to_string(GetCurrentProcessId()) + ".txt";
    ASSERT_EQ(OpenOutputFileAt("C:\\", name.c_str(), At1437()), 1);
    CloseOutputFile();
    EXPECT_EQ(std::string(OutputFilePath()), "C:\\\\" + name);
    EXPECT_TRUE(PathExists("C:\\" + name));
    EXPECT_TRUE(DeleteOutputFileIfLeftEmpty(OutputFilePath()));
    EXPECT_FALSE(PathExists("C:\\" + name));
}

TEST_F(OutputFileTest, OnlyAnEmptyFileThisSessionCreatedOrEmptiedIsDeleted)
{
    // Created and left empty: deleted, even while still open.
    ASSERT_EQ(Open(OVERWRITE, "empty.txt"), 1);
    EXPECT_TRUE(DeleteOutputFileIfLeftEmpty(dir_.File("empty.txt").c_str()));
    EXPECT_FALSE(PathExists(dir_.File("empty.txt")));
    EXPECT_EQ(outputFile, INVALID_HANDLE_VALUE);

    // Created and written: stays.
    ASSERT_EQ(Open(OVERWRITE, "data.txt"), 1);
    WriteToOutput("r");
    CloseOutputFile();
    EXPECT_FALSE(DeleteOutputFileIfLeftEmpty(dir_.File("data.txt").c_str()));
    EXPECT_TRUE(PathExists(dir_.File("data.txt")));

    // An empty file that was there before an append: not ours, stays.
    WriteWholeFile(dir_.File("before.txt"), "");
    ASSERT_EQ(Open(APPEND, "before.txt"), 1);
    CloseOutputFile();
    EXPECT_FALSE(DeleteOutputFileIfLeftEmpty(dir_.File("before.txt").c_str()));
    EXPECT_TRUE(PathExists(dir_.File("before.txt")));

    // Another path than the one opened: never touched.
    WriteWholeFile(dir_.File("other.txt"), "");
    ASSERT_EQ(Open(OVERWRITE, "mine.txt"), 1);
    CloseOutputFile();
    EXPECT_FALSE(DeleteOutputFileIfLeftEmpty(dir_.File("other.txt").c_str()));
    EXPECT_TRUE(PathExists(dir_.File("other.txt")));
    // And the check is one-shot: asked twice, the second answer is no.
    EXPECT_TRUE(DeleteOutputFileIfLeftEmpty(dir_.File("mine.txt").c_str()));
    EXPECT_FALSE(DeleteOutputFileIfLeftEmpty(dir_.File("mine.txt").c_str()));
}
