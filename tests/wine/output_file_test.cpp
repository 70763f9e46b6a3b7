// The output file: save modes, automatic names, a second "ACK\r", removal when left empty.
#include "core/settings.h"
#include "errors/error_codes.h"
#include "session/output_file.h"

#include "test_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

void WriteToOutput(const std::string& bytes)
{
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(outputFileState.file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override { std::strcpy(settings.outputFileName, "stored.txt"); }
    void TearDown() override { CloseOutputFile(); }
    // Opens at 14:37 on 6 December 2026, in the test's directory unless another is given.
    int Open(SaveMode mode, const std::string& name, std::string directory = "")
    {
        settings.saveMode = mode;
        directory = directory.empty() ? dir_.Path() : directory;
        return OpenOutputFileAt(directory.c_str(), name.c_str(), SYSTEMTIME{2026, 12, 0, 6, 14, 37, 0, 0});
    }
    TestDir dir_;
};

}  // namespace

TEST_F(OutputFileTest, EachSaveModeEmptiesAppendsOrCreatesAndFailsWithItsOwnCode)
{
    const struct {
        SaveMode mode;
        const char *before, *after;   // before: null for no file
        bool created;
    } rows[] = {{OVERWRITE, "earlier", "new", true}, {APPEND, "earlier;", "earlier;new", false},
        {APPEND, nullptr, "new", true}, {AUTO_APPEND, nullptr, "new", true}};
    for (const auto& row : rows) {
        if (row.before != nullptr) WriteWholeFile(dir_.File("out.txt"), row.before);
        else DeleteFileA(dir_.File("out.txt").c_str());
        ASSERT_EQ(Open(row.mode, "out.txt"), 1);
        EXPECT_EQ(outputFileState.createdThisSession, row.created) << row.mode;
        WriteToOutput("new");
        CloseOutputFile();
        EXPECT_EQ(ReadWholeFile(dir_.File("out.txt")), row.after) << row.mode;
    }
    EXPECT_EQ(Open(KEYBOARD_EMULATION, "kbd.txt"), 1);
    EXPECT_EQ(outputFileState.file, nullptr);
    EXPECT_FALSE(PathExists(dir_.File("kbd.txt")));
    // A file held by another program is neither emptied nor opened.
    HANDLE holder = CreateFileA(dir_.File("out.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(Open(OVERWRITE, "out.txt"), ERR_FILE_CREATE);
    EXPECT_EQ(Open(APPEND, "out.txt"), ERR_FILE_OPEN);
    EXPECT_EQ(Open(AUTO_APPEND, "out.txt"), ERR_FILE_OPEN);
    EXPECT_EQ(outputFileState.file, nullptr);
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(dir_.File("out.txt")), "new");
}

TEST_F(OutputFileTest, ASecondAckOfTheSameTransferKeepsTheOpenFile)
{
    ASSERT_EQ(Open(OVERWRITE, "out.txt"), 1);
    HANDLE first = outputFileState.file;
    WriteToOutput("record1");
    EXPECT_EQ(Open(OVERWRITE, "out.txt"), 1);
    EXPECT_EQ(outputFileState.file, first);
    WriteToOutput("record2");
    CloseOutputFile();
    EXPECT_EQ(ReadWholeFile(dir_.File("out.txt")), "record1record2");
    EXPECT_EQ(Open(AUTO_FILE_NAME, "") + Open(AUTO_FILE_NAME, ""), 2);
    EXPECT_TRUE(PathExists(dir_.File("6C061437.TXT")));
    EXPECT_FALSE(PathExists(dir_.File("6C061438.TXT")));
}

TEST_F(OutputFileTest, AutomaticNameTakesTheFirstFreeOfElevenCandidates)
{
    WriteWholeFile(dir_.File("6C061437.TXT"), "taken");
    WriteWholeFile(dir_.File("6C061438.TXT"), "taken");
    ASSERT_EQ(Open(AUTO_FILE_NAME, "ignored.txt"), 1);
    EXPECT_STREQ(settings.outputFileName, "6C061439.TXT");
    EXPECT_EQ(std::string(outputFileState.path), dir_.File("6C061439.TXT"));
    CloseOutputFile();
    std::strcpy(settings.outputFileName, "stored.txt");
    for (const char* c : {"A", "B", "C", "D", "E", "F", "G", "H"}) WriteWholeFile(dir_.File(std::string("6C06143") + c + ".TXT"), "");
    EXPECT_EQ(Open(AUTO_FILE_NAME, ""), ERR_FILE_CREATE);
    EXPECT_STREQ(settings.outputFileName, "stored.txt");
    EXPECT_EQ(outputFileState.file, nullptr);
    EXPECT_FALSE(PathExists(dir_.File("6C06143I.TXT")));
    EXPECT_EQ(ReadWholeFile(dir_.File("6C061437.TXT")), "taken");
    EXPECT_EQ(Open(AUTO_FILE_NAME, "", dir_.File("missing")), ERR_FILE_CREATE);
}

TEST_F(OutputFileTest, OnlyAnEmptyFileThisSessionCreatedOrEmptiedIsDeleted)
{
    ASSERT_EQ(Open(OVERWRITE, "empty.txt"), 1);   // still open: closed, then deleted
    EXPECT_TRUE(DeleteOutputFileIfLeftEmpty(dir_.File("empty.txt").c_str()));
    EXPECT_FALSE(PathExists(dir_.File("empty.txt")));
    EXPECT_EQ(outputFileState.file, nullptr);
    ASSERT_EQ(Open(OVERWRITE, "data.txt"), 1);
    WriteToOutput("r");
    CloseOutputFile();
    EXPECT_FALSE(DeleteOutputFileIfLeftEmpty(dir_.File("data.txt").c_str()));
    WriteWholeFile(dir_.File("before.txt"), "");   // empty before an append: not ours
    ASSERT_EQ(Open(APPEND, "before.txt"), 1);
    CloseOutputFile();
    EXPECT_FALSE(DeleteOutputFileIfLeftEmpty(dir_.File("before.txt").c_str()));
    WriteWholeFile(dir_.File("other.txt"), "");
    ASSERT_EQ(Open(OVERWRITE, "mine.txt"), 1);
    CloseOutputFile();
    EXPECT_FALSE(DeleteOutputFileIfLeftEmpty(dir_.File("other.txt").c_str()));   // another path than opened
    EXPECT_TRUE(DeleteOutputFileIfLeftEmpty(dir_.File("mine.txt").c_str()));
    for (const char* kept : {"data.txt", "before.txt", "other.txt"}) EXPECT_TRUE(PathExists(dir_.File(kept))) << kept;
}

namespace {

// The file calls of a record's write, failing on request and logging their order.
struct FailingFile {
    static inline std::string calls;
    static inline DWORD shortBy = 0;
    static inline bool flushFails = false;
    static BOOL WINAPI Write(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
    {
        calls += "write ";
        // A full disk takes part of a record and reports the rest as not written.
        const BOOL done = WriteFile(file, bytes, count - shortBy, written, overlapped);
        if (shortBy) SetLastError(ERROR_DISK_FULL);
        return shortBy ? FALSE : done;
    }
    static BOOL WINAPI Flush(HANDLE file)
    {
        calls += "flush ";
        return flushFails ? FALSE : FlushFileBuffers(file);
    }
};

}  // namespace

TEST_F(OutputFileTest, ARecordIsDurableBeforeItCountsAndAFailedOneLeavesNothingBehind)
{
    outputFileIo = OutputFileIo{.writeFile = FailingFile::Write, .flushFileBuffers = FailingFile::Flush};
    WriteWholeFile(dir_.File("out.txt"), "earlier\r\n");
    ASSERT_EQ(Open(APPEND, "out.txt"), 1);
    const struct { const char* name; DWORD shortBy; bool flushFails; bool written; } rows[] = {
        {"whole and flushed", 0, false, true},
        {"short write", 5, false, false},
        {"flush failed", 0, true, false},
        {"next record after the failures", 0, false, true},
    };
    std::string expected = "earlier\r\n";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FailingFile::calls.clear();
        FailingFile::shortBy = row.shortBy;
        FailingFile::flushFails = row.flushFails;
        const std::string record = std::string(row.name) + "\r\n";
        EXPECT_EQ(row.written, WriteOutputRecord(reinterpret_cast<const uint8_t*>(record.data()),
                                                 static_cast<int>(record.size())));
        if (row.written) expected += record;
        EXPECT_EQ(FailingFile::calls, row.shortBy ? "write " : "write flush ");
        LARGE_INTEGER size{};
        ASSERT_TRUE(GetFileSizeEx(outputFileState.file, &size));
        EXPECT_EQ(static_cast<size_t>(size.QuadPart), expected.size()) << "nothing of a failed record stays";
    }
    outputFileIo = PLATFORM_OUTPUT_FILE_IO;
    EXPECT_TRUE(CloseOutputFile());
    EXPECT_EQ(ReadWholeFile(dir_.File("out.txt")), expected);
    EXPECT_FALSE(WriteOutputRecord(reinterpret_cast<const uint8_t*>("x"), 1)) << "no file open";
}
