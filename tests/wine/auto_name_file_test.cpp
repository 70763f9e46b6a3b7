// The automatic name's last chance: ten names taken, the eleventh is tried.
#include "core/settings.h"
#include "errors/error_codes.h"
#include "session/output_file.h"

#include "test_dir.h"
#include "tests/common/restore_guard.h"

#include <gtest/gtest.h>

#include <string>

TEST(AutoFileName, TheEleventhCandidateIsTriedWhenTheFirstTenAreTaken)
{
    const Restore keep(settings);
    TestDir dir;
    for (char running : std::string("789ABCDEFG")) WriteWholeFile(dir.File(std::string("6C06143") + running + ".TXT"), "");
    settings.saveMode = AUTO_FILE_NAME;
    EXPECT_EQ(OpenOutputFileAt(dir.Path().c_str(), "", SYSTEMTIME{2026, 12, 0, 6, 14, 37, 0, 0}), 1);
    CloseOutputFile();
    EXPECT_STREQ(settings.outputFileName, "6C06143H.TXT");
}
