// The uninstaller's progress and completion pages in this process: the worker's messages moving the
// bar and ending the page, a worker that cannot start, and the completion page's text after a run that
// removed everything or left something for a second run.
#include <gtest/gtest.h>

#include "RemovalContext.h"
#include "SetupTexts.h"
#include "platform/resources.h"
#include "rescomp/writer.h"
#include "support/setup_machine.h"

namespace {

using namespace setup_test;

bool closeGreyed(HWND main) { return GetMenuState(GetSystemMenu(main, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED; }

bool batchStarted() {
    for (const platform::ShellAction& action : platform::shellActions())
        if (action.file.ends_with(u"\\DelSelf.bat")) return true;
    return false;
}

TEST_F(SetupMachine, AWorkerThatCannotStartSaysSoAndThePagesFollowTheWorkersMessages) {
    installPrinter(u"A office", u"Zandrel M2100 PCL");
    int barAfterHalf = -1, barAfterOther = -1;
    LRESULT otherResult = -1;
    bool greyedWhileDoing = false, greyedWhenComplete = true, completeShown = false;
    runSetup({}, [&](HWND list) {
        HWND main = GetParent(list);
        HWND doing = progressPageWithoutWorker(list);
        ASSERT_NE(doing, nullptr);
        greyedWhileDoing = closeGreyed(main);
        HWND bar = GetDlgItem(doing, IDC_DOING_PROGRESS);
        SendMessageW(doing, uninstall::WM_UNINSTALL_PROGRESS, uninstall::kProgressPercent, 50);
        barAfterHalf = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
        otherResult = SendMessageW(doing, uninstall::WM_UNINSTALL_PROGRESS, 0x122, 90);
        barAfterOther = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
        SendMessageW(doing, uninstall::WM_UNINSTALL_PROGRESS, uninstall::kProgressFinished, 0);
        HWND complete = waitForPage(IDC_COMPLETE_LABEL);
        completeShown = complete && !IsWindowVisible(doing);
        greyedWhenComplete = closeGreyed(main);
        // Finished: the close box closes at once, with no question and no self-deletion.
        PostMessageW(main, WM_CLOSE, 0, 0);
    });
    const auto answered = platform::answeredDialogs();
    ASSERT_EQ(answered.size(), 1u);
    EXPECT_EQ(answered[0].text, u"CreateThread fail");
    EXPECT_EQ(barAfterHalf, 50);
    EXPECT_EQ(otherResult, 0);
    EXPECT_EQ(barAfterOther, 50) << "another wParam is ignored";
    EXPECT_FALSE(greyedWhileDoing) << "Close works once the worker could not start";
    EXPECT_TRUE(completeShown);
    EXPECT_FALSE(greyedWhenComplete);
    EXPECT_FALSE(batchStarted());
    EXPECT_TRUE(unanswered.empty());
}

TEST_F(SetupMachine, TheCompletionPageSaysWhetherASecondRunIsNeededAndOnlyACompleteRunDeletesTheProgram) {
    // A language library without the incomplete text: the program's own text stands in.
    auto english = platform::resources::parse(machine->readFile(std::u16string(kDriverFolder) + u"ZDUnsenus.dll").value_or(""));
    ASSERT_TRUE(english);
    english->strings.erase(IDS_UNINSTALL_INCOMPLETE);
    machine->writeFile(std::u16string(kDriverFolder) + u"ZDUnsold.dll", rescomp::writeResourceFile(*english));
    const struct {
        const char* what;
        const char* library;
        bool spoolerFails;  // the spooler does not start again: the run is incomplete
        std::u16string label;
    } cases[] = {
        {"complete", "ZDUnsenus.dll", false, u"The Zandrel M2100 Series printer driver was uninstalled successfully. Thank you."},
        {"incomplete", "ZDUnsenus.dll", true, u"Some items could not be removed. Run the uninstaller again to finish the job."},
        {"incomplete, text missing", "ZDUnsold.dll", true, u"部分项目未能卸载，请再次运行卸载程序以完成卸载。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::clearDialogAnswers();
        platform::clearShellActions();
        Product product;
        product.languages = std::string("<source_dll ID=\"English\">") + c.library + "</source_dll>";
        writeConfig(product);
        platform::clearFaults();
        if (c.spoolerFails) platform::setFault("StartServiceW", platform::Fault().onlyFor("Spooler").failing(-1));
        std::u16string label;
        runSetup({{DialogAnswer::Press, IDD_UNINSTALL_LIST, IDOK}}, [&](HWND) {
            HWND complete = waitForPage(IDC_COMPLETE_LABEL);
            ASSERT_NE(complete, nullptr);
            label = platform::dialogs::controlText(complete, IDC_COMPLETE_LABEL);
            platform::queueDialogAnswers({{DialogAnswer::Box, 0, 0, 0, IDCANCEL}});
            platform::dialogs::clickButton(complete, IDOK);
        });
        EXPECT_EQ(label, c.label);
        // The restart question is asked either way; the batch only after a complete run.
        EXPECT_EQ(answeredBoxTexts().size(), 1u);
        EXPECT_EQ(batchStarted(), !c.spoolerFails);
        EXPECT_TRUE(platform::shutdownRequests().empty());
        EXPECT_TRUE(unanswered.empty());
    }
}

}  // namespace
