// Service control against Wine's real service manager, with a test service whose
// status reports each test chooses. The program first copies itself and the
// service into the prefix and runs from there, so its log file ("SysLog.txt"
// beside the program) belongs to this run alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Text.h"
#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/Process.h"
#include "sys/ServiceControl.h"
#include "sys/SysLog.h"
#include "sys/Win32.h"
#include "win32/ReadOnlyKey.h"

#include <tlhelp32.h>

namespace {

const char kRunDir[] = "C:\\kxtest\\";
const char kServiceDir[] = "C:\\Program Files\\Kx Test\\";
const char kServiceExe[] = "C:\\Program Files\\Kx Test\\win_testsvc.exe";
const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

std::string LogPath() { return kx::GetProgramPath() + "SysLog.txt"; }

void SetParam(const std::string& service, const char* name, DWORD value) {
    kx::TRegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kServicesKey + service + "\\Parameters").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void SetParam(const std::string& service, const char* name, const std::string& value) {
    kx::TRegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kServicesKey + service + "\\Parameters").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

DWORD ReachedTick(const std::string& service) {
    DWORD v = 0, size = sizeof v;
    RegGetValueA(HKEY_LOCAL_MACHINE, (kServicesKey + service + "\\Parameters").c_str(), "ReachedTick",
                 RRF_RT_REG_DWORD, nullptr, &v, &size);
    return v;
}

DWORD QueryState(const std::string& service) {
    kx::TServiceHandle man(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    kx::TServiceHandle svc(OpenServiceA(man.Get(), service.c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS st{};
    if (!svc || !QueryServiceStatus(svc.Get(), &st)) return 0;
    return st.dwCurrentState;
}

bool WaitForStateRaw(const std::string& service, DWORD state, DWORD ms) {
    for (DWORD waited = 0; waited <= ms; waited += 50) {
        if (QueryState(service) == state) return true;
        Sleep(50);
    }
    return false;
}

// One service per test, registered by the service program itself and removed
// again afterwards, so no test sees another one's state.
class ServiceControl : public testing::Test {
protected:
    void SetUp() override {
        FName = std::string("KxSvc_") + testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : FName)
            if (c == '/') c = '_'; // parameterised names; a service name takes no slash
        ASSERT_TRUE(kx::RunAndWait(kServiceDir, std::string("\"") + kServiceExe + "\" /install /silent /name=" + FName));
        ASSERT_EQ(QueryState(FName), static_cast<DWORD>(SERVICE_STOPPED)) << "service not registered";
        SetParam(FName, "RunForMs", 20000);
        kx::DeleteFile(LogPath());
    }
    void TearDown() override {
        // A service still starting cannot take the stop yet: keep asking until it is down.
        for (int i = 0; i < 200 && QueryState(FName) != SERVICE_STOPPED; ++i) {
            if (QueryState(FName) == SERVICE_RUNNING) {
                kx::TServiceHandle man(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
                kx::TServiceHandle svc(OpenServiceA(man.Get(), FName.c_str(), SERVICE_ALL_ACCESS));
                SERVICE_STATUS st{};
                ControlService(svc.Get(), SERVICE_CONTROL_STOP, &st);
            }
            Sleep(50);
        }
        EXPECT_EQ(QueryState(FName), static_cast<DWORD>(SERVICE_STOPPED));
        kx::RunAndWait(kServiceDir, std::string("\"") + kServiceExe + "\" /uninstall /silent /name=" + FName);
        // None of these operations may log when the manager is reachable.
        EXPECT_FALSE(kx::FileExists(LogPath()));
    }
    void StartRaw() {
        kx::TServiceHandle man(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        kx::TServiceHandle svc(OpenServiceA(man.Get(), FName.c_str(), SERVICE_ALL_ACCESS));
        ASSERT_TRUE(StartServiceA(svc.Get(), 0, nullptr));
        ASSERT_TRUE(WaitForStateRaw(FName, SERVICE_RUNNING, 8000));
    }
    std::string FName;
};

// Milliseconds that a call took.
template <class F>
DWORD Timed(F f) {
    DWORD t0 = GetTickCount();
    f();
    return GetTickCount() - t0;
}

TEST_F(ServiceControl, StartService_StoppedServiceRuns) {
    EXPECT_TRUE(kx::StartService(FName, 15));
    EXPECT_EQ(QueryState(FName), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServiceControl, StartService_RunningServiceFalseAtOnce) {
    StartRaw();
    bool result = true;
    DWORD ms = Timed([&] { result = kx::StartService(FName, 15); });
    EXPECT_FALSE(result);
    EXPECT_LT(ms, 1000u);
    EXPECT_EQ(QueryState(FName), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServiceControl, StopService_RunningServiceStops) {
    SetParam(FName, "StopSteps", "1,0,300;2,0,300");
    StartRaw();
    EXPECT_TRUE(kx::StopService(FName, 15));
    EXPECT_EQ(QueryState(FName), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceControl, StopService_StoppedServiceFalseAtOnce) {
    bool result = true;
    DWORD ms = Timed([&] { result = kx::StopService(FName, 15); });
    EXPECT_FALSE(result);
    EXPECT_LT(ms, 1000u);
}

TEST_F(ServiceControl, StopService_RefusedStopFalseAndServiceRunsOn) {
    SetParam(FName, "AcceptStop", 0u);
    SetParam(FName, "RunForMs", 2000u); // ends by itself for the teardown
    StartRaw();
    bool result = true;
    DWORD ms = Timed([&] { result = kx::StopService(FName, 15); });
    EXPECT_FALSE(result);
    EXPECT_LT(ms, 1000u);
    EXPECT_EQ(QueryState(FName), static_cast<DWORD>(SERVICE_RUNNING));
}

// A wait hint of 0 means no sleep at all: the status is read again at once, so
// the call returns right after the service reports running.
TEST_F(ServiceControl, WaitHintZero_StatusQueriedBackToBack) {
    SetParam(FName, "StartSteps", "1,0,400;2,0,400");
    bool result = false;
    DWORD returned = 0;
    Timed([&] { result = kx::StartService(FName, 15); returned = GetTickCount(); });
    EXPECT_TRUE(result);
    EXPECT_LT(returned - ReachedTick(FName), 500u); // a clamped minimum sleep would show as a second or more
}

// The hint is slept as given: the running report made during the sleep is
// seen only when the sleep is over.
TEST_F(ServiceControl, WaitHint_SleptAsGiven) {
    SetParam(FName, "StartSteps", "1,1500,200");
    bool result = false;
    DWORD returned = 0;
    Timed([&] { result = kx::StartService(FName, 15); returned = GetTickCount(); });
    EXPECT_TRUE(result);
    EXPECT_GE(returned - ReachedTick(FName), 1000u);
}

// A hint longer than the timeout is slept only up to the timeout; the service is
// still pending then, so the result is false. 0xFFFFFFFF would be INFINITE to Sleep.
class WaitHintBeyondTimeout : public ServiceControl, public testing::WithParamInterface<const char*> {};

TEST_P(WaitHintBeyondTimeout, StartService_SleepEndsWithTheTimeout) {
    ::SetParam(FName, "StartSteps", std::string("1,") + GetParam() + ",2500");
    bool result = true;
    DWORD ms = Timed([&] { result = kx::StartService(FName, 1); });
    EXPECT_FALSE(result);
    EXPECT_GE(ms, 1000u);
    EXPECT_LT(ms, 2500u);
    ASSERT_TRUE(WaitForStateRaw(FName, SERVICE_RUNNING, 5000));
}

TEST_P(WaitHintBeyondTimeout, StopService_SleepEndsWithTheTimeout) {
    ::SetParam(FName, "StopSteps", std::string("1,") + GetParam() + ",2500");
    StartRaw();
    bool result = true;
    DWORD ms = Timed([&] { result = kx::StopService(FName, 1); });
    EXPECT_FALSE(result);
    EXPECT_GE(ms, 1000u);
    EXPECT_LT(ms, 2500u);
    EXPECT_TRUE(WaitForStateRaw(FName, SERVICE_STOPPED, 5000));
}

INSTANTIATE_TEST_SUITE_P(Hints, WaitHintBeyondTimeout, testing::Values("3000", "4294967295"));

// Still pending, but with a lower checkpoint: the wait ends at once with that
// status, long before the service gets to run.
TEST_F(ServiceControl, CheckpointGoingDown_EndsWaitWithPendingStatus) {
    SetParam(FName, "StartSteps", "5,100,300;1,100,2000");
    bool result = true;
    DWORD returned = 0;
    Timed([&] { result = kx::StartService(FName, 15); returned = GetTickCount(); });
    EXPECT_FALSE(result);
    EXPECT_EQ(QueryState(FName), static_cast<DWORD>(SERVICE_START_PENDING));
    ASSERT_TRUE(WaitForStateRaw(FName, SERVICE_RUNNING, 5000));
    EXPECT_LT(static_cast<int>(returned - ReachedTick(FName)), -1000);
}

// Reaching the running state with the checkpoint reset to 0 is still success.
TEST_F(ServiceControl, CheckpointResetWhenRunning_True) {
    SetParam(FName, "StartSteps", "3,100,300;4,100,300");
    SetParam(FName, "RunningCheckPoint", 0u);
    EXPECT_TRUE(kx::StartService(FName, 15));
}

// Timeout 0: the wait ends after the first sleep during which the clock moved; a
// sleep is never longer than the timeout, so the service's hint is not waited for.
TEST_F(ServiceControl, TimeoutZero_EndsOnceTheClockMoves) {
    SetParam(FName, "StartSteps", "1,1500,2500");
    bool result = true;
    DWORD ms = Timed([&] { result = kx::StartService(FName, 0); });
    EXPECT_FALSE(result);
    EXPECT_LT(ms, 1000u);
    EXPECT_EQ(QueryState(FName), static_cast<DWORD>(SERVICE_START_PENDING));
}

TEST_F(ServiceControl, TimeoutZero_RunningAtFirstQueryIsTrue) {
    EXPECT_TRUE(kx::StartService(FName, 0));
}

TEST_F(ServiceControl, UnknownOrEmptyName_FalseWithoutLogLine) {
    EXPECT_FALSE(kx::StartService("KxNoSuchService", 5));
    EXPECT_FALSE(kx::StopService("KxNoSuchService", 5));
    kx::ChangeServiceToAutoStart("KxNoSuchService");
    EXPECT_FALSE(kx::StartService("", 5));
    EXPECT_FALSE(kx::StopService("", 5));
    kx::ChangeServiceToAutoStart("");
    EXPECT_FALSE(kx::FileExists(LogPath()));
}

TEST_F(ServiceControl, HandlesPassedIn_AreUsedAndLeftOpen) {
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(man, nullptr);
    SC_HANDLE svc = OpenServiceA(man, FName.c_str(), SERVICE_ALL_ACCESS);
    ASSERT_NE(svc, nullptr);
    // The name is not used when the handles are given.
    EXPECT_TRUE(kx::StartService("KxNoSuchService", 15, man, svc));
    EXPECT_TRUE(kx::StopService("KxNoSuchService", 15, man, svc));
    kx::ChangeServiceToAutoStart("KxNoSuchService", man, svc, true);
    SERVICE_STATUS st{};
    EXPECT_TRUE(QueryServiceStatus(svc, &st));
    EXPECT_EQ(st.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(CloseServiceHandle(svc));
    EXPECT_TRUE(CloseServiceHandle(man));
}

// Only the manager passed: the service is opened by name, closed again by the
// operation, and the caller's manager handle stays usable.
TEST_F(ServiceControl, ManagerOnlyPassed_ServiceOpenedByNameAndManagerLeftOpen) {
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(man, nullptr);
    EXPECT_TRUE(kx::StartService(FName, 15, man));
    EXPECT_TRUE(kx::StopService(FName, 15, man));
    EXPECT_FALSE(kx::StartService("KxNoSuchService", 15, man));
    kx::TServiceHandle svc(OpenServiceA(man, FName.c_str(), SERVICE_QUERY_STATUS));
    EXPECT_TRUE(svc);
    EXPECT_TRUE(CloseServiceHandle(man));
}

DWORD StartType(const std::string& service) {
    kx::TServiceHandle man(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    kx::TServiceHandle svc(OpenServiceA(man.Get(), service.c_str(), SERVICE_QUERY_CONFIG));
    std::vector<char> buf(8192);
    DWORD needed = 0;
    auto* cfg = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buf.data());
    if (!QueryServiceConfigA(svc.Get(), cfg, static_cast<DWORD>(buf.size()), &needed)) return 0;
    return cfg->dwStartType;
}

TEST_F(ServiceControl, ChangeServiceToAutoStart_SetsAutoThenDemand) {
    ASSERT_EQ(StartType(FName), static_cast<DWORD>(SERVICE_DEMAND_START));
    kx::ChangeServiceToAutoStart(FName);
    EXPECT_EQ(StartType(FName), static_cast<DWORD>(SERVICE_AUTO_START));
    kx::ChangeServiceToAutoStart(FName, nullptr, nullptr, false);
    EXPECT_EQ(StartType(FName), static_cast<DWORD>(SERVICE_DEMAND_START));
}

TEST_F(ServiceControl, GetServiceImagePath_RegisteredByTheProgramItself) {
    EXPECT_EQ(kx::GetServiceImagePath(FName), "\"C:\\Program Files\\Kx Test\\win_testsvc.exe\"");
}

// Registry-only cases: no service program involved.
class ServiceKey : public testing::Test {
protected:
    static void MakeKey(const std::string& path) {
        kx::TRegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kServicesKey + path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, key.Put(), nullptr),
                  ERROR_SUCCESS);
        const char v[] = "x";
        RegSetValueExA(key.Get(), "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(v), sizeof v);
    }
    static bool KeyExists(const std::string& path) {
        kx::TRegKey key;
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kServicesKey + path).c_str(), 0, KEY_READ, key.Put()) ==
               ERROR_SUCCESS;
    }
    static void SetImagePath(const std::string& service, DWORD type, const std::string& text) {
        MakeKey(service);
        kx::TRegKey key;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kServicesKey + service).c_str(), 0, KEY_ALL_ACCESS, key.Put());
        RegSetValueExA(key.Get(), "ImagePath", 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
};

TEST_F(ServiceKey, GetServiceImagePath_ExpandableTextReturnedAsStored) {
    SetImagePath("KxImgExpand", REG_EXPAND_SZ, "\"%SystemRoot%\\System32\\kx drv.exe\" -s");
    EXPECT_EQ(kx::GetServiceImagePath("KxImgExpand"), "\"%SystemRoot%\\System32\\kx drv.exe\" -s");
    SetImagePath("KxImgPlain", REG_SZ, "C:\\Acme\\AcmeSvc.exe");
    EXPECT_EQ(kx::GetServiceImagePath("KxImgPlain"), "C:\\Acme\\AcmeSvc.exe");
}

// A key the caller may only read, as the services of another account are to a
// limited one, still gives its text.
TEST_F(ServiceKey, GetServiceImagePath_ReadOnlyKeyGivesItsText) {
    SetImagePath("KxImgReadOnly", REG_SZ, "C:\\Acme\\Locked.exe");
    const std::string path = std::string(kServicesKey) + "KxImgReadOnly";
    kxtest::TReadOnlyKey readOnly(HKEY_LOCAL_MACHINE, path.c_str());
    ASSERT_TRUE(readOnly.Enforced(HKEY_LOCAL_MACHINE, path.c_str()));
    EXPECT_EQ(kx::GetServiceImagePath("KxImgReadOnly"), "C:\\Acme\\Locked.exe");
}

TEST_F(ServiceKey, GetServiceImagePath_MissingKeyValueOrTextGiveEmpty) {
    EXPECT_EQ(kx::GetServiceImagePath("KxNoSuchService"), "");
    EXPECT_EQ(kx::GetServiceImagePath(""), "");
    MakeKey("KxImgNone");
    EXPECT_EQ(kx::GetServiceImagePath("KxImgNone"), "");
    MakeKey("KxImgDword");
    kx::TRegKey key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kServicesKey) + "KxImgDword").c_str(), 0, KEY_ALL_ACCESS,
                  key.Put());
    DWORD v = 7;
    RegSetValueExA(key.Get(), "ImagePath", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    EXPECT_EQ(kx::GetServiceImagePath("KxImgDword"), "");
}

TEST_F(ServiceKey, DeleteServiceKey_RemovesNestedTreeOnly) {
    MakeKey("KxTree");
    MakeKey("KxTree\\Enum");
    MakeKey("KxTree\\Enum\\Root\\LEGACY_KXTREE\\0000");
    MakeKey("KxTree\\Security");
    MakeKey("KxTree\\Parameters");
    MakeKey("KxTreeSibling");
    kx::DeleteServiceKey("KxTree");
    EXPECT_FALSE(KeyExists("KxTree"));
    EXPECT_FALSE(KeyExists("KxTree\\Enum"));
    EXPECT_TRUE(KeyExists("KxTreeSibling"));
}

TEST_F(ServiceKey, DeleteServiceKey_MissingEmptyOrPathNameDoesNothing) {
    MakeKey("KxKeep");
    MakeKey("KxKeep\\Sub");
    kx::DeleteServiceKey("KxNoSuchService");
    kx::DeleteServiceKey("");
    kx::DeleteServiceKey("KxKeep\\Sub");
    kx::DeleteServiceKey("..\\Services");
    EXPECT_TRUE(KeyExists("KxKeep\\Sub"));
    EXPECT_TRUE(KeyExists(""));
}

// A Windows without a service manager, as the 9x family is: Wine keeps its
// manager whatever version it reports, so these tests end Wine's services.exe
// first; the real OpenSCManagerA then fails as it would there. They run in a
// prefix of their own, since nothing in that prefix reaches services afterwards.
bool EndServiceManagerProcess() {
    kx::TFileHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snap.Get() == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32First(snap.Get(), &pe); more; more = Process32Next(snap.Get(), &pe)) {
        if (!kx::SameText(pe.szExeFile, "services.exe")) continue;
        kx::TKernelHandle proc(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID));
        if (!proc || !TerminateProcess(proc.Get(), 1)) return false;
        return WaitForSingleObject(proc.Get(), 5000) == WAIT_OBJECT_0;
    }
    return false;
}

class NoServiceManager : public testing::Test {
protected:
    static void SetUpTestSuite() { FManagerEnded = EndServiceManagerProcess(); }
    void SetUp() override {
        ASSERT_TRUE(FManagerEnded) << "could not end the service manager";
        kx::SetLogEnabled(false);
        kx::DeleteFile(LogPath());
    }
    void TearDown() override {
        kx::DeleteFile(LogPath());
        RemoveDirectoryA(LogPath().c_str());
    }
    static inline bool FManagerEnded = false;
};

TEST_F(NoServiceManager, ManagerCannotBeOpened) {
    kx::TServiceHandle man(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    EXPECT_FALSE(man);
}

TEST_F(NoServiceManager, EachOperationLogsItsLineEvenWithLoggingOff) {
    bool started = true, stopped = true;
    DWORD ms = Timed([&] {
        started = kx::StartService("KxAcmeSvc", 15);
        stopped = kx::StopService("KxAcmeSvc", 15);
        kx::ChangeServiceToAutoStart("KxAcmeSvc");
    });
    EXPECT_FALSE(started);
    EXPECT_FALSE(stopped);
    EXPECT_LT(ms, 5000u);
    ASSERT_TRUE(kx::FileExists(LogPath()));
    std::string log = kx::LoadFileToString(LogPath());
    std::regex expected("[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} "
                        "Error in StartService\\(hMan = 0\\): KxAcmeSvc\r\n"
                        "[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} "
                        "Error in StopService\\(hMan = 0\\): KxAcmeSvc\r\n"
                        "[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} "
                        "Error in ChangeServiceToAutoStart\\(hMan = 0\\): KxAcmeSvc\r\n");
    EXPECT_TRUE(std::regex_match(log, expected)) << log;
}

TEST_F(NoServiceManager, EmptyNameStillLogged) {
    EXPECT_FALSE(kx::StartService("", 15));
    std::string log = kx::LoadFileToString(LogPath());
    EXPECT_TRUE(std::regex_match(log, std::regex("[0-9 :-]{18}Error in StartService\\(hMan = 0\\): \r\n"))) << log;
}

TEST_F(NoServiceManager, UnwritableLogRaisesItsFileError) {
    ASSERT_TRUE(CreateDirectoryA(LogPath().c_str(), nullptr)); // a folder where the log file should be
    try {
        kx::StopService("KxAcmeSvc", 15);
        FAIL() << "no error raised";
    } catch (const kx::Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + LogPath());
    }
}

std::string gExpectFamily;

TEST(Platform, FamilyAsConfigured) {
    ASSERT_FALSE(gExpectFamily.empty()) << "run with --expect-family=win98|winxp";
    EXPECT_EQ(kx::IsNTFamily(), gExpectFamily == "winxp");
}

// Copies this program and the service program into the prefix and runs the
// copy, passing the arguments through; the copy's exit code is ours.
int RunFromPrefix(int argc, char** argv) {
    std::string here = kx::GetProgramPath();
    kx::MakeDirPath(kRunDir);
    kx::MakeDirPath(kServiceDir);
    std::string self = std::string(kRunDir) + kx::ExtractFileName(kx::GetProgramFileName());
    if (!CopyFileA(kx::GetProgramFileName().c_str(), self.c_str(), FALSE) ||
        !CopyFileA((here + "win_testsvc.exe").c_str(), kServiceExe, FALSE)) {
        std::fprintf(stderr, "cannot copy the test programs into the prefix\n");
        return 2;
    }
    std::string cmd = "\"" + self + "\"";
    for (int i = 1; i < argc; ++i) cmd += std::string(" \"") + argv[i] + "\"";
    SetEnvironmentVariableA("KX_RUN_IN_PREFIX", "1");
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, kRunDir, &si, &pi)) {
        std::fprintf(stderr, "cannot start the copy in the prefix\n");
        return 2;
    }
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD rc = 2;
    GetExitCodeProcess(pi.hProcess, &rc);
    CloseHandle(pi.hProcess);
    return static_cast<int>(rc);
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("KX_RUN_IN_PREFIX")) return RunFromPrefix(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--expect-family=", 16) == 0) gExpectFamily = argv[i] + 16;
    return RUN_ALL_TESTS();
}
