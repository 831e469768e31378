#include <gtest/gtest.h>

#include <cerrno>

#include "platform/DebugOutput.h"
#include "platform/Exceptions.h"

using namespace elo;

TEST(Exceptions, CarryThePlatformMessages) {
    EXPECT_STREQ(EListError(1).what(), "List index out of bounds (1)");
    EXPECT_EQ(EConvertError::NotAnInteger("x").Message, "'x' is not a valid integer value");
    EXPECT_EQ(EFOpenError::CannotOpen("/a/b.lnk", ENOENT).Message, "Cannot open file /a/b.lnk");
    EXPECT_EQ(EInOutError::FromErrno(ENOSPC).Message, "Disk full");
    EXPECT_EQ(EInOutError::FromErrno(EACCES).Message, "File access denied");
    EXPECT_EQ(EReadError().Message, "Stream read error");
    // The whole family is caught as the base class.
    try {
        throw EFOpenError::CannotOpen("x");
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "Cannot open file x");
    }
}

TEST(DebugOutput, GoesToTheInstalledHook) {
    std::string seen;
    auto previous = SetDebugOutputHook([&](std::string_view t) { seen += std::string(t) + "|"; });
    DebugOutput("one");
    DebugOutput("two");
    SetDebugOutputHook(previous);
    DebugOutput("three");
    EXPECT_EQ(seen, "one|two|");
}
