// The C run-time's wide file calls over the machine's files.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/crt.h"

namespace {

using platform::testing::Machine;

TEST(WideFiles, OpenOnTheMachinesDrives) {
    Machine machine;
    FILE* out = _wfopen(u"C:\\Users\\..\\out.txt", u"wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::fwrite("line\r", 1, 5, out), 5u);
    EXPECT_EQ(std::ftell(out), 5);
    EXPECT_EQ(std::fclose(out), 0);
    EXPECT_EQ(machine.readFile(u"C:\\OUT.TXT"), "line\r");
    FILE* append = _wfopen(u"c:/out.txt", u"at");  // text mode moves the bytes as they are
    ASSERT_NE(append, nullptr);
    std::fputs("\n", append);
    std::fclose(append);
    EXPECT_EQ(machine.readFile(u"C:\\out.txt"), "line\r\n");

    struct Case {
        const char* name;
        const char16_t* path;
        const char16_t* mode;
        int error;
    };
    const Case cases[] = {
        {"a missing folder", u"C:\\missing\\out.txt", u"wb", ENOENT},
        {"a missing file read", u"C:\\none.txt", u"rb", ENOENT},
        {"a mode fopen lacks", u"C:\\out.txt", u"wx", EINVAL},
        {"a network path", u"\\\\server\\share\\out.txt", u"wb", EINVAL},
        {"a fault", u"C:\\out.txt", u"rb", EACCES},
    };
    for (const Case& c : cases) {
        if (c.error == EACCES) platform::setFault("_wfopen", platform::Fault().onlyFor("C:\\out.txt"));
        errno = 0;
        EXPECT_EQ(_wfopen(c.path, c.mode), nullptr) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
        platform::clearFaults();
    }
}

}  // namespace
