// Events and the waits on events, threads and mutexes together: manual and auto reset, names shared
// by the machine's processes, waits on any or on all of several objects.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

TEST(Event, ManualResetStaysSetAutoResetReleasesOneWait) {
    Machine machine;
    struct Case {
        BOOL manual;
        BOOL initial;
        DWORD first, second;  // two waits of no time
    };
    const Case cases[] = {
        {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
        {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
    };
    for (const std::u16string name : {u"", u"Local\\ScanDone"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(platform::toUtf8(name) + (c.manual ? " manual" : " auto") + (c.initial ? " set" : " reset"));
            HANDLE event = CreateEventW(nullptr, c.manual, c.initial, name.empty() ? nullptr : name.c_str());
            ASSERT_NE(event, nullptr);
            EXPECT_EQ(WaitForSingleObject(event, 0), c.first);
            EXPECT_EQ(WaitForSingleObject(event, 0), c.second);
            EXPECT_TRUE(SetEvent(event));
            EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
            EXPECT_EQ(WaitForSingleObject(event, 0), c.manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
            EXPECT_TRUE(SetEvent(event));
            EXPECT_TRUE(ResetEvent(event));
            EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
            EXPECT_TRUE(CloseHandle(event));
        }
    }
}

TEST(Event, ANameOpensTheSameEventUntilItsLastHandleCloses) {
    Machine machine;
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, u"Global\\ScanDone");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    // Created again as an auto-reset event that is set: the existing manual one, still reset.
    HANDLE second = CreateEventW(nullptr, FALSE, TRUE, u"Global\\ScanDone");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
    HANDLE opened = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Global\\ScanDone");
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(SetEvent(opened));
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);  // manual: still set
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Local\\ScanDone"), nullptr);  // another namespace
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    for (HANDLE h : {first, second, opened}) CloseHandle(h);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Global\\ScanDone"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE fresh = CreateEventW(nullptr, FALSE, FALSE, u"Global\\ScanDone");
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);
    CloseHandle(fresh);
}

TEST(Event, AnotherProcessWakesOnTheSetThatThisOneMakes) {
    Machine machine;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, u"Local\\PageReady");
    ASSERT_NE(event, nullptr);
    int toParent[2];
    ASSERT_EQ(pipe(toParent), 0);
    pid_t child = fork();
    if (child == 0) {
        HANDLE mine = OpenEventW(SYNCHRONIZE, FALSE, u"Local\\PageReady");
        char c = mine ? 'o' : 'x';
        (void)!write(toParent[1], &c, 1);
        // Polls in real time, at most 20 s, so a lost set cannot hang the test.
        int code = 1;
        for (int i = 0; mine && i < 20000; ++i) {
            if (WaitForSingleObject(mine, 0) == WAIT_OBJECT_0) {
                code = WaitForSingleObject(mine, 0) == WAIT_TIMEOUT ? 0 : 2;  // auto reset took it
                break;
            }
            usleep(1000);
        }
        _exit(code);
    }
    char c = 0;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    EXPECT_EQ(c, 'o');
    EXPECT_TRUE(SetEvent(event));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // the child took the one signal
    close(toParent[0]);
    close(toParent[1]);
    CloseHandle(event);
}

TEST(Event, RefusedNamesAndHandles) {
    Machine machine;
    struct Case {
        const char* what;
        const char16_t* name;
        DWORD error;
    };
    const Case cases[] = {
        {"a folder in the name", u"Session\\Event", ERROR_PATH_NOT_FOUND},
        {"too long", u"" /* replaced below */, ERROR_FILENAME_EXCED_RANGE},
    };
    const std::u16string longName(MAX_PATH, u'e');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, *c.name ? c.name : longName.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    platform::setFault("CreateEventW", platform::Fault().onlyFor("Local\\Refused"));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, u"Local\\Refused"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(mutex);
}

DWORD endsAtOnce(LPVOID) { return 7; }

TEST(Wait, OnAnyOfSeveralObjectsAnswersTheFirstSignalled) {
    Machine machine;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, endsAtOnce, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    struct Case {
        std::vector<HANDLE> handles;
        BOOL all;
        DWORD result;
    };
    const Case cases[] = {
        {{event, thread}, FALSE, WAIT_OBJECT_0 + 1},
        {{event, mutex}, FALSE, WAIT_OBJECT_0 + 1},  // takes the mutex (recursively after this)
        {{event}, FALSE, WAIT_TIMEOUT},
        {{event, thread}, TRUE, WAIT_TIMEOUT},
        {{thread, mutex}, TRUE, WAIT_OBJECT_0},
        {{thread, thread}, TRUE, WAIT_FAILED},
        {{event, nullptr}, FALSE, WAIT_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.handles.size() << " handles, all " << c.all);
        EXPECT_EQ(WaitForMultipleObjects(static_cast<DWORD>(c.handles.size()), c.handles.data(), c.all, 300),
                  c.result);
    }
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    for (HANDLE h : {event, mutex, thread}) CloseHandle(h);
}

TEST(Wait, OnAllTakesNothingUntilItCanTakeEverything) {
    Machine machine;
    HANDLE autoEvent = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    HANDLE busy = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE handles[] = {autoEvent, busy};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 200), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);  // its signal was given back
    SetEvent(autoEvent);
    SetEvent(busy);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(busy, 0), WAIT_OBJECT_0);
    CloseHandle(autoEvent);
    CloseHandle(busy);
}

TEST(Wait, TimesOutOnTheMachineClock) {
    Machine machine;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const ULONGLONG before = GetTickCount64();
    EXPECT_EQ(WaitForMultipleObjects(1, &event, FALSE, 1500), WAIT_TIMEOUT);
    EXPECT_EQ(GetTickCount64() - before, 1500u);
    CloseHandle(event);
}

TEST(Wait, MessageWaitsWakeOnAnEventToo) {
    Machine machine;
    HANDLE event = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 1000, QS_ALLINPUT), WAIT_OBJECT_0);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 300, QS_ALLINPUT), WAIT_TIMEOUT);
    CloseHandle(event);
}

}  // namespace
