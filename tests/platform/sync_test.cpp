// Mutexes: names across processes, ownership and its recursion, abandonment by a dead thread or
// process, waits on the virtual clock, closing handles.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <string>
#include <thread>

#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

using platform::testing::Machine;

// A child process of the test: runs `body` (which reports through its pipe ends) and ends with its
// result as exit code, without running the test program's exit handlers.
class Child {
public:
    template <class Body>
    explicit Child(Body body) {
        if (pipe(toChild_) != 0 || pipe(toParent_) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(toChild_[1]);
            close(toParent_[0]);
            int code = body(*this);
            _exit(code);
        }
        close(toChild_[0]);
        close(toParent_[1]);
    }
    ~Child() {
        if (pid_ > 0) {
            close(toChild_[1]);  // lets a child waiting for word go on
            finish();
        }
    }
    // Child side.
    void tell(char c) { (void)!write(toParent_[1], &c, 1); }
    char hear() {
        char c = 0;
        return read(toChild_[0], &c, 1) == 1 ? c : 0;
    }
    // Parent side.
    void say(char c) { (void)!write(toChild_[1], &c, 1); }
    char listen() {
        char c = 0;
        return read(toParent_[0], &c, 1) == 1 ? c : 0;
    }
    // The child's exit code once it has ended.
    int finish() {
        if (pid_ <= 0) return code_;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        close(toParent_[0]);
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 100;
        return code_;
    }

private:
    int toChild_[2] = {-1, -1};
    int toParent_[2] = {-1, -1};
    pid_t pid_ = -1;
    int code_ = -1;
};

TEST(Mutex, NamesAreSharedInAProcessAndCaseSensitive) {
    Machine machine;
    SetLastError(0xDEADBEEF);
    HANDLE first = CreateMutexW(nullptr, FALSE, u"Local\\VRX4410_SCANMANAGER");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    struct Case {
        LPCWSTR name;
        DWORD error;  // after CreateMutexW
    };
    const Case cases[] = {
        {u"Local\\VRX4410_SCANMANAGER", ERROR_ALREADY_EXISTS},
        {u"VRX4410_SCANMANAGER", ERROR_ALREADY_EXISTS},  // no prefix: the session's namespace
        {u"Global\\VRX4410_SCANMANAGER", 0},
        {u"Local\\vrx4410_scanmanager", 0},
        {u"local\\VRX4410_SCANMANAGER", ERROR_PATH_NOT_FOUND},  // the prefixes are names too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.name));
        SetLastError(0xDEADBEEF);
        HANDLE other = CreateMutexW(nullptr, FALSE, c.name);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(other != nullptr, c.error != ERROR_PATH_NOT_FOUND);
        if (other) {
            EXPECT_TRUE(CloseHandle(other));
        }
    }
    // Two handles, one mutex: ownership through one is ownership through the other.
    HANDLE second = OpenMutexW(SYNCHRONIZE, FALSE, u"VRX4410_SCANMANAGER");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(second));
    EXPECT_TRUE(ReleaseMutex(first));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReleaseMutex(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
    // The last handle gone, so is the mutex.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"Local\\VRX4410_SCANMANAGER"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Mutex, BadNamesAndUnnamedMutexes) {
    Machine machine;
    struct Case {
        std::u16string name;
        DWORD error;
    };
    const Case cases[] = {
        {u"Session\\1\\Name", ERROR_PATH_NOT_FOUND},
        {u"Local\\a\\b", ERROR_PATH_NOT_FOUND},
        {std::u16string(MAX_PATH, u'n'), ERROR_FILENAME_EXCED_RANGE},
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateMutexW(nullptr, FALSE, c.name.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, c.name.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    // A name of 259 characters, with a slash and characters a file name could not hold, is fine.
    std::u16string longName = u"Global\\" + std::u16string(MAX_PATH - 9, u'/') + u"*";
    HANDLE named = CreateMutexW(nullptr, FALSE, longName.c_str());
    EXPECT_NE(named, nullptr);
    EXPECT_TRUE(CloseHandle(named));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // Unnamed mutexes are each their own.
    HANDLE a = CreateMutexW(nullptr, TRUE, nullptr);
    SetLastError(0xDEADBEEF);
    HANDLE b = CreateMutexW(nullptr, FALSE, u"");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT); }).join();
    EXPECT_TRUE(ReleaseMutex(a));
    EXPECT_TRUE(ReleaseMutex(b));
    EXPECT_TRUE(CloseHandle(a));
    EXPECT_TRUE(CloseHandle(b));
}

