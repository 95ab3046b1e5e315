// The two programs' command lines, as a person first meets them.
#include <gtest/gtest.h>

#include "support/processes.hpp"

TEST(Programs, HelpPrintsTheUsageOnStandardOutputAndSucceeds) {
    for (const char* program : {QEL_BIN_DIR "/qelserver", QEL_BIN_DIR "/qelhost"}) {
        CommandResult r = RunCommand({program, "--help"});
        EXPECT_EQ(r.status, 0) << program << ": " << r.err;
        EXPECT_NE(r.out.find("uso: "), std::string::npos) << program << ": " << r.out;
        EXPECT_TRUE(r.err.empty()) << program << ": " << r.err;
    }
}
