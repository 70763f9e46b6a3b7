// Entry of the Win32-side test executable.
#include <gtest/gtest.h>

#include "core/settings.h"
#include "errors/report_error.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // As start-up does: error reporting reads the settings record.
    UseErrorSettings(&settings.showErrorMessages, settings.outputDirectory);
    return RUN_ALL_TESTS();
}