TEST(Mutex, OwnershipIsRecursiveAndPerThread) {
    Machine machine;
    HANDLE mutex = CreateMutexW(nullptr, TRUE, u"Local\\owned");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // twice now
    std::thread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(ReleaseMutex(mutex));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    }).join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT); }).join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    std::thread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(mutex));
    }).join();
    // initialOwner has no effect on an existing mutex.
    HANDLE again = nullptr;
    std::thread([&] { again = CreateMutexW(nullptr, TRUE, u"Local\\owned"); }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST(Mutex, WaitsRunOnTheVirtualClock) {
    Machine machine;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Local\\clock");
    std::promise<void> taken, done;
    std::thread owner([&] {
        WaitForSingleObject(mutex, INFINITE);
        taken.set_value();
        done.get_future().wait();
        ReleaseMutex(mutex);
    });
    taken.get_future().wait();
    for (DWORD timeout : {0u, 1u, 250u, 120000u}) {
        SCOPED_TRACE(timeout);
        ULONGLONG before = GetTickCount64();
        EXPECT_EQ(WaitForSingleObject(mutex, timeout), WAIT_TIMEOUT);
        EXPECT_EQ(GetTickCount64() - before, timeout);  // virtual milliseconds, exactly the timeout
    }
    EXPECT_TRUE(platform::sleepLog().empty());  // a wait is no Sleep
    done.set_value();
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    owner.join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST(Mutex, AThreadThatEndsOwningAbandonsIt) {
    Machine machine;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Local\\thread");
    HANDLE unnamed = CreateMutexW(nullptr, FALSE, nullptr);
    std::thread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(unnamed, 0), WAIT_OBJECT_0);
    }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_EQ(WaitForSingleObject(unnamed, 1000), WAIT_ABANDONED);
    // Now owned normally.
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(unnamed));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    CloseHandle(unnamed);
}

TEST(Mutex, OtherProcessesSeeNamedMutexes) {
    Machine machine;
    HANDLE mine = CreateMutexW(nullptr, TRUE, u"Local\\VRX4410_SCANMANAGER");
    ASSERT_NE(mine, nullptr);
    Child child([](Child&) {
        HANDLE seen = CreateMutexW(nullptr, FALSE, u"Local\\VRX4410_SCANMANAGER");
        if (!seen || GetLastError() != ERROR_ALREADY_EXISTS) return 1;
        if (WaitForSingleObject(seen, 0) != WAIT_TIMEOUT) return 2;  // the parent owns it
        if (!OpenMutexW(SYNCHRONIZE, FALSE, u"VRX4410_SCANMANAGER")) return 3;
        if (OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\VRX4410_SCANMANAGER")) return 4;
        HANDLE fresh = CreateMutexW(nullptr, FALSE, u"Local\\child only");
        if (!fresh || GetLastError() != 0) return 5;
        return 0;
    });
    EXPECT_EQ(child.finish(), 0);
    // What the child made went with it.
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"Local\\child only"), nullptr);
    EXPECT_TRUE(ReleaseMutex(mine));

    // A mutex the child holds is there while the child lives; released, the parent takes it.
    Child holder([](Child& self) {
        HANDLE held = CreateMutexW(nullptr, TRUE, u"Local\\held");
        if (!held) return 1;
        self.tell('h');
        self.hear();
        ReleaseMutex(held);
        self.tell('r');
        self.hear();
        return 0;
    });
    ASSERT_EQ(holder.listen(), 'h');
    SetLastError(0xDEADBEEF);
    HANDLE held = CreateMutexW(nullptr, TRUE, u"Local\\held");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ULONGLONG before = GetTickCount64();
    EXPECT_EQ(WaitForSingleObject(held, 30000), WAIT_TIMEOUT);
    EXPECT_EQ(GetTickCount64() - before, 30000u);
    holder.say('g');
    ASSERT_EQ(holder.listen(), 'r');
    EXPECT_EQ(WaitForSingleObject(held, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(held));
    holder.say('x');
    EXPECT_EQ(holder.finish(), 0);
    EXPECT_TRUE(CloseHandle(held));
    EXPECT_TRUE(CloseHandle(mine));
}

TEST(Mutex, AProcessThatDiesOwningAbandonsIt) {
    Machine machine;
    Child owner([](Child& self) {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, u"Global\\abandoned");
        if (!mutex) return 1;
        self.tell('o');
        self.hear();
        return 0;  // ends owning it
    });
    ASSERT_EQ(owner.listen(), 'o');
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\abandoned");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
    owner.say('x');
    EXPECT_EQ(owner.finish(), 0);
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // released properly this time
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(mutex));

    // With nobody else holding it, a dead owner's mutex is simply gone; a new one is not abandoned.
    Child alone([](Child&) { return CreateMutexW(nullptr, TRUE, u"Global\\alone") ? 0 : 1; });
    EXPECT_EQ(alone.finish(), 0);
    SetLastError(0xDEADBEEF);
    HANDLE fresh = CreateMutexW(nullptr, FALSE, u"Global\\alone");
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(fresh));
    EXPECT_TRUE(CloseHandle(fresh));
}

TEST(Mutex, ClosedAndForeignHandlesFail) {
    Machine machine;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Local\\closing");
    EXPECT_TRUE(CloseHandle(mutex));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CloseHandle(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // A file handle is no mutex, but CloseHandle closes it too.
    HANDLE file = CreateFileW(u"C:\\Windows\\Temp\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReleaseMutex(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(nullptr));
}

TEST(Mutex, FaultSwitches) {
    Machine machine;
    platform::setFault("CreateMutexW", platform::Fault().onlyFor("Local\\VRX4410_SCANMANAGER"));
    HANDLE other = CreateMutexW(nullptr, FALSE, u"Local\\other");
    EXPECT_NE(other, nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Local\\VRX4410_SCANMANAGER"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Local\\VRX4410_SCANMANAGER");
    EXPECT_NE(mutex, nullptr);

    platform::setFault("OpenMutexW", platform::Fault().withError(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"Local\\other"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    platform::setFault("WaitForSingleObject", platform::Fault());
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(platform::callCount("CreateMutexW"), 3);
    CloseHandle(mutex);
    CloseHandle(other);
}

}  // namespace
