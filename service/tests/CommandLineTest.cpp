// tarvinesvc.exe's command line, run as a child process with its output
// read through a pipe. The C runtime writes "\n" as "\r\n" on a stream in
// text mode, as it does on Windows.
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

namespace {

const char kHelp[] =
    "\r\ntarvinesvc V1.35\r\nTarvine control Service\r\n\r\n"
    "Supported command line options:\r\n"
    " -install    Install the service.\r\n"
    " -uninstall  Uninstall the service.\r\n"
    " -start      Start the service.\r\n"
    " -stop       Stop the service.\r\n"
    " -console    Start service in console mode.\r\n"
    " -h, -?      Print this help message.\r\n\r\n";

struct CommandLineCase {
    const wchar_t* arguments;
    uint32_t exitCode;
    const char* output;
};

// None of these reaches the service control manager.
const CommandLineCase kCases[] = {
    {L"", 1, "No arguments given, use -h.\r\n"},
    {L"-INSTALL", 1, "Unknown argument -INSTALL, use -h.\r\n"},
    {L"-Console", 1, "Unknown argument -Console, use -h.\r\n"},
    {L"install", 1, "Unknown argument install, use -h.\r\n"},
    {L"-h", 0, kHelp},
    {L"-?", 0, kHelp},
    {L"-h -install extra", 0, kHelp},
    // Only the service control manager can run the service: -1, no message.
    {L"-service", 0xFFFFFFFFu, ""},
};

TEST(CommandLine, MessagesAndExitCodes)
{
    for (const CommandLineCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << "arguments \"" << std::string(c.arguments, c.arguments + wcslen(c.arguments))
                                        << "\"");
        ProgramRun run = RunServiceProgram(c.arguments);
        ASSERT_TRUE(run.ended) << "tarvinesvc did not end";
        EXPECT_EQ(c.exitCode, run.exitCode);
        EXPECT_EQ(c.output, run.output);
    }
}

} // namespace
