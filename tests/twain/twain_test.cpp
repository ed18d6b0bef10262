// CTwain against the data source manager and the strict stand-in source: the triplets each
// operation sends, in order, as the manager's and the source's journals record them.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "Twain.h"
#include "support/twain_machine.h"
#include "win/files.h"
#include "win/kernel.h"

using twaintest::linesStarting;
using twaintest::TwainMachine;
using Lines = std::vector<std::string>;

namespace {

const std::string kScriptA = "product Scanner A\n";
const std::string kScriptB = "product Scanner B\n";

TEST(TwainIdentity, FillAppIdentityWritesTheApplicationsIdentity) {
    TwainMachine m;
    CTwain twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    const TW_IDENTITY& id = twain.AppIdentity();
    EXPECT_EQ(id.Version.MajorNum, 3);
    EXPECT_EQ(id.Version.MinorNum, 5);
    EXPECT_EQ(id.Version.Language, TWLG_USA);
    EXPECT_EQ(id.Version.Country, TWCY_USA);
    EXPECT_STREQ(id.Version.Info, "3.5");
    EXPECT_EQ(id.ProtocolMajor, 2);
    EXPECT_EQ(id.ProtocolMinor, 2);
    const TW_UINT32 groups = id.SupportedGroups;  // a packed field: compared by value
    EXPECT_EQ(groups, 3u);
    EXPECT_STREQ(id.Manufacturer, "KOVRA");
    EXPECT_STREQ(id.ProductFamily, "Generic");
    EXPECT_STREQ(id.ProductName, "Twain APP");
    EXPECT_TRUE(twain.IsManagerOpen());
}

TEST(TwainSelect, ProductNamesMatchByteForByteWithoutFallBack) {
    struct Case {
        const char* name;
        bool selected;
        Lines trace;
    };
    const Case cases[] = {
        {"Scanner B", true,
         {"DSM CONTROL/PARENT/OPENDSM -> 0", "DSM CONTROL/IDENTITY/GETFIRST -> 0", "DSM CONTROL/IDENTITY/GETNEXT -> 0"}},
        {"Scanner A", true, {"DSM CONTROL/PARENT/OPENDSM -> 0", "DSM CONTROL/IDENTITY/GETFIRST -> 0"}},
        {"scanner b", false,
         {"DSM CONTROL/PARENT/OPENDSM -> 0", "DSM CONTROL/IDENTITY/GETFIRST -> 0", "DSM CONTROL/IDENTITY/GETNEXT -> 0",
          "DSM CONTROL/IDENTITY/GETNEXT -> 7", "DSM CONTROL/STATUS/GET -> 0"}},
        {"Scanner", false,
         {"DSM CONTROL/PARENT/OPENDSM -> 0", "DSM CONTROL/IDENTITY/GETFIRST -> 0", "DSM CONTROL/IDENTITY/GETNEXT -> 0",
          "DSM CONTROL/IDENTITY/GETNEXT -> 7", "DSM CONTROL/STATUS/GET -> 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TwainMachine m;
        m.installSource("a", kScriptA);
        m.installSource("b", kScriptB);
        CTwain twain;
        ASSERT_TRUE(twain.InitTwain(m.window()));
        EXPECT_EQ(twain.SelectSource(c.name), c.selected);
        EXPECT_EQ(twain.IsSourceSelected(), c.selected);
        EXPECT_EQ(m.managerJournal(), c.trace);
        if (c.selected) {
            EXPECT_STREQ(twain.SourceIdentity().ProductName, c.name);
        }
    }
}

TEST(TwainSelect, NoSourcesInstalledLeavesNothingSelected) {
    TwainMachine m;
    CTwain twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    EXPECT_FALSE(twain.SelectSource("Scanner A"));
    EXPECT_EQ(twain.LastReturnCode(), TWRC_ENDOFLIST);
    EXPECT_EQ(m.managerJournal(),
              (Lines{"DSM CONTROL/PARENT/OPENDSM -> 0", "DSM CONTROL/IDENTITY/GETFIRST -> 7", "DSM CONTROL/STATUS/GET -> 0"}));
}

TEST(TwainOpen, AcquireOpensTheSourceSetsOneTransferAndEnablesIt) {
    TwainMachine m;
    m.installSource("a", kScriptA + "images 0\n");
    CTwain twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    ASSERT_TRUE(twain.SelectSource("Scanner A"));
    EXPECT_FALSE(twain.IsSourceOpen());
    ASSERT_TRUE(twain.Acquire());
    EXPECT_TRUE(twain.IsSourceOpen());
    EXPECT_TRUE(twain.IsSourceEnabled());
    EXPECT_EQ(twain.TransferCount(), 1);
    EXPECT_EQ(twain.ModalUI(), 0);
    EXPECT_EQ(m.managerJournal(), (Lines{
                                      "DSM CONTROL/PARENT/OPENDSM -> 0",
                                      "DSM CONTROL/IDENTITY/GETFIRST -> 0",
                                      "DSM CONTROL/IDENTITY/OPENDS -> 0",
                                      "Scanner A CONTROL/CAPABILITY/SET -> 0",
                                      "Scanner A CONTROL/USERINTERFACE/ENABLEDS -> 0",
                                  }));
    EXPECT_EQ(m.sourceJournal("a"), (Lines{
                                        "CONTROL/IDENTITY/OPENDS -> 0 state 4",
                                        "CONTROL/CAPABILITY/SET cap 0x1 type 1 value 1 -> 0 state 4",
                                        "CONTROL/USERINTERFACE/ENABLEDS with interface -> 0 state 5",
                                    }));
    // The interface's window is owned by the application's window.
    HWND ui = FindWindowW(u"vrx4410UIFLAG", nullptr);
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(GetWindow(ui, GW_OWNER), m.window());
}

TEST(TwainOpen, OpenWithoutSelectionTakesTheDefaultSource) {
    TwainMachine m;
    m.installSource("a", kScriptA);
    m.installSource("b", kScriptB);
    CTwain twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    ASSERT_TRUE(twain.OpenSource());
    EXPECT_STREQ(twain.SourceIdentity().ProductName, "Scanner A");
    EXPECT_EQ(linesStarting(m.managerJournal(), "DSM CONTROL/IDENTITY/"),
              (Lines{"DSM CONTROL/IDENTITY/GETDEFAULT -> 0", "DSM CONTROL/IDENTITY/OPENDS -> 0"}));
}

TEST(TwainCapability, CheckStatusEndsWithTheProposedCountAsUnsigned) {
    TwainMachine m;
    m.installSource("a", kScriptA + "checkstatus 3\nimages 0\n");
    CTwain twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    ASSERT_TRUE(twain.SelectSource("Scanner A"));
    ASSERT_TRUE(twain.OpenSource());
    m.clearJournals();
    EXPECT_TRUE(twain.SetTransferCount(1));
    EXPECT_EQ(twain.TransferCount(), 3);
    EXPECT_EQ(m.managerJournal(), (Lines{
                                      "Scanner A CONTROL/CAPABILITY/SET -> 2",
                                      "Scanner A CONTROL/STATUS/GET -> 0",
                                      "Scanner A CONTROL/CAPABILITY/GET -> 0",
                                      "Scanner A CONTROL/CAPABILITY/SET -> 0",
                                  }));
    EXPECT_EQ(m.sourceJournal("a"), (Lines{
                                        "CONTROL/CAPABILITY/SET cap 0x1 type 1 value 1 -> 2 state 4",
                                        "CONTROL/CAPABILITY/GET cap 0x1 -> 0 state 4",
                                        "CONTROL/CAPABILITY/SET cap 0x1 type 4 value 3 -> 0 state 4",
                                    }));
}

TEST(TwainCapability, CustomCapabilityAndRefusedCapabilityKeepTheStatus) {
    TwainMachine m;
    m.installSource("a", kScriptA);
    CTwain twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    ASSERT_TRUE(twain.SelectSource("Scanner A"));
    ASSERT_TRUE(twain.OpenSource());
    HGLOBAL block = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    auto* value = static_cast<TW_ONEVALUE*>(GlobalLock(block));
    *value = {TWTY_BOOL, 1};
    GlobalUnlock(block);
    TW_CAPABILITY custom{0x8123, TWON_ONEVALUE, block};
    EXPECT_TRUE(twain.SetCapability(custom));
    TW_CAPABILITY unknown{0x8124, TWON_ONEVALUE, block};
    EXPECT_FALSE(twain.SetCapability(unknown));
    EXPECT_EQ(twain.LastReturnCode(), TWRC_FAILURE);
    EXPECT_EQ(twain.Status().ConditionCode, TWCC_CAPUNSUPPORTED);
    GlobalFree(block);
    EXPECT_EQ(linesStarting(m.sourceJournal("a"), "CONTROL/CAPABILITY"),
              (Lines{"CONTROL/CAPABILITY/SET cap 0x8123 type 6 value 1 -> 0 state 4",
                     "CONTROL/CAPABILITY/SET cap 0x8124 type 6 value 1 -> 1 (13) state 4"}));
}

// Counts the images the base loop hands over.
class NativeTwain : public CTwain {
public:
    void OnNativeImage(HGLOBAL dib, const TW_IMAGEINFO& info) override {
        EXPECT_NE(dib, nullptr);
        EXPECT_EQ(info.ImageWidth, 64);
        ++images;
    }
    std::atomic<int> images{0};
};

TEST(TwainTransfer, NativeTransferRunsFromTheCallbackOnTheWindowsThread) {
    TwainMachine m;
    m.installSource("a", kScriptA + "images 2\n");
    NativeTwain twain;
    m.twain = &twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    ASSERT_TRUE(twain.SelectSource("Scanner A"));
    ASSERT_TRUE(twain.OpenSource());
    ASSERT_TRUE(twain.RegisterCallback(0));
    ASSERT_TRUE(twain.Acquire());
    ASSERT_TRUE(m.pumpUntil([&] {
        const Lines j = m.sourceJournal("a");
        return !j.empty() && j.back().find("ENDXFER") != std::string::npos;
    }));
    // The transfer count of 1 holds the source to one of its two images.
    EXPECT_EQ(twain.images, 1);
    EXPECT_EQ(m.sourceJournal("a"), (Lines{
                                        "CONTROL/IDENTITY/OPENDS -> 0 state 4",
                                        "CONTROL/CALLBACK/REGISTER_CALLBACK -> 0 state 4",
                                        "CONTROL/CAPABILITY/SET cap 0x1 type 1 value 1 -> 0 state 4",
                                        "CONTROL/USERINTERFACE/ENABLEDS with interface -> 0 state 6",
                                        "callback XFERREADY",
                                        "IMAGE/IMAGEINFO/GET -> 0 state 6",
                                        "IMAGE/IMAGENATIVEXFER/GET -> 6 state 7",
                                        "CONTROL/PENDINGXFERS/ENDXFER -> 0 state 5",
                                    }));
    EXPECT_TRUE(twain.IsSourceEnabled());
}

TEST(TwainClose, DestructionClosesSourceAndManagerBeforeTheLibraryGoes) {
    TwainMachine m;
    m.installSource("a", kScriptA + "images 0\n");
    {
        CTwain twain;
        ASSERT_TRUE(twain.InitTwain(m.window()));
        ASSERT_TRUE(twain.SelectSource("Scanner A"));
        ASSERT_TRUE(twain.Acquire());
        m.clearJournals();
        EXPECT_NE(GetModuleHandleW(u"TWAINDSM.dll"), nullptr);
    }
    EXPECT_EQ(m.managerJournal(), (Lines{
                                      "Scanner A CONTROL/USERINTERFACE/DISABLEDS -> 0",
                                      "DSM CONTROL/IDENTITY/CLOSEDS -> 0",
                                      "DSM CONTROL/PARENT/CLOSEDSM -> 0",
                                  }));
    EXPECT_EQ(m.sourceJournal("a"),
              (Lines{"CONTROL/USERINTERFACE/DISABLEDS -> 0 state 4", "CONTROL/IDENTITY/CLOSEDS -> 0 state 3"}));
    EXPECT_EQ(GetModuleHandleW(u"TWAINDSM.dll"), nullptr);
    EXPECT_EQ(FindWindowW(u"vrx4410UIFLAG", nullptr), nullptr);
}

TEST(TwainManager, MissingManagerMakesEveryOperationFailWithFailure) {
    TwainMachine m;
    DeleteFileW((std::u16string(twaintest::kProgramFolder) + u"TWAINDSM.dll").c_str());
    // Each operation on a connection of its own, so no earlier call has left the code behind.
    struct Case {
        const char* what;
        std::function<BOOL(CTwain&)> operation;
    };
    const Case cases[] = {
        {"SelectSource", [](CTwain& t) { return t.SelectSource("Scanner A"); }},
        {"OpenSource", [](CTwain& t) { return t.OpenSource(); }},
        {"Acquire", [](CTwain& t) { return t.Acquire(); }},
        {"EnableSource", [](CTwain& t) { return t.EnableSource(TRUE); }},
        {"DisableSource", [](CTwain& t) { return t.DisableSource(); }},
        {"CloseSource", [](CTwain& t) { return t.CloseSource(); }},
        {"SetTransferCount", [](CTwain& t) { return t.SetTransferCount(1); }},
        {"RegisterCallback", [](CTwain& t) { return t.RegisterCallback(0); }},
        {"EndTransfer", [](CTwain& t) { return t.EndTransfer(); }},
        {"CancelTransfers", [](CTwain& t) { return t.CancelTransfers(); }},
        {"CallSource", [](CTwain& t) {
             TW_PENDINGXFERS pending{};
             return t.CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTwain twain;
        EXPECT_FALSE(twain.InitTwain(m.window()));
        ASSERT_EQ(twain.LastReturnCode(), TWRC_SUCCESS);
        EXPECT_FALSE(c.operation(twain));
        EXPECT_EQ(twain.LastReturnCode(), TWRC_FAILURE);
    }
    CTwain twain;
    EXPECT_FALSE(twain.InitTwain(nullptr));
}

// The stand-in answers triplets out of their state with a sequence error, so the traces above
// prove the order.
TEST(TwainStrictSource, OutOfOrderTripletsAnswerSequenceError) {
    struct Case {
        const char* what;
        TW_UINT32 dg;
        TW_UINT16 dat, msg;
    };
    const Case inOpenState[] = {
        {"end transfer while only open", DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER},
        {"reset while only open", DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},
        {"disable while not enabled", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS},
        {"image information before a transfer", DG_IMAGE, DAT_IMAGEINFO, MSG_GET},
        {"memory strip before a transfer", DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET},
    };
    TwainMachine m;
    m.installSource("a", kScriptA + "images 0\n");
    CTwain twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    ASSERT_TRUE(twain.SelectSource("Scanner A"));
    ASSERT_TRUE(twain.OpenSource());
    for (const Case& c : inOpenState) {
        SCOPED_TRACE(c.what);
        alignas(8) unsigned char data[64] = {};
        EXPECT_FALSE(twain.CallSource(c.dg, c.dat, c.msg, data));
        EXPECT_EQ(twain.Status().ConditionCode, TWCC_SEQERROR);
    }
    ASSERT_TRUE(twain.EnableSource(FALSE));
    const Case inEnabledState[] = {
        {"capability set once enabled", DG_CONTROL, DAT_CAPABILITY, MSG_SET},
        {"reset with nothing ready", DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},
        {"end transfer with nothing ready", DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER},
        {"register callback once enabled", DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK},
    };
    for (const Case& c : inEnabledState) {
        SCOPED_TRACE(c.what);
        alignas(8) unsigned char data[64] = {};
        EXPECT_FALSE(twain.CallSource(c.dg, c.dat, c.msg, data));
        EXPECT_EQ(twain.Status().ConditionCode, TWCC_SEQERROR);
    }
    TW_IDENTITY identity = twain.SourceIdentity();
    EXPECT_FALSE(twain.CallManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &identity));
    EXPECT_EQ(twain.Status().ConditionCode, TWCC_SEQERROR);
}

}  // namespace
