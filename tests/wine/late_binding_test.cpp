// Every function the program takes from a library when first needed must be
// found there, in this build (a wrong name, a decoration the library does not
// export, a library that is not where the program looks): otherwise a dialog
// or a telephony session fails on a site's first use of it.
#include "link/late_binding.h"

#include <gtest/gtest.h>

TEST(LateBindingTest, EveryLateBoundFunctionIsFound)
{
    for (int index = 0; index < LATE_FUNCTION_COUNT; ++index) {
        const auto id = static_cast<LateFunctionId>(index);
        EXPECT_NE(LateAddress(id), nullptr) << LateLibraryName(id) << " has no " << LateFunctionName(id);
    }
}
